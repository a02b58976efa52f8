// A stand-in for the desktop portal's Screenshot on a private bus, for the answers the real portal cannot
// be made to give (a refusal, silence, a remote file). Usage: stand_in_portal MODE [URI]; prints "ready"
// once it owns the portal's name.
//   answer CODE   the Response with CODE and URI after the call's reply
//   early         the Response (0, URI) before the call's reply
//   elsewhere     the Request object at a path of its own choosing, as portals before handle_token did
//   silent        no Response at all
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <cstdio>

namespace {

class StandInPortal : public QDBusVirtualObject {
  public:
    StandInPortal(QString mode, uint code, QString uri)
        : mode_(std::move(mode)), code_(code), uri_(std::move(uri)) {}

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& call, const QDBusConnection& bus) override {
        if (call.interface() != QLatin1String("org.freedesktop.portal.Screenshot") ||
            call.member() != QLatin1String("Screenshot"))
            return false;
        const QVariantMap options = qdbus_cast<QVariantMap>(call.arguments().value(1));
        QString sender = call.service().mid(1);
        sender.replace(u'.', u'_');
        const QString path = mode_ == QLatin1String("elsewhere")
                                 ? QStringLiteral("/org/freedesktop/portal/desktop/request/elsewhere/r1")
                                 : QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2")
                                       .arg(sender, options.value(QStringLiteral("handle_token")).toString());
        QDBusMessage response = QDBusMessage::createTargetedSignal(
            call.service(), path, QStringLiteral("org.freedesktop.portal.Request"),
            QStringLiteral("Response"));
        response << code_ << QVariantMap{{QStringLiteral("uri"), uri_}};
        const QDBusMessage reply = call.createReply(QVariant::fromValue(QDBusObjectPath(path)));
        if (mode_ == QLatin1String("early")) {
            bus.send(response);
            bus.send(reply);
        } else {
            bus.send(reply);
            if (mode_ != QLatin1String("silent")) bus.send(response);
        }
        return true;
    }

  private:
    QString mode_;
    uint code_;
    QString uri_;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fputs("usage: stand_in_portal answer CODE URI | early URI | elsewhere URI | silent\n", stderr);
        return 2;
    }
    const QString mode = args[1];
    const bool withCode = mode == QLatin1String("answer");
    const uint code = withCode ? args.value(2).toUInt() : 0;
    StandInPortal portal(mode, code, args.value(withCode ? 3 : 2));
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerVirtualObject(QStringLiteral("/org/freedesktop/portal/desktop"), &portal) ||
        !bus.registerService(QStringLiteral("org.freedesktop.portal.Desktop"))) {
        std::fputs("stand_in_portal: could not take the portal's name\n", stderr);
        return 1;
    }
    std::puts("ready");
    std::fflush(stdout);
    return app.exec();
}
