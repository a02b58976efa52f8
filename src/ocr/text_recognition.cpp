#include "ocr/text_recognition.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <thread>

#include "image/text_prep.h"
#include "ocr/ocr_module_api.h"

namespace glimmora {

namespace fs = std::filesystem;

namespace {

std::mutex g_moduleLock;
std::string g_modulePath;

std::string ModulePath() {
    if (!g_modulePath.empty()) return g_modulePath;
    std::error_code error;
    const fs::path exe = fs::read_symlink("/proc/self/exe", error);
    return error ? std::string("glimmora-ocr.so") : (exe.parent_path() / "glimmora-ocr.so").string();
}

struct Module {
    GlimmoraOcrRead read = nullptr;
    GlimmoraOcrFree release = nullptr;
    GlimmoraCodesRead codes = nullptr;  // null in a module without the code reader
    std::string error;
};

// Opened once and kept for the rest of the run.
const Module& LoadModule() {
    static Module module;
    static bool tried = false;
    std::lock_guard<std::mutex> hold(g_moduleLock);
    if (tried) return module;
    tried = true;
    const std::string path = ModulePath();
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = dlerror();
        module.error = "The text recognition module could not be loaded (" + std::string(why ? why : path) +
                       "). Install the package libtesseract5 and try again.";
        return module;
    }
    module.read = reinterpret_cast<GlimmoraOcrRead>(dlsym(handle, GLIMMORA_OCR_READ));
    module.release = reinterpret_cast<GlimmoraOcrFree>(dlsym(handle, GLIMMORA_OCR_FREE));
    module.codes = reinterpret_cast<GlimmoraCodesRead>(dlsym(handle, GLIMMORA_CODES_READ));
    if (!module.read || !module.release) {
        module.read = nullptr;
        module.error = "The text recognition module " + path + " is damaged.";
    }
    return module;
}

std::string DesktopLocale() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"})
        if (const char* v = std::getenv(name); v && *v) return v;
    return {};
}

int Cancelled(void* flag) {
    return static_cast<const std::atomic<bool>*>(flag)->load() ? 1 : 0;
}

bool BlankRow(const Image& picture, int y) {
    const int bpp = picture.Depth() / 8;
    const uint8_t* row = picture.Row(y);
    const uint8_t first = Luminance(row);
    for (int x = 1; x < picture.Width(); ++x)
        if (std::abs(Luminance(row + x * bpp) - first) > 8) return false;
    return true;
}

Image Rows(const Image& picture, int top, int bottom) {
    Image out;
    if (!out.Create(picture.Width(), bottom - top, picture.Depth())) return out;
    const size_t bytes = static_cast<size_t>(picture.Width()) * static_cast<size_t>(picture.Depth() / 8);
    for (int y = top; y < bottom; ++y) std::memcpy(out.Row(y - top), picture.Row(y), bytes);
    return out;
}

// Terminals and code show straight quotes; the engine, trained on print, answers with curly ones.
void StraightQuotes(std::string& text) {
    static const struct {
        const char* from;
        const char* to;
    } pairs[] = {{"\u2018", "'"}, {"\u2019", "'"}, {"\u201c", "\""}, {"\u201d", "\""}};
    for (const auto& pair : pairs)
        for (size_t at = text.find(pair.from); at != std::string::npos; at = text.find(pair.from, at))
            text.replace(at, std::strlen(pair.from), pair.to);
}

}  // namespace

std::vector<int> OcrStripEnds(const Image& picture) {
    std::vector<int> ends;
    const int h = picture.Height();
    for (int top = 0; top < h;) {
        int end = std::min(h, top + kOcrStripRows);
        if (end < h)
            for (int y = end - 1; y > top + kOcrStripRows / 2; --y)
                if (BlankRow(picture, y)) {
                    end = y + 1;
                    break;
                }
        ends.push_back(end);
        top = end;
    }
    return ends;
}

std::string NoOcrDataMessage() {
    return std::string("Text recognition needs language data, and none is installed. Install the package ") +
           kOcrDataPackage + " (English), or the package of your language, and try again.";
}

std::string OcrDataFolder() {
    std::error_code error;
    if (const char* prefix = std::getenv("TESSDATA_PREFIX"); prefix && *prefix) return prefix;
    for (const char* folder :
         {"/usr/share/tesseract-ocr/5/tessdata", "/usr/share/tesseract-ocr/4.00/tessdata",
          "/usr/share/tessdata", "/usr/local/share/tessdata"})
        if (fs::is_directory(folder, error)) return folder;
    return {};
}

std::vector<std::string> InstalledOcrLanguages() {
    std::vector<std::string> out;
    const std::string folder = OcrDataFolder();
    if (folder.empty()) return out;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const fs::path& p = it->path();
        if (p.extension() != ".traineddata") continue;
        const std::string code = p.stem().string();
        if (code == "osd" || code == "equ" || code.empty()) continue;
        out.push_back(code);
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::string OcrLanguageForLocale(const std::string& locale) {
    static const struct {
        const char* prefix;
        const char* code;
    } table[] = {{"zh_TW", "chi_tra"}, {"zh_HK", "chi_tra"}, {"zh", "chi_sim"}, {"en", "eng"}, {"de", "deu"},
                 {"fr", "fra"},        {"es", "spa"},        {"it", "ita"},     {"pt", "por"}, {"nl", "nld"},
                 {"sv", "swe"},        {"da", "dan"},        {"nb", "nor"},     {"nn", "nor"}, {"no", "nor"},
                 {"fi", "fin"},        {"pl", "pol"},        {"cs", "ces"},     {"sk", "slk"}, {"hu", "hun"},
                 {"ro", "ron"},        {"ru", "rus"},        {"uk", "ukr"},     {"el", "ell"}, {"tr", "tur"},
                 {"ja", "jpn"},        {"ko", "kor"},        {"ar", "ara"},     {"he", "heb"}, {"hi", "hin"},
                 {"vi", "vie"},        {"id", "ind"},        {"bg", "bul"},     {"hr", "hrv"}, {"sl", "slv"},
                 {"sr", "srp"},        {"lt", "lit"},        {"lv", "lav"},     {"et", "est"}, {"ca", "cat"},
                 {"th", "tha"}};
    for (const auto& entry : table) {
        const size_t n = std::char_traits<char>::length(entry.prefix);
        // "de" matches "de", "de_AT", "de.UTF-8"; "zh_TW" only itself and its variants.
        if (locale.compare(0, n, entry.prefix) == 0 &&
            (locale.size() == n || locale[n] == '_' || locale[n] == '.' || locale[n] == '@'))
            return entry.code;
    }
    return {};
}

std::string OcrLanguageName(const std::string& code) {
    static const struct {
        const char* code;
        const char* name;
    } names[] = {{"ara", "Arabic"},
                 {"bul", "Bulgarian"},
                 {"cat", "Catalan"},
                 {"ces", "Czech"},
                 {"chi_sim", "Chinese (Simplified)"},
                 {"chi_tra", "Chinese (Traditional)"},
                 {"dan", "Danish"},
                 {"deu", "German"},
                 {"ell", "Greek"},
                 {"eng", "English"},
                 {"est", "Estonian"},
                 {"fin", "Finnish"},
                 {"fra", "French"},
                 {"heb", "Hebrew"},
                 {"hin", "Hindi"},
                 {"hrv", "Croatian"},
                 {"hun", "Hungarian"},
                 {"ind", "Indonesian"},
                 {"ita", "Italian"},
                 {"jpn", "Japanese"},
                 {"kor", "Korean"},
                 {"lav", "Latvian"},
                 {"lit", "Lithuanian"},
                 {"nld", "Dutch"},
                 {"nor", "Norwegian"},
                 {"pol", "Polish"},
                 {"por", "Portuguese"},
                 {"ron", "Romanian"},
                 {"rus", "Russian"},
                 {"slk", "Slovak"},
                 {"slv", "Slovenian"},
                 {"spa", "Spanish"},
                 {"srp", "Serbian"},
                 {"swe", "Swedish"},
                 {"tha", "Thai"},
                 {"tur", "Turkish"},
                 {"ukr", "Ukrainian"},
                 {"vie", "Vietnamese"}};
    for (const auto& entry : names)
        if (code == entry.code) return entry.name;
    return code;
}

std::string ChooseOcrLanguage(const std::string& setting, const std::string& locale,
                              const std::vector<std::string>& installed) {
    const auto has = [&](const std::string& code) {
        return !code.empty() && std::find(installed.begin(), installed.end(), code) != installed.end();
    };
    if (has(setting)) return setting;
    if (const std::string desktop = OcrLanguageForLocale(locale); has(desktop)) return desktop;
    if (has("eng")) return "eng";
    return installed.empty() ? std::string() : installed.front();
}

void SetOcrModulePath(const std::string& path) {
    std::lock_guard<std::mutex> hold(g_moduleLock);
    g_modulePath = path;
}

std::string OcrLanguagePackage(const std::string& language) {
    if (language.size() < 3) return {};
    std::string package = "tesseract-ocr-";
    for (const char c : language) {
        if (c >= 'a' && c <= 'z')
            package += c;
        else if (c == '_')
            package += '-';
        else
            return {};
    }
    return package;
}

OcrResult RecogniseText(const Image& original, const std::string& language, const std::atomic<bool>* cancel) {
    OcrResult result;
    const std::vector<std::string> installed = InstalledOcrLanguages();
    const std::string lang = language.empty() ? ChooseOcrLanguage({}, DesktopLocale(), installed) : language;
    if (lang.empty() || (installed.empty() && language.empty())) {
        result.error = NoOcrDataMessage();
        return result;
    }
    if (std::find(installed.begin(), installed.end(), lang) == installed.end()) {
        result.error = "No text-recognition data is installed for the language \"" + lang + "\".";
        if (const std::string package = OcrLanguagePackage(lang); !package.empty())
            result.error += " Install the package " + package + " and try again.";
        return result;
    }
    if (!original.IsValid()) {
        result.error = "There is no picture to read text from.";
        return result;
    }
    const Module& module = LoadModule();
    if (!module.read) {
        result.error = module.error;
        return result;
    }
    // Strips are cut from a 24- or 32-bit picture, where a row's shade is its bytes.
    Image wide;
    const Image* picture = &original;
    if (original.Depth() != 24 && original.Depth() != 32) {
        wide = original;
        if (!wide.ConvertDepth(24)) {
            result.error = "The picture is too large to read text from.";
            return result;
        }
        picture = &wide;
    }
    const std::string folder = OcrDataFolder();
    const int workers = std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, kOcrWorkers);
    // QR and bar codes first, each on a line, then the text around them.
    std::string codes;
    if (module.codes) {
        const int w = picture->Width(), h = picture->Height(), bpp = picture->Depth() / 8;
        std::vector<uint8_t> grey(static_cast<size_t>(w) * static_cast<size_t>(h));
        for (int y = 0; y < h; ++y) {
            const uint8_t* row = picture->Row(y);
            for (int x = 0; x < w; ++x)
                grey[static_cast<size_t>(y) * static_cast<size_t>(w) + x] = Luminance(row + x * bpp);
        }
        char* found = nullptr;
        if (module.codes(grey.data(), w, h, w, &found) > 0 && found) codes = found;
        module.release(found);
    }
    std::string text;
    int top = 0;
    for (const int end : OcrStripEnds(*picture)) {
        if (cancel && cancel->load()) {
            result.cancelled = true;
            result.error = "The text reading was cancelled.";
            return result;
        }
        const bool whole = top == 0 && end == picture->Height();
        const GreyPlane plane = PrepareTextPicture(whole ? *picture : Rows(*picture, top, end), 0);
        top = end;
        if (plane.pixels.empty()) {
            result.error = "The picture is too large to read text from.";
            return result;
        }
        char* read = nullptr;
        char* error = nullptr;
        const int ok = module.read(plane.pixels.data(), plane.width, plane.height, plane.width,
                                   folder.empty() ? nullptr : folder.c_str(), lang.c_str(), workers,
                                   plane.pitch * plane.scale, cancel ? &Cancelled : nullptr,
                                   const_cast<std::atomic<bool>*>(cancel), &read, &error);
        std::string part = ok && read ? read : "";
        const std::string why = error ? error : "unknown failure";
        module.release(read);
        module.release(error);
        if (!ok) {
            result.cancelled = cancel && cancel->load();
            result.error = result.cancelled ? "The text reading was cancelled."
                                            : "The text could not be read: " + why + ".";
            return result;
        }
        while (!part.empty() &&
               (part.back() == '\n' || part.back() == ' ' || part.back() == '\f' || part.back() == '\r'))
            part.pop_back();
        if (part.empty()) continue;
        if (plane.pitch > 0) {
            StraightQuotes(part);
            result.monospace = true;
        }
        if (!text.empty()) text += "\n\n";
        text += part;
    }
    result.ok = true;
    result.codes = codes;
    result.text = codes.empty() ? std::move(text) : text.empty() ? codes : codes + "\n\n" + text;
    return result;
}

}  // namespace glimmora
