#include "window/frmMain.h"
#include "window/texts.h"

// The three labels that answer a click. The links open what the labels show, so a label's text
// is where it leads; whatever the desktop answers, the tool shows nothing of its own.
namespace tamarin {

void frmMain::on_lblEMail_clicked() {
    desktop_.openDocument(QString::fromLatin1(texts::kMailTo) + lblEMail->text());
}

void frmMain::on_lblWebSite_clicked() {
    desktop_.openDocument(lblWebSite->text());
}

void frmMain::on_lblDetails_clicked() {
    chkDetials->setValue(chkDetials->value() == 0 ? 1 : 0);
}

}  // namespace tamarin
