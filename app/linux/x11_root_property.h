#pragma once

#include <X11/Xlib.h>

#include <optional>

// The pixmap a root-window property names, when it holds exactly one
// (type PIXMAP, format 32); nothing otherwise, also when the property's
// name was never interned on the server.
std::optional<Pixmap> ReadPixmapProperty(Display* display, Window root, const char* name);

// Whether the server knows the pixmap. One it does not know raises a
// protocol error as well, which the caller's error handler gets.
bool PixmapExists(Display* display, Pixmap pixmap);
