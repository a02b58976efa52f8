#include "platform/app_bus.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusReply>
#include <QFile>
#include <QObject>
#include <QStringList>

namespace glimmora {

class BusAdaptor : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.glimmora.Glimmora")

  public:
    BusAdaptor(BusRequestHandler handler, BusOpenHandler open)
        : handler_(std::move(handler)), open_(std::move(open)) {}

  public slots:
    Q_SCRIPTABLE void Send(uint message, qlonglong wParam, qlonglong lParam) {
        Answer({static_cast<uint32_t>(message), wParam, lParam});
    }
    Q_SCRIPTABLE void Capture(const QString& mode) {
        const std::optional<AppMessage> request = CaptureModeRequest(mode.toStdString());
        if (!request) {
            Fail(kBusUnknownModeError, QString("There is no capture mode \"%1\"; the modes are %2.")
                                           .arg(mode, QString::fromStdString(CaptureModeNames())));
            return;
        }
        Answer(*request);
    }
    Q_SCRIPTABLE void Record(const QString& mode) {
        const std::optional<AppMessage> request = RecordModeRequest(mode.toStdString());
        if (!request) {
            Fail(kBusUnknownModeError, QString("There is no recording mode \"%1\"; the modes are %2.")
                                           .arg(mode, QString::fromStdString(RecordModeNames())));
            return;
        }
        Answer(*request);
    }
    Q_SCRIPTABLE void StopRecording() { Answer(StopRecordingRequest()); }
    Q_SCRIPTABLE void Open(const QStringList& paths) {
        std::vector<std::string> files;
        for (const QString& path : paths) {
            // The caller resolves them: a relative name would be taken from this process's folder.
            if (!path.startsWith('/')) {
                Fail(kBusRefusedError, QString("\"%1\" is not an absolute path.").arg(path));
                return;
            }
            files.push_back(QFile::encodeName(path).toStdString());
        }
        const std::string why = open_ ? open_(files) : std::string("This Glimmora opens no files.");
        if (!why.empty()) Fail(kBusRefusedError, QString::fromStdString(why));
    }

  private:
    void Answer(const AppMessage& message) {
        const std::string why = handler_(message);
        if (!why.empty()) Fail(kBusRefusedError, QString::fromStdString(why));
    }
    void Fail(const char* name, const QString& text) {
        if (calledFromDBus()) sendErrorReply(QString::fromLatin1(name), text);
    }

    BusRequestHandler handler_;
    BusOpenHandler open_;
};

AppBusService::AppBusService(BusRequestHandler handler, BusOpenHandler open)
    : adaptor_(std::make_unique<BusAdaptor>(std::move(handler), std::move(open))) {}

AppBusService::~AppBusService() {
    Withdraw();
}

bool AppBusService::Publish(std::string* error) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    auto fail = [&](const QString& why) {
        if (error) *error = why.toStdString();
        Withdraw();
        return false;
    };
    if (!bus.isConnected() || !bus.interface()) return fail("no session bus: " + bus.lastError().message());
    published_ = true;
    if (!bus.registerObject(kBusPath, adaptor_.get(), QDBusConnection::ExportScriptableSlots))
        return fail(QString("the object %1 is taken on the session bus").arg(kBusPath));
    // Asked for by hand: Qt's ReplaceExistingService adds "do not queue", and an instance replaced by a newer
    // one would then lose the name for good instead of getting it back when the newer one leaves.
    constexpr uint kAllowReplacement = 0x1;
    constexpr uint kReplaceExisting = 0x2;
    const QDBusReply<uint> reply =
        bus.interface()->call("RequestName", QString(kBusName), kAllowReplacement | kReplaceExisting);
    if (!reply.isValid())
        return fail(QString("the bus refused the name %1: %2").arg(kBusName, reply.error().message()));
    return true;
}

void AppBusService::Withdraw() {
    if (!published_) return;
    published_ = false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    // Out of the queue as well, so the name goes to an instance that is still running.
    if (bus.interface()) bus.interface()->unregisterService(kBusName);
    bus.unregisterObject(kBusPath);
}

}  // namespace glimmora

#include "app_bus.moc"
