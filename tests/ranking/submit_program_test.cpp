// The real program sends the best score from its real dialog, under a virtual X server, driven
// only by key and mouse events, to a ranking server on 127.0.0.1. This copy of the program is
// built with its ranking host at the loopback port the test listens on.
#include <gtest/gtest.h>

#include <memory>
#include <thread>

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

// The port is fixed in the program's build, so another run of this test (in another build tree)
// may hold it for a moment: wait for it.
std::unique_ptr<ScriptServer> ListenOnRankingPort(testing_support::ServerScript script) {
  const auto give_up = std::chrono::steady_clock::now() + 120s;
  for (;;) {
    try {
      return std::make_unique<ScriptServer>(std::vector{script}, "127.0.0.1", VELKOR_TEST_RANKING_PORT);
    } catch (const std::runtime_error&) {
      if (std::chrono::steady_clock::now() > give_up) throw;
      std::this_thread::sleep_for(200ms);
    }
  }
}

class SubmitProgram : public ::testing::Test {
 protected:
  void Do(std::vector<std::string> args) {
    int status = -1;
    x.Xdotool(args, &status);
    ASSERT_EQ(status, 0) << "xdotool " << args.front() << " failed";
  }
  // The program's visible window with this title, or "".
  std::string WindowNamed(const std::string& utf8_title) {
    std::string ids = x.Xdotool({"search", "--all", "--onlyvisible", "--pid", std::to_string(velkor.Pid())});
    for (std::size_t at = 0; at < ids.size();) {
      std::size_t end = std::min(ids.find('\n', at), ids.size());
      const std::string id = ids.substr(at, end - at);
      if (!id.empty() && x.Xdotool({"getwindowname", id}) == utf8_title) return id;
      at = end + 1;
    }
    return "";
  }
  std::vector<std::uint32_t> Pixels(const std::string& window) {
    auto shot = testing_support::CaptureWindow(x.Display(), std::stoul(window));
    return shot ? shot->pixels : std::vector<std::uint32_t>{};
  }
  void ClickAt(const std::string& window, int px, int py) {
    Do({"mousemove", "--sync", "--window", window, std::to_string(px), std::to_string(py)});
    Do({"click", "1"});
  }

  ScopedTempDir dir;
  VirtualX x;
  ChildProcess velkor;
};

TEST_F(SubmitProgram, AltF9NameCommentSendAndTheTableKeepsTheSentState) {
  game::HiscData seeded;
  seeded.table.FillDefaults();
  seeded.table.HiScores[1] = 1234;
  seeded.StoredCheckValue = 5611;
  seeded.PlayerName = "old";
  testing_support::WriteFile(dir.Path() / "hisc.dat", game::FormatHiscFile(seeded));

  auto server = ListenOnRankingPort([](ServerConnection& c) {
    c.ReadRequest();
    c.Send("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<html>entered</html>");
  });

  velkor.Start({VELKOR_RANKING_E2E_BINARY}, {{"DISPLAY", x.Display()}, {"SDL_AUDIODRIVER", "dummy"}},
               dir.Path().string(), (dir.Path() / "velkor.log").string());
  std::string game;
  ASSERT_TRUE(WaitUntil([&] { return !(game = WindowNamed("Velkor Ver 1.12")).empty(); }, 20s))
      << testing_support::ReadFile(dir.Path() / "velkor.log");
  ASSERT_TRUE(WaitUntil([&] { return x.Xdotool({"getwindowfocus"}) == game; }, 5s));
  std::this_thread::sleep_for(500ms);
  Do({"key", "space"});  // skip the logo
  std::this_thread::sleep_for(500ms);
  Do({"key", "alt+F9"});

  std::string dialog;
  ASSERT_TRUE(WaitUntil([&] { return !(dialog = WindowNamed("ハイスコア自動送信")).empty(); }, 10s))
      << "the dialog did not open";
  ASSERT_TRUE(WaitUntil([&] { return x.Xdotool({"getwindowfocus"}) == dialog; }, 5s));
  auto dialog_shot = testing_support::CaptureWindow(x.Display(), std::stoul(dialog));
  ASSERT_TRUE(dialog_shot);
  EXPECT_EQ(dialog_shot->width, 309);
  EXPECT_EQ(dialog_shot->height, 204);
  EXPECT_EQ(dialog_shot->pixels[0], 0xC0C0C0u);  // the button face

  // No frames run behind the dialog: the title stands still.
  const auto still = Pixels(game);
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(Pixels(game), still);

  // The name field holds the stored name: click into it, take it out and type another.
  ClickAt(dialog, 72 + 44, 72 + 10);
  Do({"key", "End", "BackSpace", "BackSpace", "BackSpace"});
  Do({"type", "--delay", "30", "Velkor"});
  Do({"key", "Tab"});
  Do({"type", "--delay", "30", "hi there"});
  ClickAt(dialog, 48 + 48, 136 + 16);  // ハイスコア送信

  ASSERT_TRUE(WaitUntil([&] { return server->Requests().size() == 1; }, 10s)) << "nothing reached the server";
  EXPECT_EQ(server->Requests()[0],
            "GET /~tobrin/soft/velkor/ran/ranking.cgi?command=entry&name=Velkor&score=1234&pass_s=5611&comment=hi there* "
            "HTTP/1.0\r\n"
            "Host: 127.0.0.1\r\n"
            "Accept: www/source, text/html, video/mpeg, image/jpeg, image/x-tiff\r\n"
            "Accept: image/x-rgb, image/x-xbm, image/gif, */*, application/postscript\r\n"
            "Content-type: application/x-www-form-urlencoded\r\n"
            "\r\n");

  // The success box, closed with Enter.
  std::string box;
  ASSERT_TRUE(WaitUntil([&] { return !(box = WindowNamed("ノルダース")).empty(); }, 10s)) << "no success message";
  ASSERT_TRUE(WaitUntil([&] { return x.Xdotool({"getwindowfocus"}) == box; }, 5s));
  Do({"key", "Return"});
  ASSERT_TRUE(WaitUntil([&] { return WindowNamed("ノルダース").empty(); }, 5s));

  // Back in the dialog: close it with its button.
  ASSERT_TRUE(WaitUntil([&] { return x.Xdotool({"getwindowfocus"}) == dialog; }, 5s));
  ClickAt(dialog, 176 + 44, 136 + 16);  // 閉じる
  ASSERT_TRUE(WaitUntil([&] { return WindowNamed("ハイスコア自動送信").empty(); }, 5s));

  // The game runs again and has the keyboard.
  ASSERT_TRUE(WaitUntil([&] { return x.Xdotool({"getwindowfocus"}) == game; }, 5s));
  const auto before = Pixels(game);
  EXPECT_TRUE(WaitUntil([&] { return Pixels(game) != before; }, 5s)) << "the title does not move";
  Do({"key", "Escape"});
  auto status = velkor.Wait(10s);
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(*status, 0) << testing_support::ReadFile(dir.Path() / "velkor.log");

  game::HiscData saved;
  ASSERT_TRUE(game::ParseHiscFile(testing_support::ReadFile(dir.Path() / "hisc.dat"), saved));
  EXPECT_EQ(saved.StoredCheckValue, 0);
  EXPECT_EQ(saved.PlayerName, "Velkor");
  EXPECT_EQ(saved.table.HiScores[1], 1234);
}

}  // namespace
