#include "platform/wayland/portal_request.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHash>
#include <QTimer>
#include <atomic>

namespace glimmora {

namespace {
const char kRequestInterface[] = "org.freedesktop.portal.Request";

std::atomic<unsigned> g_serial{0};

// Takes the Response signals on this connection (it serves one request), by the Request object's path:
// a portal that picks the path itself may answer before the call's reply has told us which it is.
class ResponseReceiver : public QObject {
    Q_OBJECT
  public:
    QHash<QString, PortalResponse> responses;
    QString awaited;
    QEventLoop* loop = nullptr;

  public slots:
    void OnResponse(uint code, const QVariantMap& results, const QDBusMessage& message) {
        responses.insert(message.path(), PortalResponse{code, results});
        if (loop && message.path() == awaited) loop->quit();
    }
};

// One request answered through the event loop: the call's reply names the Request path, the Response
// on that path (possibly first) or the time limit ends it.
class AsyncRequest : public QObject {
    Q_OBJECT
  public:
    AsyncRequest(QObject* context, QDBusConnection bus, PortalDone done)
        : QObject(context), bus_(std::move(bus)), done_(std::move(done)) {}

    QHash<QString, PortalResponse> responses;
    QString awaited;

    void Finish(bool ok, const PortalResponse& response, const std::string& error) {
        if (!done_) return;
        PortalDone done = std::move(done_);
        done_ = nullptr;
        bus_.disconnect(kPortalService, QString(), kRequestInterface, QStringLiteral("Response"), this,
                        SLOT(OnResponse(uint, QVariantMap, QDBusMessage)));
        deleteLater();
        done(ok, response, error);
    }
    void TakeIfAnswered() {
        if (!awaited.isEmpty() && responses.contains(awaited)) Finish(true, responses.value(awaited), {});
    }

  public slots:
    void OnResponse(uint code, const QVariantMap& results, const QDBusMessage& message) {
        responses.insert(message.path(), PortalResponse{code, results});
        TakeIfAnswered();
    }

  private:
    QDBusConnection bus_;
    PortalDone done_;
};

QDBusConnection ConnectSession(const QString& name) {
    // Read on every call: libdbus would keep the first address it saw for the whole process.
    const QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    if (!address.isEmpty()) return QDBusConnection::connectToBus(address, name);
    return QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
}

// Any path: see ResponseReceiver.
bool Subscribe(QDBusConnection& bus, ResponseReceiver* receiver) {
    return bus.connect(kPortalService, QString(), kRequestInterface, QStringLiteral("Response"), receiver,
                       SLOT(OnResponse(uint, QVariantMap, QDBusMessage)));
}
}  // namespace

CoreApplicationScope::CoreApplicationScope() {
    if (QCoreApplication::instance()) return;
    static int argc = 1;
    static char name[] = "glimmora";
    static char* argv[] = {name, nullptr};
    own_ = std::make_unique<QCoreApplication>(argc, argv);
}

CoreApplicationScope::~CoreApplicationScope() = default;

PortalBus::PortalBus()
    : name_(QStringLiteral("glimmora-portal-%1").arg(g_serial.fetch_add(1))), bus_(ConnectSession(name_)) {}

PortalBus::~PortalBus() {
    QDBusConnection::disconnectFromBus(name_);
}

bool PortalBus::Connected(std::string* error) const {
    if (bus_.isConnected()) return true;
    if (error) {
        const QString why = bus_.lastError().message();
        *error = "no D-Bus session bus to reach the desktop portal" +
                 (why.isEmpty() ? std::string() : " (" + why.toStdString() + ")");
    }
    return false;
}

QString PortalRequestPath(const QDBusConnection& bus, const QString& token) {
    QString sender = bus.baseService();
    if (sender.startsWith(u':')) sender.remove(0, 1);
    sender.replace(u'.', u'_');
    return QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
}

QString NewPortalToken() {
    return QStringLiteral("glimmora%1_%2").arg(::getpid()).arg(g_serial.fetch_add(1));
}

std::string PortalCallError(const QString& interface, const QString& errorName, const QString& message) {
    const std::string detail = message.isEmpty() ? std::string() : " (" + message.toStdString() + ")";
    if (errorName == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
        errorName == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner"))
        return "no desktop portal is running on the session bus" + detail;
    if (errorName == QLatin1String("org.freedesktop.DBus.Error.UnknownMethod") ||
        errorName == QLatin1String("org.freedesktop.DBus.Error.UnknownInterface") ||
        errorName == QLatin1String("org.freedesktop.DBus.Error.UnknownObject"))
        return "the desktop portal does not offer " + interface.toStdString() + detail;
    if (errorName == QLatin1String("org.freedesktop.DBus.Error.NoReply") ||
        errorName == QLatin1String("org.freedesktop.DBus.Error.Timeout"))
        return "the desktop portal did not answer" + detail;
    if (errorName == QLatin1String("org.freedesktop.DBus.Error.AccessDenied") ||
        errorName == QLatin1String("org.freedesktop.portal.Error.NotAllowed"))
        return "the desktop portal refused the request" + detail;
    return "the desktop portal failed: " + errorName.toStdString() + detail;
}

void CallPortalRequestAsync(PortalBus& portal, QObject* context, const QString& interface,
                            const QString& method, QVariantList args, int timeoutMs, PortalDone done) {
    std::string error;
    if (!portal.Connected(&error)) {
        QTimer::singleShot(0, context, [done, error] { done(false, {}, error); });
        return;
    }
    QDBusConnection& bus = portal.connection();
    auto* request = new AsyncRequest(context, bus, std::move(done));
    const QString token = NewPortalToken();
    // Listening before the call: the answer may come before the call returns.
    if (!bus.connect(kPortalService, QString(), kRequestInterface, QStringLiteral("Response"), request,
                     SLOT(OnResponse(uint, QVariantMap, QDBusMessage)))) {
        QTimer::singleShot(0, request, [request] {
            request->Finish(false, {}, "could not listen for the desktop portal's answer");
        });
        return;
    }
    QVariantMap options = args.isEmpty() ? QVariantMap() : args.takeLast().toMap();
    options.insert(QStringLiteral("handle_token"), token);
    args.append(options);
    QDBusMessage call = QDBusMessage::createMethodCall(kPortalService, kPortalPath, interface, method);
    call.setArguments(args);
    const QString expected = PortalRequestPath(bus, token);
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), request);
    QObject::connect(
        watcher, &QDBusPendingCallWatcher::finished, request, [request, watcher, interface, expected] {
            watcher->deleteLater();
            const QDBusMessage reply = watcher->reply();
            if (reply.type() != QDBusMessage::ReplyMessage) {
                request->Finish(false, {},
                                PortalCallError(interface, reply.errorName(), reply.errorMessage()));
                return;
            }
            // Portals before handle_token pick the path themselves.
            const QString handle = reply.arguments().value(0).value<QDBusObjectPath>().path();
            request->awaited = handle.isEmpty() ? expected : handle;
            request->TakeIfAnswered();
        });
    if (timeoutMs <= 0) return;
    QTimer::singleShot(timeoutMs, request, [request, timeoutMs, bus]() mutable {
        // Nobody waits for it any more: the portal may drop whatever it was about to show.
        if (!request->awaited.isEmpty())
            bus.call(QDBusMessage::createMethodCall(kPortalService, request->awaited, kRequestInterface,
                                                    QStringLiteral("Close")),
                     QDBus::NoBlock);
        request->Finish(false, {},
                        "the desktop portal did not answer within " +
                            std::to_string((timeoutMs + 999) / 1000) + " seconds");
    });
}

bool CallPortalRequest(PortalBus& portal, const QString& interface, const QString& method, QVariantList args,
                       int timeoutMs, PortalResponse& response, std::string* error) {
    if (!portal.Connected(error)) return false;
    QDBusConnection& bus = portal.connection();
    QElapsedTimer clock;
    clock.start();
    ResponseReceiver receiver;
    const QString token = NewPortalToken();
    // Listening before the call: the answer may come before the call returns.
    if (!Subscribe(bus, &receiver)) {
        if (error) *error = "could not listen for the desktop portal's answer";
        return false;
    }
    QVariantMap options = args.isEmpty() ? QVariantMap() : args.takeLast().toMap();
    options.insert(QStringLiteral("handle_token"), token);
    args.append(options);
    QDBusMessage call = QDBusMessage::createMethodCall(kPortalService, kPortalPath, interface, method);
    call.setArguments(args);
    const QDBusMessage reply = bus.call(call, QDBus::Block, timeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        if (error) *error = PortalCallError(interface, reply.errorName(), reply.errorMessage());
        return false;
    }
    // Portals before handle_token pick the path themselves.
    const QString handle = reply.arguments().value(0).value<QDBusObjectPath>().path();
    receiver.awaited = handle.isEmpty() ? PortalRequestPath(bus, token) : handle;
    if (!receiver.responses.contains(receiver.awaited)) {
        QEventLoop loop;
        receiver.loop = &loop;
        QTimer::singleShot(std::max<qint64>(0, timeoutMs - clock.elapsed()), &loop, &QEventLoop::quit);
        loop.exec();
        receiver.loop = nullptr;
    }
    if (!receiver.responses.contains(receiver.awaited)) {
        // Nobody waits for it any more: the portal may drop whatever it was about to show.
        bus.call(QDBusMessage::createMethodCall(kPortalService, receiver.awaited, kRequestInterface,
                                                QStringLiteral("Close")),
                 QDBus::NoBlock);
        if (error)
            *error = "the desktop portal did not answer within " + std::to_string((timeoutMs + 999) / 1000) +
                     " seconds";
        return false;
    }
    response = receiver.responses.value(receiver.awaited);
    return true;
}

}  // namespace glimmora

#include "portal_request.moc"
