#pragma once

#include <xcb/xcb.h>

#include <QList>
#include <QString>
#include <memory>

// The X11 side of the kiosk, on the program's own X connection (so that a
// keyboard grab belongs to the board's client and the X server drops it when
// the program ends, a crash included).
class X11Desk {
public:
    // The X connection of the running application, or none when the program
    // does not run on X11 (Wayland, offscreen, no display).
    static std::unique_ptr<X11Desk> fromApplication();
    X11Desk(xcb_connection_t* connection, xcb_window_t root);

    // Sends every key to `window` (or the program's other windows when they
    // have the focus). Returns an empty text on success, else why it failed.
    QString grabKeyboard(xcb_window_t window);
    void ungrabKeyboard();

    // Unmaps every mapped dock or panel window (_NET_WM_WINDOW_TYPE_DOCK) and
    // returns them; mapWindows puts them back.
    QList<xcb_window_t> unmapDocks();
    void mapWindows(const QList<xcb_window_t>& windows);

    void resetScreenSaver();

private:
    bool isMappedDock(xcb_window_t window);
    xcb_atom_t atom(const char* name);

    xcb_connection_t* connection_;
    xcb_window_t root_;
    xcb_atom_t windowType_ = XCB_ATOM_NONE;
    xcb_atom_t dockType_ = XCB_ATOM_NONE;
};
