#pragma once

#include <QList>
#include <QMap>
#include <QSet>

#include "common/steps.h"
#include "common/variants.h"
#include "statuscontrol/statuscontrol.h"

namespace tamarin {

// A status control for tests: it keeps whatever is written, records every write and call, sets
// its own height from Details and ExpandedHight as a real control does, and fails on request.
class FakeControl : public StatusControl {
  public:
    struct Call {
        dispid::DispId id;
        QVariantList args;
    };

    explicit FakeControl(TwipsScale scale, QWidget* parent = nullptr)
        : StatusControl(scale, parent) {
        resize(scale.toPixelsX(7635), scale.toPixelsY(1755));
        props = {{dispid::RefreshInterval, 0},  {dispid::Version, QStringLiteral("1.0")},
                 {dispid::GameType, QString()}, {dispid::HostPort, 0},
                 {dispid::HostName, QString()}, {dispid::Details, true},
                 {dispid::ExpandedHight, 1755}};
    }

    QMap<dispid::DispId, QVariant> props;
    QSet<dispid::DispId> failing;  // ids whose reads, writes and calls fail
    QList<QPair<dispid::DispId, QVariant>> puts;
    QList<Call> calls;
    int reads = 0;
    double collapsedTwips = 645;

  protected:
    QVariant getOwn(dispid::DispId id) override {
        ++reads;
        if (failing.contains(id) || !props.contains(id)) {
            throw StepFailure("the control does not answer");
        }
        return props.value(id);
    }

    void putOwn(dispid::DispId id, const QVariant& value) override {
        if (failing.contains(id) || !props.contains(id)) {
            throw StepFailure("the control refuses the value");
        }
        puts.append({id, value});
        props[id] = value;
        followHeight();
    }

    QVariant callOwn(dispid::DispId id, QVariantList& args) override {
        calls.append({id, args});
        if (failing.contains(id)) {
            throw StepFailure("the control refuses the call");
        }
        if (id == dispid::ConfigureServer && args.size() == contract::kConfigureServerArgs) {
            props[dispid::HostName] = args[0];
            props[dispid::HostPort] = variantToInt32(args[1]);
            props[dispid::GameType] = args[2];
            props[dispid::RefreshInterval] = args[4];
        }
        return {};
    }

  private:
    void followHeight() {
        const bool details = variantToBool(props.value(dispid::Details));
        setOwnHeightTwips(details ? props.value(dispid::ExpandedHight).toDouble() : collapsedTwips);
    }
};

}  // namespace tamarin
