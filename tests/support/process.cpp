#include "support/process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace testing_support {

ChildProcess::~ChildProcess() {
  if (pid_ > 0 && !status_) {
    ::kill(pid_, SIGKILL);
    int st;
    ::waitpid(pid_, &st, 0);
  }
}

void ChildProcess::Start(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
                         const std::string& dir, const std::string& log_path) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    if (!dir.empty() && ::chdir(dir.c_str()) != 0) _exit(126);
    for (auto& [k, v] : env) ::setenv(k.c_str(), v.c_str(), 1);
    int out = ::open(log_path.empty() ? "/dev/null" : log_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out >= 0) {
      ::dup2(out, 1);
      ::dup2(out, 2);
    }
    int in = ::open("/dev/null", O_RDONLY);
    if (in >= 0) ::dup2(in, 0);
    ::setpgid(0, 0);
    ::execvp(args[0], args.data());
    _exit(127);
  }
  pid_ = pid;
  status_.reset();
}

bool ChildProcess::Running() {
  if (pid_ <= 0 || status_) return false;
  int st;
  pid_t r = ::waitpid(pid_, &st, WNOHANG);
  if (r == pid_) {
    status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    return false;
  }
  return true;
}

void ChildProcess::Signal(int sig) {
  if (pid_ > 0 && !status_) ::kill(pid_, sig);
}

std::optional<int> ChildProcess::Wait(std::chrono::milliseconds timeout) {
  WaitUntil([this] { return !Running(); }, timeout);
  return status_;
}

double ChildProcess::CpuSeconds() const {
  std::ifstream in("/proc/" + std::to_string(pid_) + "/stat");
  std::string line;
  std::getline(in, line);
  auto close = line.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream fields(line.substr(close + 2));
  std::string f;
  long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && fields >> f; ++i) {
    if (i == 14) utime = std::stol(f);
    if (i == 15) stime = std::stol(f);
  }
  return static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

VirtualX::VirtualX(int width, int height, int depth) {
  std::random_device rd;
  for (int attempt = 0; attempt < 20; ++attempt) {
    int n = 100 + static_cast<int>(rd() % 800);
    std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
    std::string sock = "/tmp/.X11-unix/X" + std::to_string(n);
    struct stat st;
    if (::stat(lock.c_str(), &st) == 0 || ::stat(sock.c_str(), &st) == 0) continue;
    display_ = ":" + std::to_string(n);
    server_.Start({"Xvfb", display_, "-screen", "0",
                   std::to_string(width) + "x" + std::to_string(height) + "x" + std::to_string(depth),
                   "-nolisten", "tcp", "-noreset"});
    if (WaitUntil([&] { return ::stat(sock.c_str(), &st) == 0 || !server_.Running(); },
                  std::chrono::seconds(10)) &&
        server_.Running()) {
      // The socket exists; make sure the server answers.
      if (WaitUntil(
              [&] {
                int status = 1;
                RunAndCapture({"xdpyinfo"}, {{"DISPLAY", display_}}, &status);
                return status == 0;
              },
              std::chrono::seconds(10)))
        return;
    }
    server_.Signal(SIGKILL);
    server_.Wait(std::chrono::seconds(2));
  }
  throw std::runtime_error("cannot start Xvfb");
}

VirtualX::~VirtualX() {
  server_.Signal(SIGTERM);
  if (!server_.Wait(std::chrono::seconds(3))) server_.Signal(SIGKILL);
}

std::string VirtualX::Xdotool(const std::vector<std::string>& args, int* exit_status) const {
  std::vector<std::string> argv{"xdotool"};
  argv.insert(argv.end(), args.begin(), args.end());
  std::string out = RunAndCapture(argv, {{"DISPLAY", display_}}, exit_status);
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

std::string VirtualX::VisibleWindowNamed(pid_t pid, const std::string& utf8_title) const {
  std::string ids = Xdotool({"search", "--all", "--onlyvisible", "--pid", std::to_string(pid)});
  for (std::size_t at = 0; at < ids.size();) {
    std::size_t end = std::min(ids.find('\n', at), ids.size());
    const std::string id = ids.substr(at, end - at);
    if (!id.empty() && Xdotool({"getwindowname", id}) == utf8_title) return id;
    at = end + 1;
  }
  return "";
}

std::string VirtualX::WaitForWindow(const std::string& name_regex, std::chrono::milliseconds timeout) const {
  std::string ids;
  WaitUntil([&] { return !(ids = Xdotool({"search", "--name", name_regex})).empty(); }, timeout);
  return ids.substr(0, ids.find('\n'));
}

std::string RunAndCapture(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
                          int* exit_status) {
  int fds[2];
  if (::pipe(fds) != 0) throw std::runtime_error("pipe failed");
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = ::fork();
  if (pid == 0) {
    for (auto& [k, v] : env) ::setenv(k.c_str(), v.c_str(), 1);
    ::dup2(fds[1], 1);
    int null = ::open("/dev/null", O_WRONLY);
    if (null >= 0) ::dup2(null, 2);
    ::close(fds[0]);
    ::execvp(args[0], args.data());
    _exit(127);
  }
  ::close(fds[1]);
  std::string out;
  char buf[4096];
  ssize_t n;
  while ((n = ::read(fds[0], buf, sizeof buf)) > 0) out.append(buf, static_cast<std::size_t>(n));
  ::close(fds[0]);
  int st = 0;
  ::waitpid(pid, &st, 0);
  if (exit_status) *exit_status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
  return out;
}

bool PlayHeldTurns(const VirtualX& x, const std::vector<std::vector<std::string>>& choices,
                   std::chrono::milliseconds how_long) {
  const auto until = std::chrono::steady_clock::now() + how_long;
  for (std::size_t turn = 0; std::chrono::steady_clock::now() < until; ++turn) {
    const auto& keys = choices[turn % choices.size()];
    std::vector<std::string> down{"keydown"}, up{"keyup"};
    down.insert(down.end(), keys.begin(), keys.end());
    up.insert(up.end(), keys.begin(), keys.end());
    int status = -1;
    x.Xdotool(down, &status);
    if (status != 0) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
    x.Xdotool(up, &status);
    if (status != 0) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
  }
  return true;
}

bool FillInAndSend(const VirtualX& x, const std::string& dialog, int scale, int old_name_length,
                   const std::string& name, const std::string& comment) {
  auto at = [&](int design_x, int design_y) {
    return std::vector<std::string>{"mousemove", "--sync", "--window", dialog, std::to_string(design_x * scale),
                                    std::to_string(design_y * scale)};
  };
  std::vector<std::string> take_out{"key", "End"};
  take_out.insert(take_out.end(), static_cast<std::size_t>(old_name_length), "BackSpace");
  const std::vector<std::vector<std::string>> steps = {
      at(72 + 44, 72 + 10), {"click", "1"},  // the name field
      take_out, {"type", "--delay", "30", name}, {"key", "Tab"}, {"type", "--delay", "30", comment},
      at(48 + 48, 136 + 16), {"click", "1"},  // ハイスコア送信
  };
  for (const auto& step : steps) {
    int status = -1;
    x.Xdotool(step, &status);
    if (status != 0) return false;
  }
  return true;
}

}  // namespace testing_support
