#pragma once

// Whether the window manager can be relied on to minimize a window. On X11 it
// can. A Wayland compositor tells a program nothing about minimizing, and the
// tiling ones (sway and its kind) ignore the request: a window without a tray
// to hide to is hidden there, and a second start brings it back. GNOME's and
// KDE's compositors do minimize, to a dash or taskbar the user can reach.
bool windowManagerMinimizes();
