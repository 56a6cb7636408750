// The game played with gamepads on the headless backend: the two commands, the arms, pads
// coming and going, and what a pad must never do.
#include <gtest/gtest.h>

#include "ranking/unit2.h"
#include "support/form_driver.h"
#include "support/harness.h"

namespace {

using game::TGameState;
using platform::PadButton;
using testing_support::GameHarness;
using testing_support::ScopedTempDir;
namespace keys = platform::keys;

enum class Screen { Logo, Title, Ranking, Play, GameOver };

const char* NameOf(Screen s) {
  switch (s) {
    case Screen::Logo: return "Logo";
    case Screen::Title: return "Title";
    case Screen::Ranking: return "Ranking";
    case Screen::Play: return "Play";
    case Screen::GameOver: return "GameOver";
  }
  return "?";
}

constexpr Screen kAllScreens[] = {Screen::Logo, Screen::Title, Screen::Ranking, Screen::Play, Screen::GameOver};

constexpr PadButton kArmButtons[] = {PadButton::FaceUp,   PadButton::FaceDown, PadButton::FaceLeft,
                                     PadButton::FaceRight, PadButton::DpadUp,  PadButton::DpadDown,
                                     PadButton::DpadLeft,  PadButton::DpadRight};

// A started game with one pad plugged in, brought to a screen with the keyboard.
struct Game {
  explicit Game(Screen screen) {
    pad = h.gamepads().Plug();
    h.Start();
    h.Frame();
    if (screen == Screen::Logo) return;
    h.Tap(keys::Space);
    h.Frame();
    if (screen == Screen::Title) return;
    if (screen == Screen::Ranking) {
      h.Tap(keys::Enter);
      return;
    }
    h.Tap(keys::Space);
    h.Frame();
    if (screen == Screen::Play) return;
    form().TimeLeft = 1;
    h.Frame();
  }

  void PadTap(PadButton button) {
    h.PadPress(pad, button);
    h.PadRelease(pad, button);
  }
  game::TForm1& form() { return *h.form; }
  bool FullScreen() { return (form().DXDraw1->Options() & media::Opt(media::doFullScreen)) != 0; }
  media::TDXInputStates Update() {
    form().DXInput1->Update();
    return form().DXInput1->States;
  }

  ScopedTempDir dir;
  GameHarness h;
  int pad = 0;
};

media::TDXInputStates SetOf(std::initializer_list<media::TDXInputState> states) {
  media::TDXInputStates set;
  for (media::TDXInputState s : states) set.Include(s);
  return set;
}

TEST(GamepadCommands, StartDoesWhatSpaceDoesAndBackWhatEnterDoes) {
  struct Case {
    Screen screen;
    PadButton button;
    TGameState after_press, after_frame;
  };
  const Case cases[] = {
      {Screen::Logo, PadButton::Start, game::gsLogo, game::gsTitle},
      {Screen::Title, PadButton::Start, game::gsGameStart, game::gsPlay},
      {Screen::Ranking, PadButton::Start, game::gsRanking, game::gsRanking},
      {Screen::Play, PadButton::Start, game::gsPlay, game::gsPlay},
      {Screen::GameOver, PadButton::Start, game::gsPlay, game::gsPlay},
      {Screen::Logo, PadButton::Back, game::gsLogo, game::gsLogo},
      {Screen::Title, PadButton::Back, game::gsRanking, game::gsRanking},
      {Screen::Ranking, PadButton::Back, game::gsTitle, game::gsTitle},
      {Screen::Play, PadButton::Back, game::gsPlay, game::gsPlay},
      {Screen::GameOver, PadButton::Back, game::gsLogoStart, game::gsLogo},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(NameOf(c.screen)) + (c.button == PadButton::Start ? " Start" : " Back"));
    Game by_pad(c.screen), by_key(c.screen);
    by_pad.PadTap(c.button);
    by_key.h.Tap(c.button == PadButton::Start ? keys::Space : keys::Enter);
    EXPECT_EQ(by_pad.form().GameState, c.after_press);
    EXPECT_EQ(by_pad.form().LogoAngle, by_key.form().LogoAngle);
    by_pad.h.Frame();
    by_key.h.Frame();
    EXPECT_EQ(by_pad.form().GameState, c.after_frame);
    EXPECT_EQ(by_key.form().GameState, c.after_frame);
    EXPECT_EQ(by_pad.form().PlayPhase, by_key.form().PlayPhase);
  }
}

TEST(GamepadCommands, TheArmButtonsCommandNothingAndNothingOnAPadQuits) {
  for (Screen screen : kAllScreens) {
    SCOPED_TRACE(NameOf(screen));
    Game g(screen);
    const TGameState state = g.form().GameState;
    for (PadButton button : kArmButtons) g.PadTap(button);
    EXPECT_EQ(g.form().GameState, state);
    EXPECT_FALSE(g.h.application->Terminated());
    EXPECT_FALSE(g.FullScreen());
    EXPECT_FALSE(g.form().ShowFrameRate);
    g.h.Frame();
    EXPECT_EQ(g.form().GameState, state);
  }
}

TEST(GamepadArms, FaceButtonsAndTheDpadGiveTheDirectionStates) {
  struct Case {
    PadButton button;
    media::TDXInputState state;
  };
  const Case cases[] = {
      {PadButton::FaceUp, media::isUp},       {PadButton::FaceDown, media::isDown},
      {PadButton::FaceLeft, media::isLeft},   {PadButton::FaceRight, media::isRight},
      {PadButton::DpadUp, media::isUp},       {PadButton::DpadDown, media::isDown},
      {PadButton::DpadLeft, media::isLeft},   {PadButton::DpadRight, media::isRight},
  };
  Game g(Screen::Play);
  for (const Case& c : cases) {
    g.h.PadPress(g.pad, c.button);
    EXPECT_EQ(g.Update(), SetOf({c.state})) << int(c.button);
    g.h.PadRelease(g.pad, c.button);
    EXPECT_TRUE(g.Update().Empty()) << int(c.button);
  }
  // Start and Back are commands only.
  g.h.PadPress(g.pad, PadButton::Start);
  g.h.PadPress(g.pad, PadButton::Back);
  EXPECT_TRUE(g.Update().Empty());
}

TEST(GamepadArms, PadsAndKeysMergeIntoTheSameStates) {
  Game g(Screen::Play);
  const int second = g.h.gamepads().Plug();
  g.h.PadPress(g.pad, PadButton::FaceUp);
  g.h.PadPress(second, PadButton::DpadRight);
  g.h.Press(keys::Left);
  EXPECT_EQ(g.Update(), SetOf({media::isUp, media::isRight, media::isLeft}));
  // The up arm stays chosen while either source holds it.
  g.h.Press(keys::Up);
  g.h.PadRelease(g.pad, PadButton::FaceUp);
  EXPECT_EQ(g.Update(), SetOf({media::isUp, media::isRight, media::isLeft}));
  g.h.Release(keys::Up);
  g.h.Release(keys::Left);
  EXPECT_EQ(g.Update(), SetOf({media::isRight}));
}

TEST(GamepadArms, AChoiceMadeOnAPadScoresAsTheSameKeys) {
  struct Case {
    std::array<std::int32_t, 4> digits;
    std::vector<PadButton> buttons;
    std::vector<platform::KeyCode> keys;
  };
  const Case cases[] = {
      {{2, 3, 5, 9}, {PadButton::FaceUp, PadButton::DpadDown, PadButton::FaceLeft}, {keys::Up, keys::Down, keys::Left}},
      {{1, 2, 4, 9}, {PadButton::DpadUp, PadButton::FaceDown, PadButton::DpadLeft}, {keys::I, keys::K, keys::J}},
      {{9, 1, 1, 9}, {PadButton::FaceUp, PadButton::FaceRight}, {keys::Numpad8, keys::Numpad6}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.digits[0] * 1000 + c.digits[1] * 100 + c.digits[2] * 10 + c.digits[3]);
    Game by_pad(Screen::Play), by_key(Screen::Play);
    for (Game* g : {&by_pad, &by_key}) {
      g->form().ArmDigits = c.digits;
      g->h.Frame();
    }
    // Held one after another, over several frames, and let go one by one.
    for (std::size_t i = 0; i < c.buttons.size(); ++i) {
      by_pad.h.PadPress(by_pad.pad, c.buttons[i]);
      by_key.h.Press(c.keys[i]);
      by_pad.h.Frame();
      by_key.h.Frame();
    }
    for (std::size_t i = 0; i < c.buttons.size(); ++i) {
      EXPECT_EQ(by_pad.form().TotalScore, 0);
      EXPECT_EQ(by_pad.form().SelectPhase, game::spHolding);
      by_pad.h.PadRelease(by_pad.pad, c.buttons[i]);
      by_key.h.Release(c.keys[i]);
      by_pad.h.Frame();
      by_key.h.Frame();
    }
    EXPECT_EQ(by_pad.form().SelectPhase, game::spIdle);
    EXPECT_EQ(by_pad.form().TurnText, by_key.form().TurnText);
    EXPECT_EQ(by_pad.form().TotalScore, by_key.form().TotalScore);
    EXPECT_EQ(by_pad.form().TimeLeft, by_key.form().TimeLeft);
    EXPECT_EQ(by_pad.form().PendingWave, by_key.form().PendingWave);
  }
}

TEST(GamepadPlugging, AnUnpluggedPadLetsGoAndTheGameGoesOn) {
  Game g(Screen::Play);
  g.form().ArmDigits = {4, 1, 2, 6};
  g.h.PadPress(g.pad, PadButton::FaceUp);
  g.h.PadPress(g.pad, PadButton::FaceRight);
  g.h.Frame();
  ASSERT_EQ(g.form().SelectPhase, game::spHolding);
  const std::int32_t time_left = g.form().TimeLeft;

  g.h.gamepads().Unplug(g.pad);
  g.h.Frame();
  EXPECT_EQ(g.form().TurnText, "10");  // 4 + 6
  EXPECT_EQ(g.form().TotalScore, 10);
  EXPECT_EQ(g.form().GameState, game::gsPlay);
  EXPECT_EQ(g.form().PlayPhase, game::ppPlaying);
  EXPECT_EQ(g.form().TimeLeft, time_left - 17);
  EXPECT_TRUE(g.form().DXTimer1->Enabled());

  // A pad plugged in during the game plays on at once.
  const int next = g.h.gamepads().Plug();
  g.form().ArmDigits = {4, 3, 7, 1};
  g.h.PadPress(next, PadButton::DpadDown);
  g.h.PadPress(next, PadButton::FaceLeft);
  g.h.Frame();
  g.h.PadRelease(next, PadButton::DpadDown);
  g.h.PadRelease(next, PadButton::FaceLeft);
  g.h.Frame();
  EXPECT_EQ(g.form().TurnText, "10");  // 3 + 7
  EXPECT_EQ(g.form().TotalScore, 20);
}

TEST(GamepadFocus, APadCountsOnlyWhileTheGameIsInFront) {
  Game g(Screen::Title);
  g.h.PadPress(g.pad, PadButton::FaceUp);
  g.h.platform.FocusElsewhere();
  g.h.application->ProcessMessages();
  EXPECT_TRUE(g.Update().Empty());
  g.PadTap(PadButton::Back);
  EXPECT_EQ(g.form().GameState, game::gsTitle);

  g.h.platform.Focus(g.form().Handle().Id());
  g.h.application->ProcessMessages();
  EXPECT_EQ(g.Update(), SetOf({media::isUp}));
  g.PadTap(PadButton::Back);
  EXPECT_EQ(g.form().GameState, game::gsRanking);
}

TEST(GamepadFocus, APadNeverWorksTheSubmissionDialog) {
  Game g(Screen::Title);
  testing_support::FormDriver driver(g.h.platform);
  std::string name_before, name_after;
  bool still_open = false;
  driver.Then([&] {
    if (!ranking::Form2 || g.h.application->ModalForm() != ranking::Form2) return false;
    name_before = ranking::Form2->Edit1->Text();
    for (PadButton b : {PadButton::Start, PadButton::Back, PadButton::FaceDown, PadButton::FaceRight}) {
      g.h.gamepads().Press(g.pad, b);
      g.h.gamepads().Release(g.pad, b);
    }
    return true;
  });
  driver.Then([&] {
    still_open = ranking::Form2 && g.h.application->ModalForm() == ranking::Form2;
    if (still_open) name_after = ranking::Form2->Edit1->Text();
    driver.CloseBox(*ranking::Form2);
    return true;
  });
  g.h.Tap(keys::F9);
  EXPECT_TRUE(driver.Done());
  EXPECT_TRUE(still_open);
  EXPECT_EQ(name_after, name_before);
  EXPECT_EQ(g.form().GameState, game::gsTitle);

  // Closed, the pad works the game again.
  g.PadTap(PadButton::Start);
  EXPECT_EQ(g.form().GameState, game::gsGameStart);
}

}  // namespace
