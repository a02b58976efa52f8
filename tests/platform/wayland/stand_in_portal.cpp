// A stand-in for the desktop portal on a private bus, for what the real portal of the test session cannot
// be made to do (refuse, stay silent, hand over a remote file) or does not offer (global shortcuts).
// Usage: stand_in_portal MODE [URI]; prints "ready" once it owns the portal's name.
//   answer CODE   Screenshot's Response with CODE and URI after the call's reply
//   early         Screenshot's Response (0, URI) before the call's reply
//   elsewhere     the Request object at a path of its own choosing, as portals before handle_token did
//   silent        no Response at all
//   shortcuts     GlobalShortcuts: prints each BindShortcuts as "bind N" and lines "ID|DESCRIPTION|TRIGGER",
//                 answers that it bound each preferred trigger as it came, "closed" when the session is
//                 closed; the line "activate ID" on stdin emits Activated
#include <unistd.h>
#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QSocketNotifier>
#include <cstdio>
#include <iostream>
#include <string>

namespace {

// One entry of a(sa{sv}).
struct Shortcut {
    QString id;
    QVariantMap properties;
};

QDBusArgument& operator<<(QDBusArgument& out, const Shortcut& s) {
    out.beginStructure();
    out << s.id << s.properties;
    out.endStructure();
    return out;
}

const QDBusArgument& operator>>(const QDBusArgument& in, Shortcut& s) {
    in.beginStructure();
    in >> s.id >> s.properties;
    in.endStructure();
    return in;
}

}  // namespace

Q_DECLARE_METATYPE(Shortcut)

namespace {

class StandInPortal : public QDBusVirtualObject {
  public:
    StandInPortal(QString mode, uint code, QString uri)
        : mode_(std::move(mode)), code_(code), uri_(std::move(uri)) {}

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& call, const QDBusConnection& bus) override {
        if (mode_ == QLatin1String("shortcuts")) return Shortcuts(call, bus);
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

    void Activate(QDBusConnection& bus, const QString& id) {
        QDBusMessage activated = QDBusMessage::createSignal(
            QStringLiteral("/org/freedesktop/portal/desktop"),
            QStringLiteral("org.freedesktop.portal.GlobalShortcuts"), QStringLiteral("Activated"));
        activated << QVariant::fromValue(QDBusObjectPath(session_)) << id << qulonglong(0) << QVariantMap();
        bus.send(activated);
    }

  private:
    // Replies with a Request object and answers it at once with results.
    static void Answer(const QDBusMessage& call, const QDBusConnection& bus, const QVariantMap& options,
                       const QVariantMap& results) {
        QString sender = call.service().mid(1);
        sender.replace(u'.', u'_');
        const QString path = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2")
                                 .arg(sender, options.value(QStringLiteral("handle_token")).toString());
        bus.send(call.createReply(QVariant::fromValue(QDBusObjectPath(path))));
        QDBusMessage response = QDBusMessage::createTargetedSignal(
            call.service(), path, QStringLiteral("org.freedesktop.portal.Request"),
            QStringLiteral("Response"));
        response << 0u << results;
        bus.send(response);
    }

    bool Shortcuts(const QDBusMessage& call, const QDBusConnection& bus) {
        const QString member = call.member();
        if (call.interface() == QLatin1String("org.freedesktop.DBus.Properties") &&
            member == QLatin1String("Get")) {
            if (call.arguments().value(0).toString() !=
                QLatin1String("org.freedesktop.portal.GlobalShortcuts"))
                return false;
            bus.send(call.createReply(QVariant::fromValue(QDBusVariant(1u))));
            return true;
        }
        if (call.interface() == QLatin1String("org.freedesktop.portal.Session") &&
            member == QLatin1String("Close")) {
            std::cout << "closed" << std::endl;
            bus.send(call.createReply());
            return true;
        }
        if (call.interface() != QLatin1String("org.freedesktop.portal.GlobalShortcuts")) return false;
        if (member == QLatin1String("CreateSession")) {
            const QVariantMap options = qdbus_cast<QVariantMap>(call.arguments().value(0));
            session_ = QStringLiteral("/org/freedesktop/portal/desktop/session/s/%1")
                           .arg(options.value(QStringLiteral("session_handle_token")).toString());
            Answer(call, bus, options, {{QStringLiteral("session_handle"), session_}});
            return true;
        }
        if (member == QLatin1String("BindShortcuts")) {
            const QDBusArgument list = call.arguments().value(1).value<QDBusArgument>();
            std::vector<std::string> lines;
            QList<Shortcut> bound;
            list.beginArray();
            while (!list.atEnd()) {
                QString id;
                QVariantMap properties;
                list.beginStructure();
                list >> id >> properties;
                list.endStructure();
                bound.append(
                    {id,
                     {{QStringLiteral("description"), properties.value(QStringLiteral("description"))},
                      {QStringLiteral("trigger_description"),
                       properties.value(QStringLiteral("preferred_trigger")).toString()}}});
                lines.push_back((id + u'|' + properties.value(QStringLiteral("description")).toString() +
                                 u'|' + properties.value(QStringLiteral("preferred_trigger")).toString())
                                    .toStdString());
            }
            list.endArray();
            const bool ours = call.arguments().value(0).value<QDBusObjectPath>().path() == session_;
            std::cout << "bind " << lines.size() << (ours ? "" : " to an unknown session") << "\n";
            for (const std::string& line : lines) std::cout << line << "\n";
            std::cout.flush();
            Answer(call, bus, qdbus_cast<QVariantMap>(call.arguments().value(3)),
                   {{QStringLiteral("shortcuts"), QVariant::fromValue(bound)}});
            return true;
        }
        return false;
    }

    QString session_;
    QString mode_;
    uint code_;
    QString uri_;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    qDBusRegisterMetaType<Shortcut>();
    qDBusRegisterMetaType<QList<Shortcut>>();
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
    QSocketNotifier input(0, QSocketNotifier::Read);
    std::string pending;
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[256];
        const ssize_t n = ::read(0, buffer, sizeof buffer);
        if (n <= 0) {
            input.setEnabled(false);
            return;
        }
        pending.append(buffer, static_cast<size_t>(n));
        for (size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
            const std::string line = pending.substr(0, end);
            if (line.rfind("activate ", 0) == 0) portal.Activate(bus, QString::fromStdString(line.substr(9)));
        }
    });
    // Sub-paths too: the sessions live below the portal's object.
    if (!bus.registerVirtualObject(QStringLiteral("/org/freedesktop/portal/desktop"), &portal,
                                   QDBusConnection::SubPath) ||
        !bus.registerService(QStringLiteral("org.freedesktop.portal.Desktop"))) {
        std::fputs("stand_in_portal: could not take the portal's name\n", stderr);
        return 1;
    }
    std::puts("ready");
    std::fflush(stdout);
    return app.exec();
}
