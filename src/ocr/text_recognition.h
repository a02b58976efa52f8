// Text from a picture: the languages installed, the one to use, and the recognition itself through the
// module that is loaded on first use.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "image/image.h"

namespace glimmora {

// The package that brings the English data, named when no language data is installed.
inline constexpr char kOcrDataPackage[] = "tesseract-ocr-eng";
// The message shown when no language data is installed.
std::string NoOcrDataMessage();
// The Debian package with a language's data (deu: tesseract-ocr-deu, chi_sim: tesseract-ocr-chi-sim);
// empty for a name that is no language code.
std::string OcrLanguagePackage(const std::string& language);

// The folder the engine reads language data from: $TESSDATA_PREFIX when set, else the first of the
// Debian folders that exists; empty when none does.
std::string OcrDataFolder();
// The languages whose data is installed there ("eng", "deu", ...), sorted; the engine's helper data
// (orientation, equations) is left out.
std::vector<std::string> InstalledOcrLanguages();
// The engine's code for a desktop locale name such as "de_DE.UTF-8" or "pt_BR"; empty when unknown.
std::string OcrLanguageForLocale(const std::string& locale);
// The language's English name for a menu ("German" for "deu"); the code itself when unknown.
std::string OcrLanguageName(const std::string& code);
// The language to use: the setting when its data is installed, else the desktop's language when its
// data is, else English when installed, else the first installed; empty when none is installed.
std::string ChooseOcrLanguage(const std::string& setting, const std::string& locale,
                              const std::vector<std::string>& installed);

struct OcrResult {
    bool ok = false;
    bool cancelled = false;  // stopped by the caller; error says so
    std::string text;        // UTF-8, trailing blank lines removed
    std::string error;       // for the user, when !ok
    bool monospace = false;  // read as text on a character grid: a terminal, code, a log
    std::string codes;       // the QR and bar codes decoded, one a line (also at the head of text)
};

// Where the module is: by default "glimmora-ocr.so" in the program's directory. Tests point elsewhere.
void SetOcrModulePath(const std::string& path);

// Recognises the text of the picture (any depth) in the language (empty: ChooseOcrLanguage with no
// setting and the desktop's locale). Small screen text is scaled up and light-on-dark text inverted
// first. Fails with a message for the user when the module or the language data is missing. Several
// engines share the work, one a core (at most kOcrWorkers); pictures too tall for the engine are read in
// strips cut at blank rows. The read stops soon after *cancel turns true.
inline constexpr int kOcrWorkers = 4;
OcrResult RecogniseText(const Image& picture, const std::string& language = {},
                        const std::atomic<bool>* cancel = nullptr);

// The rows where a picture this tall is cut into strips for the engine: each strip ends at a row of one
// shade where there is one in its last half, and holds at most kOcrStripRows rows (the engine takes
// 32767 pixels a side, and small text is read scaled up 2x).
inline constexpr int kOcrStripRows = 8000;
std::vector<int> OcrStripEnds(const Image& picture);

}  // namespace glimmora
