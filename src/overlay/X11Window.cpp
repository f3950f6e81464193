#include "overlay/X11Window.h"

#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/shape.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

xcb_connection_t *connection()
{
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

template <class T> using Reply = std::unique_ptr<T, decltype(&std::free)>;

xcb_atom_t atom(xcb_connection_t *c, const char *name)
{
    const Reply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr),
        &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// The number of the X screen whose root is the window's root.
int screenNumber(xcb_connection_t *c, xcb_window_t window)
{
    const Reply<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr), &std::free);
    if (!geometry)
        return 0;
    int number = 0;
    for (auto it = xcb_setup_roots_iterator(xcb_get_setup(c)); it.rem;
         xcb_screen_next(&it), ++number) {
        if (it.data->root == geometry->root)
            return number;
    }
    return 0;
}

} // namespace

namespace X11Window {

bool isAvailable()
{
    return connection() != nullptr;
}

void showOnAllDesktops(WId window)
{
    xcb_connection_t *c = connection();
    if (!c || !window)
        return;
    const auto id = xcb_window_t(window);
    // Window managers that ignore the sticky state still honour "all desktops".
    const uint32_t allDesktops = 0xFFFFFFFF;
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, atom(c, "_NET_WM_DESKTOP"), XCB_ATOM_CARDINAL,
        32, 1, &allDesktops);
    const xcb_atom_t states[] = {
        atom(c, "_NET_WM_STATE_STICKY"),
        atom(c, "_NET_WM_STATE_SKIP_TASKBAR"),
        atom(c, "_NET_WM_STATE_SKIP_PAGER"),
        atom(c, "_NET_WM_STATE_ABOVE"),
    };
    // Appended: Qt adds its own states to what it finds there when it maps the window.
    xcb_change_property(c, XCB_PROP_MODE_APPEND, id, atom(c, "_NET_WM_STATE"), XCB_ATOM_ATOM, 32,
        uint32_t(std::size(states)), states);
    xcb_flush(c);
}

bool compositorRunning(WId window)
{
    xcb_connection_t *c = connection();
    if (!c || !window)
        return false;
    const QByteArray name
        = "_NET_WM_CM_S" + QByteArray::number(screenNumber(c, xcb_window_t(window)));
    const xcb_atom_t selection = atom(c, name.constData());
    if (selection == XCB_ATOM_NONE)
        return false;
    const Reply<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr),
        &std::free);
    return owner && owner->owner != XCB_NONE;
}

void setInputShape(WId window, const QList<QRect> &deviceRects)
{
    xcb_connection_t *c = connection();
    if (!c || !window)
        return;
    std::vector<xcb_rectangle_t> rects;
    rects.reserve(size_t(deviceRects.size()));
    for (const QRect &r : deviceRects)
        rects.push_back(
            { int16_t(r.x()), int16_t(r.y()), uint16_t(r.width()), uint16_t(r.height()) });
    xcb_shape_rectangles(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT, XCB_CLIP_ORDERING_UNSORTED,
        xcb_window_t(window), 0, 0, uint32_t(rects.size()), rects.data());
    xcb_flush(c);
}

} // namespace X11Window
