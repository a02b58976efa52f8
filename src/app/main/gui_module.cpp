#include "app/main/gui_module.h"

#include <QApplication>
#include <QCoreApplication>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <string>

#include "app/frame/main_frame.h"
#include "app/frame/tavrik_app.h"
#include "app/main/file_arguments.h"
#include "platform/platform.h"

extern "C" __attribute__((visibility("default"))) int GlimmoraGuiMain(int argc, char** argv) {
    QApplication application(argc, argv);
    application.setQuitOnLastWindowClosed(false);
    glimmora::CTavrikApp app;
    if (!app.InitInstance()) return 1;
    // The toolkit has taken its own options out of argv by now.
    const std::vector<std::string> files = glimmora::FileArguments(argc, argv);
    if (!files.empty())
        QTimer::singleShot(0, app.MainFrame(), [&app, files] { app.MainFrame()->OpenFiles(files); });
    return application.exec();
}

extern "C" __attribute__((visibility("default"))) int GlimmoraGuiSendOverX(int argc, char** argv,
                                                                           uint32_t message, int64_t wParam,
                                                                           int64_t lParam,
                                                                           const char* busReason) {
    QCoreApplication core(argc, argv);
    std::string error;
    std::unique_ptr<glimmora::Platform> platform = glimmora::Platform::Open({}, &error);
    if (platform && platform->SendAppMessage({message, wParam, lParam}, &error)) return 0;
    std::fprintf(stderr, "glimmora: no Glimmora answers on the session bus: %s\nglimmora: %s\n", busReason,
                 error.c_str());
    return 1;
}
