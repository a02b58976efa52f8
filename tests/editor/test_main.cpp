// Rendering needs fonts, so a GUI application runs (offscreen) around the tests.
#include <gtest/gtest.h>

#include <QApplication>

#include "image/codecs/image_codec.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // As at program start: files are read through FreeImage.
    glimmora::SetFactory(std::make_unique<glimmora::FreeImageCodecFactory>());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
