#include <gtest/gtest.h>

#include <QApplication>
#include <cstring>
#include <memory>

// Widgets need a QApplication; listing the tests (as CTest does to discover them) does not, and
// must work without a display.
int main(int argc, char** argv) {
    bool listing = false;
    for (int i = 1; i < argc; ++i) {
        listing = listing || std::strcmp(argv[i], "--gtest_list_tests") == 0;
    }
    std::unique_ptr<QApplication> app;
    if (!listing) {
        app = std::make_unique<QApplication>(argc, argv);
        QApplication::setApplicationName("Tamarin");
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
