#include <QIcon>
#include <QPixmap>

#include "window/frmMain.h"

// How the window looks: colours, fonts, alignment and pointers, set once on creation.
namespace tamarin {

namespace {

const QColor kBlack(0, 0, 0);
const QColor kWhite(255, 255, 255);
const QColor kLinkBlue(0, 0, 255);

// Verdana where the desktop has it; DejaVu Sans, its close relative in width and shape, on
// desktops that don't (Debian and Ubuntu ship no Verdana).
QFont verdana(double points, int weight = QFont::Normal, bool underline = false) {
    QFont font;
    font.setFamilies({QStringLiteral("Verdana"), QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setWeight(QFont::Weight(weight));
    font.setUnderline(underline);
    return font;
}

void colour(QWidget* widget, QPalette::ColorRole role, const QColor& value) {
    QPalette palette = widget->palette();
    palette.setColor(role, value);
    widget->setPalette(palette);
}

void styleLabel(QLabel* label, Qt::Alignment alignment, bool blackBackground) {
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(alignment | Qt::AlignVCenter);
    label->setWordWrap(false);
    colour(label, QPalette::WindowText, kWhite);
    if (blackBackground) {
        colour(label, QPalette::Window, kBlack);
        label->setAutoFillBackground(true);
    }
}

void styleLink(QLabel* label) {
    styleLabel(label, Qt::AlignLeft, true);
    colour(label, QPalette::WindowText, kLinkBlue);
    label->setFont(verdana(9.75, QFont::Normal, true));
    label->setCursor(Qt::PointingHandCursor);
}

void noDefaultButton(QPushButton* button) {
    button->setAutoDefault(false);
    button->setDefault(false);
}

}  // namespace

void frmMain::applyLook() {
    setFont(verdana(9.75));
    colour(this, QPalette::Window, kBlack);
    setAutoFillBackground(true);
    QIcon icon(QStringLiteral(":/tamarin/icon-32.png"));
    icon.addFile(QStringLiteral(":/tamarin/icon-16.png"));
    icon.addFile(QStringLiteral(":/tamarin/icon-64.png"));  // sharp on screens of 2x and more
    setWindowIcon(icon);

    for (QLabel* label : {Label1, Label2, Label3, Label4, Label6}) {
        styleLabel(label, Qt::AlignRight, false);
    }
    styleLabel(Label5, Qt::AlignRight, true);
    styleLabel(lblAbout, Qt::AlignHCenter, true);
    lblAbout->setFont(verdana(11.25, QFont::Bold));
    styleLabel(lblDetails, Qt::AlignLeft, false);
    styleLink(lblEMail);
    styleLink(lblWebSite);

    cmdReload->setFont(verdana(8.25));
    for (QPushButton* button : {cmdSave, cmdShow, cmdReload}) {
        noDefaultButton(button);
    }
    colour(chkDetials, QPalette::Window, kBlack);
    chkDetials->setAutoFillBackground(true);

    // On a high-density screen the picture is drawn from its double-size rendering, so that it
    // stays sharp; its logical size stays that of the designed picture.
    QPixmap picture;
    if (Image1->devicePixelRatioF() > 1.0 &&
        picture.load(QStringLiteral(":/tamarin/vireo@2x.png"))) {
        picture.setDevicePixelRatio(2.0);
    } else {
        picture.load(QStringLiteral(":/tamarin/vireo.gif"));
    }
    Image1->setPixmap(picture);
    Image1->setScaledContents(true);
}

}  // namespace tamarin
