#include "packaging/install_support.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "support/harness.h"
#include "support/process.h"

namespace testing_support {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

void InstallComponent(const std::string& component, const fs::path& prefix) {
  int status = -1;
  const std::string out = RunAndCaptureAll(
      {VELKOR_CMAKE_COMMAND, "--install", VELKOR_BUILD_DIR, "--component", component, "--prefix", prefix.string()},
      &status);
  ASSERT_EQ(status, 0) << out;
}

std::string RunAndCaptureAll(const std::vector<std::string>& argv, int* exit_status) {
  int fds[2];
  if (::pipe(fds) != 0) throw std::runtime_error("pipe failed");
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(fds[1], 1);
    ::dup2(fds[1], 2);
    ::close(fds[0]);
    ::close(fds[1]);
    ::execvp(args[0], args.data());
    _exit(127);
  }
  ::close(fds[1]);
  std::string out;
  char buf[4096];
  for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) != 0;) {
    if (n < 0) {
      if (errno == EINTR) continue;
      break;
    }
    out.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fds[0]);
  int st = 0;
  while (::waitpid(pid, &st, 0) < 0 && errno == EINTR) {
  }
  if (exit_status) *exit_status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
  return out;
}

std::string DesktopEntryValue(const fs::path& entry, const std::string& key) {
  std::ifstream in(entry);
  bool in_group = false;
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with("[")) in_group = line == "[Desktop Entry]";
    if (in_group && line.starts_with(key + "=")) return line.substr(key.size() + 1);
  }
  return "";
}

std::optional<std::pair<int, int>> PngSize(const fs::path& png) {
  const std::string bytes = ReadFile(png);
  if (bytes.size() < 24 || bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0 || bytes.compare(12, 4, "IHDR") != 0)
    return std::nullopt;
  auto be32 = [&](std::size_t at) {
    int v = 0;
    for (std::size_t i = 0; i < 4; ++i) v = v << 8 | static_cast<std::uint8_t>(bytes[at + i]);
    return v;
  };
  return std::make_pair(be32(16), be32(20));
}

void ExpectMenuStart(const fs::path& entry, const fs::path& root, const fs::path& work) {
  // The Exec line as the menu runs it: our entry has no quoting and no field codes.
  std::istringstream exec(DesktopEntryValue(entry, "Exec"));
  std::vector<std::string> words;
  for (std::string w; exec >> w;) words.push_back(w);
  ASSERT_FALSE(words.empty());
  ASSERT_TRUE(fs::path(words[0]).is_absolute()) << words[0];
  if (!root.empty()) words[0] = (root / fs::path(words[0]).relative_path()).string();
  std::vector<std::string> argv = {"env", "-u", "XDG_DATA_HOME"};
  argv.insert(argv.end(), words.begin(), words.end());

  const fs::path home = work / "home", elsewhere = work / "elsewhere";
  fs::create_directories(home);
  fs::create_directories(elsewhere);
  VirtualX x;
  ChildProcess velkor;
  const std::string log = (work / "velkor.log").string();
  velkor.Start(argv, {{"DISPLAY", x.Display()}, {"SDL_AUDIODRIVER", "dummy"}, {"HOME", home.string()}},
               elsewhere.string(), log);
  const std::string id = x.WaitForWindow("^Velkor Ver 1.12$", 20s);
  ASSERT_FALSE(id.empty()) << ReadFile(log);

  // The icon as the window manager reads it: width, height, then the pixels.
  int status = -1;
  const std::string icon = RunAndCaptureAll({"xprop", "-display", x.Display(), "-id", id, "_NET_WM_ICON"}, &status);
  EXPECT_EQ(status, 0) << icon;
  EXPECT_TRUE(icon.starts_with("_NET_WM_ICON(CARDINAL) = ")) << icon;
  EXPECT_NE(icon.find("Icon (64 x 64)"), std::string::npos) << icon.substr(0, 200);

  velkor.Signal(SIGTERM);
  const auto exit_status = velkor.Wait(10s);
  ASSERT_TRUE(exit_status.has_value());
  EXPECT_EQ(*exit_status, 0) << ReadFile(log);
  const fs::path hisc = home / ".local/share/velkor/hisc.dat";
  EXPECT_TRUE(ReadFile(hisc).starts_with("100\r\n00/01/01 00:00\r\n")) << hisc;
  EXPECT_FALSE(fs::exists(elsewhere / "hisc.dat"));
  EXPECT_FALSE(fs::exists(home / "hisc.dat"));
}

}  // namespace testing_support
