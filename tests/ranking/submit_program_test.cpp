// The real program sends the best score from its real dialog, under a virtual X server, driven
// only by key and mouse events, to a ranking server on 127.0.0.1. This copy of the program is
// built with its ranking host at the loopback port the test listens on.
#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "app/graphics.h"
#include "game/hiscore.h"
#include "platform/text.h"
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

class SubmitProgram : public ::testing::Test {
 protected:
  explicit SubmitProgram(int screen_width = 1280, int screen_height = 1024) : x(screen_width, screen_height) {}

  void Do(std::vector<std::string> args) {
    int status = -1;
    x.Xdotool(args, &status);
    ASSERT_EQ(status, 0) << "xdotool " << args.front() << " failed";
  }
  // The program's visible window with this title, or "".
  std::string WindowNamed(const std::string& utf8_title) { return x.VisibleWindowNamed(velkor.Pid(), utf8_title); }
  // Starts the program and skips its logo; `game` is its window.
  void StartOnTheTitle(std::string& game) {
    velkor.Start({VELKOR_RANKING_E2E_BINARY}, {{"DISPLAY", x.Display()}, {"SDL_AUDIODRIVER", "dummy"}},
                 dir.Path().string(), (dir.Path() / "velkor.log").string());
    ASSERT_TRUE(WaitUntil([&] { return !(game = WindowNamed("Velkor Ver 1.12")).empty(); }, 20s))
        << testing_support::ReadFile(dir.Path() / "velkor.log");
    ASSERT_TRUE(WaitUntil([&] { return x.Xdotool({"getwindowfocus"}) == game; }, 5s));
    std::this_thread::sleep_for(500ms);
    Do({"key", "space"});  // skip the logo
  }
  std::vector<std::uint32_t> Pixels(const std::string& window) {
    auto shot = testing_support::CaptureWindow(x.Display(), std::stoul(window));
    return shot ? shot->pixels : std::vector<std::uint32_t>{};
  }
  void ClickAt(const std::string& window, int px, int py) {
    Do({"mousemove", "--sync", "--window", window, std::to_string(px), std::to_string(py)});
    Do({"click", "1"});
  }
  // A window shows its design picture enlarged nearest-neighbour when every pixel repeats the
  // top-left one of its `scale` x `scale` block.
  static std::size_t PixelsOffTheirBlock(const testing_support::WindowShot& shot, int scale) {
    std::size_t off = 0;
    for (int y = 0; y < shot.height; ++y)
      for (int x = 0; x < shot.width; ++x)
        off += shot.pixels[static_cast<std::size_t>(y * shot.width + x)] !=
               shot.pixels[static_cast<std::size_t>((y / scale * scale) * shot.width + x / scale * scale)];
    return off;
  }

  // A table whose best score, 1234, has its check value and the name "old".
  void SeedBestScore() { testing_support::WriteBestScoreTable(dir.Path() / "hisc.dat"); }
  // A ranking server at the port built into the program, taking one entry.
  std::unique_ptr<ScriptServer> AcceptOneEntry() {
    return testing_support::ListenWhenFree(VELKOR_TEST_RANKING_PORT, testing_support::AcceptEntry());
  }
  // Starts the program and opens the dialog from the title with Alt+F9; `dialog` is the dialog's
  // window, once it has the keyboard.
  void OpenTheDialog(std::string& game, std::string& dialog) {
    ASSERT_NO_FATAL_FAILURE(StartOnTheTitle(game));
    std::this_thread::sleep_for(500ms);
    Do({"key", "alt+F9"});
    ASSERT_TRUE(WaitUntil([&] { return !(dialog = WindowNamed("ハイスコア自動送信")).empty(); }, 10s))
        << "the dialog did not open";
    ASSERT_TRUE(WaitUntil([&] { return x.Xdotool({"getwindowfocus"}) == dialog; }, 5s));
  }

  ScopedTempDir dir;
  VirtualX x;
  ChildProcess velkor;
};

// A 1920 x 1080 desktop, where the game and its dialog show four times over.
class SubmitProgramFullHd : public SubmitProgram {
 protected:
  SubmitProgramFullHd() : SubmitProgram(1920, 1080) {}
};

TEST_F(SubmitProgram, AltF9NameCommentSendAndTheTableKeepsTheSentState) {
  SeedBestScore();
  auto server = AcceptOneEntry();
  std::string game, dialog;
  ASSERT_NO_FATAL_FAILURE(OpenTheDialog(game, dialog));
  // The game shows three times over on this 1280 x 1024 desktop, and so does the dialog: its
  // 309 x 204 design, every pixel a 3 x 3 block, kept on the desktop.
  auto game_shot = testing_support::WindowGeometry(x.Display(), std::stoul(game));
  ASSERT_TRUE(game_shot);
  EXPECT_EQ(game_shot->width, 960);
  auto dialog_shot = testing_support::CaptureWindow(x.Display(), std::stoul(dialog));
  ASSERT_TRUE(dialog_shot);
  EXPECT_EQ(dialog_shot->width, 927);
  EXPECT_EQ(dialog_shot->height, 612);
  EXPECT_EQ(dialog_shot->x, 1280 - 927);
  EXPECT_EQ(dialog_shot->y, 210);
  EXPECT_EQ(dialog_shot->pixels[0], 0xC0C0C0u);  // the button face
  EXPECT_EQ(PixelsOffTheirBlock(*dialog_shot, 3), 0u);
  // The name field's sunken frame, grey at its top-left corner, where the design has it.
  EXPECT_EQ(dialog_shot->pixels[static_cast<std::size_t>(72 * 3 * 927 + 72 * 3 + 2)], 0x808080u);

  // No frames run behind the dialog: the title stands still.
  const auto still = Pixels(game);
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(Pixels(game), still);

  // The name field holds the stored name: click into it (at the enlarged place), take it out and
  // type another.
  ASSERT_TRUE(testing_support::FillInAndSend(x, dialog, 3, 3, "Velkor", "hi there"));

  ASSERT_TRUE(WaitUntil([&] { return server->Requests().size() == 1; }, 10s)) << "nothing reached the server";
  EXPECT_EQ(server->Requests()[0],
            testing_support::EntryRequestLines("command=entry&name=Velkor&score=1234&pass_s=5611&comment=hi there*",
                                               "127.0.0.1"));

  // The success box, closed with Enter.
  std::string box;
  ASSERT_TRUE(WaitUntil([&] { return !(box = WindowNamed("ノルダース")).empty(); }, 10s)) << "no success message";
  ASSERT_TRUE(WaitUntil([&] { return x.Xdotool({"getwindowfocus"}) == box; }, 5s));
  auto box_shot = testing_support::CaptureWindow(x.Display(), std::stoul(box));
  ASSERT_TRUE(box_shot);
  EXPECT_EQ(box_shot->width % 3, 0);
  EXPECT_EQ(box_shot->height % 3, 0);
  EXPECT_GT(box_shot->width, 3 * 200);
  EXPECT_EQ(PixelsOffTheirBlock(*box_shot, 3), 0u);
  Do({"key", "Return"});
  ASSERT_TRUE(WaitUntil([&] { return WindowNamed("ノルダース").empty(); }, 5s));

  // Back in the dialog: close it with its button.
  ASSERT_TRUE(WaitUntil([&] { return x.Xdotool({"getwindowfocus"}) == dialog; }, 5s));
  ClickAt(dialog, (176 + 44) * 3, (136 + 16) * 3);  // 閉じる
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

// Opened while the game is full screen, the dialog takes the scale the game's window has and
// will have again, not one of its own.
TEST_F(SubmitProgram, TheDialogOpenedFullScreenHasTheWindowsScale) {
  std::string game;
  ASSERT_NO_FATAL_FAILURE(StartOnTheTitle(game));
  std::this_thread::sleep_for(500ms);
  Do({"key", "alt+F8"});
  ASSERT_TRUE(WaitUntil(
      [&] {
        auto placed = testing_support::WindowGeometry(x.Display(), std::stoul(game));
        return placed && placed->width == 1280 && placed->height == 1024;
      },
      10s))
      << "the game did not go full screen";
  Do({"key", "alt+F9"});
  std::string dialog;
  ASSERT_TRUE(WaitUntil([&] { return !(dialog = WindowNamed("ハイスコア自動送信")).empty(); }, 10s))
      << "the dialog did not open";
  auto shot = testing_support::CaptureWindow(x.Display(), std::stoul(dialog));
  ASSERT_TRUE(shot);
  EXPECT_EQ(shot->width, 927);
  EXPECT_EQ(shot->height, 612);
  EXPECT_EQ(PixelsOffTheirBlock(*shot, 3), 0u);
  ASSERT_TRUE(testing_support::RequestWindowClose(x.Display(), std::stoul(dialog)));
  ASSERT_TRUE(WaitUntil([&] { return WindowNamed("ハイスコア自動送信").empty(); }, 5s));
  ASSERT_TRUE(WaitUntil([&] { return x.Xdotool({"getwindowfocus"}) == game; }, 5s));
  Do({"key", "Escape"});
  auto status = velkor.Wait(10s);
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(*status, 0) << testing_support::ReadFile(dir.Path() / "velkor.log");
}

// The name field of the enlarged dialog is worked with real mouse events at their enlarged places:
// a double click takes the stored name's word, typing replaces it, a drag across part of the new
// name selects that part, shown highlighted, and typing replaces it too.
TEST_F(SubmitProgramFullHd, ANameSelectedWithTheMouseInTheEnlargedDialogIsTypedOver) {
  SeedBestScore();
  auto server = AcceptOneEntry();
  std::string game, dialog;
  ASSERT_NO_FATAL_FAILURE(OpenTheDialog(game, dialog));
  auto placed = testing_support::WindowGeometry(x.Display(), std::stoul(game));
  ASSERT_TRUE(placed);
  const int scale = placed->width / 320;
  EXPECT_EQ(scale, 4);
  auto shot = testing_support::CaptureWindow(x.Display(), std::stoul(dialog));
  ASSERT_TRUE(shot);
  ASSERT_EQ(shot->width, 309 * scale);

  // The name field is at 72, 72 in the dialog's own pixels; its text starts 3 pixels in, in the
  // dialog's font, whose widths the program's own text renderer gives.
  auto boundary = [&](const std::string& before) {
    return 72 + 3 + platform::TextRenderer::Shared().Render(before, app::FontPixels(9)).width;
  };
  // The pointer goes to the middle of the enlarged pixel just right of a boundary, on the text's line.
  // (xdotool waits for ever for a move to where the pointer already is.)
  std::string at;
  auto move_to = [&](int pixel) {
    const std::string px = std::to_string(pixel * scale + scale / 2), py = std::to_string((72 + 10) * scale);
    if (at == px) return;
    at = px;
    Do({"mousemove", "--sync", "--window", dialog, px, py});
  };
  move_to(boundary("o"));
  Do({"click", "--repeat", "2", "--delay", "80", "1"});
  Do({"type", "--delay", "30", "Velkor"});

  move_to(boundary("V"));
  Do({"mousedown", "1"});
  move_to(boundary("Ve"));
  move_to(boundary("Velk"));
  Do({"mouseup", "1"});
  // "elk" shows white on navy, and the highlight spans its enlarged cells exactly. The program
  // takes the moves and the release in its own time, so a capture may still show the selection
  // as it was halfway through the drag: wait for the whole of it.
  const int want_first = boundary("V") * scale, want_last = boundary("Velk") * scale - 1;
  int first = -1, last = -1;
  ASSERT_TRUE(WaitUntil(
      [&] {
        shot = testing_support::CaptureWindow(x.Display(), std::stoul(dialog));
        if (!shot) return false;
        first = last = -1;
        for (int px = 72 * scale; px < (72 + 89) * scale; ++px)
          for (int py = (72 + 4) * scale; py < (72 + 16) * scale; ++py)
            if (shot->pixels[static_cast<std::size_t>(py * shot->width + px)] == 0x000080u) {
              if (first < 0) first = px;
              last = px;
              break;
            }
        return first == want_first && last == want_last;
      },
      5s))
      << "the highlight in the name field spans " << first << " to " << last << ", not " << want_first
      << " to " << want_last;
  EXPECT_EQ(PixelsOffTheirBlock(*shot, scale), 0u);

  Do({"type", "--delay", "30", "ELK"});
  Do({"key", "Tab"});
  Do({"type", "--delay", "30", "hi"});
  ClickAt(dialog, (48 + 48) * scale, (136 + 16) * scale);  // ハイスコア送信
  ASSERT_TRUE(WaitUntil([&] { return server->Requests().size() == 1; }, 10s)) << "nothing reached the server";
  const std::string request = server->Requests()[0];
  EXPECT_EQ(request.substr(0, request.find("\r\n")),
            "GET /~tobrin/soft/velkor/ran/ranking.cgi?command=entry&name=VELKor&score=1234&pass_s=5611&comment=hi* "
            "HTTP/1.0");

  std::string box;
  ASSERT_TRUE(WaitUntil([&] { return !(box = WindowNamed("ノルダース")).empty(); }, 10s)) << "no success message";
  ASSERT_TRUE(WaitUntil([&] { return x.Xdotool({"getwindowfocus"}) == box; }, 5s));
  Do({"key", "Return"});
  ASSERT_TRUE(WaitUntil([&] { return x.Xdotool({"getwindowfocus"}) == dialog; }, 5s));
  ASSERT_TRUE(testing_support::RequestWindowClose(x.Display(), std::stoul(dialog)));
  ASSERT_TRUE(WaitUntil([&] { return x.Xdotool({"getwindowfocus"}) == game; }, 5s));
  Do({"key", "Escape"});
  auto status = velkor.Wait(10s);
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(*status, 0) << testing_support::ReadFile(dir.Path() / "velkor.log");
  game::HiscData saved;
  ASSERT_TRUE(game::ParseHiscFile(testing_support::ReadFile(dir.Path() / "hisc.dat"), saved));
  EXPECT_EQ(saved.PlayerName, "VELKor");
}

}  // namespace
