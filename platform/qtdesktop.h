#pragma once

#include "platform/desktop.h"

namespace tamarin {

// The real desktop through Qt: QMessageBox, QDesktopServices and the primary screen's metrics.
class QtDesktop : public Desktop {
  public:
    MessageAnswer showMessage(const QString& text, MessageIcon icon,
                              MessageButtons buttons) override;
    bool openDocument(const QString& address) override;
    float twipsPerPixelY() const override;
    float twipsPerPixelX() const override;
};

}  // namespace tamarin
