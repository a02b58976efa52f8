// The recognition module: Tesseract behind two C functions, loaded by the program on first use.
#include <tesseract/baseapi.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "ocr/ocr_module_api.h"

namespace {

char* Copy(const std::string& s) {
    char* out = static_cast<char*>(std::malloc(s.size() + 1));
    if (out) std::memcpy(out, s.c_str(), s.size() + 1);
    return out;
}

// Loading a language's data takes a good part of a second: the engine is kept for the next request.
struct Engine {
    std::mutex lock;
    std::unique_ptr<tesseract::TessBaseAPI> api;
    std::string dataPath, lang;
};

Engine& TheEngine() {
    static Engine engine;
    return engine;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int glimmora_ocr_run(const unsigned char* pixels, int width,
                                                                       int height, int bytesPerLine,
                                                                       const char* dataPath, const char* lang,
                                                                       char** text, char** error) {
    *text = nullptr;
    *error = nullptr;
    if (!pixels || width <= 0 || height <= 0 || bytesPerLine < width || !lang || !*lang) {
        *error = Copy("nothing to recognise");
        return 0;
    }
    Engine& engine = TheEngine();
    std::lock_guard<std::mutex> hold(engine.lock);
    const std::string path = dataPath ? dataPath : "";
    if (!engine.api || engine.dataPath != path || engine.lang != lang) {
        engine.api.reset();
        auto api = std::make_unique<tesseract::TessBaseAPI>();
        if (api->Init(path.empty() ? nullptr : path.c_str(), lang, tesseract::OEM_LSTM_ONLY) != 0) {
            *error = Copy(std::string("the language data \"") + lang + "\" could not be loaded");
            return 0;
        }
        engine.api = std::move(api);
        engine.dataPath = path;
        engine.lang = lang;
        // The engine's shared data cache is a static made during Init; ours must go before it does at
        // exit, or the cache reports what we still hold. Exit handlers run in reverse order.
        static const bool released = std::atexit([] { TheEngine().api.reset(); }) == 0;
        (void)released;
    }
    tesseract::TessBaseAPI& api = *engine.api;
    api.SetPageSegMode(tesseract::PSM_AUTO);
    api.SetImage(pixels, width, height, 1, bytesPerLine);
    // The picture is screen pixels scaled up: tell the engine a print-like resolution instead of none.
    api.SetSourceResolution(300);
    char* result = api.GetUTF8Text();
    api.Clear();
    if (!result) {
        *error = Copy("the recogniser failed");
        return 0;
    }
    *text = Copy(result);
    delete[] result;
    return *text ? 1 : 0;
}

extern "C" __attribute__((visibility("default"))) void glimmora_ocr_free(char* text) {
    std::free(text);
}
