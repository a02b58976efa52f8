#include "platform/wayland/portal_screenshot.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QUrl>
#include <climits>
#include <cstdlib>

#include "image/codecs/image_codec.h"
#include "platform/wayland/portal_request.h"

namespace glimmora {

namespace {
std::string RealFolder(const std::string& path) {
    char buffer[PATH_MAX];
    return ::realpath(path.c_str(), buffer) ? std::string(buffer) : std::string();
}

// Each failure says what the user can do about it.
std::string ResponseError(uint code) {
    if (code == 1)
        return "the screenshot was cancelled in the desktop's dialog; allow screenshots for Glimmora when "
               "the "
               "desktop asks";
    if (code == 2)
        return "the desktop refused the screenshot; allow screenshots for Glimmora in the desktop's privacy "
               "settings, then try again";
    return "the desktop portal ended the screenshot with code " + std::to_string(code);
}

std::string CallErrorAdvice(const std::string& error) {
    if (error.rfind("no desktop portal is running", 0) == 0)
        return error +
               "; install xdg-desktop-portal with the desktop's own backend (xdg-desktop-portal-gnome, "
               "xdg-desktop-portal-kde)";
    if (error.rfind("the desktop portal did not answer", 0) == 0)
        return error + "; if the desktop asked for permission, allow screenshots for Glimmora and try again";
    if (error.rfind("the desktop portal refused", 0) == 0)
        return error + "; allow screenshots for Glimmora in the desktop's privacy settings";
    return error;
}
}  // namespace

bool IsPortalTemporaryFile(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) return false;
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return false;
    const std::string folder = RealFolder(slash == 0 ? "/" : path.substr(0, slash));
    if (folder.empty()) return false;
    for (const std::string& temp :
         {QDir::tempPath().toStdString(), std::string("/tmp"), std::string("/var/tmp")})
        if (folder == RealFolder(temp)) return true;
    return false;
}

bool PortalScreenshot(Image& out, std::string* error, int timeoutMs) {
    CoreApplicationScope app;
    PortalResponse response;
    {
        PortalBus bus;
        const QVariantList args{QString(), QVariantMap{{QStringLiteral("interactive"), false}}};
        std::string why;
        if (!CallPortalRequest(bus, QStringLiteral("org.freedesktop.portal.Screenshot"),
                               QStringLiteral("Screenshot"), args, timeoutMs, response, &why)) {
            if (error) *error = CallErrorAdvice(why);
            return false;
        }
    }
    if (response.code != 0) {
        if (error) *error = ResponseError(response.code);
        return false;
    }
    const QString uri = response.results.value(QStringLiteral("uri")).toString();
    const QUrl url(uri);
    if (!url.isLocalFile()) {
        if (error) *error = "the desktop portal's picture is not a local file: '" + uri.toStdString() + "'";
        return false;
    }
    const std::string path = url.toLocalFile().toStdString();
    Image picture;
    // Our own factory: the one the program installed may be a different choice of codecs.
    FreeImageCodecFactory factory;
    const bool read = LoadFirstFrame(factory, path, picture);
    std::string why = read ? std::string() : LastCodecError();
    const bool converted = read && picture.ConvertDepth(24);
    if (IsPortalTemporaryFile(path)) ::unlink(path.c_str());
    if (!converted) {
        if (error)
            *error = "the desktop portal's picture " + path + " could not be read" +
                     (why.empty() ? std::string() : ": " + why);
        return false;
    }
    picture.SetPosition(0, 0);
    out = std::move(picture);
    return true;
}

}  // namespace glimmora
