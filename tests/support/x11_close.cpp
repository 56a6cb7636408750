// Sends WM_DELETE_WINDOW as a window manager does when the player clicks a close box; the test
// servers run without a window manager.
#include <X11/Xlib.h>

#include "support/process.h"

namespace testing_support {

bool RequestWindowClose(const std::string& display, unsigned long window_id) {
  Display* dpy = XOpenDisplay(display.c_str());
  if (!dpy) return false;
  XEvent ev{};
  ev.xclient.type = ClientMessage;
  ev.xclient.window = window_id;
  ev.xclient.message_type = XInternAtom(dpy, "WM_PROTOCOLS", True);
  ev.xclient.format = 32;
  ev.xclient.data.l[0] = static_cast<long>(XInternAtom(dpy, "WM_DELETE_WINDOW", False));
  ev.xclient.data.l[1] = CurrentTime;
  Status ok = XSendEvent(dpy, window_id, False, NoEventMask, &ev);
  XSync(dpy, False);
  XCloseDisplay(dpy);
  return ok != 0;
}

}  // namespace testing_support
