#include <sys/socket.h>
#include <unistd.h>
#include <QApplication>
#include <QSocketNotifier>
#include <csignal>

#include "platform/qtdesktop.h"
#include "settings/inisettingsstore.h"
#include "vireo/vireocontrol.h"
#include "window/frmMain.h"

namespace {

int signalPipe[2] = {-1, -1};

void onTerminationSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

// A session that ends (or a kill from the terminal) sends a signal rather than closing the
// window; it is turned into a close so that the last-used values are written as on any close.
void closeOnTerminationSignals(QWidget& window) {
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0) {
        return;
    }
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &window);
    QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window] {
        char byte = 0;
        [[maybe_unused]] const ssize_t read = ::read(signalPipe[0], &byte, 1);
        window.close();
    });
    for (int signal : {SIGTERM, SIGHUP, SIGINT}) {
        std::signal(signal, onTerminationSignal);
    }
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tamarin"));
    QApplication::setDesktopFileName(QStringLiteral("tamarin"));

    tamarin::IniSettingsStore store;
    tamarin::QtDesktop desktop;
    tamarin::frmMain window(store, desktop, [&store](tamarin::TwipsScale scale, QWidget* parent) {
        return new tamarin::VireoControl(scale, {}, store, parent);
    });
    closeOnTerminationSignals(window);
    window.show();
    return QApplication::exec();
}
