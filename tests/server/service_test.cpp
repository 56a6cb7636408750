// The program as a system service starts it: options checked before anything is opened, start-up
// errors that say what they are about, and a listening socket handed over by the service manager.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <regex>

#include "game/hiscore.h"
#include "ranking_fixture.h"
#include "support/harness.h"

namespace ranking_test {
namespace {

namespace fs = std::filesystem;

// A fresh directory of the test's own.
class TempDir {
 public:
  TempDir() {
    std::random_device rd;
    path_ = fs::temp_directory_path() / ("velkor-ranking-service-" + std::to_string(getpid()) + "-" + std::to_string(rd()));
    fs::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// A listening TCP socket on 127.0.0.1 with a free port, inherited by the programs the test starts.
class Listener {
 public:
  Listener() {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    inet_pton(AF_INET, "127.0.0.1", &addr.sin_addr);
    EXPECT_EQ(bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    EXPECT_EQ(listen(fd_, 16), 0);
    socklen_t length = sizeof addr;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &length);
    port_ = ntohs(addr.sin_port);
  }
  ~Listener() { close(fd_); }
  int fd() const { return fd_; }
  unsigned short port() const { return port_; }

 private:
  int fd_;
  unsigned short port_;
};

std::vector<std::string> Server(std::vector<std::string> args) {
  args.insert(args.begin(), VELKOR_RANKING_BINARY);
  return args;
}

TEST(RankingService, EveryOptionIsCheckedBeforeTheDatabaseIsCreated) {
  TempDir dir;
  const std::string db = (dir.path() / "ranking.db").string();
  for (std::vector<std::string> tail :
       {std::vector<std::string>{"--max-connections", "0"}, {"--trusted-proxy", "proxy.example"},
        {"--trusted-http-proxy", "proxy.example"}, {"--max-per-address", "0"},
        {"--max-requests-per-connection", "x"}, {"--listen", "8080"}, {"--frobnicate"},
        {"--allow-origin", "games.example.org"}, {"--allow-origin", "ftp://games.example.org"},
        {"--allow-origin", "https://games.example.org/velkor/"}, {"--web", ""}}) {
    std::vector<std::string> argv = Server({"--listen", "127.0.0.1:0", "--db", db});
    argv.insert(argv.end(), tail.begin(), tail.end());
    int status = -1;
    std::string output = RunToEnd(argv, status);
    EXPECT_EQ(status, 2) << tail[0] << "\n" << output;
    EXPECT_NE(output.find(tail[0]), std::string::npos) << output;
    EXPECT_NE(output.find("Usage:"), std::string::npos);
    EXPECT_FALSE(fs::exists(db)) << tail[0];
  }
}

TEST(RankingService, StartUpErrorsNameWhatTheyConcernAndLeaveNoDatabase) {
  TempDir dir;
  Listener taken;
  const std::string port = std::to_string(taken.port());
  fs::create_directory(dir.path() / "plain");
  struct Case {
    std::string what;
    std::vector<std::string> args;
    std::string says;
  } cases[] = {
      {"port in use", {"--listen", "127.0.0.1:" + port, "--db", (dir.path() / "a.db").string()},
       "cannot listen on 127.0.0.1:" + port + ": Address already in use"},
      {"address of another machine", {"--listen", "192.0.2.1:0", "--db", (dir.path() / "b.db").string()},
       "cannot listen on 192.0.2.1:0: Cannot assign requested address"},
      {"database is a directory", {"--listen", "127.0.0.1:0", "--db", (dir.path() / "plain").string()},
       "cannot open the database " + (dir.path() / "plain").string() + ": it is a directory"},
      {"no such directory", {"--listen", "127.0.0.1:0", "--db", (dir.path() / "none" / "c.db").string()},
       "cannot open the database " + (dir.path() / "none" / "c.db").string() + ": there is no directory " +
           (dir.path() / "none").string()},
  };
  for (const Case& c : cases) {
    int status = -1;
    std::string output = RunToEnd(Server(c.args), status);
    EXPECT_EQ(status, 1) << c.what << "\n" << output;
    EXPECT_NE(output.find("velkor-ranking: " + c.says + "\n"), std::string::npos) << c.what << "\n" << output;
    EXPECT_EQ(output.find("listening"), std::string::npos) << c.what;
  }
  EXPECT_FALSE(fs::exists(dir.path() / "a.db"));
  EXPECT_FALSE(fs::exists(dir.path() / "b.db"));
}

// The database needs to make its -wal and -shm files beside itself, so a directory the server
// may not write is named as the trouble, whether the file is there yet or not.
TEST(RankingService, AnUnwritableDirectoryIsNamedAsSuch) {
  TempDir dir;
  const fs::path locked = dir.path() / "locked";
  fs::create_directory(locked);
  std::ofstream(locked / "old.db").close();  // an empty file is a new database to SQLite
  fs::permissions(locked / "old.db", fs::perms::all);
  fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                              fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
  // Root may write anywhere: the server then runs as nobody.
  std::vector<std::string> as_other;
  if (geteuid() == 0) as_other = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
  for (const char* name : {"new.db", "old.db"}) {
    std::vector<std::string> argv = as_other;
    for (const std::string& a : Server({"--listen", "127.0.0.1:0", "--db", (locked / name).string()})) argv.push_back(a);
    int status = -1;
    std::string output = RunToEnd(argv, status);
    EXPECT_EQ(status, 1) << name << "\n" << output;
    EXPECT_NE(output.find("velkor-ranking: cannot open the database " + (locked / name).string() +
                          ": cannot create files in the directory " + locked.string()),
              std::string::npos)
        << name << "\n" << output;
    EXPECT_EQ(output.find("readonly database"), std::string::npos) << output;
  }
}

// The service manager's way: the listening socket as descriptor 3, LISTEN_FDS=1 and LISTEN_PID
// naming the server's process (a shell sets it to its own number, then becomes the server).
std::vector<std::string> Activated(int socket_fd, const std::string& db, const std::string& third = "") {
  std::string fd = std::to_string(socket_fd);
  std::string redirect = !third.empty() ? third : socket_fd == 3 ? "" : "3<&" + fd + " " + fd + "<&-";
  return {"/bin/sh", "-c", "LISTEN_PID=$$ LISTEN_FDS=1 exec \"$0\" --db \"$1\" " + redirect, VELKOR_RANKING_BINARY, db};
}

TEST(RankingService, TakesTheListeningSocketFromTheServiceManager) {
  TempDir dir;
  Listener socket;
  const fs::path log = dir.path() / "server.log";
  testing_support::ChildProcess server;
  server.Start(Activated(socket.fd(), (dir.path() / "ranking.db").string()), {}, "", log.string());
  const std::string listening = "listening on 127.0.0.1:" + std::to_string(socket.port()) + ",";
  testing_support::WaitUntil(
      [&] { return testing_support::ReadFile(log).find(listening) != std::string::npos || !server.Running(); },
      std::chrono::seconds(20));
  ASSERT_NE(testing_support::ReadFile(log).find(listening), std::string::npos) << testing_support::ReadFile(log);

  std::string reply = Exchange(socket.port(), EntryRequest("abc", "1234", "5611", "hi"));
  EXPECT_EQ(StatusOf(reply), 200) << reply;
  EXPECT_NE(RankingJson(socket.port()).find(R"({"place":1,"name":"abc","score":1234,"comment":"hi",)"),
            std::string::npos);
  server.Signal(SIGTERM);
  EXPECT_EQ(server.Wait(std::chrono::seconds(30)).value_or(-1), 0) << testing_support::ReadFile(log);
}

TEST(RankingService, RefusesADescriptorThreeThatIsNoListeningSocket) {
  TempDir dir;
  Listener socket;
  int status = -1;
  for (const char* third : {"3</dev/null", "3<&-"}) {
    std::string output = RunToEnd(Activated(socket.fd(), (dir.path() / "ranking.db").string(), third), status);
    EXPECT_EQ(status, 1) << third << "\n" << output;
    EXPECT_NE(output.find("velkor-ranking: descriptor 3 from the service manager"), std::string::npos) << output;
    EXPECT_FALSE(fs::exists(dir.path() / "ranking.db"));
  }
}

std::string ExecStartOf(const fs::path& unit) {
  std::smatch m;
  std::string text = testing_support::ReadFile(unit);
  return std::regex_search(text, m, std::regex("\nExecStart=([^\n]*)")) ? m[1].str() : std::string();
}

// Installed into a prefix of the test's own (and once more through DESTDIR, as a package build
// does), the units name the installed program, and systemd's own checks accept them.
TEST(RankingService, InstallsWithUnitsThatSystemdAccepts) {
  TempDir dir;
  const fs::path prefix = dir.path() / "prefix";
  int status = -1;
  std::string output = RunToEnd({VELKOR_CMAKE_COMMAND, "--install", VELKOR_BUILD_DIR, "--component", "ranking",
                                 "--prefix", prefix.string()},
                                status);
  ASSERT_EQ(status, 0) << output;
  const fs::path units = prefix / "lib/systemd/system";
  const fs::path page = prefix / "share/man/man8/velkor-ranking.8";
  for (const fs::path& file : {prefix / "sbin/velkor-ranking", units / "velkor-ranking.service",
                               units / "velkor-ranking.socket", page})
    EXPECT_TRUE(fs::is_regular_file(file)) << file;
  EXPECT_EQ(ExecStartOf(units / "velkor-ranking.service"),
            (prefix / "sbin/velkor-ranking").string() + " --db /var/lib/velkor-ranking/ranking.db");

  const fs::path staged = dir.path() / "staged";
  output = RunToEnd({"env", "DESTDIR=" + staged.string(), VELKOR_CMAKE_COMMAND, "--install", VELKOR_BUILD_DIR,
                     "--component", "ranking", "--prefix", "/usr"},
                    status);
  ASSERT_EQ(status, 0) << output;
  EXPECT_TRUE(fs::is_regular_file(staged / "usr/sbin/velkor-ranking"));
  EXPECT_EQ(ExecStartOf(staged / "usr/lib/systemd/system/velkor-ranking.service"),
            "/usr/sbin/velkor-ranking --db /var/lib/velkor-ranking/ranking.db");

  // The manual page reads without a warning.
  output = RunToEnd({"/bin/sh", "-c", "MANWIDTH=80 man --warnings -l \"$0\" >/dev/null", page.string()}, status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(output, "");

  if (!fs::exists("/usr/bin/systemd-analyze") && !fs::exists("/bin/systemd-analyze"))
    GTEST_SKIP() << "systemd-analyze is not installed";
  // Its documentation is the manual page installed beside it.
  output = RunToEnd({"env", "MANPATH=" + (prefix / "share/man").string(), "systemd-analyze", "verify",
                     (units / "velkor-ranking.socket").string(), (units / "velkor-ranking.service").string()},
                    status);
  EXPECT_EQ(status, 0) << output;
  EXPECT_EQ(output, "");
  output = RunToEnd({"systemd-analyze", "security", "--offline=yes", (units / "velkor-ranking.service").string()},
                    status);
  std::smatch m;
  ASSERT_TRUE(std::regex_search(output, m, std::regex("Overall exposure level for velkor-ranking.service: ([0-9.]+)")))
      << output;
  EXPECT_LE(std::stod(m[1]), 2.0) << output;
}

}  // namespace
}  // namespace ranking_test
