// The controls need a GUI application; offscreen unless a display is asked for.
#include <QApplication>

#include "image/codecs/image_codec.h"
#include "ui_tests.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // As at program start: pictures are read through FreeImage.
    glimmora::SetFactory(std::make_unique<glimmora::FreeImageCodecFactory>());
    int failed = 0;
    failed += glimmora::test::RunColourPickerTests(argc, argv);
    failed += glimmora::test::RunToolOptionBarTests(argc, argv);
    failed += glimmora::test::RunSmallControlTests(argc, argv);
    failed += glimmora::test::RunDialogTests(argc, argv);
    return failed == 0 ? 0 : 1;
}
