#pragma once

#include <QWidget>

// The few X11 calls the overlay needs beyond what Qt offers. Every helper does nothing (or
// answers false) when the application does not run on the xcb platform.
namespace X11Window {

bool isAvailable();

// Puts a created but not yet shown window on every virtual desktop, above ordinary windows
// and out of task bars and pagers. Qt does none of this for a tool window by itself.
void showOnAllDesktops(WId window);

// Whether a compositing manager runs for the X screen that holds `window` (it owns the
// _NET_WM_CM_S<screen> selection). Without one, transparent pixels show black.
bool compositorRunning(WId window);

// Sets the window's input region (device pixels, window coordinates): pointer events outside
// it go to the windows beneath. An empty list means none at all.
void setInputShape(WId window, const QList<QRect> &deviceRects);

} // namespace X11Window
