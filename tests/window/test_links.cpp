#include <QTest>

#include "tests/support/windowharness.h"

// The three labels that answer a click: two links handed to the desktop, and the details caption
// that toggles the check box beside it.
namespace tamarin {

using Links = WindowTest;

TEST_F(Links, BothLinksOpenWhatTheyShowWhateverTheDesktopAnswers) {
    for (const bool succeeds : {true, false}) {
        SCOPED_TRACE(succeeds);
        open();
        window->show();
        desktop.opened.clear();
        desktop.openSucceeds = succeeds;
        QTest::mouseClick(label("lblEMail"), Qt::LeftButton);
        QTest::mouseClick(label("lblWebSite"), Qt::LeftButton);
        EXPECT_EQ(desktop.opened,
                  QStringList({"mailto:support@vireo.example", "HTTP://www.vireo.example/Vireo/"}));
        EXPECT_TRUE(desktop.messages.isEmpty());
        EXPECT_TRUE(window->isVisible());
    }
    // The captions are the addresses.
    label("lblEMail")->setText("other@vireo.example");
    QTest::mouseClick(label("lblEMail"), Qt::LeftButton);
    EXPECT_EQ(desktop.opened.last(), "mailto:other@vireo.example");
    // Only a left click counts.
    QTest::mouseClick(label("lblWebSite"), Qt::RightButton);
    EXPECT_EQ(desktop.opened.size(), 3);
}

TEST_F(Links, TheDetailsCaptionChecksAnUncheckedBoxAndUnchecksAnyOther) {
    const struct { int from, once, twice; } cases[] = {{0, 1, 0}, {1, 0, 1}, {2, 0, 1}};
    open();
    window->show();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.from);
        chkDetials()->setValue(c.from);
        control->puts.clear();
        QTest::mouseClick(label("lblDetails"), Qt::LeftButton);
        EXPECT_EQ(chkDetials()->value(), c.once);
        QTest::mouseClick(label("lblDetails"), Qt::LeftButton);
        EXPECT_EQ(chkDetials()->value(), c.twice);
        // The box is only read by the next Step 1; the preview is left alone.
        EXPECT_TRUE(control->puts.isEmpty());
        EXPECT_TRUE(control->calls.isEmpty());
    }
}

}  // namespace tamarin
