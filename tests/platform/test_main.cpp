// Test main with a QApplication: the tests open real windows on $DISPLAY.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // One device pixel per pixel: the tests compare screen pixels with the pictures they show. A run with
    // QT_SCALE_FACTOR set checks what must hold whatever the scale.
    if (!std::getenv("QT_SCALE_FACTOR")) setenv("QT_ENABLE_HIGHDPI_SCALING", "0", 1);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
