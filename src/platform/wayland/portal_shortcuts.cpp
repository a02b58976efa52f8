#include "platform/wayland/portal_shortcuts.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QTimer>
#include <map>
#include <memory>

#include "platform/wayland/portal_request.h"

namespace glimmora {

namespace {
const char kShortcutsInterface[] = "org.freedesktop.portal.GlobalShortcuts";
constexpr int kSessionTimeoutMs = 30000;
// The app id newer portals want host programs to register before anything else.
const char kAppId[] = "org.glimmora.Glimmora";
// KDE names the shortcuts' group after the session token: a fixed one keeps the keys the user chose in
// the desktop's settings from one run to the next.
const char kSessionToken[] = "glimmora";

// One entry of a(sa{sv}).
struct PortalShortcut {
    QString id;
    QVariantMap properties;
};

QDBusArgument& operator<<(QDBusArgument& out, const PortalShortcut& s) {
    out.beginStructure();
    out << s.id << s.properties;
    out.endStructure();
    return out;
}

const QDBusArgument& operator>>(const QDBusArgument& in, PortalShortcut& s) {
    in.beginStructure();
    in >> s.id >> s.properties;
    in.endStructure();
    return in;
}

// The shortcuts of a result or signal, by id, with the desktop's words for their keys.
std::map<QString, QString> TriggerDescriptions(const QVariant& value) {
    std::map<QString, QString> triggers;
    if (!value.canConvert<QDBusArgument>()) return triggers;
    const QDBusArgument list = value.value<QDBusArgument>();
    list.beginArray();
    while (!list.atEnd()) {
        PortalShortcut s;
        list >> s;
        triggers[s.id] = s.properties.value(QStringLiteral("trigger_description")).toString();
    }
    list.endArray();
    return triggers;
}

struct Probe {
    PortalOffer offer = PortalOffer::Unknown;
    std::string reason;
    bool asked = false;
    std::vector<std::function<void()>> waiting;
};

Probe& TheProbe() {
    static Probe probe;
    return probe;
}

// Takes the portal's signals for the grabber.
class SignalReceiver : public QObject {
    Q_OBJECT
  public:
    std::function<void(const QDBusMessage&)> activated, changed;

  public slots:
    void OnActivated(const QDBusMessage& message) {
        if (activated) activated(message);
    }
    void OnShortcutsChanged(const QDBusMessage& message) {
        if (changed) changed(message);
    }
};
}  // namespace

}  // namespace glimmora

Q_DECLARE_METATYPE(glimmora::PortalShortcut)

namespace glimmora {

PortalOffer PortalShortcutsOffer(std::string* reason) {
    const Probe& probe = TheProbe();
    if (probe.offer == PortalOffer::Missing && reason) *reason = probe.reason;
    return probe.offer;
}

namespace {
// The portal offers the interface whenever any installed backend implements it, even another desktop's:
// KDE's binds through kglobalaccel, which takes no keys under GNOME Shell or sway. So the offer counts
// only where a backend named after the session's desktop implements it (or no desktop is named).
void CheckDesktopBackend(PortalBus& bus, std::function<void(PortalOffer, std::string)> settle) {
    QStringList names;
    for (const QString& desktop : qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(u':', Qt::SkipEmptyParts))
        names << QStringLiteral("org.freedesktop.impl.portal.desktop.") + desktop.toLower();
    if (names.isEmpty()) {
        settle(PortalOffer::Offered, {});
        return;
    }
    auto remaining = std::make_shared<int>(static_cast<int>(names.size()));
    auto found = std::make_shared<bool>(false);
    for (const QString& name : names) {
        const QDBusMessage introspect = QDBusMessage::createMethodCall(
            name, kPortalPath, QStringLiteral("org.freedesktop.DBus.Introspectable"),
            QStringLiteral("Introspect"));
        auto* watcher = new QDBusPendingCallWatcher(bus.connection().asyncCall(introspect, kSessionTimeoutMs),
                                                    QCoreApplication::instance());
        QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                         [watcher, remaining, found, settle] {
                             watcher->deleteLater();
                             const QDBusMessage reply = watcher->reply();
                             if (reply.type() == QDBusMessage::ReplyMessage &&
                                 reply.arguments().value(0).toString().contains(
                                     QLatin1String("\"org.freedesktop.impl.portal.GlobalShortcuts\"")))
                                 *found = true;
                             if (--*remaining > 0) return;
                             if (*found)
                                 settle(PortalOffer::Offered, {});
                             else
                                 settle(PortalOffer::Missing,
                                        "the desktop portal offers no global shortcuts for this desktop");
                         });
    }
}
}  // namespace

void WhenPortalShortcutsKnown(std::function<void()> then) {
    Probe& probe = TheProbe();
    if (probe.offer != PortalOffer::Unknown) {
        QTimer::singleShot(0, QCoreApplication::instance(), std::move(then));
        return;
    }
    probe.waiting.push_back(std::move(then));
    if (probe.asked) return;
    probe.asked = true;
    auto* bus = new PortalBus;
    const auto settle = [bus](PortalOffer offer, std::string reason) {
        Probe& p = TheProbe();
        p.offer = offer;
        p.reason = std::move(reason);
        std::vector<std::function<void()>> waiting;
        waiting.swap(p.waiting);
        for (auto& then : waiting) then();
        // Not from inside the connection's own reply.
        QTimer::singleShot(0, QCoreApplication::instance(), [bus] { delete bus; });
    };
    std::string error;
    if (!bus->Connected(&error)) {
        QTimer::singleShot(0, QCoreApplication::instance(),
                           [settle, error] { settle(PortalOffer::Missing, error); });
        return;
    }
    QDBusMessage get = QDBusMessage::createMethodCall(kPortalService, kPortalPath,
                                                      QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("Get"));
    get.setArguments({QString::fromLatin1(kShortcutsInterface), QStringLiteral("version")});
    auto* watcher = new QDBusPendingCallWatcher(bus->connection().asyncCall(get, kSessionTimeoutMs),
                                                QCoreApplication::instance());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [watcher, settle, bus] {
        watcher->deleteLater();
        const QDBusMessage reply = watcher->reply();
        if (reply.type() == QDBusMessage::ReplyMessage) {
            CheckDesktopBackend(*bus, settle);
            return;
        }
        const QString error = reply.errorName();
        // A portal without the interface answers that it has no such interface or property.
        if (error == QLatin1String("org.freedesktop.DBus.Error.InvalidArgs") ||
            error == QLatin1String("org.freedesktop.DBus.Error.UnknownInterface") ||
            error == QLatin1String("org.freedesktop.DBus.Error.UnknownProperty"))
            settle(PortalOffer::Missing, "the desktop portal offers no global shortcuts");
        else
            settle(PortalOffer::Missing, PortalCallError(kShortcutsInterface, error, reply.errorMessage()));
    });
}

struct PortalShortcutGrabber::Impl {
    struct Entry {
        uint32_t key = 0, mask = 0;
        std::string description;
        bool registered = false;
        // The key and text last put to the desktop; a change needs asking again.
        bool offered = false;
        uint32_t offeredKey = 0, offeredMask = 0;
        std::string offeredDescription;
        DesktopBinding binding;
    };
    enum class Phase { Idle, Starting, Ready, Failed };

    PortalBus bus;
    SignalReceiver receiver;
    Phase phase = Phase::Idle;
    QString session;
    std::map<int, Entry> entries;
    std::vector<int> pressed;
    int eventFd = -1;
    bool pumpScheduled = false;
    bool bindWanted = false;
    bool bindRunning = false;
    std::function<void()> changed;

    void Notify() {
        if (changed) changed();
    }

    QList<PortalShortcut> Offer() {
        QList<PortalShortcut> shortcuts;
        for (auto& [id, entry] : entries) {
            PortalShortcut s{QString::fromStdString(ShortcutId(id)), {}};
            s.properties.insert(
                QStringLiteral("description"),
                QString::fromStdString(entry.description.empty() ? "Glimmora hotkey " + std::to_string(id)
                                                                 : entry.description));
            // Without a key the desktop lists it for the user to choose one.
            const std::string trigger = PortalTrigger(entry.key, entry.mask);
            if (!trigger.empty())
                s.properties.insert(QStringLiteral("preferred_trigger"), QString::fromStdString(trigger));
            entry.offered = true;
            entry.offeredKey = entry.key;
            entry.offeredMask = entry.mask;
            entry.offeredDescription = entry.description;
            if (entry.binding.state != DesktopBinding::State::Bound &&
                entry.binding.state != DesktopBinding::State::Changed)
                entry.binding = {};
            shortcuts.append(s);
        }
        return shortcuts;
    }

    // What the desktop says it binds; true when it named every shortcut offered.
    bool Take(const std::map<QString, QString>& triggers) {
        bool all = true;
        for (auto& [id, entry] : entries) {
            const auto it = triggers.find(QString::fromStdString(ShortcutId(id)));
            if (it == triggers.end()) {
                all = false;
                continue;
            }
            const std::string words = it->second.toStdString();
            DesktopBinding& b = entry.binding;
            b.trigger = words;
            b.reason.clear();
            const std::optional<KeyCombination> keys = ParseDesktopTrigger(words);
            if (words.empty())
                b.state = DesktopBinding::State::Unbound;
            else if (keys && entry.key != 0 && *keys == KeyCombination{entry.key, entry.mask})
                b.state = DesktopBinding::State::Bound;
            else
                b.state = DesktopBinding::State::Changed;
        }
        return all;
    }

    void FailAll(const std::string& reason) {
        for (auto& [id, entry] : entries)
            if (entry.binding.state == DesktopBinding::State::Waiting)
                entry.binding = {DesktopBinding::State::Failed, {}, reason};
    }

    void Schedule() {
        if (pumpScheduled) return;
        pumpScheduled = true;
        QTimer::singleShot(0, &receiver, [this] {
            pumpScheduled = false;
            Pump();
        });
    }

    void Pump() {
        if (phase == Phase::Idle) {
            Start();
            return;
        }
        if (phase != Phase::Ready || !bindWanted || bindRunning) return;
        bindWanted = false;
        bindRunning = true;
        const QVariantList args{QVariant::fromValue(QDBusObjectPath(session)), QVariant::fromValue(Offer()),
                                QString(), QVariantMap()};
        Notify();
        // No time limit: the desktop may ask the user.
        CallPortalRequestAsync(
            bus, &receiver, kShortcutsInterface, QStringLiteral("BindShortcuts"), args, 0,
            [this](bool ok, const PortalResponse& response, const std::string& error) {
                bindRunning = false;
                if (!ok)
                    FailAll(error);
                else if (response.code == 1)
                    FailAll("the shortcuts were not confirmed");
                else if (response.code != 0)
                    FailAll("the desktop refused the shortcuts");
                else if (!Take(TriggerDescriptions(response.results.value(QStringLiteral("shortcuts")))))
                    FailAll("the desktop did not bind it");
                Notify();
                if (bindWanted) Schedule();
            });
    }

    // Registers the app id where the portal has the registry (its answer is not needed: older portals
    // lack it), then the session; KDE 5.27 binds the shortcuts offered with the session at once.
    void Start() {
        phase = Phase::Starting;
        bindWanted = false;
        std::string error;
        if (!bus.Connected(&error)) {
            phase = Phase::Failed;
            FailAll(error);
            Notify();
            return;
        }
        QDBusMessage reg = QDBusMessage::createMethodCall(
            kPortalService, kPortalPath, QStringLiteral("org.freedesktop.host.portal.Registry"),
            QStringLiteral("Register"));
        reg.setArguments({QString::fromLatin1(kAppId), QVariantMap()});
        auto* watcher =
            new QDBusPendingCallWatcher(bus.connection().asyncCall(reg, kSessionTimeoutMs), &receiver);
        QObject::connect(watcher, &QDBusPendingCallWatcher::finished, &receiver, [this, watcher] {
            watcher->deleteLater();
            CreateSession();
        });
    }

    void CreateSession() {
        const QList<PortalShortcut> shortcuts = Offer();
        Notify();
        const QVariantList args{QVariantMap{{QStringLiteral("session_handle_token"), QString(kSessionToken)},
                                            {QStringLiteral("shortcuts"), QVariant::fromValue(shortcuts)}}};
        CallPortalRequestAsync(
            bus, &receiver, kShortcutsInterface, QStringLiteral("CreateSession"), args, kSessionTimeoutMs,
            [this](bool ok, const PortalResponse& response, const std::string& error) {
                const QVariant handle = response.results.value(QStringLiteral("session_handle"));
                session = handle.canConvert<QDBusObjectPath>() ? handle.value<QDBusObjectPath>().path()
                                                               : handle.toString();
                if (!ok || response.code != 0 || session.isEmpty()) {
                    phase = Phase::Failed;
                    FailAll(ok ? "the desktop portal refused a global shortcuts session" : error);
                    Notify();
                    return;
                }
                phase = Phase::Ready;
                // Portals that take the shortcuts only from BindShortcuts say nothing of them here.
                if (!Take(TriggerDescriptions(response.results.value(QStringLiteral("shortcuts")))))
                    bindWanted = true;
                Notify();
                Pump();
            });
    }

    void Activated(const QDBusMessage& message) {
        const QVariantList args = message.arguments();
        if (args.value(0).value<QDBusObjectPath>().path() != session) return;
        const QString shortcut = args.value(1).toString();
        for (const auto& [id, entry] : entries)
            if (entry.registered && shortcut == QString::fromStdString(ShortcutId(id))) {
                pressed.push_back(id);
                const uint64_t one = 1;
                (void)!::write(eventFd, &one, sizeof one);
            }
    }

    void ShortcutsChanged(const QDBusMessage& message) {
        const QVariantList args = message.arguments();
        if (args.value(0).value<QDBusObjectPath>().path() != session) return;
        Take(TriggerDescriptions(args.value(1)));
        Notify();
    }
};

std::string PortalShortcutGrabber::ShortcutId(int id) {
    return "hotkey-" + std::to_string(id);
}

PortalShortcutGrabber::PortalShortcutGrabber(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

std::unique_ptr<PortalShortcutGrabber> PortalShortcutGrabber::Open() {
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
    auto impl = std::make_unique<Impl>();
    impl->eventFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (impl->eventFd < 0) return nullptr;
    Impl* state = impl.get();
    state->receiver.activated = [state](const QDBusMessage& m) { state->Activated(m); };
    state->receiver.changed = [state](const QDBusMessage& m) { state->ShortcutsChanged(m); };
    if (state->bus.Connected(nullptr)) {
        QDBusConnection& bus = state->bus.connection();
        bus.connect(kPortalService, kPortalPath, kShortcutsInterface, QStringLiteral("Activated"),
                    &state->receiver, SLOT(OnActivated(QDBusMessage)));
        bus.connect(kPortalService, kPortalPath, kShortcutsInterface, QStringLiteral("ShortcutsChanged"),
                    &state->receiver, SLOT(OnShortcutsChanged(QDBusMessage)));
    }
    return std::unique_ptr<PortalShortcutGrabber>(new PortalShortcutGrabber(std::move(impl)));
}

// The session is left to end with our connection: KDE forgets the keys the user chose when a program
// closes it, but keeps them when the program goes.
PortalShortcutGrabber::~PortalShortcutGrabber() {
    if (impl_->eventFd >= 0) ::close(impl_->eventFd);
}

bool PortalShortcutGrabber::Register(int id, uint32_t key, uint32_t mask) {
    if (key == 27 && mask == 0) return false;
    Impl::Entry& entry = impl_->entries[id];
    entry.key = key;
    entry.mask = mask;
    entry.registered = true;
    const bool same = entry.offered && entry.offeredKey == key && entry.offeredMask == mask &&
                      entry.offeredDescription == entry.description;
    if (impl_->phase == Impl::Phase::Failed) impl_->phase = Impl::Phase::Idle;  // asked again: retry
    if (!same || impl_->phase == Impl::Phase::Idle) {
        impl_->bindWanted = impl_->bindWanted || !same;
        impl_->Schedule();
    }
    return true;
}

void PortalShortcutGrabber::Unregister(int id) {
    const auto it = impl_->entries.find(id);
    if (it != impl_->entries.end()) it->second.registered = false;
}

void PortalShortcutGrabber::Describe(int id, const std::string& text) {
    impl_->entries[id].description = text;
}

int PortalShortcutGrabber::EventFd() const {
    return impl_->eventFd;
}

std::vector<int> PortalShortcutGrabber::TakePressed() {
    uint64_t count;
    while (::read(impl_->eventFd, &count, sizeof count) > 0) {
    }
    std::vector<int> pressed;
    pressed.swap(impl_->pressed);
    return pressed;
}

DesktopBinding PortalShortcutGrabber::Binding(int id) const {
    const auto it = impl_->entries.find(id);
    return it == impl_->entries.end() ? DesktopBinding{} : it->second.binding;
}

void PortalShortcutGrabber::SetBindingsChanged(std::function<void()> changed) {
    impl_->changed = std::move(changed);
}

void PortalShortcutGrabber::RefreshBindings() {
    if (impl_->phase != Impl::Phase::Ready) return;
    const QVariantList args{QVariant::fromValue(QDBusObjectPath(impl_->session)), QVariantMap()};
    Impl* state = impl_.get();
    CallPortalRequestAsync(
        state->bus, &state->receiver, kShortcutsInterface, QStringLiteral("ListShortcuts"), args,
        kSessionTimeoutMs, [state](bool ok, const PortalResponse& response, const std::string&) {
            if (!ok || response.code != 0) return;
            state->Take(TriggerDescriptions(response.results.value(QStringLiteral("shortcuts"))));
            state->Notify();
        });
}

}  // namespace glimmora

#include "portal_shortcuts.moc"
