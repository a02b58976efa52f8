// glimmora-cli: the image core for scripts, tests and benchmarks.
#include <cstdio>
#include <cstring>
#include <string>

#include "app/cli/commands.h"

namespace glimmora::cli {

namespace {
struct Command {
    const char* name;
    const char* usage;
    int (*run)(const Args&);
};

const Command kCommands[] = {
    {"info", "glimmora-cli info FILE", RunInfo},
    {"convert", "glimmora-cli convert IN OUT", RunConvert},
    {"apply",
     "glimmora-cli apply OPERATION [NAME=VALUE ...] [--progress] IN OUT\n"
     "       glimmora-cli apply --list",
     RunApply},
    {"grab", "glimmora-cli grab [--rect X,Y,W,H | --window ID | --active] [--cursor] [--verbose] OUT", RunGrab},
    {"scroll", "glimmora-cli scroll --window ID [--at X,Y] OUT", RunScroll},
    {"ocr", "glimmora-cli ocr [--lang L] IN", RunOcr},
};

const Command* Find(const std::string& name) {
    for (const Command& c : kCommands)
        if (name == c.name) return &c;
    return nullptr;
}

void PrintAll(FILE* out) {
    std::fputs("usage: ", out);
    bool first = true;
    for (const Command& c : kCommands) {
        std::fprintf(out, "%s%s\n", first ? "" : "       ", c.usage);
        first = false;
    }
    std::fputs(
        "\nNumbers are decimal; window ids may also be written 0x... as xwininfo prints them.\n"
        "-- ends the options: later words are file names even when they begin with '-'.\n"
        "COMMAND --help shows one command; apply --list shows the operations and their values.\n"
        "glimmora-cli --version prints the version (" GLIMMORA_VERSION ").\n",
        out);
}

bool IsHelp(const std::string& word) {
    return word == "--help" || word == "-h";
}
}  // namespace

void PrintUsage(const std::string& command, FILE* out) {
    const Command* c = Find(command);
    if (!c) {
        PrintAll(out);
        return;
    }
    std::fprintf(out, "usage: %s\n", c->usage);
}

}  // namespace glimmora::cli

int main(int argc, char** argv) {
    using namespace glimmora::cli;
    if (argc < 2) {
        PrintAll(stderr);
        return 2;
    }
    const std::string command = argv[1];
    if (IsHelp(command) || command == "help") {
        PrintAll(stdout);
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
    }
    if (command == "--version" || command == "-V") {
        std::puts("glimmora-cli " GLIMMORA_VERSION);
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
    }
    const Command* c = Find(command);
    if (!c) {
        std::fprintf(stderr, "glimmora-cli: unknown command '%s'\n", command.c_str());
        PrintAll(stderr);
        return 2;
    }
    const Args args(argv + 2, argv + argc);
    // COMMAND --help, anywhere among the options.
    for (const std::string& word : args) {
        if (word == "--") break;
        if (IsHelp(word)) {
            PrintUsage(command, stdout);
            return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
        }
    }
    return c->run(args);
}
