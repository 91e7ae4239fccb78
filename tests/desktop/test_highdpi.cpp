#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <memory>

#include "platform/qtdesktop.h"
#include "tests/support/windowharness.h"
#include "vireo/vireocontrol.h"

// The window at the device pixel ratio QT_SCALE_FACTOR gives (built and run for 1, 1.5 and 2): the
// layout in twips stays the same in logical pixels, nothing is cut off, and the picture is drawn
// from artwork with enough pixels.
namespace tamarin {

namespace {

// The real desktop: the twips per pixel come from the screen at the ratio in force.
class HighDpi : public WindowHarness<QtDesktop> {
  protected:
    void SetUp() override {
        open(
            [this](TwipsScale scale, QWidget* p) { return new VireoControl(scale, {}, store, p); });
        window->show();
    }
};

}  // namespace

TEST_F(HighDpi, RunsAtTheRatioItWasBuiltFor) {
    // The ratio comes from the environment the test is started in; a lost variable would quietly
    // run every check at 1.
    EXPECT_DOUBLE_EQ(window->devicePixelRatioF(), TAMARIN_EXPECTED_RATIO);
}

TEST_F(HighDpi, TwipsBecomeTheSameLogicalPixelsWhateverTheDeviceRatio) {
    // Qt scales logical pixels to device pixels; the twips conversion uses the logical dpi, so
    // the designed 8595 twips are 573 logical pixels at any ratio.
    EXPECT_FLOAT_EQ(desktop.twipsPerPixelX(), 15.0f);
    EXPECT_FLOAT_EQ(desktop.twipsPerPixelY(), 15.0f);
    EXPECT_EQ(window->width(), 573);
    EXPECT_EQ(find("txtIP")->geometry(), QRect(120, 32, 181, 24));
    EXPECT_EQ(find("cmdShow")->geometry(), QRect(412, 64, 97, 45));
}

TEST_F(HighDpi, NoCaptionIsCutOff) {
    for (auto* label : window->findChildren<QLabel*>()) {
        if (label->text().isEmpty()) {
            continue;  // the picture
        }
        const QRect fits = label->contentsRect();
        const QRect needs = label->fontMetrics().boundingRect(label->text());
        EXPECT_LE(needs.width(), fits.width()) << label->objectName().toStdString();
        EXPECT_LE(label->fontMetrics().height(), fits.height())
            << label->objectName().toStdString();
    }
    for (auto* button : window->findChildren<QAbstractButton*>()) {
        if (button->objectName() == "chkDetials" || button->objectName() == "detailsButton") {
            continue;  // its caption is covered by design; the preview's button shows a sign
        }
        const QRect fits = button->contentsRect().adjusted(4, 2, -4, -2);
        const QRect needs = button->fontMetrics().boundingRect(
            fits, Qt::AlignCenter | Qt::TextWordWrap, button->text());
        EXPECT_TRUE(fits.contains(needs)) << button->objectName().toStdString();
    }
    for (auto* field : window->findChildren<QLineEdit*>()) {
        // One line of text and its frame fit the field's height.
        EXPECT_LE(field->fontMetrics().height() + 4, field->height())
            << field->objectName().toStdString();
    }
}

TEST_F(HighDpi, ThePictureHasAPixelForEveryDevicePixel) {
    auto* picture = find<QLabel>("Image1");
    const QPixmap pixmap = picture->pixmap();
    ASSERT_FALSE(pixmap.isNull());
    // Drawn into the box stretched; the source needs at least as many pixels as the box has
    // device pixels, or the picture is blown up and goes soft.
    const QSizeF devicePixels = QSizeF(picture->size()) * picture->devicePixelRatioF();
    EXPECT_GE(pixmap.width(), devicePixels.width());
    EXPECT_GE(pixmap.height(), devicePixels.height());
    // Whichever artwork was chosen, it is the designed picture's logical size.
    EXPECT_EQ(pixmap.deviceIndependentSize(), QSizeF(218, 75));
}

}  // namespace tamarin
