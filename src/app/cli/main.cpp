// glimmora-cli: the image core for scripts, tests and benchmarks.
#include <cstdio>
#include <cstring>

#include "app/cli/commands.h"

namespace {
void Usage() {
    std::fputs(
        "usage: glimmora-cli info FILE\n"
        "       glimmora-cli convert IN OUT\n"
        "       glimmora-cli apply OPERATION [NAME=VALUE ...] IN OUT   (apply --list for the operations)\n"
        "       glimmora-cli grab [--rect X,Y,W,H | --window ID | --active] [--cursor] OUT\n"
        "       glimmora-cli scroll --window ID [--at X,Y] OUT\n",
        stderr);
}
}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        Usage();
        return 2;
    }
    const std::string command = argv[1];
    const glimmora::cli::Args args(argv + 2, argv + argc);
    if (command == "info") return glimmora::cli::RunInfo(args);
    if (command == "convert") return glimmora::cli::RunConvert(args);
    if (command == "apply") return glimmora::cli::RunApply(args);
    if (command == "grab") return glimmora::cli::RunGrab(args);
    if (command == "scroll") return glimmora::cli::RunScroll(args);
    if (command == "--help" || command == "-h" || command == "help") {
        Usage();
        return 0;
    }
    std::fprintf(stderr, "glimmora-cli: unknown command '%s'\n", command.c_str());
    Usage();
    return 2;
}
