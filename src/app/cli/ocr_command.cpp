// glimmora-cli ocr: the text of a picture, as the editor's Copy Text reads it.
#include <cstdio>

#include "app/cli/commands.h"
#include "ocr/text_recognition.h"

namespace glimmora::cli {

int RunOcr(const Args& args) {
    std::string language;
    Args rest;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--lang") {
            if (i + 1 == args.size() || args[i + 1].empty() || args[i + 1][0] == '-') {
                std::fputs(
                    "glimmora-cli: ocr: the option --lang needs a value: a language such as eng or deu\n",
                    stderr);
                PrintUsage("ocr", stderr);
                return 2;
            }
            language = args[++i];
        } else if (args[i].rfind("--lang=", 0) == 0) {
            language = args[i].substr(7);
        } else if (args[i] == "--") {
            rest.insert(rest.end(), args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
            break;
        } else {
            rest.push_back(args[i]);
        }
    }
    Args files;
    if (!Operands("ocr", rest, files)) {
        PrintUsage("ocr", stderr);
        return 2;
    }
    if (files.size() != 1) {
        if (files.empty())
            std::fputs("glimmora-cli: ocr: no picture given: name the file to read\n", stderr);
        else
            std::fprintf(stderr, "glimmora-cli: ocr: one picture at a time, but %zu were given\n",
                         files.size());
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
