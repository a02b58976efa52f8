#include "platform/wayland/kwin_screenshot.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusUnixFileDescriptor>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "platform/wayland/portal_request.h"

namespace glimmora {

namespace {
const char kKWinService[] = "org.kde.KWin";
const char kScreenshotPath[] = "/org/kde/KWin/ScreenShot2";
const char kScreenshotInterface[] = "org.kde.KWin.ScreenShot2";
// The user may take a while to click the window; the active window comes at once.
constexpr int kPickTimeoutMs = 120000;
constexpr int kActiveTimeoutMs = 15000;
// No picture is larger than this: a bigger answer is not a screenshot.
constexpr size_t kMaxBytes = size_t{1} << 30;

std::string CallError(const QString& name, const QString& message) {
    if (name.endsWith(QLatin1String(".NoAuthorized")) || name.endsWith(QLatin1String(".NotAuthorized")))
        return "KWin lets only programs installed with their launcher copy windows (" +
               message.toStdString() + "); install Glimmora's package, or capture a region instead";
    if (name == QLatin1String("org.freedesktop.DBus.Error.NoReply") ||
        name == QLatin1String("org.freedesktop.DBus.Error.Timeout"))
        return "KWin did not hand over the window in time";
    return "KWin could not copy the window: " + (message.isEmpty() ? name : message).toStdString();
}

// An a{sv} in a reply comes as a QDBusArgument, not yet a map.
QVariantMap ResultsOf(const QDBusMessage& reply) {
    const QVariant first = reply.arguments().value(0);
    if (first.canConvert<QDBusArgument>()) return qdbus_cast<QVariantMap>(first.value<QDBusArgument>());
    return first.toMap();
}

bool Cancelled(const QString& name) {
    return name.endsWith(QLatin1String(".Cancelled"));
}

// Stores the 8-bit channels of one pixel, red first, as the image's blue-green-red.
inline void Put(uint8_t* to, uint8_t r, uint8_t g, uint8_t b) {
    to[0] = b;
    to[1] = g;
    to[2] = r;
}
}  // namespace

bool ConvertKWinPixels(const std::string& bytes, int width, int height, int stride, int format, Image& out) {
    if (width <= 0 || height <= 0 || width > 65535 || height > 65535) return false;
    int pixelBytes = 0;
    switch (format) {
        case 4:   // RGB32
        case 5:   // ARGB32
        case 6:   // ARGB32, premultiplied: opaque pixels are the same
        case 16:  // RGBX8888
        case 17:  // RGBA8888
        case 18:  // RGBA8888, premultiplied
            pixelBytes = 4;
            break;
        case 13:  // RGB888
        case 29:  // BGR888
            pixelBytes = 3;
            break;
        default:
            return false;
    }
    if (stride < width * pixelBytes) return false;
    if (bytes.size() < static_cast<size_t>(stride) * static_cast<size_t>(height - 1) +
                           static_cast<size_t>(width) * static_cast<size_t>(pixelBytes))
        return false;
    Image picture;
    if (!picture.Create(width, height, 24)) return false;
    for (int y = 0; y < height; ++y) {
        const auto* from = reinterpret_cast<const uint8_t*>(bytes.data()) + static_cast<size_t>(stride) * y;
        uint8_t* to = picture.Row(y);
        for (int x = 0; x < width; ++x, from += pixelBytes, to += 3) {
            switch (format) {
                case 4:
                case 5:
                case 6:  // a 32-bit value 0xAARRGGBB, stored little-endian
                    Put(to, from[2], from[1], from[0]);
                    break;
                case 16:
                case 17:
                case 18:
                case 13:
                    Put(to, from[0], from[1], from[2]);
                    break;
                default:  // 29
                    Put(to, from[2], from[1], from[0]);
                    break;
            }
        }
    }
    out = std::move(picture);
    return true;
}

bool KWinOffersScreenshots() {
    static std::once_flag asked;
    static bool offered = false;
    std::call_once(asked, [] {
        CoreApplicationScope app;
        PortalBus bus;
        if (!bus.Connected(nullptr)) return;
        QDBusConnectionInterface* names = bus.connection().interface();
        if (!names || !names->isServiceRegistered(QString::fromLatin1(kKWinService)).value()) return;
        QDBusMessage introspect = QDBusMessage::createMethodCall(
            kKWinService, kScreenshotPath, QStringLiteral("org.freedesktop.DBus.Introspectable"),
            QStringLiteral("Introspect"));
        const QDBusMessage reply = bus.connection().call(introspect, QDBus::Block, 5000);
        offered = reply.type() == QDBusMessage::ReplyMessage &&
                  reply.arguments().value(0).toString().contains(QString::fromLatin1(kScreenshotInterface));
    });
    return offered;
}

std::string KWinActiveOutput() {
    CoreApplicationScope app;
    PortalBus bus;
    if (!bus.Connected(nullptr)) return {};
    QDBusConnectionInterface* names = bus.connection().interface();
    if (!names || !names->isServiceRegistered(QString::fromLatin1(kKWinService)).value()) return {};
    const QDBusMessage call = QDBusMessage::createMethodCall(kKWinService, QStringLiteral("/KWin"), kKWinService,
                                                             QStringLiteral("activeOutputName"));
    const QDBusMessage reply = bus.connection().call(call, QDBus::Block, 2000);
    if (reply.type() != QDBusMessage::ReplyMessage) return {};
    return reply.arguments().value(0).toString().toStdString();
}

bool KWinWindowScreenshot(KWinWindow which, Image& out, std::string* error) {
    if (error) error->clear();
    CoreApplicationScope app;
    PortalBus bus;
    if (!bus.Connected(error)) return false;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        if (error) *error = std::string("no pipe for KWin's picture: ") + std::strerror(errno);
        return false;
    }
    const int readFd = fds[0];
    const QVariantMap options{{QStringLiteral("include-decoration"), true},
                              {QStringLiteral("include-cursor"), false},
                              {QStringLiteral("native-resolution"), true}};
    QDBusMessage call;
    if (which == KWinWindow::Picked) {
        call = QDBusMessage::createMethodCall(kKWinService, kScreenshotPath, kScreenshotInterface,
                                              QStringLiteral("CaptureInteractive"));
        call.setArguments({0u /* a window */, options, QVariant::fromValue(QDBusUnixFileDescriptor(fds[1]))});
    } else {
        call = QDBusMessage::createMethodCall(kKWinService, kScreenshotPath, kScreenshotInterface,
                                              QStringLiteral("CaptureActiveWindow"));
        call.setArguments({options, QVariant::fromValue(QDBusUnixFileDescriptor(fds[1]))});
    }
    const int timeoutMs = which == KWinWindow::Picked ? kPickTimeoutMs : kActiveTimeoutMs;
    QDBusPendingCallWatcher watcher(bus.connection().asyncCall(call, timeoutMs));
    // The pending call keeps the message, and with it a copy of the write end, until it is gone: the
    // pixels end where the answer's size says, not at the end of the pipe.
    ::close(fds[1]);

    // The pixels are read while the answer is awaited: a full pipe would hold KWin's writer up.
    std::string bytes;
    size_t expected = 0;  // known once the answer is in
    bool ended = false, failed = false;
    QEventLoop loop;
    QSocketNotifier notifier(readFd, QSocketNotifier::Read);
    const auto complete = [&] {
        if (!watcher.isFinished()) return false;
        if (watcher.isError() || failed || ended) return true;
        return expected > 0 && bytes.size() >= expected;
    };
    QObject::connect(&notifier, &QSocketNotifier::activated, &loop, [&] {
        char chunk[65536];
        for (;;) {
            const ssize_t n = ::read(readFd, chunk, sizeof chunk);
            if (n > 0) {
                bytes.append(chunk, static_cast<size_t>(n));
                if (bytes.size() > kMaxBytes) failed = true;
                if (failed) break;
                continue;
            }
            if (n == 0)
                ended = true;
            else if (errno == EINTR)
                continue;
            else if (errno != EAGAIN)
                failed = true;
            break;
        }
        if (ended || failed) notifier.setEnabled(false);
        if (complete()) loop.quit();
    });
    QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, &loop, [&] {
        if (!watcher.isError()) {
            const QVariantMap results = ResultsOf(watcher.reply());
            const qlonglong stride = results.value(QStringLiteral("stride")).toLongLong();
            const qlonglong height = results.value(QStringLiteral("height")).toLongLong();
            if (stride > 0 && height > 0 && stride * height <= static_cast<qlonglong>(kMaxBytes))
                expected = static_cast<size_t>(stride * height);
            else
                failed = true;
        }
        if (complete()) loop.quit();
    });
    bool timedOut = false;
    QTimer::singleShot(timeoutMs + 5000, &loop, [&] {
        timedOut = true;
        loop.quit();
    });
    if (!complete()) loop.exec();
    notifier.setEnabled(false);
    ::close(readFd);

    if (watcher.isFinished() && watcher.isError()) {
        const QDBusError e = watcher.error();
        if (Cancelled(e.name())) return false;  // the user pressed Esc in KWin's picker
        if (error) *error = CallError(e.name(), e.message());
        return false;
    }
    if (timedOut || failed || expected == 0 || bytes.size() < expected) {
        if (error) *error = "KWin did not hand over the window's picture";
        return false;
    }
    const QVariantMap results = ResultsOf(watcher.reply());
    if (results.value(QStringLiteral("type")).toString() != QLatin1String("raw") ||
        !ConvertKWinPixels(bytes, results.value(QStringLiteral("width")).toInt(),
                           results.value(QStringLiteral("height")).toInt(),
                           results.value(QStringLiteral("stride")).toInt(),
                           results.value(QStringLiteral("format")).toInt(), out)) {
        if (error) *error = "KWin's picture of the window is in a form Glimmora cannot read";
        return false;
    }
    return true;
}

}  // namespace glimmora
