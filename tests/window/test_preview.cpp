#include <QClipboard>
#include <QGuiApplication>
#include <functional>

#include "tests/support/windowharness.h"
#include "tests/support/workedexample.h"

// The bottom rectangle: the snippet written from what the preview reports, the preview's height
// for the players count, the snippet box kept over the preview, the window's height, the toggle.
namespace tamarin {

namespace {

const QString kWorkedExample = example::text();

}  // namespace

class Preview : public ReadyWindow {
  protected:
    // After any re-layout the snippet box covers the preview exactly and the window ends 450
    // twips below the preview's bottom edge (offscreen and unshown, the window has no frame).
    void expectLaidOver() {
        EXPECT_EQ(txtHTML()->geometry(), control->geometry());
        const double outer =
            control->get(dispid::Top).toDouble() + control->get(dispid::Height).toDouble() + 450.0;
        EXPECT_DOUBLE_EQ(window->requestedOuterHeightTwips(), outer);
        if (!window->isVisible()) {
            EXPECT_EQ(window->height(), qRound(outer / 15.0));
        }
    }

    void expectSide(bool snippet) {
        EXPECT_EQ(txtHTML()->isHidden(), !snippet);
        EXPECT_EQ(control->isHidden(), snippet);
        EXPECT_EQ(cmdShow()->text(), snippet ? "Step 2:\nShow Vireo" : "Step 2:\nShow HTML");
    }
};

TEST_F(Preview, TheWorkedExampleComesOutByteForByteThroughStepTwo) {
    store.seed("Vireo", "b", "GameType", "hl");
    step1();
    control->resize(control->width(), 118);  // 1770 twips
    step2();
    // What the window reads from the preview and the screen; the text itself, its length and its
    // escaping are the snippet's own tests.
    EXPECT_EQ(txtHTML()->snippet(), kWorkedExample);
    // The box shows it line for line, with its own line breaks.
    EXPECT_EQ(txtHTML()->toPlainText(), QString(kWorkedExample).remove(QLatin1Char('\r')));
}

TEST_F(Preview, ThePixelHeightRoundsHalvesToEven) {
    window = std::make_unique<frmMain>(store, desktop, [this](TwipsScale scale, QWidget* p) {
        scale.twipsPerPixelY = 1.0f;  // a twip a pixel, so the preview can be any height in twips
        control = new FakeControl(scale, p);
        return control;
    });
    const struct {
        int twips;
        float twipsPerPixel;
        const char* pixels;
    } cases[] = {{1777, 15, "118"}, {1422, 12, "118"}, {1434, 12, "120"}, {1770, 15, "118"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.twips);
        control->resize(control->width(), c.twips);
        desktop.tppY = c.twipsPerPixel;
        step2();
        const QString snippet = txtHTML()->snippet();
        EXPECT_TRUE(snippet.startsWith(
            QString("<OBJECT classid=CLSID:5E81C0D4-37A2-4B19-8C6E-2F90A1D3B7E5 style=\"HEIGHT: "
                    "%1px; WIDTH: 514px\">\r\n")
                .arg(c.pixels)));
        EXPECT_TRUE(snippet.contains(
            QString("\r\n<EMBED style=\"HEIGHT: %1px; WIDTH: 514px\"\r\n").arg(c.pixels)));
        step2();
    }
}

TEST_F(Preview, AFailedReadOrNoPixelSizeLeavesThePreviousSnippetSilently) {
    step1();
    const QString previous = txtHTML()->snippet();
    ASSERT_TRUE(previous.contains("10.0.0.1"));
    const std::function<void(bool)> faults[] = {
        [this](bool on) {
            control->failing.clear();
            if (on) {
                control->failing << dispid::Version;
            }
        },
        [this](bool on) { desktop.tppY = on ? 0.0f : 15.0f; },
    };
    for (const auto& fault : faults) {
        fault(true);
        forget();
        txtIP()->setText("10.9.9.9");
        step1();
        EXPECT_TRUE(desktop.messages.isEmpty());
        EXPECT_EQ(control->calls.size(), 1);  // the rest of Step 1 went ahead
        EXPECT_EQ(txtHTML()->snippet(), previous);
        step2();
        expectSide(true);  // the toggle still switches, showing the previous text
        EXPECT_EQ(txtHTML()->snippet(), previous);
        step2();
        fault(false);
        txtIP()->setText("10.0.0.1");
    }
}

TEST_F(Preview, StepOneOnTheSnippetSideSelectsAllOfItTheToggleDoesNot) {
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    step2();
    expectSide(true);
    EXPECT_FALSE(txtHTML()->hasFocus());
    EXPECT_FALSE(txtHTML()->textCursor().hasSelection());

    step1();
    expectSide(true);  // Step 1 keeps the side it finds
    EXPECT_TRUE(txtHTML()->hasFocus());
    const QTextCursor cursor = txtHTML()->textCursor();
    EXPECT_EQ(cursor.selectionStart(), 0);
    EXPECT_EQ(cursor.selectionEnd(), txtHTML()->toPlainText().size());
    // What the user copies has the snippet's own line ends.
    txtHTML()->copy();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), txtHTML()->snippet());
    EXPECT_TRUE(txtHTML()->snippet().endsWith("</a>\r\n"));
}

// Characters that a text widget would take for line breaks or blanks stay as they were built, in
// the box and in what the user copies, and the selection still covers all of it.
TEST_F(Preview, TheBoxAndTheClipboardHoldExactlyTheBuiltText) {
    const QString value = QString::fromUtf8("a\u2028b\u2029c\u00a0d\r\ne\nf\rg\uFDD0h");
    store.seed("Vireo", "b", "GameType", "hl");
    control->props[dispid::Version] = value;
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    step2();
    step1();  // five players: 1740 twips, 116 pixels
    const QString built =
        QString(kWorkedExample).replace("118px", "116px").replace("\"1.0\"", '"' + value + '"');
    EXPECT_EQ(txtHTML()->snippet(), built);
    EXPECT_EQ(txtHTML()->textCursor().selectionEnd(), txtHTML()->document()->characterCount() - 1);
    txtHTML()->copy();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), built);
}

TEST_F(Preview, ThePlayersCountSetsTheExpandedHeightAndTheLayoutFollows) {
    const struct {
        const char* players;
        int expanded;
    } cases[] = {{"5", 1740}, {"32", 7005}, {"0", 765}, {"164", 32745}, {"word", 1740}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.players);
        ready();
        cboPlayers()->setEditText(c.players);
        step1();
        EXPECT_EQ(written(dispid::ExpandedHight), QVariantList({qint32(c.expanded)}));
        expectLaidOver();
    }
    // Beyond 16 bits the height stays as it was, but the box and the window still follow the
    // preview, which has moved meanwhile without saying so.
    ready();
    cboPlayers()->setEditText("10");
    step1();
    control->move(control->x(), control->y() + 20);
    forget();
    cboPlayers()->setEditText("165");
    step1();
    EXPECT_TRUE(written(dispid::ExpandedHight).isEmpty());
    EXPECT_EQ(control->props.value(dispid::ExpandedHight), QVariant(2715));
    expectLaidOver();
}

TEST_F(Preview, TwoClicksReturnToThePreviewAndOnlyTheFirstRebuilds) {
    step1();
    expectSide(false);
    control->props[dispid::HostName] = QStringLiteral("changed.example");
    int reads = control->reads;
    step2();
    expectSide(true);
    EXPECT_GT(control->reads, reads);
    EXPECT_TRUE(txtHTML()->snippet().contains("VALUE=\"changed.example\""));

    control->props[dispid::HostName] = QStringLiteral("again.example");
    reads = control->reads;
    step2();
    expectSide(false);
    EXPECT_EQ(control->reads, reads);
    EXPECT_TRUE(txtHTML()->snippet().contains("VALUE=\"changed.example\""));
    EXPECT_TRUE(desktop.messages.isEmpty());
}

TEST_F(Preview, PreviewResizedOnTheSnippetSideMovesTheHiddenBoxAndTheWindowFollows) {
    step1();
    step2();
    const QRect before = txtHTML()->geometry();
    control->put(dispid::ExpandedHight, 4005);  // the control grows and says so
    EXPECT_NE(txtHTML()->geometry(), before);
    expectLaidOver();
    expectSide(true);

    control->move(control->x(), control->y() + 30);
    emit control->PreviewResized();
    expectLaidOver();
    expectSide(true);
}

}  // namespace tamarin
