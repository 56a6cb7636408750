// Reads a window's place and pixels from the X server, as a screenshot would.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "support/process.h"

namespace testing_support {

std::optional<WindowShot> WindowGeometry(const std::string& display, unsigned long window_id) {
  ::Display* dpy = XOpenDisplay(display.c_str());
  if (!dpy) return std::nullopt;
  // A window that went away between two looks has no place; that is not the end of the test.
  XErrorHandler old = XSetErrorHandler([](::Display*, XErrorEvent*) { return 0; });
  std::optional<WindowShot> out;
  XWindowAttributes attributes;
  ::Window child;
  int x = 0, y = 0;
  if (XGetWindowAttributes(dpy, window_id, &attributes) &&
      XTranslateCoordinates(dpy, window_id, attributes.root, 0, 0, &x, &y, &child))
    out = WindowShot{x, y, attributes.width, attributes.height, {}};
  XSync(dpy, False);
  XSetErrorHandler(old);
  XCloseDisplay(dpy);
  return out;
}

std::optional<WindowShot> CaptureWindow(const std::string& display, unsigned long window_id) {
  std::optional<WindowShot> shot = WindowGeometry(display, window_id);
  if (!shot) return shot;
  ::Display* dpy = XOpenDisplay(display.c_str());
  if (!dpy) return std::nullopt;
  XImage* image = XGetImage(dpy, window_id, 0, 0, static_cast<unsigned>(shot->width),
                            static_cast<unsigned>(shot->height), AllPlanes, ZPixmap);
  if (image) {
    shot->pixels.reserve(static_cast<std::size_t>(shot->width) * static_cast<std::size_t>(shot->height));
    for (int py = 0; py < shot->height; ++py)
      for (int px = 0; px < shot->width; ++px)
        shot->pixels.push_back(static_cast<std::uint32_t>(XGetPixel(image, px, py) & 0xFFFFFF));
    XDestroyImage(image);
  } else {
    shot.reset();
  }
  XCloseDisplay(dpy);
  return shot;
}

}  // namespace testing_support
