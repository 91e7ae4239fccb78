#include <gtest/gtest.h>

#ifdef TAMARIN_TEST_CORE_ONLY
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#else
#include <QApplication>
using TestApplication = QApplication;
#endif
#include <cstring>
#include <memory>

// Widgets need a QApplication (the engine's tests, built without widgets, a QCoreApplication);
// listing the tests (as CTest does to discover them) does not, and must work without a display.
int main(int argc, char** argv) {
    bool listing = false;
    for (int i = 1; i < argc; ++i) {
        listing = listing || std::strcmp(argv[i], "--gtest_list_tests") == 0;
    }
    std::unique_ptr<TestApplication> app;
    if (!listing) {
        app = std::make_unique<TestApplication>(argc, argv);
        TestApplication::setApplicationName("Tamarin");
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
