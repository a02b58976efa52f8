#include <cstdio>

#include "app/cli/commands.h"

namespace glimmora::cli {

int RunApply(const Args&) {
    std::fputs("glimmora-cli: apply is not built yet\n", stderr);
    return 2;
}

}  // namespace glimmora::cli
