// The plain program sends to the ranking host a player names when starting it, with --ranking or
// in velkor.ini beside hisc.dat, rather than to the one it was built with.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <thread>

#include "support/harness.h"
#include "support/process.h"
#include "support/script_server.h"

namespace {

using namespace std::chrono_literals;
using testing_support::WaitUntil;

// The plain program, started as a player starts it, sends its best score to the host it was told
// of: a ranking server on 127.0.0.1 that this test starts.
class ChosenRankingHost : public ::testing::Test {
 protected:
  // The program's visible window with this title, or "".
  std::string WindowNamed(const std::string& utf8_title) { return x.VisibleWindowNamed(velkor.Pid(), utf8_title); }
  void Do(std::vector<std::string> args) {
    int status = -1;
    x.Xdotool(args, &status);
    ASSERT_EQ(status, 0) << "xdotool " << args.front() << " failed";
  }
  std::string Log() { return testing_support::ReadFile(dir.Path() / "velkor.log"); }

  // Starts `velkor args` in `data` (holding the best score 1234), opens the dialog from the
  // title, sends, closes the success box and the dialog and quits. `servers` are the ones the
  // test listens with.
  void SendFromTheProgram(const std::vector<std::string>& args, const std::filesystem::path& data,
                          const std::vector<const testing_support::ScriptServer*>& servers,
                          std::map<std::string, std::string> env = {}) {
    auto servers_reached = [&] {
      int n = 0;
      for (const auto* server : servers) n += server->Connections();
      return n;
    };
    testing_support::WriteBestScoreTable(data / "hisc.dat");
    std::vector<std::string> argv = {VELKOR_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    env["DISPLAY"] = x.Display();
    env["SDL_AUDIODRIVER"] = "dummy";
    velkor.Start(argv, env, dir.Path().string(), (dir.Path() / "velkor.log").string());
    std::string game, dialog, box;
    ASSERT_TRUE(WaitUntil([&] { return !(game = WindowNamed("Velkor Ver 1.12")).empty(); }, 20s)) << Log();
    ASSERT_TRUE(WaitUntil([&] { return x.Xdotool({"getwindowfocus"}) == game; }, 5s));
    std::this_thread::sleep_for(500ms);
    Do({"key", "space"});  // skip the logo
    // On a busy machine the title may not be up yet: a press on the logo is not taken, so press
    // again until the dialog shows.
    for (int tries = 0; tries < 10 && dialog.empty(); ++tries) {
      Do({"key", "alt+F9"});
      WaitUntil([&] { return !(dialog = WindowNamed("ハイスコア自動送信")).empty(); }, 3s);
    }
    ASSERT_FALSE(dialog.empty()) << "the dialog did not open\n" << Log();
    ASSERT_TRUE(WaitUntil([&] { return x.Xdotool({"getwindowfocus"}) == dialog; }, 5s));
    // What is tested is where the entry goes, not how the dialog is worked: when the desktop
    // loses a step on a busy machine (nothing sent yet), the dialog is found again and filled in
    // once more.
    bool filled = testing_support::FillInAndSend(x, dialog, 3, 3, "club", "hi");
    if (!filled && servers_reached() == 0) {
      std::this_thread::sleep_for(1s);
      ASSERT_TRUE(WaitUntil([&] { return !(dialog = WindowNamed("ハイスコア自動送信")).empty(); }, 5s));
      ASSERT_TRUE(WaitUntil([&] { return x.Xdotool({"getwindowfocus"}) == dialog; }, 5s));
      filled = testing_support::FillInAndSend(x, dialog, 3, 3, "club", "hi");
    }
    ASSERT_TRUE(filled) << "the dialog could not be filled in; the program's windows:\n"
        << x.Xdotool({"search", "--all", "--pid", std::to_string(velkor.Pid())}) << "\n"
        << Log();
    ASSERT_TRUE(WaitUntil([&] { return !(box = WindowNamed("ノルダース")).empty(); }, 15s))
        << "no message\n" << Log();
    ASSERT_TRUE(WaitUntil([&] { return x.Xdotool({"getwindowfocus"}) == box; }, 5s));
    Do({"key", "Return"});
    ASSERT_TRUE(WaitUntil([&] { return x.Xdotool({"getwindowfocus"}) == dialog; }, 5s));
    ASSERT_TRUE(testing_support::RequestWindowClose(x.Display(), std::stoul(dialog)));
    ASSERT_TRUE(WaitUntil([&] { return x.Xdotool({"getwindowfocus"}) == game; }, 5s));
    Do({"key", "Escape"});
    auto status = velkor.Wait(10s);
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(*status, 0) << Log();
  }

  static std::string TheEntry() {
    return testing_support::EntryRequestLines("command=entry&name=club&score=1234&pass_s=5611&comment=hi*",
                                              "127.0.0.1");
  }

  testing_support::ScopedTempDir dir;
  testing_support::VirtualX x;
  testing_support::ChildProcess velkor;
};

TEST_F(ChosenRankingHost, TheOptionSendsToTheHostItNames) {
  testing_support::ScriptServer server({testing_support::AcceptEntry()});
  ASSERT_NO_FATAL_FAILURE(SendFromTheProgram({"--ranking", "127.0.0.1:" + std::to_string(server.Port())}, dir.Path(), {&server}));
  ASSERT_EQ(server.Requests().size(), 1u) << Log();
  EXPECT_EQ(server.Requests()[0], TheEntry());
}

// Written in Notepad: a byte-order mark, CR LF, a comment and a setting this version does not
// know, which is reported on standard error while the rest applies.
TEST_F(ChosenRankingHost, TheSettingsFileBesideHiscDatSendsToItsHost) {
  testing_support::ScriptServer server({testing_support::AcceptEntry()});
  testing_support::WriteFile(dir.Path() / "velkor.ini", "\xEF\xBB\xBF# the club's ranking\r\nranking = 127.0.0.1:" +
                                                            std::to_string(server.Port()) + "\r\nsound = off\r\n");
  ASSERT_NO_FATAL_FAILURE(SendFromTheProgram({}, dir.Path(), {&server}));
  ASSERT_EQ(server.Requests().size(), 1u) << Log();
  EXPECT_EQ(server.Requests()[0], TheEntry());
  EXPECT_NE(Log().find("velkor: velkor.ini line 3: unknown setting 'sound'; ignored\n"), std::string::npos) << Log();
}

// With --xdg the file is the one in the data directory beside hisc.dat, not the one in the current
// directory; and the option wins over the file.
TEST_F(ChosenRankingHost, WithXdgTheFileInTheDataDirectoryCountsAndTheOptionWinsOverIt) {
  testing_support::ScriptServer from_file({testing_support::AcceptEntry()});
  testing_support::ScriptServer from_option({testing_support::AcceptEntry()});
  const std::filesystem::path data = dir.Path() / "share" / "velkor";
  std::filesystem::create_directories(data);
  const std::string file_line = "ranking=127.0.0.1:" + std::to_string(from_file.Port()) + "\n";
  testing_support::WriteFile(data / "velkor.ini", file_line + "colour=blue\n");
  testing_support::WriteFile(dir.Path() / "velkor.ini", "ranking=127.0.0.1:" +
                                                            std::to_string(testing_support::UnusedPort()) + "\n");
  const std::map<std::string, std::string> env = {{"XDG_DATA_HOME", (dir.Path() / "share").string()}};

  ASSERT_NO_FATAL_FAILURE(SendFromTheProgram({"--xdg"}, data, {&from_file, &from_option}, env));
  ASSERT_EQ(from_file.Requests().size(), 1u) << Log();
  EXPECT_EQ(from_file.Requests()[0], TheEntry());
  EXPECT_NE(Log().find("velkor: velkor.ini line 2: unknown setting 'colour'; ignored\n"), std::string::npos) << Log();

  ASSERT_NO_FATAL_FAILURE(
      SendFromTheProgram({"--xdg", "--ranking=127.0.0.1:" + std::to_string(from_option.Port())}, data,
                         {&from_option}, env));
  ASSERT_EQ(from_option.Requests().size(), 1u) << Log();
  EXPECT_EQ(from_option.Requests()[0], TheEntry());
  EXPECT_EQ(from_file.Connections(), 1);
}

// A bad host on the command line stops the program before anything starts, saying why.
TEST(RankingAddressProgram, ABadHostIsRefusedWithItsReason) {
  testing_support::ScopedTempDir dir;
  int status = -1;
  const std::string shell = "env -u DISPLAY -u WAYLAND_DISPLAY '" + std::string(VELKOR_BINARY) +
                            "' --ranking 'http://a.test/' 2>&1 >/dev/null";
  EXPECT_EQ(testing_support::RunAndCapture({"sh", "-c", shell}, {}, &status),
            "velkor: --ranking 'http://a.test/': give the host alone (host or host:port), without a scheme such as "
            "http://\nTry 'velkor --help' for more information.\n");
  EXPECT_EQ(status, 2);
}

}  // namespace
