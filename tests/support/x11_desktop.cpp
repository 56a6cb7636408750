// A desktop as players have one: a window manager that frames windows, and a panel along the
// bottom of the screen that the window manager keeps out of its work area.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "support/process.h"

namespace testing_support {
namespace {

using namespace std::chrono_literals;

// A CARDINAL[] property of a window, or an empty vector.
std::vector<long> Cardinals(::Display* dpy, ::Window window, const char* name) {
  std::vector<long> out;
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  const Atom atom = XInternAtom(dpy, name, True);
  if (atom != None &&
      XGetWindowProperty(dpy, window, atom, 0, 64, False, AnyPropertyType, &type, &format, &count, &after, &data) ==
          Success &&
      data && format == 32) {
    const long* values = reinterpret_cast<const long*>(data);
    out.assign(values, values + count);
  }
  if (data) XFree(data);
  return out;
}

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<long> RootCardinals(const std::string& display, const char* name) {
  ::Display* dpy = XOpenDisplay(display.c_str());
  if (!dpy) return {};
  std::vector<long> out = Cardinals(dpy, DefaultRootWindow(dpy), name);
  XCloseDisplay(dpy);
  return out;
}

}  // namespace

WindowManager::WindowManager(const std::string& display) {
  wm_.Start({"openbox", "--sm-disable"}, {{"DISPLAY", display}});
  // Its work area comes late in its start; windows mapped before may be missed.
  if (!WaitUntil([&] { return !RootCardinals(display, "_NET_WORKAREA").empty(); }, 20s))
    throw std::runtime_error("openbox did not take the screen");
}

namespace {

// xfwm4's shortcuts: the custom set, empty, in place of its defaults (Alt+F8 resizes there).
constexpr const char* kXfwm4Shortcuts = R"(<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-keyboard-shortcuts" version="1.0">
  <property name="xfwm4" type="empty">
    <property name="custom" type="empty">
      <property name="override" type="bool" value="true"/>
    </property>
  </property>
</channel>
)";

void WriteText(const std::filesystem::path& path, const std::string& text) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary);
  out << text;
  if (!out.flush()) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace

WindowManager::WindowManager(const std::string& display, WindowManagerKind kind, const std::string& dir) {
  const std::filesystem::path home = dir;
  const std::string log = (home / "window-manager.log").string();
  // Its own home and settings only: none of this machine's.
  std::map<std::string, std::string> env = {{"DISPLAY", display},
                                            {"HOME", home.string()},
                                            {"XDG_CONFIG_HOME", (home / "config").string()},
                                            {"XDG_CONFIG_DIRS", (home / "config-dirs").string()}};
  std::filesystem::create_directories(home / "config-dirs");
  std::vector<std::string> argv;
  switch (kind) {
    case WindowManagerKind::kOpenbox:
      WriteText(home / "openbox-rc.xml",
                "<?xml version=\"1.0\"?>\n<openbox_config xmlns=\"http://openbox.org/3.4/rc\"></openbox_config>\n");
      argv = {"openbox", "--sm-disable", "--config-file", (home / "openbox-rc.xml").string()};
      break;
    case WindowManagerKind::kFluxbox:
      WriteText(home / "fluxbox-keys", "");
      WriteText(home / "fluxbox-init", "session.keyFile: " + (home / "fluxbox-keys").string() +
                                           "\nsession.screen0.toolbar.visible: false\n");
      argv = {"fluxbox", "-rc", (home / "fluxbox-init").string()};
      break;
    case WindowManagerKind::kXfwm4: {
      // Its settings come from xfconfd, which the session bus starts on demand.
      WriteText(home / "config/xfce4/xfconf/xfce-perchannel-xml/xfce4-keyboard-shortcuts.xml", kXfwm4Shortcuts);
      const std::filesystem::path socket = home / "bus";
      bus_.Start({"dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=unix:path=" + socket.string()},
                 env, dir, (home / "bus.log").string());
      if (!WaitUntil([&] { return std::filesystem::exists(socket) || !bus_.Running(); }, 10s) || !bus_.Running())
        throw std::runtime_error("the session bus did not start: " + ReadText(home / "bus.log"));
      env["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=" + socket.string();
      argv = {"xfwm4", "--compositor=off", "--sm-client-disable"};
      break;
    }
    case WindowManagerKind::kIcewm:
      // Alt+F8 resizes there, Alt+F11 goes to full screen: the program's keys alone.
      WriteText(home / "icewm/preferences", "ShowTaskBar=0\nKeyWinSize=\"\"\nKeyWinFullscreen=\"\"\n");
      env["ICEWM_PRIVCFG"] = (home / "icewm").string();
      argv = {"icewm"};
      break;
  }
  wm_.Start(argv, env, dir, log);
  if (!WaitUntil([&] { return !RootCardinals(display, "_NET_SUPPORTING_WM_CHECK").empty() || !wm_.Running(); },
                 20s) ||
      !wm_.Running())
    throw std::runtime_error(argv[0] + " did not take the screen: " + ReadText(log));
}

WindowManager::~WindowManager() {
  wm_.Signal(SIGKILL);
  wm_.Wait(5s);
  // The bus's own children (xfconfd) go with it.
  if (bus_.Pid() > 0 && bus_.Running()) ::kill(-bus_.Pid(), SIGKILL);
}

BottomPanel::BottomPanel(const std::string& display, int height) {
  dpy_ = XOpenDisplay(display.c_str());
  if (!dpy_) throw std::runtime_error("no X display for the panel");
  ::Display* dpy = static_cast<::Display*>(dpy_);
  const int screen_width = DisplayWidth(dpy, DefaultScreen(dpy));
  const int screen_height = DisplayHeight(dpy, DefaultScreen(dpy));
  ::Window panel = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, screen_height - height,
                                       static_cast<unsigned>(screen_width), static_cast<unsigned>(height), 0, 0,
                                       0x404040);
  const Atom dock = XInternAtom(dpy, "_NET_WM_WINDOW_TYPE_DOCK", False);
  XChangeProperty(dpy, panel, XInternAtom(dpy, "_NET_WM_WINDOW_TYPE", False), XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&dock), 1);
  // left, right, top, bottom, then the start and end of each edge's span.
  const long strut[12] = {0, 0, 0, height, 0, 0, 0, 0, 0, 0, 0, screen_width - 1};
  XChangeProperty(dpy, panel, XInternAtom(dpy, "_NET_WM_STRUT_PARTIAL", False), XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(strut), 12);
  XChangeProperty(dpy, panel, XInternAtom(dpy, "_NET_WM_STRUT", False), XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(strut), 4);
  XMapWindow(dpy, panel);
  XSync(dpy, False);
  // The window manager shrinks its work area once it has taken the panel in.
  std::vector<long> area;
  bool shrunk = false;
  for (int attempt = 0; attempt < 5 && !shrunk; ++attempt) {
    if (attempt > 0) {  // not taken in yet: show it again
      XUnmapWindow(dpy, panel);
      XMapWindow(dpy, panel);
      XSync(dpy, False);
    }
    shrunk = WaitUntil(
        [&] {
          area = RootCardinals(display, "_NET_WORKAREA");
          return area.size() >= 4 && area[3] == screen_height - height;
        },
        4s);
  }
  if (!shrunk) {
    XCloseDisplay(dpy);
    dpy_ = nullptr;
    throw std::runtime_error("the window manager's work area did not leave the panel out (it is " +
                             std::to_string(area.size() >= 4 ? area[3] : -1) + " high)");
  }
}

BottomPanel::~BottomPanel() {
  if (dpy_) XCloseDisplay(static_cast<::Display*>(dpy_));
}

std::vector<long> FrameExtents(const std::string& display, unsigned long window_id) {
  ::Display* dpy = XOpenDisplay(display.c_str());
  if (!dpy) return {};
  std::vector<long> out = Cardinals(dpy, window_id, "_NET_FRAME_EXTENTS");
  XCloseDisplay(dpy);
  return out;
}

}  // namespace testing_support
