#include <gtest/gtest.h>

#include <QElapsedTimer>
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

double serverOuterPixels(const QWidget& window) {
    QProcess shell;
    shell.start(
        "sh",
        {"-c", QString("xwininfo -id %1; xprop -id %1 _NET_FRAME_EXTENTS").arg(window.winId())});
    shell.waitForFinished(5000);
    const auto found = QRegularExpression("Height: (\\d+).*= \\d+, \\d+, (\\d+), (\\d+)",
                                          QRegularExpression::DotMatchesEverythingOption)
                           .match(QString::fromLatin1(shell.readAllStandardOutput()));
    const int sum =
        found.captured(1).toInt() + found.captured(2).toInt() + found.captured(3).toInt();
    return found.hasMatch() ? sum / window.devicePixelRatioF() : -1.0;
}

// Waits (bounded) until the window manager has put its frame around the window.
bool waitForFrame(QWidget& window) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 10000) {
        QTest::qWait(50);
        if (serverOuterPixels(window) > 0) {
            QTest::qWait(200);  // let the window react to the frame it now has
            return true;
        }
    }
    return false;
}

int expectedOuterPixels(const frmMain& window, const StatusControl& control) {
    const TwipsScale scale = window.scale();
    return scale.toPixelsY(scale.toTwipsY(control.y()) + scale.toTwipsY(control.height()) + 450);
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
    ASSERT_TRUE(waitForFrame(window)) << "no window manager frame appeared";
    // Exact; at a fractional scale Qt's rounding of the client height may cost a device pixel.
    const double slack = window.devicePixelRatioF() > 1.0 ? 1.0 / window.devicePixelRatioF() : 0;
    EXPECT_NEAR(serverOuterPixels(window), expectedOuterPixels(window, *control), slack + 1e-9);

    // The window manager may re-decorate the window at any time (a new theme): it follows.
    QProcess::execute("xprop", {"-id", QString::number(window.winId()), "-f", "_NET_FRAME_EXTENTS",
                                "32c", "-set", "_NET_FRAME_EXTENTS", "1,1,38,1"});
    QTest::qWait(200);
    EXPECT_NEAR(serverOuterPixels(window), expectedOuterPixels(window, *control), slack + 1e-9);

    for (const char* players : {"20", "5", "0"}) {
        window.findChild<QComboBox*>("cboPlayers")->setEditText(players);
        window.ArrangePreview();
        QTest::qWait(150);
        EXPECT_NEAR(serverOuterPixels(window), expectedOuterPixels(window, *control), slack + 1e-9)
            << players;
        EXPECT_EQ(window.findChild<QWidget*>("txtHTML")->geometry(), control->geometry());
    }
}

}  // namespace tamarin
