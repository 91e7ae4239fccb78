#include "window/frmMain.h"
#include "window/texts.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>

// What a screen reader announces for each control. Nothing here changes what the window shows:
// the captions stay plain labels beside their fields, tied to them as buddies (none of them has
// a mnemonic, so no shortcut appears), and every input is named with its caption's own text.
namespace tamarin {

namespace {

// On Linux a screen reader announces a drop-down by its value and finds the caption through the
// buddy; elsewhere the accessible name carries it. Both say the same here.
void nameAfterCaption(QLabel* caption, QWidget* field) {
    caption->setBuddy(field);
    field->setAccessibleName(caption->text());
    if (auto* list = qobject_cast<QComboBox*>(field)) {
        // The open list of entries is announced with the same caption.
        list->view()->setAccessibleName(caption->text());
        if (QLineEdit* typed = list->lineEdit()) {
            // A typed players count: the edit field is what has the focus then.
            typed->setAccessibleName(caption->text());
        }
    }
}

}  // namespace

void frmMain::describeControls() {
    nameAfterCaption(Label4, cboGame);
    nameAfterCaption(Label1, txtIP);
    nameAfterCaption(Label2, txtPort);
    nameAfterCaption(Label3, txtRefresh);
    nameAfterCaption(Label6, cboPlayers);
    // The check box's own caption is cut off and never seen; the label beside it is its caption.
    nameAfterCaption(lblDetails, chkDetials);
    chkDetials->setAccessibleDescription(
        tr("Whether the status control on the page opens with its player list shown"));

    // The step buttons are named with their captions (read as one phrase) wherever a caption
    // is set, so Step 2's name follows the toggle.
    cmdSave->setAccessibleDescription(
        tr("Hands the choices to the preview below and rebuilds the HTML"));
    cmdShow->setAccessibleDescription(tr("Swaps the preview for the HTML to copy, and back"));
    cmdReload->setAccessibleDescription(
        tr("Fills the game list again from the Vireo control's own settings"));

    txtHTML->setAccessibleName(tr("HTML to copy"));
    txtHTML->setAccessibleDescription(
        tr("The HTML that puts the Vireo status control on a web page, ready to copy"));
    Vireo->setAccessibleName(tr("Server status"));
    Vireo->setAccessibleDescription(
        tr("Live preview of the Vireo status control for the configured game server"));

    lblEMail->setAccessibleDescription(tr("Link: writes an e-mail to the maker"));
    lblWebSite->setAccessibleDescription(tr("Link: opens the maker's web site"));
    lblDetails->setAccessibleDescription(tr("Switches Details at startup on or off"));
    Image1->setAccessibleName(tr("Vireo"));
}

}  // namespace tamarin
