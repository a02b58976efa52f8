// Pointer motion and buttons through XTest, so programs see them as the user's own input.
#pragma once

#include "platform/input.h"
#include "platform/x11/x11_connection.h"

namespace glimmora::x11 {

class X11Input : public PointerInput {
  public:
    explicit X11Input(Connection& conn);
    bool WarpPointer(Point p) override;
    bool WheelNotchDown() override;
    bool Button(int button, bool down) override;
    void Sync() override { conn_.Sync(); }
    std::unique_ptr<EscapeGrab> GrabEscape() override;

  private:
    Connection& conn_;
    bool xtest_ = false;
};

}  // namespace glimmora::x11
