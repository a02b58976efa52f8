// The desktop behind one interface per facility; the backend is chosen in platform.cpp.
#pragma once

#include <memory>
#include <string>

#include "platform/input.h"
#include "platform/screen.h"
#include "platform/windows.h"

namespace glimmora {

class Platform {
  public:
    virtual ~Platform() = default;
    virtual Screen& screen() = 0;
    virtual WindowSystem& windows() = 0;
    virtual PointerInput& input() = 0;

    // Connects to the display named (or $DISPLAY when empty). Null with a reason in *error when
    // there is no display to talk to.
    static std::unique_ptr<Platform> Open(const std::string& display = {}, std::string* error = nullptr);
};

}  // namespace glimmora
