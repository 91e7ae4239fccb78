#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QLineEdit>
#include <QTest>

#include "platform/qtdesktop.h"
#include "tests/support/windowharness.h"

// On a real X server with a window manager: the window's outer height, frame included, ends
// 450 twips below the preview once the frame is known, and follows every re-layout.
namespace tamarin {

namespace {

// Waits (bounded) until the window manager has put its frame around the window.
bool waitForFrame(QWidget& window) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 10000) {
        QTest::qWait(50);
        if (window.frameGeometry().height() > window.geometry().height()) {
            QTest::qWait(100);  // let the window react to the frame it now has
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

using OuterHeight = WindowHarness<QtDesktop>;

TEST_F(OuterHeight, TheFramedWindowEndsFourHundredFiftyTwipsBelowThePreview) {
    frmMain& window = open();
    window.show();
    window.activateWindow();
    ASSERT_TRUE(waitForFrame(window)) << "no window manager frame appeared";
    EXPECT_EQ(window.frameGeometry().height(), expectedOuterPixels(window, *control));

    for (const char* players : {"20", "5", "0"}) {
        window.findChild<QComboBox*>("cboPlayers")->setEditText(players);
        window.ArrangePreview();
        QTest::qWait(200);
        EXPECT_EQ(window.frameGeometry().height(), expectedOuterPixels(window, *control))
            << players;
        EXPECT_EQ(window.findChild<QWidget*>("txtHTML")->geometry(), control->geometry());
    }
}

}  // namespace tamarin
