#include "platform/scripteddesktop.h"

namespace tamarin {

MessageAnswer ScriptedDesktop::showMessage(const QString& text, MessageIcon icon,
                                           MessageButtons buttons) {
    messages.append({text, icon, buttons});
    if (buttons == MessageButtons::Ok) {
        return MessageAnswer::Ok;
    }
    return answers.isEmpty() ? MessageAnswer::No : answers.takeFirst();
}

bool ScriptedDesktop::openDocument(const QString& address) {
    opened.append(address);
    return openSucceeds;
}

}  // namespace tamarin
