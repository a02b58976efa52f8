// The test host for the capture routines, and a driver that plays the user in the overlay through XTest.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "capture/capture_host.h"
#include "x11_test_support.h"

namespace glimmora::testing {

class TestDocument : public CaptureDocument {
  public:
    void RecordState() override { ++recorded; }
    void TakeCapture(Image img) override {
        image = std::move(img);
        modified = true;
    }
    void SetPathName(const std::string& p) override { path = p; }
    int recorded = 0;
    Image image;
    bool modified = false;
    std::string path;
};

// A real main window plus a record of everything the routines asked for.
class TestHost : public CaptureHost {
  public:
    explicit TestHost(Platform& platform);
    ~TestHost() override;

    AppSettings& Settings() override { return settings; }
    WindowId MainWindow() override;
    void ShowMain(ShowState state) override;
    void ActivateMain() override { log.push_back("activate"); }
    void InvalidateMain() override { log.push_back("invalidate"); }
    CaptureDocument* ActiveDocument() override { return active; }
    CaptureDocument* NewDocumentForCapture() override;
    void CopyToClipboard(const Image& image) override;
    void PlaySound(const std::string& path) override { log.push_back("sound " + path); }
    std::string ProgramDirectory() override { return "/opt/glimmora/"; }
    void MessageBox(const std::string& text) override { log.push_back("message " + text); }
    bool Wait(int ms) override;
    bool EscapePressed() override;

    // The last show command, "" when none.
    std::string LastShow() const;
    bool Logged(const std::string& entry) const;

    AppSettings settings;
    std::vector<std::string> log;
    std::vector<std::unique_ptr<TestDocument>> documents;
    TestDocument* active = nullptr;
    Image clipboard;
    bool escape = false;
    // Esc pressed during the next wait.
    bool escapeInWait = false;

  private:
    Platform& platform_;
    std::unique_ptr<QWidget> main_;
};

// Plays the user on a thread of its own with its own display connection, once the overlay has shown
// and handles input.
class OverlayDriver {
  public:
    // windowMode: the overlay's panel is the short one.
    OverlayDriver(bool windowMode, std::function<void(Platform&)> steps);
    ~OverlayDriver();
    bool ready() const { return ready_; }

  private:
    std::thread thread_;
    std::atomic<bool> ready_{false};
};

// Polls cond every 10 ms for up to 20 s, from a thread without a Qt event loop (the driver's own).
bool PollUntil(const std::function<bool()>& cond);

// Whether the overlay's panel shows at the top-left (0) or bottom-right (1) corner.
bool PanelShown(Platform& platform, int corner, bool windowMode);
void Click(Platform& platform, Point p, int button = 1);
void Key(const std::string& name);

// Waits until two grabs of the rectangle in a row agree.
Image SettledGrab(Platform& platform, const Rect& rect);

}  // namespace glimmora::testing
