// The Windows build (velkor.exe) under wine in a virtual X server, driven by real key events.
// The tests run when VELKOR_WINDOWS_DIR names the Windows build's directory and VELKOR_WINDOWS_ZIP
// its packed zip (`make test-windows`); elsewhere there is no velkor.exe to run.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <set>
#include <thread>

#include "app/sjis.h"
#include "game/hiscore.h"
#include "support/harness.h"
#include "support/process.h"
#include "support/script_server.h"

namespace {

using namespace std::chrono_literals;
using testing_support::ChildProcess;
using testing_support::ScopedTempDir;
using testing_support::ScriptServer;
using testing_support::ServerConnection;
using testing_support::VirtualX;
using testing_support::WaitUntil;
namespace fs = std::filesystem;

class WineProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* built = std::getenv("VELKOR_WINDOWS_DIR");
    if (!built || !*built) GTEST_SKIP() << "VELKOR_WINDOWS_DIR is not set: no Windows build to run";
    const char* zip = std::getenv("VELKOR_WINDOWS_ZIP");
    ASSERT_TRUE(zip && *zip) << "VELKOR_WINDOWS_ZIP names the packed zip of the Windows build";
    build_ = built;
    zip_ = zip;
    // The program as a player has it: the zip unpacked into a folder of one's choice.
    int status = -1;
    testing_support::RunAndCapture({"unzip", "-q", zip_.string(), "-d", unpacked.Path().string()}, {}, &status);
    ASSERT_EQ(status, 0) << "unzip " << zip_ << " failed";
    folder_ = unpacked.Path() / "velkor-1.12";
    // The same program built to send to the test's own server.
    fs::copy_file(build_ / "velkor_ranking_e2e.exe", folder_ / "velkor_ranking_e2e.exe");
    // One wine server serves the prefix, with the display it was started on: let the one of an
    // earlier test, or of the unit tests run without a display, end first.
    WineServer("--wait");
  }
  void TearDown() override {
    if (build_.empty()) return;
    if (velkor.Running()) {
      velkor.Signal(SIGKILL);
      velkor.Wait(5s);
    }
    // What wine keeps running for the program (its desktop process) goes with the test.
    WineServer("--kill");
    WineServer("--wait");
  }

  std::map<std::string, std::string> WineEnvironment() const {
    return {
        {"DISPLAY", x.Display()},
        {"WINEPREFIX", (build_ / "wineprefix").string()},
        {"WINEDEBUG", "-all"},
        {"WINEDLLOVERRIDES", "mscoree,mshtml="},
        {"SDL_AUDIODRIVER", "dummy"},
    };
  }
  void WineServer(const std::string& option) {
    ChildProcess server;
    server.Start({"wineserver", option}, WineEnvironment());
    auto status = server.Wait(60s);
    ASSERT_TRUE(status.has_value()) << "wineserver " << option << " did not return";
  }
  void Start(const std::string& exe) {
    velkor.Start({"wine", exe}, WineEnvironment(), folder_.string(), (folder_ / "velkor.log").string());
  }
  std::string Log() { return testing_support::ReadFile(folder_ / "velkor.log"); }
  void Do(std::vector<std::string> args) {
    int status = -1;
    x.Xdotool(args, &status);
    ASSERT_EQ(status, 0) << "xdotool " << args.front() << " failed";
  }
  std::string WindowNamed(const std::string& utf8_title) {
    std::string ids = x.Xdotool({"search", "--all", "--onlyvisible", "--name", "."});
    for (std::size_t at = 0; at < ids.size();) {
      std::size_t end = std::min(ids.find('\n', at), ids.size());
      const std::string id = ids.substr(at, end - at);
      if (!id.empty() && x.Xdotool({"getwindowname", id}) == utf8_title) return id;
      at = end + 1;
    }
    return "";
  }
  void ClickAt(const std::string& window, int px, int py) {
    Do({"mousemove", "--sync", "--window", window, std::to_string(px), std::to_string(py)});
    Do({"click", "1"});
  }
  std::vector<std::uint32_t> Pixels(const std::string& window) {
    auto shot = testing_support::CaptureWindow(x.Display(), std::stoul(window));
    return shot ? shot->pixels : std::vector<std::uint32_t>{};
  }
  // The game's window once it is shown and has the keyboard.
  std::string GameWindow() {
    std::string game;
    EXPECT_TRUE(WaitUntil([&] { return !(game = WindowNamed("Velkor Ver 1.12")).empty(); }, 120s)) << Log();
    if (!game.empty()) Focus(game);
    return game;
  }
  // No window manager runs here, and wine leaves the keyboard's focus to one: give it as a
  // click on the window would (the dialog and the message boxes too).
  void Focus(const std::string& window) {
    EXPECT_TRUE(WaitUntil(
        [&] {
          x.Xdotool({"windowfocus", window});
          return x.Xdotool({"getwindowfocus"}) == window;
        },
        10s))
        << "window " << window << " did not get the keyboard";
  }

  fs::path build_, zip_;
  ScopedTempDir unpacked;
  fs::path folder_;  // velkor-1.12 as unpacked, the program's folder
  VirtualX x;
  ChildProcess velkor;
};

// The zip holds what a player needs and nothing to be fetched elsewhere: the program (no DLL
// beside it), the font it falls back on, the read-me and the licences, as text Notepad reads.
TEST_F(WineProgram, TheZipHoldsTheProgramTheFontTheReadMeAndTheLicences) {
  int status = -1;
  const std::string listing = testing_support::RunAndCapture({"unzip", "-Z1", zip_.string()}, {}, &status);
  ASSERT_EQ(status, 0);
  std::set<std::string> files;
  bool listing_crlf = false;
  for (const std::string& entry : testing_support::SplitCrLfLines(listing, listing_crlf))
    if (!entry.empty() && entry.back() != '/') files.insert(entry);  // folders aside
  const std::set<std::string> texts = {
      "readme.txt",           "licenses/IPA_Font_License.txt", "licenses/SDL2.txt",
      "licenses/SDL2_ttf.txt", "licenses/FreeType.txt",        "licenses/MinGW-w64.txt",
      "licenses/GCC_runtime.txt"};
  std::set<std::string> expected = {"velkor-1.12/velkor.exe", "velkor-1.12/ipagp.ttf"};
  for (const std::string& text : texts) expected.insert("velkor-1.12/" + text);
  EXPECT_EQ(files, expected);
  for (const std::string& text : texts) {
    const std::string bytes = testing_support::ReadFile(folder_ / text);
    EXPECT_EQ(bytes.substr(0, 3), "\xEF\xBB\xBF") << text << " has no byte-order mark";
    bool all_crlf = false;
    EXPECT_GT(testing_support::SplitCrLfLines(bytes, all_crlf).size(), 10u) << text;
    EXPECT_TRUE(all_crlf) << text;
  }
  const std::string readme = testing_support::ReadFile(folder_ / "readme.txt");
  EXPECT_NE(readme.find("[日本語]"), std::string::npos);
  EXPECT_NE(readme.find("[English]"), std::string::npos);
  // Where the zip's game sends, in both parts, and the settings file that changes it.
  EXPECT_NE(readme.find("送り先は " VELKOR_CONFIGURED_RANKING_HOST " です"), std::string::npos) << readme;
  EXPECT_NE(readme.find("ranking server, at\r\n  " VELKOR_CONFIGURED_RANKING_HOST " "), std::string::npos) << readme;
  EXPECT_NE(readme.find("ranking = ranking.example.org:8080"), std::string::npos);
  EXPECT_TRUE(testing_support::ReadFile(folder_ / "ipagp.ttf") ==
              testing_support::ReadFile("/usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf"))
      << "ipagp.ttf is not the IPA P Gothic the program was tested with";
}

TEST_F(WineProgram, TheLogoPlaysAndEscapeWritesAnOriginalTableBackByteForByte) {
  game::HiscData seeded;
  seeded.table.FillDefaults();
  seeded.table.HiScores[1] = 345;
  seeded.table.HiDates[1] = "02/04/01 12:34";
  seeded.StoredCheckValue = game::CheckValueOf(345);
  seeded.PlayerName = app::Sjis(u8"ベルコール①");  // an NEC extension of code page 932
  const std::string original = game::FormatHiscFile(seeded);
  testing_support::WriteFile(folder_ / "hisc.dat", original);
  Start("velkor.exe");
  const std::string game = GameWindow();
  ASSERT_FALSE(game.empty());
  const auto first = Pixels(game);
  EXPECT_TRUE(WaitUntil([&] { return Pixels(game) != first; }, 5s)) << "the logo does not play";
  Do({"key", "Escape"});
  auto status = velkor.Wait(30s);
  ASSERT_TRUE(status.has_value()) << "Escape did not end the game";
  EXPECT_EQ(*status, 0) << Log();
  // The table is saved on every exit: a save that failed leaves the old bytes, and says so.
  EXPECT_EQ(Log().find("hisc.dat"), std::string::npos) << Log();
  EXPECT_EQ(testing_support::ReadFile(folder_ / "hisc.dat"), original);
  // Only the table: the atomic save left no temporary file behind.
  for (const auto& entry : fs::directory_iterator(folder_))
    EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
}

// A whole game under wine, played with real held and released direction keys until its sixty
// seconds are surely over: it enters the table, dated while it ran, and the table is written as
// the original wrote it.
TEST_F(WineProgram, AGamePlayedToItsEndEntersTheTableWrittenInCrLfLines) {
  // Ten negative scores: whatever the game's total, it takes the first place.
  game::HiscData seeded;
  for (int n = 1; n <= 10; ++n) {
    seeded.table.HiScores[n] = -n;
    seeded.table.HiDates[n] = "00/01/01 00:00";
  }
  seeded.PlayerName = app::Sjis(u8"テスト");
  testing_support::WriteFile(folder_ / "hisc.dat", game::FormatHiscFile(seeded));
  const std::time_t started = std::time(nullptr);
  Start("velkor.exe");
  const std::string game = GameWindow();
  ASSERT_FALSE(game.empty());
  std::this_thread::sleep_for(1s);
  Do({"key", "space"});  // skip the logo
  std::this_thread::sleep_for(1s);
  const auto title = Pixels(game);
  Do({"key", "space"});  // start a game
  EXPECT_TRUE(WaitUntil([&] { return Pixels(game) != title; }, 5s)) << "no game started";

  const std::vector<std::vector<std::string>> choices = {{"Up"}, {"Left", "Right"}, {"KP_8", "KP_2", "KP_4", "KP_6"},
                                                         {"j"},  {"i", "k"},        {"Down"}};
  ASSERT_TRUE(testing_support::PlayHeldTurns(x, choices, 62s)) << "xdotool failed";
  // The game-over screen stands still but for its blinking; Escape leaves from there.
  std::this_thread::sleep_for(1s);
  Do({"key", "Escape"});
  auto status = velkor.Wait(30s);
  ASSERT_TRUE(status.has_value()) << "Escape did not end the game";
  EXPECT_EQ(*status, 0) << Log();
  EXPECT_EQ(Log().find("hisc.dat"), std::string::npos) << Log();
  // Wine has no Japanese face of its own: the title, play and game-over texts came from the font
  // beside the program.
  EXPECT_EQ(Log().find("font was found"), std::string::npos) << Log();
  const std::time_t ended = std::time(nullptr);

  bool all_crlf = false;
  const auto lines = testing_support::SplitCrLfLines(testing_support::ReadFile(folder_ / "hisc.dat"), all_crlf);
  ASSERT_EQ(lines.size(), 22u);
  EXPECT_TRUE(all_crlf);
  const int total = std::stoi(lines[0]);
  EXPECT_GE(total, 0) << "the game did not enter the table";
  bool dated_while_running = false;
  for (std::time_t t = started; t <= ended; t += 30)
    dated_while_running |= lines[1] == testing_support::TableDate(t);
  dated_while_running |= lines[1] == testing_support::TableDate(ended);
  EXPECT_TRUE(dated_while_running) << "dated " << lines[1];
  for (int n = 2; n <= 10; ++n) EXPECT_EQ(lines[2 * (n - 1)], std::to_string(-(n - 1)));
  EXPECT_EQ(lines[20], std::to_string(game::CheckValueOf(total)));
  EXPECT_EQ(lines[21], app::Sjis(u8"テスト"));
  RecordProperty("total", total);
}

// The submission dialog of velkor.exe, worked with real clicks at its enlarged places and real
// typing, sends exactly the six request lines through Winsock to a server on 127.0.0.1.
TEST_F(WineProgram, TheDialogSendsTheSixRequestLinesToALoopbackServer) {
  testing_support::WriteBestScoreTable(folder_ / "hisc.dat");
  auto server = testing_support::ListenWhenFree(VELKOR_WINE_RANKING_PORT, testing_support::AcceptEntry());

  Start("velkor_ranking_e2e.exe");
  const std::string game = GameWindow();
  ASSERT_FALSE(game.empty());
  std::this_thread::sleep_for(1s);
  Do({"key", "space"});  // skip the logo
  std::this_thread::sleep_for(1s);
  Do({"key", "alt+F9"});
  std::string dialog;
  ASSERT_TRUE(WaitUntil([&] { return !(dialog = WindowNamed("ハイスコア自動送信")).empty(); }, 20s))
      << "the dialog did not open\n"
      << Log();
  // The game shows three times over on this 1280 x 1024 desktop, and so does the dialog.
  auto placed = testing_support::WindowGeometry(x.Display(), std::stoul(dialog));
  ASSERT_TRUE(placed);
  EXPECT_EQ(placed->width, 927);
  EXPECT_EQ(placed->height, 612);
  Focus(dialog);

  ASSERT_TRUE(testing_support::FillInAndSend(x, dialog, 3, 3, "Velkor", "hi there"));

  ASSERT_TRUE(WaitUntil([&] { return server->Requests().size() == 1; }, 20s)) << "nothing reached the server";
  EXPECT_EQ(server->Requests()[0],
            testing_support::EntryRequestLines("command=entry&name=Velkor&score=1234&pass_s=5611&comment=hi there*",
                                               "127.0.0.1"));

  // The success box, closed with Enter; then the dialog with its close button.
  std::string box;
  ASSERT_TRUE(WaitUntil([&] { return !(box = WindowNamed("ノルダース")).empty(); }, 20s)) << "no success message";
  Focus(box);
  Do({"key", "Return"});
  ASSERT_TRUE(WaitUntil([&] { return WindowNamed("ノルダース").empty(); }, 10s));
  Focus(dialog);
  ClickAt(dialog, (176 + 44) * 3, (136 + 16) * 3);  // 閉じる
  ASSERT_TRUE(WaitUntil([&] { return WindowNamed("ハイスコア自動送信").empty(); }, 10s));
  Focus(game);
  Do({"key", "Escape"});
  auto status = velkor.Wait(30s);
  ASSERT_TRUE(status.has_value()) << "Escape did not end the game";
  EXPECT_EQ(*status, 0) << Log();

  // The score is sent: the table keeps it, with the sent name and no check value left to send.
  game::HiscData saved;
  ASSERT_TRUE(game::ParseHiscFile(testing_support::ReadFile(folder_ / "hisc.dat"), saved));
  EXPECT_EQ(saved.StoredCheckValue, 0);
  EXPECT_EQ(saved.PlayerName, "Velkor");
  EXPECT_EQ(saved.table.HiScores[1], 1234);
}

// Log-off ends a program as soon as it has answered the end of the session, without waiting
// for it to quit: the table is on disk by then.
TEST_F(WineProgram, LogOffSavesTheTableBeforeTheProgramIsEnded) {
  Start("velkor.exe");
  const std::string game = GameWindow();
  ASSERT_FALSE(game.empty());
  std::this_thread::sleep_for(1s);
  ASSERT_FALSE(fs::exists(folder_ / "hisc.dat"));
  ChildProcess log_off;
  log_off.Start({"wineboot", "--end-session"}, WineEnvironment());
  auto ended = log_off.Wait(60s);
  ASSERT_TRUE(ended.has_value()) << "the session did not end";
  EXPECT_EQ(*ended, 0);
  ASSERT_TRUE(velkor.Wait(30s).has_value()) << "the program outlived the session";
  game::HiscData defaults;
  defaults.table.FillDefaults();
  EXPECT_EQ(testing_support::ReadFile(folder_ / "hisc.dat"), game::FormatHiscFile(defaults)) << Log();
}

}  // namespace
