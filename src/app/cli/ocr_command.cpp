// glimmora-cli ocr: the text of a picture, as the editor's Copy Text reads it.
#include <cstdio>

#include "app/cli/commands.h"
#include "ocr/text_recognition.h"

namespace glimmora::cli {

int RunOcr(const Args& args) {
    std::string language;
    Args rest;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--lang" && i + 1 < args.size()) {
            language = args[++i];
        } else if (args[i] == "--") {
            rest.insert(rest.end(), args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
            break;
        } else {
            rest.push_back(args[i]);
        }
    }
    Args files;
    if (!Operands("ocr", rest, files) || files.size() != 1) {
        PrintUsage("ocr", stderr);
        return 2;
    }
    Image picture;
    if (!LoadForEditing(files[0], picture)) return 1;
    const OcrResult result = RecogniseText(picture, language);
    if (!result.ok) {
        std::fprintf(stderr, "glimmora-cli: %s\n", result.error.c_str());
        return 1;
    }
    std::fputs(result.text.c_str(), stdout);
    if (!result.text.empty()) std::fputc('\n', stdout);
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
}

}  // namespace glimmora::cli
