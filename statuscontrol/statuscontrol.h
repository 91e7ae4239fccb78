#pragma once

#include <QVariant>
#include <QVariantList>
#include <QWidget>

#include "common/twips.h"
#include "statuscontrol/contract.h"

namespace tamarin {

// A hosted status control, reached late-bound by dispatch id with values as QVariant. The
// container's (extender) properties Left, Top, Width, Height and Visible are answered here from
// the widget itself, in twips; everything else is the control's own and answered by the subclass.
// Every failure (an unknown id, a refused value, a control that does not answer) throws
// StepFailure.
class StatusControl : public QWidget {
    Q_OBJECT

  public:
    explicit StatusControl(TwipsScale scale, QWidget* parent = nullptr);

    QVariant get(dispid::DispId id);
    void put(dispid::DispId id, const QVariant& value);
    // Arguments travel in a list the control may write back to, as by-reference arguments do.
    QVariant call(dispid::DispId id, QVariantList& args);

    TwipsScale scale() const { return scale_; }

  signals:
    // Raised by the control whenever its own height changed.
    void PreviewResized();

  protected:
    virtual QVariant getOwn(dispid::DispId id) = 0;
    virtual void putOwn(dispid::DispId id, const QVariant& value) = 0;
    virtual QVariant callOwn(dispid::DispId id, QVariantList& args) = 0;

    // The control sets its own height (in twips); raises PreviewResized when the height changed.
    void setOwnHeightTwips(double twips);

  private:
    QVariant getExtender(dispid::DispId id) const;
    void putExtender(dispid::DispId id, const QVariant& value);

    TwipsScale scale_;
};

}  // namespace tamarin
