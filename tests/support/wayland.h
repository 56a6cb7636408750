#pragma once
// A Wayland desktop of the test's own, as VirtualX is an X one: a headless sway compositor with
// one output, its tools to look (the window tree, screenshots) and to type (a virtual keyboard).
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "support/process.h"

namespace testing_support {

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
  // Starts sway without a GPU or input devices, with one output of this size and no key
  // bindings, and returns once it answers. sway refuses to run as root: a root test runs it, and
  // every client started through Start, as the unprivileged user "nobody".
  explicit HeadlessWayland(int width = 1280, int height = 720);
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
  // Saves the output as a PNG file (grim); false when that fails.
  bool SavePng(const std::filesystem::path& path) const;
  // Types through the virtual-keyboard protocol: wtype's arguments (-k KEY, -M MOD, TEXT...).
  // False when wtype fails.
  bool Type(const std::vector<std::string>& wtype_args) const;
  // Asks the window with this title to close, as its close box would; false when none has it.
  bool Close(const std::string& utf8_title) const;
  // sway's log so far, for failure messages.
  std::string Log() const;

 private:
  std::map<std::string, std::string> ToolEnv() const;

  std::filesystem::path dir_;  // the runtime directory, the configuration and the log
  std::string display_, swaysock_;
  bool drop_ = false;  // clients run as another user
  uid_t uid_ = 0;
  gid_t gid_ = 0;
  ChildProcess sway_;
  ChildProcess keyboard_;
};

}  // namespace testing_support
