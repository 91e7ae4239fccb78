#include "platform/qtdesktop.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QScreen>
#include <QUrl>

#include "common/twips.h"

namespace tamarin {

namespace {

QMessageBox::Icon toQtIcon(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Information:
            return QMessageBox::Information;
        case MessageIcon::Error:
            return QMessageBox::Critical;
        case MessageIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

// Qt's labels break lines at LF; the texts carry CR LF, which would show a stray CR glyph.
QString withPlainLineBreaks(QString text) {
    return text.replace(QStringLiteral("\r\n"), "\n");
}

double logicalDpiY() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInchY() : 96.0;
}

double logicalDpiX() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInchX() : 96.0;
}

}  // namespace

MessageAnswer QtDesktop::showMessage(const QString& text, MessageIcon icon,
                                     MessageButtons buttons) {
    QMessageBox box(
        toQtIcon(icon), QGuiApplication::applicationDisplayName(), withPlainLineBreaks(text),
        buttons == MessageButtons::YesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok,
        QApplication::activeWindow());
    box.setTextFormat(Qt::PlainText);
    const int answer = box.exec();
    if (buttons == MessageButtons::Ok) {
        return MessageAnswer::Ok;
    }
    return answer == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
}

bool QtDesktop::openDocument(const QString& address) {
    return QDesktopServices::openUrl(QUrl(address, QUrl::TolerantMode));
}

float QtDesktop::twipsPerPixelY() const {
    return float(kTwipsPerInch / logicalDpiY());
}
float QtDesktop::twipsPerPixelX() const {
    return float(kTwipsPerInch / logicalDpiX());
}

}  // namespace tamarin
