#include "platform/x11/x11_windows.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>

namespace glimmora::x11 {

// Viewable input-output windows only, each with its rectangle on the screen.
class X11Windows::Tree {
  public:
    std::vector<Node> nodes;  // nodes[0] is the root

    // Deepest window under p; a point on a frame's decoration names the client inside that frame.
    WindowId At(Point p) const {
        if (nodes.empty()) return 0;
        for (auto it = nodes[0].children.rbegin(); it != nodes[0].children.rend(); ++it) {
            const Node& top = nodes[static_cast<size_t>(*it)];
            if (!Contains(top.outer, p)) continue;
            const int client = FindClient(*it);
            int current = *it;
            bool insideClient = current == client;
            for (bool deeper = true; deeper;) {
                deeper = false;
                const Node& n = nodes[static_cast<size_t>(current)];
                for (auto c = n.children.rbegin(); c != n.children.rend(); ++c) {
                    if (!Contains(nodes[static_cast<size_t>(*c)].outer, p)) continue;
                    current = *c;
                    insideClient = insideClient || current == client;
                    deeper = true;
                    break;
                }
            }
            if (client >= 0 && !insideClient) return nodes[static_cast<size_t>(client)].id;
            return nodes[static_cast<size_t>(current)].id;
        }
        return 0;
    }

  private:
    int FindClient(int index) const {
        const Node& n = nodes[static_cast<size_t>(index)];
        if (n.managed) return index;
        for (int c : n.children) {
            const int found = FindClient(c);
            if (found >= 0) return found;
        }
        return -1;
    }
};

X11Windows::Tree X11Windows::Snapshot(WindowId exclude) {
    xcb_connection_t* c = conn_.get();
    const xcb_atom_t wmState = conn_.Atom("WM_STATE");
    Tree tree;
    Node root;
    root.id = conn_.root();
    root.outer = Rect{0, 0, conn_.screen()->width_in_pixels, conn_.screen()->height_in_pixels};
    tree.nodes.push_back(root);
    // Level by level, with every request of a level sent before the first reply is read.
    std::vector<int> level{0};
    while (!level.empty()) {
        std::vector<xcb_query_tree_cookie_t> trees;
        for (int i : level) trees.push_back(xcb_query_tree(c, tree.nodes[static_cast<size_t>(i)].id));
        struct Pending {
            int parent;
            xcb_window_t id;
            xcb_get_window_attributes_cookie_t attr;
            xcb_get_geometry_cookie_t geo;
            xcb_get_property_cookie_t state;
        };
        std::vector<Pending> pending;
        for (size_t k = 0; k < level.size(); ++k) {
            auto reply = conn_.Get(xcb_query_tree_reply, trees[k]);
            if (!reply) continue;
            const xcb_window_t* kids = xcb_query_tree_children(reply.get());
            const int count = xcb_query_tree_children_length(reply.get());
            for (int i = 0; i < count; ++i) {
                if (kids[i] == exclude) continue;
                pending.push_back({level[k], kids[i], xcb_get_window_attributes(c, kids[i]),
                                   xcb_get_geometry(c, kids[i]),
                                   xcb_get_property(c, 0, kids[i], wmState, XCB_ATOM_ANY, 0, 0)});
            }
        }
        std::vector<int> next;
        for (Pending& p : pending) {
            auto attr = conn_.Get(xcb_get_window_attributes_reply, p.attr);
            auto geo = conn_.Get(xcb_get_geometry_reply, p.geo);
            auto state = conn_.Get(xcb_get_property_reply, p.state);
            // A window may vanish between the tree and its attributes: it is simply left out.
            if (!attr || !geo || attr->map_state != XCB_MAP_STATE_VIEWABLE ||
                attr->_class != XCB_WINDOW_CLASS_INPUT_OUTPUT)
                continue;
            const Node& parent = tree.nodes[static_cast<size_t>(p.parent)];
            const int px = p.parent == 0 ? 0 : parent.outer.left + parent.border;
            const int py = p.parent == 0 ? 0 : parent.outer.top + parent.border;
            Node n;
            n.id = p.id;
            const int b = geo->border_width;
            n.outer = Rect{px + geo->x, py + geo->y, px + geo->x + geo->width + 2 * b,
                           py + geo->y + geo->height + 2 * b};
            n.border = b;
            n.managed = state && state->type != XCB_ATOM_NONE;
            tree.nodes.push_back(n);
            const int index = static_cast<int>(tree.nodes.size() - 1);
            tree.nodes[static_cast<size_t>(p.parent)].children.push_back(index);
            next.push_back(index);
        }
        level = std::move(next);
    }
    return tree;
}

WindowId X11Windows::WindowAt(Point p, WindowId exclude) {
    return Snapshot(exclude).At(p);
}

std::vector<WindowId> X11Windows::WindowGrid(int columns, int rows, int step, WindowId exclude) {
    std::vector<WindowId> grid;
    if (columns <= 0 || rows <= 0) return grid;
    const Tree tree = Snapshot(exclude);
    grid.resize(static_cast<size_t>(columns) * static_cast<size_t>(rows));
    for (int r = 0; r < rows; ++r)
        for (int col = 0; col < columns; ++col)
            grid[static_cast<size_t>(r) * static_cast<size_t>(columns) + static_cast<size_t>(col)] =
                tree.At(Point{step * col, step * r});
    return grid;
}

bool X11Windows::WindowRect(WindowId window, Rect& out) {
    if (!window) return false;
    xcb_connection_t* c = conn_.get();
    auto state = conn_.Get(xcb_get_property_reply,
                           xcb_get_property(c, 0, window, conn_.Atom("WM_STATE"), XCB_ATOM_ANY, 0, 0));
    if (!state) return false;
    xcb_window_t target = window;
    if (state->type != XCB_ATOM_NONE) {
        // A managed window: its rectangle is that of the frame the window manager put around it,
        // the ancestor just below the root.
        for (int guard = 0; guard < 64; ++guard) {
            auto tree = conn_.Get(xcb_query_tree_reply, xcb_query_tree(c, target));
            if (!tree) return false;
            if (tree->parent == conn_.root() || tree->parent == XCB_WINDOW_NONE) break;
            target = tree->parent;
        }
    }
    auto geo = conn_.Get(xcb_get_geometry_reply, xcb_get_geometry(c, target));
    if (!geo) return false;
    auto pos =
        conn_.Get(xcb_translate_coordinates_reply, xcb_translate_coordinates(c, target, conn_.root(), 0, 0));
    if (!pos) return false;
    const int b = geo->border_width;
    out = Rect{pos->dst_x - b, pos->dst_y - b, pos->dst_x + geo->width + b, pos->dst_y + geo->height + b};
    return true;
}

bool X11Windows::ClientRect(WindowId window, Rect& out) {
    if (!window) return false;
    xcb_connection_t* c = conn_.get();
    auto geo = conn_.Get(xcb_get_geometry_reply, xcb_get_geometry(c, window));
    if (!geo) return false;
    auto pos =
        conn_.Get(xcb_translate_coordinates_reply, xcb_translate_coordinates(c, window, conn_.root(), 0, 0));
    if (!pos) return false;
    out = Rect{pos->dst_x, pos->dst_y, pos->dst_x + geo->width, pos->dst_y + geo->height};
    return true;
}

std::vector<xcb_window_t> X11Windows::ReadWindows(xcb_window_t owner, const char* property) {
    auto reply =
        conn_.Get(xcb_get_property_reply,
                  xcb_get_property(conn_.get(), 0, owner, conn_.Atom(property), XCB_ATOM_WINDOW, 0, 4096));
    std::vector<xcb_window_t> out;
    if (!reply || reply->type != XCB_ATOM_WINDOW || reply->format != 32) return out;
    const int count = xcb_get_property_value_length(reply.get()) / 4;
    const auto* ids = static_cast<const xcb_window_t*>(xcb_get_property_value(reply.get()));
    out.assign(ids, ids + count);
    return out;
}

WindowId X11Windows::NextInStacking(WindowId window) {
    const std::vector<xcb_window_t> stack = ReadWindows(conn_.root(), "_NET_CLIENT_LIST_STACKING");
    for (size_t i = 0; i < stack.size(); ++i)
        if (stack[i] == window) return i > 0 ? stack[i - 1] : 0;
    return stack.empty() ? 0 : stack.back();
}

WindowId X11Windows::ActiveWindow() {
    const std::vector<xcb_window_t> active = ReadWindows(conn_.root(), "_NET_ACTIVE_WINDOW");
    return active.empty() ? 0 : active[0];
}

bool X11Windows::IsManaged(xcb_window_t window) {
    auto state =
        conn_.Get(xcb_get_property_reply,
                  xcb_get_property(conn_.get(), 0, window, conn_.Atom("WM_STATE"), XCB_ATOM_ANY, 0, 0));
    return state && state->type != XCB_ATOM_NONE;
}

xcb_window_t X11Windows::FrameOf(xcb_window_t window) {
    xcb_window_t current = window;
    for (int guard = 0; guard < 64; ++guard) {
        auto tree = conn_.Get(xcb_query_tree_reply, xcb_query_tree(conn_.get(), current));
        if (!tree || tree->parent == conn_.root() || tree->parent == XCB_WINDOW_NONE) break;
        current = tree->parent;
    }
    return current;
}

WindowId X11Windows::TopLevel(WindowId window) {
    xcb_window_t current = window;
    for (int guard = 0; current && guard < 64; ++guard) {
        if (IsManaged(current)) return current;
        auto tree = conn_.Get(xcb_query_tree_reply, xcb_query_tree(conn_.get(), current));
        if (!tree || tree->parent == conn_.root() || tree->parent == XCB_WINDOW_NONE) break;
        current = tree->parent;
    }
    return window;
}

bool X11Windows::SendToRoot(xcb_window_t window, const char* message, uint32_t l0, uint32_t l1, uint32_t l2) {
    if (!Exists(window)) return false;
    xcb_client_message_event_t event;
    std::memset(&event, 0, sizeof event);
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = conn_.Atom(message);
    event.data.data32[0] = l0;
    event.data.data32[1] = l1;
    event.data.data32[2] = l2;
    const bool sent = conn_.Check(
        xcb_send_event_checked(conn_.get(), 0, conn_.root(),
                               XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                               reinterpret_cast<const char*>(&event)));
    return sent;
}

bool X11Windows::Activate(WindowId window) {
    // Source 2: a pager acting for the user, which window managers obey without focus-stealing checks.
    return SendToRoot(window, "_NET_ACTIVE_WINDOW", 2, XCB_CURRENT_TIME, 0);
}

bool X11Windows::Raise(WindowId window) {
    return SendToRoot(window, "_NET_RESTACK_WINDOW", 2, XCB_WINDOW_NONE, XCB_STACK_MODE_ABOVE);
}

bool X11Windows::Exists(WindowId window) {
    if (!window) return false;
    return conn_.Get(xcb_get_window_attributes_reply, xcb_get_window_attributes(conn_.get(), window)) !=
           nullptr;
}

bool X11Windows::PixelFor(xcb_window_t window, uint32_t rgb, uint32_t& pixel) {
    auto attr = conn_.Get(xcb_get_window_attributes_reply, xcb_get_window_attributes(conn_.get(), window));
    if (!attr) return false;
    for (auto d = xcb_screen_allowed_depths_iterator(conn_.screen()); d.rem; xcb_depth_next(&d)) {
        for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v)) {
            if (v.data->visual_id != attr->visual) continue;
            auto place = [](uint32_t value8, uint32_t mask) -> uint32_t {
                if (!mask) return 0;
                int shift = 0;
                while (!((mask >> shift) & 1)) ++shift;
                int bits = 0;
                while ((mask >> (shift + bits)) & 1) ++bits;
                const uint32_t v = bits >= 8 ? value8 << (bits - 8) : value8 >> (8 - bits);
                return (v << shift) & mask;
            };
            const uint32_t colours = v.data->red_mask | v.data->green_mask | v.data->blue_mask;
            // In a 32-bit visual the bits beside the colours are alpha: opaque.
            const uint32_t depthBits = d.data->depth >= 32 ? 0xFFFFFFFFu : (1u << d.data->depth) - 1;
            pixel = place((rgb >> 16) & 0xFF, v.data->red_mask) |
                    place((rgb >> 8) & 0xFF, v.data->green_mask) | place(rgb & 0xFF, v.data->blue_mask) |
                    (depthBits & ~colours);
            return true;
        }
    }
    return false;
}

bool X11Windows::FillRects(xcb_window_t window, uint32_t rgb, const std::vector<xcb_rectangle_t>& rects) {
    xcb_connection_t* c = conn_.get();
    uint32_t pixel = 0;
    if (!PixelFor(window, rgb, pixel)) return false;
    const xcb_gcontext_t gc = xcb_generate_id(c);
    // Through children too, so a pane made of sub-windows (or a frame with its client) is painted whole.
    const uint32_t values[] = {pixel, XCB_SUBWINDOW_MODE_INCLUDE_INFERIORS, 0};
    if (!conn_.Check(xcb_create_gc_checked(
            c, gc, window, XCB_GC_FOREGROUND | XCB_GC_SUBWINDOW_MODE | XCB_GC_GRAPHICS_EXPOSURES, values)))
        return false;
    const bool drawn = conn_.Check(
        xcb_poly_fill_rectangle_checked(c, window, gc, static_cast<uint32_t>(rects.size()), rects.data()));
    xcb_free_gc(c, gc);
    conn_.Sync();
    return drawn;
}

bool X11Windows::DrawRow(WindowId window, Point from, int toX, uint32_t rgb) {
    if (toX <= from.x || !window) return false;
    return FillRects(window, rgb,
                     {xcb_rectangle_t{static_cast<int16_t>(from.x), static_cast<int16_t>(from.y),
                                      static_cast<uint16_t>(toX - from.x), 1}});
}

bool X11Windows::DrawFrame(WindowId window, int width, uint32_t rgb) {
    if (!window || width <= 0) return false;
    xcb_connection_t* c = conn_.get();
    // Drawn on the window manager's frame, so the title bar and borders are inside the outline.
    const xcb_window_t target = IsManaged(window) ? FrameOf(window) : window;
    auto geo = conn_.Get(xcb_get_geometry_reply, xcb_get_geometry(c, target));
    if (!geo) return false;
    const int w = geo->width, h = geo->height;
    const int t = std::min(width, std::min(w, h) / 2);
    const auto r = [](int x, int y, int rw, int rh) {
        return xcb_rectangle_t{static_cast<int16_t>(x), static_cast<int16_t>(y), static_cast<uint16_t>(rw),
                               static_cast<uint16_t>(rh)};
    };
    // A window too small for the outline is filled.
    if (t <= 0) return FillRects(target, rgb, {r(0, 0, w, h)});
    return FillRects(target, rgb,
                     {r(0, 0, w, t), r(0, h - t, w, t), r(0, t, t, h - 2 * t), r(w - t, t, t, h - 2 * t)});
}

void X11Windows::Invalidate(WindowId window, const Rect* area) {
    xcb_connection_t* c = conn_.get();
    // area is kept in each window's own coordinates on the way down.
    std::function<void(xcb_window_t, Rect, int)> clear = [&](xcb_window_t w, Rect r, int depth) {
        // Errors (an input-only child, a window gone meanwhile) are dropped by Sync.
        if (!area) {
            xcb_clear_area(c, 1, w, 0, 0, 0, 0);
        } else {
            if (IsEmpty(r)) return;
            xcb_clear_area(c, 1, w, static_cast<int16_t>(r.left), static_cast<int16_t>(r.top),
                           static_cast<uint16_t>(r.Width()), static_cast<uint16_t>(r.Height()));
        }
        if (depth > 32) return;
        auto tree = conn_.Get(xcb_query_tree_reply, xcb_query_tree(c, w));
        if (!tree) return;
        const xcb_window_t* kids = xcb_query_tree_children(tree.get());
        const int count = xcb_query_tree_children_length(tree.get());
        std::vector<xcb_get_geometry_cookie_t> cookies;
        for (int i = 0; i < count; ++i) cookies.push_back(xcb_get_geometry(c, kids[i]));
        for (int i = 0; i < count; ++i) {
            auto geo = conn_.Get(xcb_get_geometry_reply, cookies[static_cast<size_t>(i)]);
            if (!geo) continue;
            const int dx = geo->x + geo->border_width, dy = geo->y + geo->border_width;
            Rect inner{r.left - dx, r.top - dy, r.right - dx, r.bottom - dy};
            inner = Intersect(inner, Rect{0, 0, geo->width, geo->height});
            clear(kids[i], inner, depth + 1);
        }
    };
    if (!window) return;
    xcb_window_t start = window;
    // The whole of a managed window includes the frame around it (where a highlight outline lies).
    if (!area && IsManaged(window)) start = FrameOf(window);
    clear(start, area ? *area : Rect{0, 0, 65535, 65535}, 0);
    conn_.Sync();
}

bool X11Windows::CanBlendWindows() {
    // A compositing manager owns the selection _NET_WM_CM_Sn of the screen it composites.
    int number = 0;
    for (auto it = xcb_setup_roots_iterator(xcb_get_setup(conn_.get())); it.rem;
         xcb_screen_next(&it), ++number)
        if (it.data->root == conn_.root()) break;
    const std::string name = "_NET_WM_CM_S" + std::to_string(number);
    auto reply = conn_.Get(xcb_get_selection_owner_reply,
                           xcb_get_selection_owner(conn_.get(), conn_.Atom(name.c_str())));
    return reply && reply->owner != XCB_NONE;
}

}  // namespace glimmora::x11
