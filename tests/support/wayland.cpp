#include "support/wayland.h"

#include <pwd.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

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

HeadlessWayland::HeadlessWayland(int width, int height) {
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
  // One output, no Xwayland, no bindings: every key goes to the focused window.
  const std::filesystem::path config = dir_ / "sway.conf";
  WriteFile(config, "output HEADLESS-1 resolution " + std::to_string(width) + "x" + std::to_string(height) +
                        "\nxwayland disable\n");
  ::chmod(config.c_str(), 0644);

  std::vector<std::string> argv{"sway", "-c", config.string()};
  if (drop_)
    argv.insert(argv.begin(), {"setpriv", "--reuid=" + std::to_string(uid_), "--regid=" + std::to_string(gid_),
                               "--clear-groups"});
  sway_.Start(argv,
              {{"XDG_RUNTIME_DIR", runtime.string()},
               {"HOME", runtime.string()},
               {"WLR_BACKENDS", "headless"},
               {"WLR_LIBINPUT_NO_DEVICES", "1"},
               {"WLR_RENDERER", "pixman"}},
              "", (dir_ / "sway.log").string());
  const bool up = WaitUntil(
      [&] {
        if (!sway_.Running()) return true;
        display_ = FirstEntry(runtime, "wayland-", "");
        swaysock_ = FirstEntry(runtime, "sway-ipc.", ".sock");
        if (display_.empty() || swaysock_.empty()) return false;
        swaysock_ = (runtime / swaysock_).string();
        int status = 1;
        RunAndCapture({"swaymsg", "-t", "get_version"}, ToolEnv(), &status);
        return status == 0;
      },
      std::chrono::seconds(20));
  if (!up || !sway_.Running()) {
    const std::string log = Log();
    sway_.Signal(SIGKILL);
    sway_.Wait(std::chrono::seconds(2));
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
    throw std::runtime_error("cannot start sway (is it installed?): " + log);
  }
  // A keyboard that stays for the whole session, having pressed a key once, so the seat has a
  // keyboard with its key map from the start: each call of Type brings a keyboard of its own that
  // goes again, and a client that starts while the seat has a keyboard but no key map for it
  // fails in SDL.
  keyboard_.Start({"wtype", "-k", "Shift_L", "-s", "86400000"}, ToolEnv());
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
}

HeadlessWayland::~HeadlessWayland() {
  keyboard_.Signal(SIGTERM);
  keyboard_.Wait(std::chrono::seconds(2));
  sway_.Signal(SIGTERM);
  if (!sway_.Wait(std::chrono::seconds(5))) {
    sway_.Signal(SIGKILL);
    sway_.Wait(std::chrono::seconds(2));
  }
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
  std::vector<std::string> args = argv;
  if (drop_)
    args.insert(args.begin(), {"setpriv", "--reuid=" + std::to_string(uid_), "--regid=" + std::to_string(gid_),
                               "--clear-groups"});
  auto all = Env();
  for (const auto& [k, v] : env) all[k] = v;
  child.Start(args, all, dir, log_path);
}

std::vector<WaylandWindow> HeadlessWayland::Windows() const {
  int status = 1;
  const std::string tree = RunAndCapture({"swaymsg", "-r", "-t", "get_tree"}, ToolEnv(), &status);
  std::vector<WaylandWindow> out;
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
  RunAndCapture({"grim", "-t", "png", path.string()}, ToolEnv(), &status);
  return status == 0;
}

bool HeadlessWayland::Type(const std::vector<std::string>& wtype_args) const {
  std::vector<std::string> argv{"wtype"};
  argv.insert(argv.end(), wtype_args.begin(), wtype_args.end());
  int status = 1;
  RunAndCapture(argv, ToolEnv(), &status);
  return status == 0;
}

bool HeadlessWayland::Close(const std::string& utf8_title) const {
  int status = 1;
  RunAndCapture({"swaymsg", "[title=\"^" + utf8_title + "$\"]", "kill"}, ToolEnv(), &status);
  return status == 0;
}

std::string HeadlessWayland::Log() const { return ReadFile(dir_ / "sway.log"); }

}  // namespace testing_support
