#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>
#include <QApplication>
#include <QSocketNotifier>
#include <csignal>

#include "platform/qtdesktop.h"
#include "settings/inisettingsstore.h"
#include "vireo/vireocontrol.h"
#include "window/frmMain.h"

namespace {

// A session that ends (or a kill from the terminal) sends a signal rather than closing the
// window; it is turned into a close so that the last-used values are written as on any close.
// The signals are blocked and read from a descriptor on the event loop, so no handler and no
// global is needed; they are blocked before any thread starts, so every thread leaves them be.
class TerminationSignals {
  public:
    TerminationSignals() {
        sigemptyset(&signals_);
        for (int signal : {SIGTERM, SIGHUP, SIGINT}) {
            sigaddset(&signals_, signal);
        }
        pthread_sigmask(SIG_BLOCK, &signals_, nullptr);
        // A program the tool starts (a browser for the links) gets the usual signals back.
        pthread_atfork(nullptr, nullptr, [] {
            sigset_t all;
            sigfillset(&all);
            pthread_sigmask(SIG_UNBLOCK, &all, nullptr);
        });
    }
    ~TerminationSignals() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    void closeOnSignal(QWidget& window) {
        fd_ = ::signalfd(-1, &signals_, SFD_CLOEXEC | SFD_NONBLOCK);
        if (fd_ < 0) {
            pthread_sigmask(SIG_UNBLOCK, &signals_, nullptr);  // then they end the tool as usual
            return;
        }
        auto* notifier = new QSocketNotifier(fd_, QSocketNotifier::Read, &window);
        QObject::connect(notifier, &QSocketNotifier::activated, &window, [this, &window] {
            signalfd_siginfo info{};
            [[maybe_unused]] const ssize_t read = ::read(fd_, &info, sizeof info);
            window.close();
        });
    }

  private:
    sigset_t signals_{};
    int fd_ = -1;
};

}  // namespace

int main(int argc, char** argv) {
    TerminationSignals terminationSignals;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tamarin"));
    QApplication::setDesktopFileName(QStringLiteral("tamarin"));

    tamarin::IniSettingsStore store;
    tamarin::QtDesktop desktop;
    tamarin::frmMain window(store, desktop, [&store](tamarin::TwipsScale scale, QWidget* parent) {
        return new tamarin::VireoControl(scale, {}, store, parent);
    });
    terminationSignals.closeOnSignal(window);
    window.show();
    return QApplication::exec();
}
