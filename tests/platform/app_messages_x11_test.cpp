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

    // A second instance takes the name; the first one's withdrawal leaves it alone.
    ASSERT_TRUE(receiver->PublishMainWindow(secondId));
    receiver->WithdrawMainWindow(firstId);
    auto published = raw->Get(xcb_get_property_reply,
                              xcb_get_property(raw->get(), 0, raw->root(), raw->Atom("_GLIMMORA_MAIN_WINDOW"),
                                               XCB_ATOM_WINDOW, 0, 1));
    ASSERT_TRUE(published && xcb_get_property_value_length(published.get()) == 4);
    EXPECT_EQ(*static_cast<const xcb_window_t*>(xcb_get_property_value(published.get())), secondId);
    EXPECT_TRUE(sender->SendAppMessage(request, &error)) << error;
    EXPECT_TRUE(WaitUntil([&] { return catcher.got.size() == std::size(requests) + 1; }));

    // An instance that died without withdrawing leaves a stale name.
    {
        QWidget doomed;
        ASSERT_TRUE(receiver->PublishMainWindow(static_cast<WindowId>(doomed.winId())));
    }
    error.clear();
    EXPECT_TRUE(WaitUntil([&] { return !sender->SendAppMessage(request, &error); }));
    EXPECT_NE(error.find("no longer exists"), std::string::npos) << error;

    // Withdrawn for good: nothing is published.
    receiver->PublishMainWindow(secondId);
    receiver->WithdrawMainWindow(secondId);
    error.clear();
    EXPECT_FALSE(sender->SendAppMessage(request, &error));
    EXPECT_NE(error.find("no main window"), std::string::npos) << error;
    qApp->removeNativeEventFilter(&catcher);
}

}  // namespace
}  // namespace glimmora
