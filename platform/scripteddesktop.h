#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "platform/desktop.h"

namespace tamarin {

// A desktop for tests: message boxes are answered from a script and recorded, opened addresses
// are recorded and never opened, and the screen's metrics are whatever the test says.
class ScriptedDesktop : public Desktop {
  public:
    struct Message {
        QString text;
        MessageIcon icon;
        MessageButtons buttons;
    };

    // Answers given in order to YesNo boxes; when the script runs out, No is answered.
    QList<MessageAnswer> answers;
    // What openDocument reports to its caller.
    bool openSucceeds = true;
    float tppY = 15.0f;
    float tppX = 15.0f;

    QList<Message> messages;
    QStringList opened;

    MessageAnswer showMessage(const QString& text, MessageIcon icon,
                              MessageButtons buttons) override;
    bool openDocument(const QString& address) override;
    float twipsPerPixelY() const override { return tppY; }
    float twipsPerPixelX() const override { return tppX; }
};

}  // namespace tamarin
