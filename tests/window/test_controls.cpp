#include <gtest/gtest.h>

#include "common/steps.h"
#include "tests/support/printers.h"
#include "window/controls.h"

// The window's own controls on their own, without a window around them.
namespace tamarin {

namespace {

QStringList entries(const QComboBox& box) {
    QStringList texts;
    for (int i = 0; i < box.count(); ++i) {
        texts << box.itemText(i) + "=" + box.itemData(i).toString();
    }
    return texts;
}

}  // namespace

TEST(Controls, TheGameListKeepsItsEntriesSortedWhateverTheOrderTheyComeIn) {
    SortedComboBox box;
    int game = 0;
    for (const char* name : {"delta", "Bravo", "alpha", "Charlie", "bravo"}) {
        box.setItemData(box.addSorted(name), game++);
    }
    // Each entry keeps the item data it was given, wherever later entries pushed it.
    EXPECT_EQ(entries(box), QStringList({"alpha=2", "Bravo=1", "bravo=4", "Charlie=3", "delta=0"}));
    EXPECT_EQ(box.currentIndex(), -1);  // adding never selects
    box.selectPosition(4);
    EXPECT_EQ(box.currentText(), "delta");
    EXPECT_THROW(box.selectPosition(5), StepFailure);
    EXPECT_EQ(box.currentIndex(), 4);
    box.selectPosition(-1);
    EXPECT_EQ(box.currentIndex(), -1);
    box.clearEntries();
    box.addSorted("only");
    EXPECT_EQ(box.currentIndex(), -1);
}

TEST(Controls, TheDetailsBoxTakesOnlyItsThreeStates) {
    DetailsCheckBox box;
    for (int value : {0, 1, 2}) {
        box.setValue(value);
        EXPECT_EQ(box.value(), value);
    }
    EXPECT_THROW(box.setValue(3), StepFailure);
    EXPECT_THROW(box.setValue(-1), StepFailure);
    box.setValue(2);
    box.click();  // a greyed box unchecks, as its caption does
    EXPECT_EQ(box.value(), 0);
    box.click();
    EXPECT_EQ(box.value(), 1);
}

}  // namespace tamarin
