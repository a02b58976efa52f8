#include "platform/wayland/sway_windows.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace glimmora::wayland {

namespace {

constexpr uint32_t kRunCommand = 0, kGetOutputs = 3, kGetTree = 4;
constexpr char kMagic[] = "i3-ipc";
constexpr size_t kMagicLen = 6;
// A tree of thousands of windows is still far below this; more is a broken peer.
constexpr uint32_t kMaxReply = 64u << 20;

Rect RectOf(const QJsonObject& o) {
    const int x = o["x"].toInt(), y = o["y"].toInt();
    return Rect{x, y, x + o["width"].toInt(), y + o["height"].toInt()};
}

bool IsView(const QJsonObject& node) {
    return node.contains("pid") && node["nodes"].toArray().isEmpty() &&
           node["floating_nodes"].toArray().isEmpty();
}

// Title bars a tiled view's parent shows above it: a stack shows every child's, else its own alone.
int BarsAbove(const QJsonObject& parent) {
    return parent["layout"].toString() == "stacked" ? std::max<int>(1, parent["nodes"].toArray().size()) : 1;
}

LaidOutWindow ViewOf(const QJsonObject& node, int bars) {
    LaidOutWindow w;
    w.id = static_cast<WindowId>(node["id"].toInteger());
    w.frame = RectOf(node["rect"].toObject());
    const Rect inner = RectOf(node["window_rect"].toObject());
    w.client = Rect{w.frame.left + inner.left, w.frame.top + inner.top, w.frame.left + inner.right,
                    w.frame.top + inner.bottom};
    if (IsEmpty(w.client)) w.client = w.frame;
    // The title bar belongs to the window, also on an output above the desktop's origin. sway gives the
    // deco_rect no height where there is none (border none or pixel outside tabs and stacks, full screen).
    w.frame.top -= bars * std::max(0, node["deco_rect"].toObject()["height"].toInt());
    w.focused = node["focused"].toBool();
    w.pid = node["pid"].toInt();
    return w;
}

struct Walk {
    int ownPid = 0;
    bool ownFullscreen = false;  // our overlay covers the output: sway then calls the rest invisible
    std::vector<LaidOutWindow> tiled, floating, fullscreen;  // each bottom to top
};

bool OwnFullscreen(const QJsonObject& node, int ownPid) {
    if (IsView(node)) return node["pid"].toInt() == ownPid && node["fullscreen_mode"].toInt() != 0;
    for (const char* list : {"nodes", "floating_nodes"})
        for (const QJsonValue child : node[list].toArray())
            if (OwnFullscreen(child.toObject(), ownPid)) return true;
    return false;
}

void Collect(const QJsonObject& node, int bars, Walk& walk, bool inFloating, bool workspaceShown) {
    if (IsView(node)) {
        // Under our own full-screen overlay, what the user saw is every view of the workspace shown.
        const bool shown = node["visible"].toBool() || (walk.ownFullscreen && workspaceShown);
        if (!shown) return;
        LaidOutWindow w = ViewOf(node, bars);
        if (node["fullscreen_mode"].toInt() != 0)
            walk.fullscreen.push_back(w);
        else
            (inFloating ? walk.floating : walk.tiled).push_back(w);
        return;
    }
    const QString type = node["type"].toString();
    // The scratchpad's hidden workspace holds nothing on screen.
    if (node["name"].toString() == "__i3" && type == "output") return;
    if (type == "output") {
        const QString current = node["current_workspace"].toString();
        for (const QJsonValue child : node["nodes"].toArray()) {
            const QJsonObject ws = child.toObject();
            Collect(ws, 1, walk, false, ws["name"].toString() == current);
        }
        return;
    }
    for (const QJsonValue child : node["nodes"].toArray())
        Collect(child.toObject(), BarsAbove(node), walk, inFloating, workspaceShown);
    for (const QJsonValue child : node["floating_nodes"].toArray())
        Collect(child.toObject(), 1, walk, true, workspaceShown);
}

}  // namespace

std::vector<LaidOutWindow> ParseSwayTree(const std::string& json, int ownPid) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(json), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) return {};
    Walk walk;
    walk.ownPid = ownPid;
    walk.ownFullscreen = ownPid != 0 && OwnFullscreen(doc.object(), ownPid);
    Collect(doc.object(), 1, walk, false, false);
    std::vector<LaidOutWindow> all;
    for (auto* list : {&walk.fullscreen, &walk.floating, &walk.tiled})
        for (auto it = list->rbegin(); it != list->rend(); ++it)
            if (it->pid != ownPid || ownPid == 0) all.push_back(*it);
    return all;
}

std::string SwayWindows::SocketPath() {
    for (const char* name : {"SWAYSOCK", "I3SOCK"}) {
        const char* v = std::getenv(name);
        if (v && *v) return v;
    }
    return {};
}

bool SwayWindows::Request(uint32_t type, const std::string& payload, std::string& reply) {
    if (socket_.empty()) return false;
    sockaddr_un addr{};
    if (socket_.size() >= sizeof(addr.sun_path)) return false;
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, socket_.c_str(), socket_.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    struct Closer {
        int fd;
        ~Closer() { close(fd); }
    } closer{fd};
    // A compositor that hangs must not hang us.
    timeval timeout{2, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof(timeout));
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) return false;

    std::string message(kMagic, kMagicLen);
    const auto length = static_cast<uint32_t>(payload.size());
    message.append(reinterpret_cast<const char*>(&length), 4);
    message.append(reinterpret_cast<const char*>(&type), 4);
    message += payload;
    auto io = [fd](char* p, size_t n, bool out) {
        while (n > 0) {
            const ssize_t k = out ? send(fd, p, n, MSG_NOSIGNAL) : recv(fd, p, n, 0);
            if (k <= 0) return false;
            p += k;
            n -= static_cast<size_t>(k);
        }
        return true;
    };
    if (!io(message.data(), message.size(), true)) return false;
    char header[kMagicLen + 8];
    if (!io(header, sizeof(header), false) || std::memcmp(header, kMagic, kMagicLen) != 0) return false;
    uint32_t size = 0, replyType = 0;
    std::memcpy(&size, header + kMagicLen, 4);
    std::memcpy(&replyType, header + kMagicLen + 4, 4);
    if (size > kMaxReply || replyType != type) return false;
    reply.assign(size, '\0');
    return io(reply.data(), size, false);
}

void MapToPicture(std::vector<LaidOutWindow>& windows, const ScreenLayout& layout) {
    if (layout.monitors.empty()) return;
    for (LaidOutWindow& w : windows) {
        w.frame = layout.ToPicture(w.frame);
        w.client = layout.ToPicture(w.client);
    }
}

std::vector<LaidOutWindow> SwayWindows::Windows() {
    std::string tree;
    if (!Request(kGetTree, {}, tree)) return {};
    std::vector<LaidOutWindow> all = ParseSwayTree(tree, static_cast<int>(getpid()));
    if (layout_) MapToPicture(all, layout_());
    return all;
}

const LaidOutWindow* SwayWindows::Find(const std::vector<LaidOutWindow>& all, WindowId window) {
    for (const LaidOutWindow& w : all)
        if (w.id == window) return &w;
    return nullptr;
}

WindowId SwayWindows::WindowAt(Point p, WindowId exclude) {
    for (const LaidOutWindow& w : Windows())
        if (w.id != exclude && Contains(w.frame, p)) return w.id;
    return 0;
}

std::vector<WindowId> SwayWindows::WindowGrid(int columns, int rows, int step, WindowId exclude) {
    std::vector<WindowId> grid;
    if (columns <= 0 || rows <= 0) return grid;
    const std::vector<LaidOutWindow> all = Windows();
    grid.reserve(static_cast<size_t>(columns) * static_cast<size_t>(rows));
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            const Point p{c * step, r * step};
            WindowId id = 0;
            for (const LaidOutWindow& w : all) {
                if (w.id != exclude && Contains(w.frame, p)) {
                    id = w.id;
                    break;
                }
            }
            grid.push_back(id);
        }
    }
    return grid;
}

bool SwayWindows::WindowRect(WindowId window, Rect& out) {
    const std::vector<LaidOutWindow> all = Windows();
    const LaidOutWindow* w = Find(all, window);
    if (!w) return false;
    out = w->frame;
    return true;
}

bool SwayWindows::ClientRect(WindowId window, Rect& out) {
    const std::vector<LaidOutWindow> all = Windows();
    const LaidOutWindow* w = Find(all, window);
    if (!w) return false;
    out = w->client;
    return true;
}

WindowId SwayWindows::ActiveWindow() {
    for (const LaidOutWindow& w : Windows())
        if (w.focused) return w.id;
    return 0;
}

bool SwayWindows::Activate(WindowId window) {
    if (!window) return false;
    std::string reply;
    if (!Request(kRunCommand, "[con_id=" + std::to_string(window) + "] focus", reply)) return false;
    const QJsonArray results = QJsonDocument::fromJson(QByteArray::fromStdString(reply)).array();
    return !results.isEmpty() && results.first().toObject()["success"].toBool();
}

std::string SwayWindows::FocusedOutput() {
    std::string reply;
    if (!Request(kGetOutputs, {}, reply)) return {};
    for (const QJsonValue v : QJsonDocument::fromJson(QByteArray::fromStdString(reply)).array()) {
        const QJsonObject o = v.toObject();
        if (o["focused"].toBool()) return o["name"].toString().toStdString();
    }
    return {};
}

bool SwayWindows::Exists(WindowId window) {
    const std::vector<LaidOutWindow> all = Windows();
    return Find(all, window) != nullptr;
}

}  // namespace glimmora::wayland
