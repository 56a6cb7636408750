// The main form's key commands over the game's screens, with real key presses.
#include <gtest/gtest.h>

#include "game/hiscore.h"
#include "ranking/unit2.h"
#include "support/form_driver.h"
#include "support/harness.h"

namespace {

using game::TGameState;
using testing_support::GameHarness;
using testing_support::ScopedTempDir;
namespace keys = platform::keys;

// The screens a player can be on when pressing a key, and the two one-frame states between them.
enum class Screen { LogoStart, Logo, Title, Ranking, GameStart, Play, GameOver };

const char* NameOf(Screen s) {
  switch (s) {
    case Screen::LogoStart: return "LogoStart";
    case Screen::Logo: return "Logo";
    case Screen::Title: return "Title";
    case Screen::Ranking: return "Ranking";
    case Screen::GameStart: return "GameStart";
    case Screen::Play: return "Play";
    case Screen::GameOver: return "GameOver";
  }
  return "?";
}

constexpr Screen kAllScreens[] = {Screen::LogoStart, Screen::Logo, Screen::Title, Screen::Ranking,
                                  Screen::GameStart, Screen::Play, Screen::GameOver};

// A started game in a directory of its own, brought to a screen the way a player gets there.
struct Game {
  explicit Game(Screen screen) {
    h.Start();
    GoTo(screen);
  }

  void GoTo(Screen screen) {
    h.Frame();  // the logo starts
    ASSERT_EQ(form().GameState, game::gsLogo);
    if (screen == Screen::LogoStart) {
      form().GameState = game::gsLogoStart;
      return;
    }
    if (screen == Screen::Logo) return;
    h.Tap(keys::Space);
    h.Frame();
    ASSERT_EQ(form().GameState, game::gsTitle);
    if (screen == Screen::Title) return;
    if (screen == Screen::Ranking) {
      h.Tap(keys::Enter);
      ASSERT_EQ(form().GameState, game::gsRanking);
      return;
    }
    h.Tap(keys::Space);
    if (screen == Screen::GameStart) return;
    h.Frame();
    ASSERT_EQ(form().GameState, game::gsPlay);
    if (screen == Screen::Play) return;
    form().TimeLeft = 1;  // the last millisecond of the game
    h.Frame();
    ASSERT_EQ(form().PlayPhase, game::ppGameOver);
  }

  game::TForm1& form() { return *h.form; }
  bool FullScreen() { return (form().DXDraw1->Options() & media::Opt(media::doFullScreen)) != 0; }
  platform::HeadlessWindow& window() { return *h.platform.FindWindow(form().Handle().Id()); }

  ScopedTempDir dir;
  GameHarness h;
};

TEST(KeyCommands, SpaceSkipsTheLogoAndStartsAGameFromTheTitleOnly) {
  struct Case {
    Screen screen;
    TGameState after_press, after_frame;
  };
  const Case cases[] = {
      {Screen::Logo, game::gsLogo, game::gsTitle},
      {Screen::Title, game::gsGameStart, game::gsPlay},
      {Screen::Ranking, game::gsRanking, game::gsRanking},
      {Screen::Play, game::gsPlay, game::gsPlay},
      {Screen::GameOver, game::gsPlay, game::gsPlay},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(NameOf(c.screen));
    Game g(c.screen);
    g.h.Tap(keys::Space);
    EXPECT_EQ(g.form().GameState, c.after_press);
    if (c.screen == Screen::Logo) {
      EXPECT_EQ(g.form().LogoAngle, -260);
    }
    g.h.Frame();
    EXPECT_EQ(g.form().GameState, c.after_frame);
    if (c.screen == Screen::GameOver) {
      EXPECT_EQ(g.form().PlayPhase, game::ppGameOver);
    }
  }
}

TEST(KeyCommands, EnterMovesOneScreenPerPress) {
  struct Case {
    Screen screen;
    TGameState after;
  };
  const Case cases[] = {
      {Screen::Title, game::gsRanking},
      {Screen::Ranking, game::gsTitle},
      {Screen::GameOver, game::gsLogoStart},
      {Screen::Play, game::gsPlay},
      {Screen::Logo, game::gsLogo},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(NameOf(c.screen));
    Game g(c.screen);
    g.h.Tap(keys::Enter);
    EXPECT_EQ(g.form().GameState, c.after);
  }

  // The keypad's Enter is Enter too; held down, each auto-repeat moves one more screen.
  Game g(Screen::Title);
  g.h.Tap(keys::NumpadEnter);
  EXPECT_EQ(g.form().GameState, game::gsRanking);
  g.h.Press(keys::Enter);
  EXPECT_EQ(g.form().GameState, game::gsTitle);
  g.h.Press(keys::Enter);
  EXPECT_EQ(g.form().GameState, game::gsRanking);
}

TEST(KeyCommands, F1TogglesTheFrameRateOnEveryScreen) {
  for (Screen screen : kAllScreens) {
    SCOPED_TRACE(NameOf(screen));
    Game g(screen);
    const TGameState state = g.form().GameState;
    g.h.Tap(keys::F1);
    EXPECT_TRUE(g.form().ShowFrameRate);
    g.h.Tap(keys::F1);
    EXPECT_FALSE(g.form().ShowFrameRate);
    EXPECT_EQ(g.form().GameState, state);
  }
}

TEST(KeyCommands, AltSpaceStartsANewGameFromEveryScreen) {
  for (Screen screen : kAllScreens) {
    SCOPED_TRACE(NameOf(screen));
    Game g(screen);
    g.form().TotalScore = 900;  // a game in progress, abandoned
    g.h.Tap(keys::Space, /*alt=*/true);
    EXPECT_EQ(g.form().GameState, game::gsGameStart);
    g.h.Frame();
    EXPECT_EQ(g.form().GameState, game::gsPlay);
    EXPECT_EQ(g.form().PlayPhase, game::ppPlaying);
    EXPECT_EQ(g.form().TotalScore, 0);
    EXPECT_EQ(g.form().TimeLeft, 60000);

    // The new game runs out untouched; the abandoned 900 never reaches the table.
    g.form().TimeLeft = 1;
    g.h.Frame();
    ASSERT_EQ(g.form().PlayPhase, game::ppGameOver);
    game::HighScoreTable defaults;
    defaults.FillDefaults();
    EXPECT_EQ(g.form().HighScores.HiScores, defaults.HiScores);
  }
}

TEST(KeyCommands, EscapeQuitsFromEveryScreenAndTheTableIsSaved) {
  for (Screen screen : kAllScreens) {
    SCOPED_TRACE(NameOf(screen));
    Game g(screen);
    g.form().HighScores.Enter(555, "24/05/06 10:20");
    game::HiscData expected{g.form().HighScores, g.form().StoredCheckValue, g.form().PlayerName};
    g.h.Tap(keys::Escape);
    EXPECT_TRUE(g.h.application->Terminated());
    g.h.Stop();
    EXPECT_EQ(testing_support::ReadFile(g.dir.Path() / "hisc.dat"), game::FormatHiscFile(expected));
  }
}

TEST(KeyCommands, AltF8AndF11SwitchToFullScreenAndBackToTheSameWindow) {
  struct Case {
    const char* name;
    platform::KeyCode key;
    bool alt;
  };
  for (const Case& c : {Case{"Alt+F8", keys::F8, true}, Case{"F11", keys::F11, false},
                        Case{"Alt+F11", keys::F11, true}}) {
    SCOPED_TRACE(c.name);
    Game g(Screen::Play);
    g.window().SetPlacement({137, 59, 320, 240, true});
    const platform::WindowPlacement before = g.window().Placement();
    const std::int32_t time_left = g.form().TimeLeft;

    g.h.Tap(c.key, c.alt);
    EXPECT_TRUE(g.FullScreen());
    EXPECT_EQ(g.form().BorderStyle(), app::bsNone);
    EXPECT_FALSE(g.window().CursorVisible());
    EXPECT_TRUE(g.form().DXTimer1->Enabled());
    EXPECT_TRUE(g.form().DXDraw1->Initialized());

    g.h.Tap(c.key, c.alt);
    EXPECT_FALSE(g.FullScreen());
    EXPECT_EQ(g.form().BorderStyle(), app::bsSingle);
    EXPECT_FALSE(g.window().CursorVisible());
    EXPECT_TRUE(g.form().DXTimer1->Enabled());
    const platform::WindowPlacement after = g.window().Placement();
    EXPECT_EQ(after.x, before.x);
    EXPECT_EQ(after.y, before.y);
    EXPECT_EQ(after.width, 320);
    EXPECT_EQ(after.height, 240);
    EXPECT_TRUE(after.bordered);

    // The game goes on where it was.
    EXPECT_EQ(g.form().GameState, game::gsPlay);
    EXPECT_EQ(g.form().TimeLeft, time_left);
    EXPECT_FALSE(g.window().TextInput());
  }
}

TEST(KeyCommands, FullScreenNeedsTheTimerRunningAndF8NeedsAlt) {
  Game g(Screen::Title);
  g.h.Tap(keys::F8);
  EXPECT_FALSE(g.FullScreen());

  g.form().DXTimer1->SetEnabled(false);
  g.h.Tap(keys::F8, /*alt=*/true);
  g.h.Tap(keys::F11);
  EXPECT_FALSE(g.FullScreen());
  EXPECT_FALSE(g.form().DXTimer1->Enabled());
}

TEST(KeyCommands, AltF9OnTheTitleLeavesFullScreenFirst) {
  Game g(Screen::Title);
  g.h.Tap(keys::F11);
  ASSERT_TRUE(g.FullScreen());
  // The submission dialog opens in the window; the player closes it.
  testing_support::FormDriver driver(g.h.platform);
  bool full_screen_under_dialog = true;
  driver.Then([&] {
    if (!ranking::Form2 || g.h.application->ModalForm() != ranking::Form2) return false;
    full_screen_under_dialog = g.FullScreen();
    driver.CloseBox(*ranking::Form2);
    return true;
  });
  g.h.Tap(keys::F9, /*alt=*/true);
  EXPECT_TRUE(driver.Done());
  EXPECT_FALSE(full_screen_under_dialog);
  EXPECT_FALSE(g.FullScreen());
  EXPECT_EQ(g.form().GameState, game::gsTitle);
  EXPECT_TRUE(g.form().DXTimer1->Enabled());

  // Anywhere else it does nothing.
  Game p(Screen::Play);
  p.h.Tap(keys::F11);
  p.h.Tap(keys::F9, /*alt=*/true);
  EXPECT_TRUE(p.FullScreen());
}

}  // namespace
