// Calls into the desktop portal (org.freedesktop.portal.*) and the Request objects that answer them.
#pragma once

#include <QDBusConnection>
#include <QString>
#include <QVariantList>
#include <QVariantMap>
#include <functional>
#include <memory>
#include <string>

class QCoreApplication;

namespace glimmora {

inline const char kPortalService[] = "org.freedesktop.portal.Desktop";
inline const char kPortalPath[] = "/org/freedesktop/portal/desktop";

// Portal calls wait in an event loop, which needs an application object: glimmora-cli has none, so one
// is made for the duration of the call and the program's own is used when it exists.
class CoreApplicationScope {
  public:
    CoreApplicationScope();
    ~CoreApplicationScope();
    CoreApplicationScope(const CoreApplicationScope&) = delete;
    CoreApplicationScope& operator=(const CoreApplicationScope&) = delete;

  private:
    std::unique_ptr<QCoreApplication> own_;
};

// A connection of our own to the session bus, so the Request objects' signals come to this caller only
// and an address changed since the last call is honoured. Closed when the object goes.
class PortalBus {
  public:
    PortalBus();
    ~PortalBus();
    PortalBus(const PortalBus&) = delete;
    PortalBus& operator=(const PortalBus&) = delete;

    // False with a reason when there is no session bus to talk to.
    bool Connected(std::string* error) const;
    QDBusConnection& connection() { return bus_; }

  private:
    QString name_;
    QDBusConnection bus_;
};

// The outcome of one request: code 0 success, 1 cancelled by the user, 2 ended otherwise.
struct PortalResponse {
    uint code = 2;
    QVariantMap results;
};

// The Request object path the portal will use for a call from this connection with this token.
QString PortalRequestPath(const QDBusConnection& bus, const QString& token);
// A handle_token unique within this process.
QString NewPortalToken();

// Calls interface.method on the portal with args, whose last one is the options map (handle_token is
// added to it), and waits up to timeoutMs for the Response of the request. False with a reason in
// *error when the call fails or no response comes in time.
bool CallPortalRequest(PortalBus& bus, const QString& interface, const QString& method, QVariantList args,
                       int timeoutMs, PortalResponse& response, std::string* error);

// The same without waiting: done runs once from the event loop, with false and a reason when the call
// fails or no response comes within timeoutMs (0: no limit, for requests the user answers in a dialog).
// Nothing happens after context goes; the bus must outlive it.
using PortalDone = std::function<void(bool ok, const PortalResponse& response, const std::string& error)>;
void CallPortalRequestAsync(PortalBus& bus, QObject* context, const QString& interface, const QString& method,
                            QVariantList args, int timeoutMs, PortalDone done);

// The reason in a failed call's error, in words for the user.
std::string PortalCallError(const QString& interface, const QString& errorName, const QString& message);

}  // namespace glimmora
