#pragma once
// Real processes for tests that run the program (or a tool) as a player would: a virtual X
// server of the test's own, and child processes with their environment and directory.
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace testing_support {

// A child process. Its output goes to files in the test's directory unless told otherwise.
class ChildProcess {
 public:
  ChildProcess() = default;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess();  // kills a child that is still running

  // Starts `argv` in `dir` (empty: the current directory) with `env` added to the environment.
  // stdout and stderr go to `log_path` when it is given, else to /dev/null.
  void Start(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env = {},
             const std::string& dir = "", const std::string& log_path = "");
  pid_t Pid() const { return pid_; }
  bool Running();
  void Signal(int sig);
  // The exit status (or 128 + signal), or nothing if the child still runs after `timeout`.
  std::optional<int> Wait(std::chrono::milliseconds timeout);
  // Process CPU time (user + system) in seconds, read from /proc while it runs.
  double CpuSeconds() const;

 private:
  pid_t pid_ = -1;
  std::optional<int> status_;
};

// An Xvfb server on a display number of its own, for as long as the object lives.
class VirtualX {
 public:
  // Starts Xvfb with a screen of the given size and depth and waits until it accepts clients.
  explicit VirtualX(int width = 1280, int height = 1024, int depth = 24);
  ~VirtualX();
  // ":N", for DISPLAY.
  const std::string& Display() const { return display_; }
  // Runs xdotool on this display (real key and mouse events among others); its output without
  // the last line end.
  std::string Xdotool(const std::vector<std::string>& args, int* exit_status = nullptr) const;
  // The id of the first window whose name matches `name_regex`, once one shows within `timeout`;
  // empty if none does.
  std::string WaitForWindow(const std::string& name_regex, std::chrono::milliseconds timeout) const;
  // The visible window of process `pid` whose name is `utf8_title`, or empty.
  std::string VisibleWindowNamed(pid_t pid, const std::string& utf8_title) const;

 private:
  ChildProcess server_;
  std::string display_;
};

// The window managers the program is tried under: each frames windows in its own way.
enum class WindowManagerKind { kOpenbox, kFluxbox, kXfwm4, kIcewm };

// A window manager on a display, for as long as the object lives; the constructors return once it
// manages the screen.
class WindowManager {
 public:
  // openbox as it comes.
  explicit WindowManager(const std::string& display);
  // `kind` with its settings, home and log (`<dir>/window-manager.log`) in `dir`, and no key
  // bindings of its own, so that every key reaches the program (F11 and Alt+F8 among them).
  WindowManager(const std::string& display, WindowManagerKind kind, const std::string& dir);
  ~WindowManager();
  WindowManager(const WindowManager&) = delete;
  WindowManager& operator=(const WindowManager&) = delete;

 private:
  ChildProcess bus_;  // a session bus of its own, for a manager that keeps its settings behind one
  ChildProcess wm_;
};

// A panel along the bottom of the screen, as a taskbar is: a dock window that reserves `height`
// pixels. The constructor returns once the window manager's work area leaves it out.
class BottomPanel {
 public:
  BottomPanel(const std::string& display, int height);
  ~BottomPanel();
  BottomPanel(const BottomPanel&) = delete;
  BottomPanel& operator=(const BottomPanel&) = delete;

 private:
  void* dpy_ = nullptr;  // the panel's connection; the panel goes with it
};

// The frame a window manager put around a window (_NET_FRAME_EXTENTS: left, right, top,
// bottom), or empty.
std::vector<long> FrameExtents(const std::string& display, unsigned long window_id);

// Runs a command to its end and returns its standard output (stderr is dropped); `env` is added to
// the environment.
std::string RunAndCapture(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env = {},
                          int* exit_status = nullptr);

// Polls `condition` every 20 ms until it holds or `timeout` passes; returns its last value.
template <class F>
bool WaitUntil(F condition, std::chrono::milliseconds timeout) {
  auto end = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    struct timespec ts{0, 20 * 1000 * 1000};
    nanosleep(&ts, nullptr);
  }
}

}  // namespace testing_support

namespace testing_support {

// Asks a window to close as its close box would (WM_DELETE_WINDOW), on the given X display.
// Returns false when the window or display cannot be found.
bool RequestWindowClose(const std::string& display, unsigned long window_id);

// A window's place on the screen and its pixels as 0x00RRGGBB, row by row.
struct WindowShot {
  int x, y, width, height;
  std::vector<std::uint32_t> pixels;
};
std::optional<WindowShot> CaptureWindow(const std::string& display, unsigned long window_id);
// The same without the pixels. It may be read while a window manager has the window half off the
// screen or unmapped, where a capture cannot be taken.
std::optional<WindowShot> WindowGeometry(const std::string& display, unsigned long window_id);

// Plays turns with real key events for `how_long`: each turn holds the keys of the next choice
// (cycling through `choices`) for 120 ms and lets go of them for 120 ms. False as soon as an
// xdotool call fails.
bool PlayHeldTurns(const VirtualX& x, const std::vector<std::vector<std::string>>& choices,
                   std::chrono::milliseconds how_long);

// Works the submission dialog (window `dialog`, shown `scale` times its design size) with real
// clicks at its enlarged places and real typing: clicks into the name field, takes out the
// `old_name_length` characters it holds, types `name`, tabs to the comment, types `comment` and
// clicks the send button. False as soon as an xdotool call fails.
bool FillInAndSend(const VirtualX& x, const std::string& dialog, int scale, int old_name_length,
                   const std::string& name, const std::string& comment);

}  // namespace testing_support
