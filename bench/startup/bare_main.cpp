#include <QApplication>
#include <QLabel>
#include <QWidget>

// The baseline: the barest Qt Widgets program that shows a window of the tool's size (8595 by
// 4515 twips at 96 dpi), built with the same compiler, flags and Qt as the tool. Built a second
// time with one line of text on it, which is what loading the fonts costs any window at all.
int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Bare"));
    window.resize(573, 301);
#ifdef TAMARIN_BARE_WITH_TEXT
    QLabel caption(QStringLiteral("Server Address:"), &window);
    caption.setGeometry(0, 36, 117, 21);
#endif
    window.show();
    return QApplication::exec();
}
