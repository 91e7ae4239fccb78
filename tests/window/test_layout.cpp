#include <QApplication>
#include <QFontInfo>

#include "tests/support/windowharness.h"

// The window as designed, read back from the widgets themselves: positions and sizes in twips
// at 15 twips a pixel, the tab order, colours, fonts and the pointer over the links.
namespace tamarin {

namespace {

struct Designed {
    const char* name;
    int left, top, width, height;
};

// At 15 twips a pixel every designed twips value is a whole number of pixels, except the few
// that round (Label heights of 315 are 21 pixels, 375 is 25, 255 is 17).
QRect pixels(const Designed& d) {
    auto px = [](int twips) { return int(std::lround(twips / 15.0)); };
    return {px(d.left), px(d.top), px(d.width), px(d.height)};
}

}  // namespace

using Layout = WindowTest;

TEST_F(Layout, EveryControlStandsWhereItWasDesigned) {
    open();
    const Designed designed[] = {
        {"cboGame", 1800, 60, 2715, 360},      {"txtIP", 1800, 480, 2715, 360},
        {"txtPort", 1800, 900, 2715, 360},     {"txtRefresh", 1800, 1320, 2715, 360},
        {"cboPlayers", 1800, 1740, 735, 360},  {"cmdSave", 4620, 960, 1515, 675},
        {"cmdShow", 6180, 960, 1455, 675},     {"Label1", 0, 540, 1755, 315},
        {"Label2", 0, 960, 1755, 315},         {"Label3", 0, 1380, 1755, 315},
        {"lblAbout", 4620, 600, 2955, 375},    {"lblWebSite", 4680, 2040, 3795, 315},
        {"Label4", 0, 120, 1755, 315},         {"lblEMail", 5640, 1740, 2355, 315},
        {"Label5", 4560, 1740, 1035, 315},     {"Label6", 0, 1800, 1755, 315},
        {"cmdReload", 7680, 1020, 855, 555},   {"chkDetials", 2580, 1800, 195, 255},
        {"lblDetails", 2880, 1800, 1815, 315}, {"Image1", 4980, 60, 2115, 555},
    };
    for (const Designed& d : designed) {
        EXPECT_EQ(find<QWidget>(d.name)->geometry(), pixels(d)) << d.name;
    }
    // The preview keeps its designed place and width; its height is its own.
    EXPECT_EQ(control->pos(), QPoint(4, 160));
    EXPECT_EQ(control->width(), 509);
    EXPECT_EQ(window->width(), 573);  // 8595 twips
    EXPECT_EQ(window->windowTitle(), "Vireo HTML Generator");
}

TEST_F(Layout, TheSnippetBoxLiesExactlyOverThePreview) {
    open();
    EXPECT_EQ(txtHTML()->geometry(), control->geometry());
}

TEST_F(Layout, TabMovesThroughTheFieldsInTheDesignedOrder) {
    open();
    txtHTML()->show();  // the snippet box takes part only while it is showing
    QStringList order;
    QWidget* widget = cboGame();
    do {
        if (widget->focusPolicy() & Qt::TabFocus && !widget->objectName().isEmpty() &&
            !widget->objectName().startsWith("qt_")) {
            order << widget->objectName();
        }
        widget = widget->nextInFocusChain();
    } while (widget != cboGame() && order.size() < 20);
    QStringList expected = {"cboGame", "txtIP",   "txtPort", "txtRefresh", "cboPlayers",
                            "cmdSave", "cmdShow", "txtHTML", "cmdReload",  "chkDetials"};
    if (control->focusPolicy() & Qt::TabFocus) {
        expected << "Vireo";  // the preview takes part as far as it accepts the focus
    }
    EXPECT_EQ(order.mid(0, expected.size()), expected);
    for (const char* label :
         {"Label1", "lblAbout", "lblWebSite", "lblEMail", "lblDetails", "Image1"}) {
        EXPECT_EQ(find<QWidget>(label)->focusPolicy(), Qt::NoFocus) << label;
    }
}

TEST_F(Layout, ColoursFontsAndPointersAreAsDesigned) {
    open();
    EXPECT_EQ(window->palette().color(QPalette::Window), QColor(0, 0, 0));
    EXPECT_DOUBLE_EQ(window->font().pointSizeF(), 9.75);
    EXPECT_TRUE(window->font().families().startsWith("Verdana"));
    for (const char* name : {"Label1", "Label2", "Label3", "Label4", "Label5", "Label6"}) {
        auto* label = find<QLabel>(name);
        EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(255, 255, 255)) << name;
        EXPECT_TRUE(label->alignment() & Qt::AlignRight) << name;
        EXPECT_EQ(label->textFormat(), Qt::PlainText) << name;
    }
    for (const char* name : {"lblEMail", "lblWebSite"}) {
        auto* link = find<QLabel>(name);
        EXPECT_EQ(link->palette().color(QPalette::WindowText), QColor(0, 0, 255)) << name;
        EXPECT_TRUE(link->font().underline()) << name;
        EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor) << name;
    }
    for (const char* name : {"lblAbout", "lblDetails", "Label1", "cboGame", "cmdSave"}) {
        EXPECT_FALSE(find<QWidget>(name)->testAttribute(Qt::WA_SetCursor)) << name;
    }
    auto* about = find<QLabel>("lblAbout");
    EXPECT_DOUBLE_EQ(about->font().pointSizeF(), 11.25);
    EXPECT_EQ(about->font().weight(), QFont::Bold);
    EXPECT_TRUE(about->alignment() & Qt::AlignHCenter);
    EXPECT_DOUBLE_EQ(cmdReload()->font().pointSizeF(), 8.25);
    for (QPushButton* button : {cmdSave(), cmdShow(), cmdReload()}) {
        EXPECT_FALSE(button->isDefault());
        EXPECT_FALSE(button->autoDefault());
    }
    EXPECT_FALSE(cboGame()->isEditable());
    EXPECT_TRUE(cboPlayers()->isEditable());
    EXPECT_EQ(txtHTML()->lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_FALSE(find<QLabel>("Image1")->pixmap().isNull());
    EXPECT_EQ(find<QLabel>("Image1")->pixmap().size(), QSize(218, 75));
    EXPECT_FALSE(window->windowIcon().isNull());
}

}  // namespace tamarin
