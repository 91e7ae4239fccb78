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
        vireo::DispId id;
        QVariantList args;
    };

    explicit FakeControl(TwipsScale scale, QWidget* parent = nullptr)
        : StatusControl(scale, parent) {
        resize(scale.toPixelsX(7635), scale.toPixelsY(1755));
        props = {{vireo::RefreshInterval, 0},  {vireo::Version, QStringLiteral("1.0")},
                 {vireo::GameType, QString()}, {vireo::HostPort, 0},
                 {vireo::HostName, QString()}, {vireo::Details, true},
                 {vireo::ExpandedHight, 1755}};
    }

    QMap<vireo::DispId, QVariant> props;
    QSet<vireo::DispId> failing;  // ids whose reads, writes and calls fail
    QList<QPair<vireo::DispId, QVariant>> puts;
    QList<Call> calls;
    int reads = 0;
    double collapsedTwips = 645;

  protected:
    QVariant getOwn(vireo::DispId id) override {
        ++reads;
        if (failing.contains(id) || !props.contains(id)) {
            throw StepFailure("the control does not answer");
        }
        return props.value(id);
    }

    void putOwn(vireo::DispId id, const QVariant& value) override {
        if (failing.contains(id) || !props.contains(id)) {
            throw StepFailure("the control refuses the value");
        }
        puts.append({id, value});
        props[id] = value;
        followHeight();
    }

    QVariant callOwn(vireo::DispId id, QVariantList& args) override {
        calls.append({id, args});
        if (failing.contains(id)) {
            throw StepFailure("the control refuses the call");
        }
        if (id == vireo::ConfigureServer && args.size() == vireo::kConfigureServerArgs) {
            props[vireo::HostName] = args[0];
            props[vireo::HostPort] = variantToInt32(args[1]);
            props[vireo::GameType] = args[2];
            props[vireo::RefreshInterval] = args[4];
        }
        return {};
    }

  private:
    void followHeight() {
        const bool details = variantToBool(props.value(vireo::Details));
        setOwnHeightTwips(details ? props.value(vireo::ExpandedHight).toDouble() : collapsedTwips);
    }
};

}  // namespace tamarin
