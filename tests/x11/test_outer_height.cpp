#include <gtest/gtest.h>

#include <cmath>

#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include "platform/qtdesktop.h"
#include "tests/support/fakecontrol.h"
#include "tests/support/memorystore.h"
#include "window/frmMain.h"

// On a real X server with a window manager: the window's outer height, frame included, ends
// 450 twips below the preview once the frame is known, and follows every re-layout. The height is
// measured as the X server has it, not as Qt reports it: the client window's height plus the
// frame's top and bottom as the window manager publishes them, in the window's logical pixels.
namespace tamarin {

namespace {

constexpr int kCeilingMs = 60000;

double serverOuterPixels(const QWidget& window) {
    QProcess shell;
    shell.start(
        "sh",
        {"-c", QString("xwininfo -id %1; xprop -id %1 _NET_FRAME_EXTENTS").arg(window.winId())});
    shell.waitForFinished(kCeilingMs);
    const auto found = QRegularExpression("Height: (\\d+).*= \\d+, \\d+, (\\d+), (\\d+)",
                                          QRegularExpression::DotMatchesEverythingOption)
                           .match(QString::fromLatin1(shell.readAllStandardOutput()));
    const int sum =
        found.captured(1).toInt() + found.captured(2).toInt() + found.captured(3).toInt();
    return found.hasMatch() ? sum / window.devicePixelRatioF() : -1.0;
}

int expectedOuterPixels(const frmMain& window, const StatusControl& control) {
    const TwipsScale scale = window.scale();
    return scale.toPixelsY(scale.toTwipsY(control.y()) + scale.toTwipsY(control.height()) + 450);
}

// Waits until the X server has the window at its expected outer height: the window manager has
// framed it and the window has reacted. A loaded machine may take long; only a window that never
// gets there fails, after a ceiling far above any healthy run.
bool waitForOuterHeight(const frmMain& window, const StatusControl& control, double slack) {
    return QTest::qWaitFor(
        [&] {
            const double outer = serverOuterPixels(window);
            return outer > 0 && std::abs(outer - expectedOuterPixels(window, control)) <= slack;
        },
        kCeilingMs);
}

}  // namespace

// Launched with a complete stored set, start-up runs Step 1 (seven players) before the first show.
TEST(OuterHeight, TheFramedWindowEndsFourHundredFiftyTwipsBelowThePreview) {
    MemoryStore store;
    store.seed("Vireo", "Config", "ServerCount", "0");
    store.seed("Vireo", "Config", "GameList", "a");
    for (const QString& stored :
         QString("Game=0 Players=7 IP=127.0.0.1 Port=27015 Refresh=30 Details=1").split(' ')) {
        store.seed("Tamarin", "LastServer", stored.section('=', 0, 0), stored.section('=', 1));
    }
    QtDesktop desktop;
    FakeControl* control = nullptr;
    frmMain window(store, desktop, [&control](TwipsScale scale, QWidget* parent) {
        control = new FakeControl(scale, parent);
        return control;
    });
    window.show();
    // Exact; at a fractional scale Qt's rounding of the client height may cost a device pixel.
    const double slack = window.devicePixelRatioF() > 1.0 ? 1.0 / window.devicePixelRatioF() : 0;
    waitForOuterHeight(window, *control, slack + 1e-9);
    EXPECT_NEAR(serverOuterPixels(window), expectedOuterPixels(window, *control), slack + 1e-9);

    // The window manager may re-decorate the window at any time (a new theme): it follows.
    QProcess::execute("xprop", {"-id", QString::number(window.winId()), "-f", "_NET_FRAME_EXTENTS",
                                "32c", "-set", "_NET_FRAME_EXTENTS", "1,1,38,1"});
    waitForOuterHeight(window, *control, slack + 1e-9);
    EXPECT_NEAR(serverOuterPixels(window), expectedOuterPixels(window, *control), slack + 1e-9);

    for (const char* players : {"20", "5", "0"}) {
        window.findChild<QComboBox*>("cboPlayers")->setEditText(players);
        window.ArrangePreview();
        waitForOuterHeight(window, *control, slack + 1e-9);
        EXPECT_NEAR(serverOuterPixels(window), expectedOuterPixels(window, *control), slack + 1e-9)
            << players;
        EXPECT_EQ(window.findChild<QWidget*>("txtHTML")->geometry(), control->geometry());
    }
}

}  // namespace tamarin
