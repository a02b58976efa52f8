#include <cstdio>

#include "app/cli/commands.h"

namespace glimmora::cli {

int RunGrab(const Args&) {
    std::fputs("glimmora-cli: grab is not built yet\n", stderr);
    return 2;
}

int RunScroll(const Args&) {
    std::fputs("glimmora-cli: scroll is not built yet\n", stderr);
    return 2;
}

}  // namespace glimmora::cli
