#include "window/frmMain.h"
#include "window/texts.h"

// The three labels that answer a click. The links open what the labels show, so a label's text
// is where it leads; whatever the desktop answers, the tool shows nothing of its own.
namespace tamarin {

void frmMain::lblEMail_Click() {
    desktop_.openDocument(QString::fromLatin1(texts::kMailTo) + lblEMail->text());
}

void frmMain::lblWebSite_Click() {
    desktop_.openDocument(lblWebSite->text());
}

void frmMain::lblDetails_Click() {
    chkDetials->setValue(chkDetials->value() == 0 ? 1 : 0);
}

}  // namespace tamarin
