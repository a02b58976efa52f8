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
    const char* help;  // what it does and its options, for COMMAND --help
};

const Command kCommands[] = {
    {"info", "glimmora-cli info FILE", RunInfo,
     "Prints the format (from the content, not the name), size, depth, frames and delays of FILE.\n"},
    {"convert", "glimmora-cli convert IN OUT", RunConvert,
     "Loads IN as the editor does and saves it as the editor's Save does; the extension of OUT\n"
     "chooses the format (bmp, jpg, png, gif, tif, tga, pcx).\n"},
    {"apply",
     "glimmora-cli apply OPERATION [NAME=VALUE ...] [--progress] IN OUT\n"
     "       glimmora-cli apply --list",
     RunApply,
     "Runs one image operation on IN and saves the result as OUT.\n"
     "  NAME=VALUE   a parameter of the operation (apply --list shows them, with their ranges)\n"
     "  seed=N       makes the noise filters repeatable\n"
     "  --progress   prints percentages on stderr while it runs\n"
     "  --list       lists the operations and their parameters\n"},
    {"grab", "glimmora-cli grab [--rect X,Y,W,H | --window ID | --active] [--cursor] [--verbose] OUT",
     RunGrab,
     "Captures the screen of $DISPLAY (or the Wayland session) to OUT.\n"
     "  --rect X,Y,W,H  only this rectangle\n"
     "  --window ID     one window with its frame (ids from xwininfo or xdotool, decimal or 0x...)\n"
     "  --active        the active window\n"
     "  --cursor        draws the pointer in\n"
     "  --verbose       says on stderr which way the picture was read\n"},
    {"scroll", "glimmora-cli scroll --window ID [--at X,Y] OUT", RunScroll,
     "Scrolls the window ID and stitches what it shows into one picture, OUT.\n"
     "  --window ID  the window to scroll (decimal or 0x...)\n"
     "  --at X,Y     the point in the window the wheel turns at (by default its middle)\n"},
    {"record",
     "glimmora-cli record [--rect X,Y,W,H | --window ID | --screen N] [--fps N] [--duration S] [--cursor]\n"
     "                           [--quality Q] [--verbose] OUT.webm|OUT.mp4|OUT.gif",
     RunRecord,
     "Records the screen of $DISPLAY (or the sway session) to OUT until --duration passes or SIGINT\n"
     "(Ctrl+C) or SIGTERM comes; either way the file is finished and plays. The extension chooses the\n"
     "format: .webm (VP9), .mp4 (H.264, in fragments of a second, so a recording cut short still plays)\n"
     "or .gif (one palette for the whole recording, dithered; written when the recording ends).\n"
     "  --rect X,Y,W,H  only this rectangle of the screen\n"
     "  --window ID     one window's contents, followed where it moves; the recording ends when it closes\n"
     "                  (ids from xwininfo or xdotool, decimal or 0x...)\n"
     "  --screen N      one monitor, numbered from 0 (by default the whole screen)\n"
     "  --fps N         frames a second, 1 to 120 (30)\n"
     "  --duration S    seconds to record, fractions allowed (by default until a signal)\n"
     "  --cursor        draws the pointer into the frames\n"
     "  --quality Q     1 (smallest file) to 100 (best picture) (70); for GIF below 70 a smaller palette\n"
     "  --verbose       says on stderr when the first frame is in\n"
     "Exit status 0 when the file is complete; 1 when the recording stopped early (a full disk, a\n"
     "folder that cannot be written, a missing GStreamer plugin, whose package is named), saying\n"
     "whether what was recorded before plays; 2 for a mistake in the command line.\n"},
    {"ocr", "glimmora-cli ocr [--lang L] IN", RunOcr,
     "Prints the text of the picture IN, as the editor's Copy Text reads it.\n"
     "  --lang L  the language of the text, as Tesseract names it (eng, deu, fra, chi_sim, ...);\n"
     "            by default the desktop's language when its data is installed, else English.\n"
     "            Each language's data is a package of its own: tesseract-ocr-deu for deu, and so on.\n"},
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

void PrintCommandHelp(const std::string& command, FILE* out) {
    PrintUsage(command, out);
    if (const Command* c = Find(command)) std::fprintf(out, "\n%s", c->help);
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
            PrintCommandHelp(command, stdout);
            return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
        }
    }
    return c->run(args);
}
