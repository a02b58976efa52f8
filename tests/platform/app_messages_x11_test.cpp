// Requests from other programs against a real X server: published, sent and decoded across connections.
#include <gtest/gtest.h>

#include <QAbstractNativeEventFilter>
#include <QWidget>
#include <iterator>

#include "platform/platform.h"
#include "platform/x11/x11_connection.h"
#include "x11_test_support.h"

namespace glimmora {
namespace {

using testing::WaitUntil;

// Collects the requests that reach Qt's windows, as the main frame's filter does.
class RequestCatcher : public QAbstractNativeEventFilter {
  public:
    explicit RequestCatcher(Platform& platform) : platform_(platform) {}
    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type != "xcb_generic_event_t") return false;
        if (auto request = platform_.DecodeAppMessage(message)) {
            got.push_back(*request);
            return true;
        }
        return false;
    }
    std::vector<AppMessage> got;

  private:
    Platform& platform_;
};

TEST(X11AppMessages, RequestsReachThePublishedWindowFromAnotherConnection) {
    REQUIRE_DISPLAY();
    auto receiver = Platform::Open();
    auto sender = Platform::Open();
    ASSERT_TRUE(receiver && sender);
    std::string error;
    auto raw = x11::Connection::Open({}, &error);
    ASSERT_NE(raw, nullptr) << error;
    // Whatever an earlier run left behind.
    xcb_delete_property(raw->get(), raw->root(), raw->Atom("_GLIMMORA_MAIN_WINDOW"));
    xcb_delete_property(raw->get(), raw->root(), raw->Atom("_GLIMMORA_MAIN_WINDOWS"));
    raw->Sync();

    const AppMessage request{0x466, 2, 0};
    EXPECT_FALSE(sender->SendAppMessage(request, &error));
    EXPECT_NE(error.find("not running"), std::string::npos) << error;

    RequestCatcher catcher(*receiver);
    qApp->installNativeEventFilter(&catcher);
    QWidget first, second;
    const auto firstId = static_cast<WindowId>(first.winId());
    const auto secondId = static_cast<WindowId>(second.winId());
    ASSERT_TRUE(receiver->PublishMainWindow(firstId));

    const AppMessage requests[] = {
        {0x464, 0, 0x2a00017}, {0x465, 1, 0x1c00003}, {0x466, 3, 0}, {0x466, 5, 0}};
    for (const AppMessage& r : requests) {
        error.clear();
        EXPECT_TRUE(sender->SendAppMessage(r, &error)) << error;
    }
    ASSERT_TRUE(WaitUntil([&] { return catcher.got.size() >= std::size(requests); }));
    ASSERT_EQ(catcher.got.size(), std::size(requests));
    for (size_t i = 0; i < std::size(requests); ++i) {
        EXPECT_EQ(catcher.got[i].message, requests[i].message) << i;
        EXPECT_EQ(catcher.got[i].wParam, requests[i].wParam) << i;
        EXPECT_EQ(catcher.got[i].lParam, requests[i].lParam) << i;
    }

    auto named = [&] {
        auto published = raw->Get(xcb_get_property_reply, xcb_get_property(raw->get(), 0, raw->root(),
                                                                           raw->Atom("_GLIMMORA_MAIN_WINDOW"),
                                                                           XCB_ATOM_WINDOW, 0, 1));
        if (!published || xcb_get_property_value_length(published.get()) != 4) return WindowId{0};
        return static_cast<WindowId>(
            *static_cast<const xcb_window_t*>(xcb_get_property_value(published.get())));
    };
    size_t expected = std::size(requests);
    auto reaches = [&](const char* what) {
        SCOPED_TRACE(what);
        error.clear();
        EXPECT_TRUE(sender->SendAppMessage(request, &error)) << error;
        ++expected;
        EXPECT_TRUE(WaitUntil([&] { return catcher.got.size() == expected; }));
    };

    // A second instance takes the name; when it leaves, the first one has it again.
    ASSERT_TRUE(receiver->PublishMainWindow(secondId));
    EXPECT_EQ(named(), secondId);
    receiver->WithdrawMainWindow(secondId);
    EXPECT_EQ(named(), firstId);
    reaches("the first instance again");

    // The older one leaving first does not take the newer one's name.
    ASSERT_TRUE(receiver->PublishMainWindow(secondId));
    receiver->WithdrawMainWindow(firstId);
    EXPECT_EQ(named(), secondId);
    reaches("the second instance");

    // An instance that died without withdrawing leaves a stale name; the one still running answers.
    xcb_window_t doomedId = 0;
    {
        QWidget doomed;
        doomedId = static_cast<xcb_window_t>(doomed.winId());
        ASSERT_TRUE(receiver->PublishMainWindow(doomedId));
    }
    ASSERT_TRUE(WaitUntil([&] {
        return !raw->Get(xcb_get_window_attributes_reply, xcb_get_window_attributes(raw->get(), doomedId));
    }));
    reaches("the instance before the dead one");

    // Withdrawn for good: nothing is published.
    receiver->WithdrawMainWindow(secondId);
    EXPECT_EQ(named(), WindowId{0});
    error.clear();
    EXPECT_FALSE(sender->SendAppMessage(request, &error));
    EXPECT_NE(error.find("no main window"), std::string::npos) << error;
    qApp->removeNativeEventFilter(&catcher);
}

}  // namespace
}  // namespace glimmora
