#include "lockdown/X11Desk.h"

#include <QGuiApplication>
#include <cstdlib>
#include <cstring>

namespace {
// xcb replies are malloc'ed; this frees them at the end of the scope.
template <typename T>
struct Reply {
    T* p;
    explicit Reply(T* reply) : p(reply) {}
    ~Reply() { std::free(p); }
    Reply(const Reply&) = delete;
    Reply& operator=(const Reply&) = delete;
    T* operator->() const { return p; }
    explicit operator bool() const { return p != nullptr; }
};

QString grabStatusText(uint8_t status) {
    switch (status) {
        case XCB_GRAB_STATUS_ALREADY_GRABBED:
            return QStringLiteral("another program holds the keyboard");
        case XCB_GRAB_STATUS_INVALID_TIME:
            return QStringLiteral("invalid time");
        case XCB_GRAB_STATUS_NOT_VIEWABLE:
            return QStringLiteral("the board's window is not shown");
        case XCB_GRAB_STATUS_FROZEN:
            return QStringLiteral("the keyboard is frozen by another grab");
        default:
            return QStringLiteral("grab status %1").arg(status);
    }
}
}  // namespace

std::unique_ptr<X11Desk> X11Desk::fromApplication() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection()) return nullptr;
    xcb_connection_t* connection = x11->connection();
    const xcb_setup_t* setup = xcb_get_setup(connection);
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(setup);
    if (!screens.rem) return nullptr;
    return std::make_unique<X11Desk>(connection, screens.data->root);
}

X11Desk::X11Desk(xcb_connection_t* connection, xcb_window_t root)
    : connection_(connection), root_(root) {}

QString X11Desk::grabKeyboard(xcb_window_t window) {
    xcb_generic_error_t* error = nullptr;
    Reply<xcb_grab_keyboard_reply_t> reply(xcb_grab_keyboard_reply(
        connection_,
        xcb_grab_keyboard(connection_, 1 /* owner events */, window, XCB_CURRENT_TIME,
                          XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
        &error));
    if (error) {
        const QString text = QStringLiteral("X error %1").arg(error->error_code);
        std::free(error);
        return text;
    }
    if (!reply) return QStringLiteral("no answer from the X server");
    if (reply->status != XCB_GRAB_STATUS_SUCCESS) return grabStatusText(reply->status);
    return {};
}

void X11Desk::ungrabKeyboard() {
    xcb_ungrab_keyboard(connection_, XCB_CURRENT_TIME);
    xcb_flush(connection_);
}

xcb_atom_t X11Desk::atom(const char* name) {
    Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        connection_, xcb_intern_atom(connection_, 0, std::strlen(name), name), nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

bool X11Desk::isMappedDock(xcb_window_t window) {
    Reply<xcb_get_window_attributes_reply_t> attributes(xcb_get_window_attributes_reply(
        connection_, xcb_get_window_attributes(connection_, window), nullptr));
    if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE) return false;
    Reply<xcb_get_property_reply_t> type(xcb_get_property_reply(
        connection_, xcb_get_property(connection_, 0, window, windowType_, XCB_ATOM_ATOM, 0, 32),
        nullptr));
    if (!type || type->format != 32) return false;
    const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(type.p));
    const int count = xcb_get_property_value_length(type.p) / 4;
    for (int i = 0; i < count; ++i)
        if (atoms[i] == dockType_) return true;
    return false;
}

QList<xcb_window_t> X11Desk::unmapDocks() {
    if (windowType_ == XCB_ATOM_NONE) {
        windowType_ = atom("_NET_WM_WINDOW_TYPE");
        dockType_ = atom("_NET_WM_WINDOW_TYPE_DOCK");
    }
    QList<xcb_window_t> docks;
    Reply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(connection_, xcb_query_tree(connection_, root_), nullptr));
    if (!tree) return docks;
    const xcb_window_t* children = xcb_query_tree_children(tree.p);
    const int count = xcb_query_tree_children_length(tree.p);
    for (int i = 0; i < count; ++i) {
        if (isMappedDock(children[i])) docks.append(children[i]);
    }
    for (xcb_window_t dock : docks) xcb_unmap_window(connection_, dock);
    xcb_flush(connection_);
    return docks;
}

void X11Desk::mapWindows(const QList<xcb_window_t>& windows) {
    // A window that has gone meanwhile only earns an X error that nobody waits for.
    for (xcb_window_t window : windows) xcb_map_window(connection_, window);
    xcb_flush(connection_);
}

void X11Desk::resetScreenSaver() {
    xcb_force_screen_saver(connection_, XCB_SCREEN_SAVER_RESET);
    xcb_flush(connection_);
}
