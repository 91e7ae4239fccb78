#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include "platform/qtdesktop.h"
#include "tests/support/memorystore.h"
#include "vireo/vireocontrol.h"
#include "window/frmMain.h"

// On a real X server with a window manager: the window's outer height, frame included, ends
// 450 twips below the preview once the frame is known, and follows every re-layout.
namespace tamarin {

namespace {

int expectedOuterPixels(const frmMain& window, const StatusControl& control) {
    const TwipsScale scale = window.scale();
    return scale.toPixelsY(scale.toTwipsY(control.y()) + scale.toTwipsY(control.height()) + 450);
}

// The outer height as the X server and the window manager see it, not as Qt reports it: the
// client window's height plus the top and bottom frame extents the window manager publishes, both
// in device pixels, in the window's logical pixels.
double serverOuterPixels(const QWidget& window) {
    const QString id = QString::number(window.winId());
    auto run = [](const QString& program, const QStringList& arguments) {
        QProcess process;
        process.start(program, arguments);
        process.waitForFinished(5000);
        return QString::fromLatin1(process.readAllStandardOutput());
    };
    const auto height = QRegularExpression("Height: (\\d+)").match(run("xwininfo", {"-id", id}));
    const auto extents = QRegularExpression("= (\\d+), (\\d+), (\\d+), (\\d+)")
                             .match(run("xprop", {"-id", id, "_NET_FRAME_EXTENTS"}));
    if (!height.hasMatch() || !extents.hasMatch()) {
        return -1;
    }
    const int device =
        height.captured(1).toInt() + extents.captured(3).toInt() + extents.captured(4).toInt();
    return device / window.devicePixelRatioF();
}

// Exact; at a scale above 1 Qt's rounding of the client height may cost one device pixel.
void expectOuterHeight(const frmMain& window, const StatusControl& control) {
    const double ratio = window.devicePixelRatioF();
    EXPECT_NEAR(serverOuterPixels(window), expectedOuterPixels(window, control),
                ratio > 1.0 ? 1.0 / ratio + 1e-9 : 0.0);
}

// Waits (bounded) until the window manager has framed the window and published the frame.
bool waitForFrame(QWidget& window) {
    if (!QTest::qWaitForWindowExposed(&window, 10000)) {
        return false;
    }
    QElapsedTimer clock;
    clock.start();
    while (serverOuterPixels(window) < 0 && clock.elapsed() < 10000) {
        QTest::qWait(50);
    }
    QTest::qWait(300);  // let the window react to the frame it now has
    return serverOuterPixels(window) > 0;
}

}  // namespace

// Launched as the tool is on a desktop: a complete stored set, so start-up runs Step 1 (seven
// players) before the window is first shown.
TEST(OuterHeight, TheFramedWindowEndsFourHundredFiftyTwipsBelowThePreview) {
    MemoryStore store;
    store.seed("Vireo", "Config", "ServerCount", "0");
    store.seed("Vireo", "Config", "GameList", "a");
    store.seed("Vireo", "a", "GameName", "Alpha");
    const QStringList stored = {"Game=0",     "Players=7",  "IP=127.0.0.1",
                                "Port=27015", "Refresh=30", "Details=1"};
    for (const QString& value : stored) {
        store.seed("Tamarin", "LastServer", value.section('=', 0, 0), value.section('=', 1));
    }
    QtDesktop desktop;
    StatusControl* control = nullptr;
    frmMain window(store, desktop, [&](TwipsScale scale, QWidget* parent) {
        control = new VireoControl(scale, {}, store, parent);
        return control;
    });
    window.show();
    ASSERT_TRUE(waitForFrame(window)) << "no window manager frame appeared";
    expectOuterHeight(window, *control);

    // A window manager may re-decorate a window at any time (a new theme, a restart): the window
    // follows the frame it is given, here a title bar 18 pixels taller.
    const QString id = QString::number(window.winId());
    QProcess::execute("xprop", {"-id", id, "-f", "_NET_FRAME_EXTENTS", "32c", "-set",
                                "_NET_FRAME_EXTENTS", "1,1,38,1"});
    QTest::qWait(300);
    expectOuterHeight(window, *control);

    for (const char* players : {"20", "5", "0"}) {
        window.findChild<QComboBox*>("cboPlayers")->setEditText(players);
        window.ArrangePreview();
        QTest::qWait(200);
        SCOPED_TRACE(players);
        expectOuterHeight(window, *control);
        EXPECT_EQ(window.findChild<QWidget*>("txtHTML")->geometry(), control->geometry());
    }
}

}  // namespace tamarin
