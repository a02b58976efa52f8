#include "platform/wayland/portal_shortcuts.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QTimer>
#include <functional>
#include <map>

#include "platform/wayland/portal_request.h"

namespace glimmora {

namespace {
const char kShortcutsInterface[] = "org.freedesktop.portal.GlobalShortcuts";
// Binding may wait for the user to confirm the keys in a dialog of the desktop's.
constexpr int kBindTimeoutMs = 300000;
constexpr int kSessionTimeoutMs = 30000;

// One entry of BindShortcuts' a(sa{sv}).
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

const char* KeyName(uint32_t key) {
    static const std::map<uint32_t, const char*> names = {
        {8, "BackSpace"},     {9, "Tab"},
        {12, "Clear"},        {13, "Return"},
        {19, "Pause"},        {27, "Escape"},
        {32, "space"},        {33, "Page_Up"},
        {34, "Page_Down"},    {35, "End"},
        {36, "Home"},         {37, "Left"},
        {38, "Up"},           {39, "Right"},
        {40, "Down"},         {44, "Print"},
        {45, "Insert"},       {46, "Delete"},
        {93, "Menu"},         {106, "KP_Multiply"},
        {107, "KP_Add"},      {108, "KP_Separator"},
        {109, "KP_Subtract"}, {110, "KP_Decimal"},
        {111, "KP_Divide"},   {145, "Scroll_Lock"},
        {186, "semicolon"},   {187, "equal"},
        {188, "comma"},       {189, "minus"},
        {190, "period"},      {191, "slash"},
        {192, "grave"},       {219, "bracketleft"},
        {220, "backslash"},   {221, "bracketright"},
        {222, "apostrophe"},
    };
    const auto it = names.find(key);
    return it == names.end() ? nullptr : it->second;
}

QString ShortcutName(int id) {
    return QStringLiteral("hotkey-%1").arg(id);
}

// Takes the Activated signal for the grabber.
class ActivationReceiver : public QObject {
    Q_OBJECT
  public:
    std::function<void(const QString& session, const QString& shortcut)> activated;

  public slots:
    void OnActivated(const QDBusObjectPath& session, const QString& shortcut, qulonglong timestamp,
                     const QVariantMap& options) {
        (void)timestamp;
        (void)options;
        if (activated) activated(session.path(), shortcut);
    }
};
}  // namespace

}  // namespace glimmora

Q_DECLARE_METATYPE(glimmora::PortalShortcut)

namespace glimmora {

std::string PortalTrigger(uint32_t key, uint32_t mask) {
    std::string name;
    if ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9'))
        name = std::string(1, static_cast<char>(key >= 'A' && key <= 'Z' ? key - 'A' + 'a' : key));
    else if (key >= 112 && key <= 135)
        name.append("F").append(
            std::to_string(key - 111));  // appended: GCC 12 warns wrongly on "F" + s at -O3
    else if (key >= 96 && key <= 105)
        name.append("KP_").append(std::to_string(key - 96));
    else if (const char* known = KeyName(key))
        name = known;
    if (name.empty()) return {};
    std::string trigger;
    if (mask & kHotkeyCtrl) trigger += "CTRL+";
    if (mask & kHotkeyAlt) trigger += "ALT+";
    if (mask & kHotkeyShift) trigger += "SHIFT+";
    return trigger + name;
}

bool PortalOffersShortcuts(std::string* reason) {
    CoreApplicationScope app;
    PortalBus bus;
    if (!bus.Connected(reason)) return false;
    QDBusMessage get = QDBusMessage::createMethodCall(kPortalService, kPortalPath,
                                                      QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("Get"));
    get.setArguments({QString::fromLatin1(kShortcutsInterface), QStringLiteral("version")});
    const QDBusMessage reply = bus.connection().call(get, QDBus::Block, kSessionTimeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage) return true;
    const QString error = reply.errorName();
    // A portal without the interface answers that it has no such interface or property.
    if (error == QLatin1String("org.freedesktop.DBus.Error.InvalidArgs") ||
        error == QLatin1String("org.freedesktop.DBus.Error.UnknownInterface") ||
        error == QLatin1String("org.freedesktop.DBus.Error.UnknownProperty")) {
        if (reason) *reason = "the desktop portal offers no global shortcuts";
        return false;
    }
    if (reason) *reason = PortalCallError(kShortcutsInterface, error, reply.errorMessage());
    return false;
}

struct PortalShortcutGrabber::Impl {
    struct Entry {
        uint32_t key = 0, mask = 0;
        bool registered = false;
        std::string description;
    };
    std::unique_ptr<PortalBus> bus;
    QString session;
    std::map<int, Entry> entries;
    std::vector<int> pressed;
    int eventFd = -1;
    bool bindScheduled = false;
    ActivationReceiver receiver;

    void Schedule(PortalShortcutGrabber* owner) {
        if (bindScheduled) return;
        bindScheduled = true;
        QTimer::singleShot(0, &receiver, [owner] { owner->BindNow(nullptr); });
    }
};

PortalShortcutGrabber::PortalShortcutGrabber(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

std::unique_ptr<PortalShortcutGrabber> PortalShortcutGrabber::Open(std::string* error) {
    if (!PortalOffersShortcuts(error)) return nullptr;
    CoreApplicationScope app;
    auto impl = std::make_unique<Impl>();
    impl->bus = std::make_unique<PortalBus>();
    if (!impl->bus->Connected(error)) return nullptr;
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
    PortalResponse response;
    const QVariantList args{QVariantMap{{QStringLiteral("session_handle_token"), NewPortalToken()}}};
    if (!CallPortalRequest(*impl->bus, kShortcutsInterface, QStringLiteral("CreateSession"), args,
                           kSessionTimeoutMs, response, error))
        return nullptr;
    const QVariant handle = response.results.value(QStringLiteral("session_handle"));
    impl->session =
        handle.canConvert<QDBusObjectPath>() ? handle.value<QDBusObjectPath>().path() : handle.toString();
    if (response.code != 0 || impl->session.isEmpty()) {
        if (error) *error = "the desktop portal refused a global shortcuts session";
        return nullptr;
    }
    impl->eventFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (impl->eventFd < 0) {
        if (error) *error = "no event descriptor for the shortcuts";
        return nullptr;
    }
    Impl* state = impl.get();
    state->receiver.activated = [state](const QString& session, const QString& shortcut) {
        if (session != state->session) return;
        for (const auto& [id, entry] : state->entries)
            if (entry.registered && shortcut == ShortcutName(id)) {
                state->pressed.push_back(id);
                const uint64_t one = 1;
                (void)!::write(state->eventFd, &one, sizeof one);
            }
    };
    state->bus->connection().connect(kPortalService, kPortalPath, kShortcutsInterface,
                                     QStringLiteral("Activated"), &state->receiver,
                                     SLOT(OnActivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
    return std::unique_ptr<PortalShortcutGrabber>(new PortalShortcutGrabber(std::move(impl)));
}

PortalShortcutGrabber::~PortalShortcutGrabber() {
    if (!impl_->session.isEmpty())
        impl_->bus->connection().call(
            QDBusMessage::createMethodCall(kPortalService, impl_->session,
                                           QStringLiteral("org.freedesktop.portal.Session"),
                                           QStringLiteral("Close")),
            QDBus::NoBlock);
    if (impl_->eventFd >= 0) ::close(impl_->eventFd);
}

bool PortalShortcutGrabber::Register(int id, uint32_t key, uint32_t mask) {
    Impl::Entry& entry = impl_->entries[id];
    if (key == 27 && mask == 0) {
        entry.registered = false;
        return false;
    }
    entry.key = key;
    entry.mask = mask;
    entry.registered = true;
    impl_->Schedule(this);
    return true;
}

void PortalShortcutGrabber::Unregister(int id) {
    const auto it = impl_->entries.find(id);
    if (it == impl_->entries.end() || !it->second.registered) return;
    it->second.registered = false;
    impl_->Schedule(this);
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

bool PortalShortcutGrabber::BindNow(std::string* error) {
    impl_->bindScheduled = false;
    QList<PortalShortcut> shortcuts;
    for (const auto& [id, entry] : impl_->entries) {
        if (!entry.registered) continue;
        PortalShortcut s{ShortcutName(id), {}};
        s.properties.insert(
            QStringLiteral("description"),
            QString::fromStdString(entry.description.empty() ? "Glimmora hotkey " + std::to_string(id)
                                                             : entry.description));
        const std::string trigger = PortalTrigger(entry.key, entry.mask);
        if (!trigger.empty())
            s.properties.insert(QStringLiteral("preferred_trigger"), QString::fromStdString(trigger));
        shortcuts.append(s);
    }
    const QVariantList args{QVariant::fromValue(QDBusObjectPath(impl_->session)),
                            QVariant::fromValue(shortcuts), QString(), QVariantMap()};
    PortalResponse response;
    if (!CallPortalRequest(*impl_->bus, kShortcutsInterface, QStringLiteral("BindShortcuts"), args,
                           kBindTimeoutMs, response, error))
        return false;
    if (response.code != 0) {
        if (error) *error = "the desktop portal did not bind the shortcuts";
        return false;
    }
    return true;
}

}  // namespace glimmora

#include "portal_shortcuts.moc"
