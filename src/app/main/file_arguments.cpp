#include "app/main/file_arguments.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace glimmora {

std::vector<std::string> FileArguments(int argc, char** argv) {
    static const char* const kOptionsWithValue[] = {"-platform",        "-platformpluginpath",
                                                    "-platformtheme",   "-plugin",
                                                    "-display",         "-geometry",
                                                    "-title",           "-style",
                                                    "-stylesheet",      "-session",
                                                    "-qwindowgeometry", "-qwindowicon",
                                                    "-qwindowtitle",    "-name",
                                                    "-qmljsdebugger"};
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const char* word = argv[i];
        if (std::strcmp(word, "--") == 0) {
            files.insert(files.end(), argv + i + 1, argv + argc);
            break;
        }
        if (word[0] != '-') {
            files.emplace_back(word);
            continue;
        }
        for (const char* option : kOptionsWithValue)
            if (std::strcmp(word, option) == 0 || (word[1] == '-' && std::strcmp(word + 1, option) == 0)) {
                ++i;
                break;
            }
    }
    return files;
}

std::string AbsolutePath(const std::string& path) {
    if (path.empty() || path[0] == '/') return path;
    std::string folder(4096, '\0');
    while (!::getcwd(folder.data(), folder.size())) {
        if (errno != ERANGE) return path;
        folder.resize(folder.size() * 2);
    }
    folder.resize(std::strlen(folder.c_str()));
    std::string rest = path;
    while (rest.rfind("./", 0) == 0) rest.erase(0, 2);
    return folder + (folder.back() == '/' ? "" : "/") + rest;
}

}  // namespace glimmora
