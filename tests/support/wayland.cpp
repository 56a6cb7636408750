#include "support/wayland.h"

#include <pwd.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "support/harness.h"

namespace testing_support {

namespace {

// Just enough JSON for sway's window tree.
struct Json {
  enum Kind { kNull, kBool, kNumber, kString, kArray, kObject } kind = kNull;
  bool boolean = false;
  double number = 0;
  std::string text;
  std::vector<Json> items;
  std::vector<std::pair<std::string, Json>> members;

  const Json* Get(const std::string& key) const {
    for (const auto& [k, v] : members)
      if (k == key) return &v;
    return nullptr;
  }
  int Int(const std::string& key) const {
    const Json* v = Get(key);
    return v && v->kind == kNumber ? static_cast<int>(v->number) : 0;
  }
  bool Bool(const std::string& key) const {
    const Json* v = Get(key);
    return v && v->kind == kBool && v->boolean;
  }
};

class JsonReader {
 public:
  explicit JsonReader(const std::string& s) : s_(s) {}
  Json Value() {
    Skip();
    if (at_ >= s_.size()) throw std::runtime_error("JSON ends early");
    Json v;
    const char c = s_[at_];
    if (c == '{') {
      v.kind = Json::kObject;
      ++at_;
      for (Skip(); Peek() != '}'; Skip()) {
        std::string key = String();
        Skip();
        Expect(':');
        v.members.emplace_back(std::move(key), Value());
        Skip();
        if (Peek() == ',') ++at_;
      }
      ++at_;
    } else if (c == '[') {
      v.kind = Json::kArray;
      ++at_;
      for (Skip(); Peek() != ']'; Skip()) {
        v.items.push_back(Value());
        Skip();
        if (Peek() == ',') ++at_;
      }
      ++at_;
    } else if (c == '"') {
      v.kind = Json::kString;
      v.text = String();
    } else if (s_.compare(at_, 4, "true") == 0 || s_.compare(at_, 5, "false") == 0) {
      v.kind = Json::kBool;
      v.boolean = c == 't';
      at_ += v.boolean ? 4 : 5;
    } else if (s_.compare(at_, 4, "null") == 0) {
      at_ += 4;
    } else {
      v.kind = Json::kNumber;
      std::size_t used = 0;
      v.number = std::stod(s_.substr(at_, 32), &used);
      at_ += used;
    }
    return v;
  }

 private:
  char Peek() const {
    if (at_ >= s_.size()) throw std::runtime_error("JSON ends early");
    return s_[at_];
  }
  void Skip() {
    while (at_ < s_.size() && std::strchr(" \t\r\n", s_[at_])) ++at_;
  }
  void Expect(char c) {
    if (Peek() != c) throw std::runtime_error(std::string("JSON: expected ") + c);
    ++at_;
  }
  std::string String() {
    Expect('"');
    std::string out;
    for (;;) {
      char c = Peek();
      ++at_;
      if (c == '"') return out;
      if (c != '\\') {
        out += c;
        continue;
      }
      c = Peek();
      ++at_;
      switch (c) {
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'u': {
          const unsigned code = static_cast<unsigned>(std::stoul(s_.substr(at_, 4), nullptr, 16));
          at_ += 4;
          // Window titles here are in the basic plane: one to three bytes of UTF-8.
          if (code < 0x80) {
            out += static_cast<char>(code);
          } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
          } else {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
          }
          break;
        }
        default: out += c; break;  // \" \\ \/
      }
    }
  }

  const std::string& s_;
  std::size_t at_ = 0;
};

void CollectWindows(const Json& node, std::vector<WaylandWindow>& out) {
  // Views (windows of clients) are the containers that have a shell.
  if (node.Get("shell")) {
    const Json* name = node.Get("name");
    const Json* rect = node.Get("rect");
    const Json* inner = node.Get("window_rect");
    if (name && name->kind == Json::kString && rect && inner) {
      WaylandWindow w;
      w.name = name->text;
      w.x = rect->Int("x") + inner->Int("x");
      w.y = rect->Int("y") + inner->Int("y");
      w.width = inner->Int("width");
      w.height = inner->Int("height");
      w.fullscreen = node.Int("fullscreen_mode") != 0;
      w.focused = node.Bool("focused");
      w.visible = node.Bool("visible");
      out.push_back(std::move(w));
    }
  }
  for (const char* list : {"nodes", "floating_nodes"})
    if (const Json* children = node.Get(list))
      for (const Json& child : children->items) CollectWindows(child, out);
}

// weston's scene graph: layers, each with its views; a window's view names its title and its
// place on the output. The full-screen layer has its own position.
//   Layer 2 (pos 0xb0000000):
//   	View 0 (role xdg_toplevel, PID 5, surface ID 22, top-level window 'Title' of app, 0x...):
//   		position: (103, 166) -> (743, 646)
void CollectWestonWindows(const std::string& graph, std::vector<WaylandWindow>& out) {
  std::istringstream lines(graph);
  std::string line;
  bool fullscreen_layer = false;
  WaylandWindow* view = nullptr;
  while (std::getline(lines, line)) {
    if (line.rfind("Layer ", 0) == 0) {
      fullscreen_layer = line.find("(pos 0xb0000000)") != std::string::npos;
      view = nullptr;
      continue;
    }
    const std::size_t title = line.find("top-level window '");
    if (line.find("View ") != std::string::npos) {
      view = nullptr;
      if (line.find("role xdg_toplevel") == std::string::npos || title == std::string::npos) continue;
      const std::size_t from = title + std::strlen("top-level window '");
      const std::size_t to = line.rfind("' of ");
      if (to == std::string::npos || to < from) continue;
      WaylandWindow w;
      w.name = line.substr(from, to - from);
      w.fullscreen = fullscreen_layer;
      w.visible = true;
      out.push_back(std::move(w));
      view = &out.back();
      continue;
    }
    int x0, y0, x1, y1;
    if (view && std::sscanf(line.c_str(), " position: (%d, %d) -> (%d, %d)", &x0, &y0, &x1, &y1) == 4) {
      view->x = x0;
      view->y = y0;
      view->width = x1 - x0;
      view->height = y1 - y0;
    }
  }
}

std::string FirstEntry(const std::filesystem::path& dir, const std::string& prefix, const std::string& suffix) {
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(prefix, 0) == 0 && name.size() >= suffix.size() &&
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0 &&
        name.find(".lock") == std::string::npos)
      return name;
  }
  return "";
}

}  // namespace

HeadlessWayland::HeadlessWayland(Compositor kind, int width, int height) : kind_(kind) {
  if (::geteuid() == 0) {
    const passwd* user = ::getpwnam("nobody");
    if (!user) throw std::runtime_error("no user \"nobody\" to run the compositor as");
    drop_ = true;
    uid_ = user->pw_uid;
    gid_ = user->pw_gid;
  } else {
    uid_ = ::getuid();
    gid_ = ::getgid();
  }
  std::string pattern = (std::filesystem::temp_directory_path() / "velkor-wayland-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot make a directory for the compositor");
  dir_ = pattern;
  ::chmod(dir_.c_str(), 0755);
  // The runtime directory belongs to the compositor's user alone, as a session's does.
  const std::filesystem::path runtime = dir_ / "runtime";
  std::filesystem::create_directory(runtime);
  ::chmod(runtime.c_str(), 0700);
  if (::chown(runtime.c_str(), uid_, gid_) != 0) throw std::runtime_error("cannot hand the runtime directory over");
  try {
    if (kind_ == Compositor::kSway)
      StartSway(width, height);
    else
      StartWeston(width, height);
  } catch (...) {
    keyboard_.Signal(SIGKILL);
    keyboard_.Wait(std::chrono::seconds(2));
    compositor_.Signal(SIGKILL);
    compositor_.Wait(std::chrono::seconds(2));
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
    throw;
  }
}

std::vector<std::string> HeadlessWayland::AsClient(std::vector<std::string> argv) const {
  if (drop_)
    argv.insert(argv.begin(), {"setpriv", "--reuid=" + std::to_string(uid_), "--regid=" + std::to_string(gid_),
                               "--clear-groups", "--"});
  return argv;
}

void HeadlessWayland::StartSway(int width, int height) {
  const std::filesystem::path runtime = dir_ / "runtime";
  // One output, no Xwayland, no bindings: every key goes to the focused window.
  const std::filesystem::path config = dir_ / "sway.conf";
  WriteFile(config, "output HEADLESS-1 resolution " + std::to_string(width) + "x" + std::to_string(height) +
                        "\nxwayland disable\n");
  ::chmod(config.c_str(), 0644);

  compositor_.Start(AsClient({"sway", "-c", config.string()}),
                    {{"XDG_RUNTIME_DIR", runtime.string()},
                     {"HOME", runtime.string()},
                     {"WLR_BACKENDS", "headless"},
                     {"WLR_LIBINPUT_NO_DEVICES", "1"},
                     {"WLR_RENDERER", "pixman"}},
                    "", (dir_ / "compositor.log").string());
  const bool up = WaitUntil(
      [&] {
        if (!compositor_.Running()) return true;
        display_ = FirstEntry(runtime, "wayland-", "");
        swaysock_ = FirstEntry(runtime, "sway-ipc.", ".sock");
        if (display_.empty() || swaysock_.empty()) return false;
        swaysock_ = (runtime / swaysock_).string();
        int status = 1;
        RunAndCapture({"swaymsg", "-t", "get_version"}, ToolEnv(), &status);
        return status == 0;
      },
      std::chrono::seconds(20));
  if (!up || !compositor_.Running()) throw std::runtime_error("cannot start sway (is it installed?): " + Log());
  // A keyboard that stays for the whole session, having pressed a key once, so the seat has a
  // keyboard with its key map from the start: each call of Keys brings a keyboard of its own that
  // goes again, and a client that starts while the seat has a keyboard but no key map for it
  // fails in SDL.
  keyboard_.Start({"wtype", "-k", "Shift_L", "-s", "86400000"}, ToolEnv());
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
}

void HeadlessWayland::StartWeston(int width, int height) {
  const std::filesystem::path runtime = dir_ / "runtime";
  x_ = std::make_unique<VirtualX>(width, height);
  // Its desktop shell without a panel, animations or a lock screen: windows on a plain
  // background; key repeat off, as the X server's keys arrive as they are pressed.
  const std::filesystem::path config = dir_ / "weston.ini";
  WriteFile(config,
            "[core]\nxwayland=false\n\n[shell]\nbackground-color=0xff204060\npanel-position=none\nlocking=false\n"
            "animation=none\nclose-animation=none\nstartup-animation=none\nfocus-animation=none\n\n"
            "[keyboard]\nrepeat-rate=0\n");
  ::chmod(config.c_str(), 0644);
  // --debug offers the scene graph, where its windows are listed.
  compositor_.Start(AsClient({"weston", "--debug", "--backend=x11-backend.so", "--use-pixman",
                              "--width=" + std::to_string(width), "--height=" + std::to_string(height),
                              "--socket=wayland-velkor", "-c", config.string()}),
                    {{"XDG_RUNTIME_DIR", runtime.string()}, {"HOME", runtime.string()}, {"DISPLAY", x_->Display()}},
                    "", (dir_ / "compositor.log").string());
  display_ = "wayland-velkor";
  const bool up = WaitUntil(
      [&] {
        if (!compositor_.Running()) return true;
        if (!std::filesystem::exists(runtime / display_)) return false;
        int status = 1;
        const std::string graph = RunAndCapture({"timeout", "5", "weston-debug", "scene-graph"}, ToolEnv(), &status);
        // Up once its shell has put the background on the output.
        return status == 0 && graph.find("background for output") != std::string::npos;
      },
      std::chrono::seconds(20));
  if (!up || !compositor_.Running()) throw std::runtime_error("cannot start weston (is it installed?): " + Log());
  // The X pointer away from where windows open, so that none is under it.
  x_->Xdotool({"mousemove", std::to_string(width - 1), std::to_string(height - 1)});
}

HeadlessWayland::~HeadlessWayland() {
  keyboard_.Signal(SIGTERM);
  keyboard_.Wait(std::chrono::seconds(2));
  compositor_.Signal(SIGTERM);
  if (!compositor_.Wait(std::chrono::seconds(5))) {
    compositor_.Signal(SIGKILL);
    compositor_.Wait(std::chrono::seconds(2));
  }
  // What the compositor started itself (weston's shell and keyboard) goes with its group.
  if (compositor_.Pid() > 0) ::kill(-compositor_.Pid(), SIGKILL);
  x_.reset();
  std::error_code ec;
  std::filesystem::remove_all(dir_, ec);
}

std::map<std::string, std::string> HeadlessWayland::Env() const {
  return {{"XDG_RUNTIME_DIR", (dir_ / "runtime").string()}, {"WAYLAND_DISPLAY", display_}};
}

std::map<std::string, std::string> HeadlessWayland::ToolEnv() const {
  auto env = Env();
  env["SWAYSOCK"] = swaysock_;
  return env;
}

void HeadlessWayland::GiveToClients(const std::filesystem::path& dir) const {
  if (!drop_) return;
  if (::chown(dir.c_str(), uid_, gid_) != 0) throw std::runtime_error("cannot hand over " + dir.string());
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir))
    if (::lchown(entry.path().c_str(), uid_, gid_) != 0)
      throw std::runtime_error("cannot hand over " + entry.path().string());
}

void HeadlessWayland::Start(ChildProcess& child, const std::vector<std::string>& argv,
                            const std::map<std::string, std::string>& env, const std::string& dir,
                            const std::string& log_path) const {
  auto all = Env();
  for (const auto& [k, v] : env) all[k] = v;
  child.Start(AsClient(argv), all, dir, log_path);
}

std::vector<WaylandWindow> HeadlessWayland::Windows() const {
  int status = 1;
  std::vector<WaylandWindow> out;
  if (kind_ == Compositor::kWeston) {
    const std::string graph = RunAndCapture({"timeout", "5", "weston-debug", "scene-graph"}, ToolEnv(), &status);
    if (status != 0) return out;
    CollectWestonWindows(graph, out);
    return out;
  }
  const std::string tree = RunAndCapture({"swaymsg", "-r", "-t", "get_tree"}, ToolEnv(), &status);
  if (status != 0) return out;
  CollectWindows(JsonReader(tree).Value(), out);
  return out;
}

std::optional<WaylandWindow> HeadlessWayland::WaitForWindow(const std::string& utf8_title,
                                                            std::chrono::milliseconds timeout) const {
  std::optional<WaylandWindow> found;
  WaitUntil(
      [&] {
        for (const WaylandWindow& w : Windows())
          if (w.name == utf8_title && w.visible) {
            found = w;
            return true;
          }
        return false;
      },
      timeout);
  return found;
}

std::optional<OutputShot> HeadlessWayland::Shot() const {
  if (kind_ == Compositor::kWeston) {
    // weston's output is the X server's whole screen.
    auto screen = CaptureScreen(x_->Display());
    if (!screen) return std::nullopt;
    return OutputShot{screen->width, screen->height, std::move(screen->pixels)};
  }
  int status = 1;
  const std::string ppm = RunAndCapture({"grim", "-t", "ppm", "-"}, ToolEnv(), &status);
  if (status != 0) return std::nullopt;
  // P6, width, height, 255, one white space, then the pixels.
  std::istringstream header(ppm);
  std::string magic;
  OutputShot shot;
  int max = 0;
  header >> magic >> shot.width >> shot.height >> max;
  if (magic != "P6" || max != 255 || shot.width <= 0 || shot.height <= 0) return std::nullopt;
  const std::size_t start = static_cast<std::size_t>(header.tellg()) + 1;
  const std::size_t count = static_cast<std::size_t>(shot.width) * static_cast<std::size_t>(shot.height);
  if (ppm.size() < start + 3 * count) return std::nullopt;
  shot.pixels.resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    const auto* p = reinterpret_cast<const unsigned char*>(ppm.data() + start + 3 * i);
    shot.pixels[i] = (static_cast<std::uint32_t>(p[0]) << 16) | (static_cast<std::uint32_t>(p[1]) << 8) | p[2];
  }
  return shot;
}

bool HeadlessWayland::SavePng(const std::filesystem::path& path) const {
  int status = 1;
  if (kind_ == Compositor::kWeston) return false;
  RunAndCapture({"grim", "-t", "png", path.string()}, ToolEnv(), &status);
  return status == 0;
}

bool HeadlessWayland::Keys(const std::vector<std::string>& keys) const {
  int status = 1;
  if (kind_ == Compositor::kWeston) {
    std::vector<std::string> args{"key", "--delay", "30"};
    args.insert(args.end(), keys.begin(), keys.end());
    x_->Xdotool(args, &status);
    return status == 0;
  }
  // wtype holds the modifiers (-M) around the key (-k) and lets them go (-m).
  std::vector<std::string> argv{"wtype"};
  for (const std::string& combo : keys) {
    std::vector<std::string> mods;
    std::size_t at = 0;
    for (std::size_t plus; (plus = combo.find('+', at)) != std::string::npos && plus + 1 < combo.size(); at = plus + 1)
      mods.push_back(combo.substr(at, plus - at));
    for (const auto& m : mods) argv.insert(argv.end(), {"-M", m});
    argv.insert(argv.end(), {"-k", combo.substr(at)});
    for (const auto& m : mods) argv.insert(argv.end(), {"-m", m});
  }
  RunAndCapture(argv, ToolEnv(), &status);
  return status == 0;
}

bool HeadlessWayland::Text(const std::string& text) const {
  int status = 1;
  if (kind_ == Compositor::kWeston)
    x_->Xdotool({"type", "--delay", "30", text}, &status);
  else
    RunAndCapture({"wtype", "-d", "30", text}, ToolEnv(), &status);
  return status == 0;
}

bool HeadlessWayland::Click(int x, int y) const {
  if (kind_ != Compositor::kWeston) return false;
  int status = 1;
  x_->Xdotool({"mousemove", "--sync", std::to_string(x), std::to_string(y), "click", "1"}, &status);
  return status == 0;
}

bool HeadlessWayland::Close(const std::string& utf8_title) const {
  if (!CanClose()) return false;
  int status = 1;
  RunAndCapture({"swaymsg", "[title=\"^" + utf8_title + "$\"]", "kill"}, ToolEnv(), &status);
  return status == 0;
}

std::string HeadlessWayland::Log() const { return ReadFile(dir_ / "compositor.log"); }

}  // namespace testing_support
