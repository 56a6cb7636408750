#pragma once
// A Wayland desktop of the test's own, as VirtualX is an X one: a compositor with one output and
// no GPU, and its tools to look (its list of windows, screenshots) and to type. Two kinds: sway,
// headless (its window tree, grim, a virtual keyboard through wtype), and weston, shown in an Xvfb
// of its own through its X11 backend (its scene graph, the X window's pixels, X key events), as
// weston offers no virtual keyboard and no screen capture to other clients.
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/process.h"

namespace testing_support {

enum class Compositor { kSway, kWeston };

// A window as the compositor shows it: its title, where its client area is on the output and
// how large, and its state.
struct WaylandWindow {
  std::string name;
  int x = 0, y = 0, width = 0, height = 0;
  bool fullscreen = false, focused = false, visible = false;
};

// An output's pixels as 0x00RRGGBB, row by row.
struct OutputShot {
  int width = 0, height = 0;
  std::vector<std::uint32_t> pixels;
  std::uint32_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

class HeadlessWayland {
 public:
  // Starts the compositor without a GPU, with one output of this size and no key bindings of its
  // own, and returns once it answers. sway refuses to run as root: a root test runs the
  // compositor, and every client started through Start, as the unprivileged user "nobody".
  explicit HeadlessWayland(Compositor kind = Compositor::kSway, int width = 1280, int height = 720);
  ~HeadlessWayland();
  HeadlessWayland(const HeadlessWayland&) = delete;
  HeadlessWayland& operator=(const HeadlessWayland&) = delete;

  // What a client needs in its environment to reach this compositor.
  std::map<std::string, std::string> Env() const;
  // Hands a directory and everything in it to the user the clients run as.
  void GiveToClients(const std::filesystem::path& dir) const;
  // Starts a client as that user, with `env` and Env() added to the environment.
  void Start(ChildProcess& child, const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
             const std::string& dir, const std::string& log_path) const;

  // The windows the compositor has mapped.
  std::vector<WaylandWindow> Windows() const;
  // The mapped window with this title, once one shows within `timeout`.
  std::optional<WaylandWindow> WaitForWindow(const std::string& utf8_title, std::chrono::milliseconds timeout) const;
  // The output as it is shown now (grim), or nothing.
  std::optional<OutputShot> Shot() const;
  // Saves the output as a PNG file (grim, sway only); false when that fails.
  bool SavePng(const std::filesystem::path& path) const;
  // Presses keys one after the other, each a key's name or modifiers and a key ("alt+F8"), as
  // the keyboard of the seat would; false when that fails.
  bool Keys(const std::vector<std::string>& keys) const;
  // Types text key by key.
  bool Text(const std::string& text) const;
  // Whether the compositor tells which window has the keyboard (WaylandWindow::focused); where
  // it does not, only what the keys do shows it.
  bool ReportsFocus() const { return kind_ == Compositor::kSway; }
  // Clicks the first button at this place of the output, where the compositor's seat has a
  // pointer of the test's (weston only); false otherwise.
  bool Click(int x, int y) const;
  // Whether Close can ask a window to close as its close box would.
  bool CanClose() const { return kind_ == Compositor::kSway; }
  // Asks the window with this title to close, as its close box would; false when none has it.
  bool Close(const std::string& utf8_title) const;
  // The compositor's log so far, for failure messages.
  std::string Log() const;

 private:
  std::map<std::string, std::string> ToolEnv() const;
  std::vector<std::string> AsClient(std::vector<std::string> argv) const;
  void StartSway(int width, int height);
  void StartWeston(int width, int height);

  Compositor kind_;
  std::filesystem::path dir_;  // the runtime directory, the configuration and the log
  std::string display_, swaysock_;
  std::unique_ptr<VirtualX> x_;  // where weston shows its output
  bool drop_ = false;  // clients run as another user
  uid_t uid_ = 0;
  gid_t gid_ = 0;
  ChildProcess compositor_;
  ChildProcess keyboard_;
};

}  // namespace testing_support
