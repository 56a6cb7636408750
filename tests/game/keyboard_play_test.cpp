// Playing turns with held keys, frame by frame.
#include <gtest/gtest.h>

#include "support/harness.h"

namespace {

using testing_support::GameHarness;
using testing_support::ScopedTempDir;
namespace keys = platform::keys;

class KeyboardPlay : public ::testing::Test {
 protected:
  void SetUp() override {
    h.Start();
    h.Frame();
    h.Tap(keys::Space);  // skip the logo
    h.Frame();
    h.Tap(keys::Space);  // start a game
    h.Frame();
    ASSERT_EQ(form().GameState, game::gsPlay);
    form().ArmDigits = {3, 1, 7, 2};  // up, down, left, right
  }

  game::TForm1& form() { return *h.form; }
  bool TurnScored() const { return !h.form->TurnText.empty(); }

  ScopedTempDir dir;
  GameHarness h;
};

TEST_F(KeyboardPlay, ChosenArmsStayChosenUntilEveryKeyIsLetGo) {
  h.Press(keys::Up);
  h.Frame();
  h.Press(keys::Numpad4);
  h.Release(keys::Up);
  h.Frame();
  EXPECT_EQ(form().ArmSelected, (std::array<bool, 4>{true, false, true, false}));
  EXPECT_EQ(form().SelectPhase, game::spHolding);
  EXPECT_FALSE(TurnScored());

  h.Release(keys::Numpad4);
  h.Frame();
  // 3 + 7 = 10 from two arms: 10 * 2 / 2.
  EXPECT_EQ(form().TurnText, "10");
  EXPECT_EQ(form().TotalScore, 10);
  EXPECT_EQ(form().SelectPhase, game::spIdle);
  EXPECT_EQ(form().ArmSelected, (std::array<bool, 4>{}));
}

TEST_F(KeyboardPlay, AHeldButtonDelaysTheScoring) {
  for (platform::KeyCode button : {keys::Enter, keys::X, keys::F2}) {
    form().ArmDigits = {3, 1, 7, 2};
    const std::int32_t total = form().TotalScore;
    h.Press(keys::L);  // right: 2
    h.Frame();
    h.Press(button);
    h.Release(keys::L);
    h.Frames(3);
    EXPECT_EQ(form().SelectPhase, game::spHolding);
    EXPECT_EQ(form().TotalScore, total);

    const std::int32_t time_left = form().TimeLeft;
    h.Release(button);
    h.Frame();
    // 2 is not the largest digit: a miss costs five seconds.
    EXPECT_EQ(form().TurnText, "Miss");
    EXPECT_EQ(form().TimeLeft, time_left - 5000 - 17);
    EXPECT_EQ(form().SelectPhase, game::spIdle);
  }
}

TEST_F(KeyboardPlay, AKeyPressedAndReleasedBetweenTwoFramesIsNeverSeen) {
  h.Press(keys::Up);
  h.Release(keys::Left);
  h.Release(keys::Up);
  h.Frames(2);
  EXPECT_EQ(form().ArmSelected, (std::array<bool, 4>{}));
  EXPECT_EQ(form().SelectPhase, game::spIdle);
  EXPECT_FALSE(TurnScored());
}

TEST_F(KeyboardPlay, KeysHeldWhileTheWindowIsBehindAnotherDoNotChoose) {
  h.platform.FocusElsewhere();
  h.application->ProcessMessages();
  h.Press(keys::Up);  // typed into the other program
  h.Frames(2);        // the frame timer stands while the program is in the background
  EXPECT_EQ(form().ArmSelected, (std::array<bool, 4>{}));

  h.Release(keys::Up);
  h.platform.Focus(form().Handle().Id());
  h.Frame();
  EXPECT_EQ(form().ArmSelected, (std::array<bool, 4>{}));
  h.Press(keys::Down);
  h.Frame();
  EXPECT_EQ(form().ArmSelected, (std::array<bool, 4>{false, true, false, false}));
}

}  // namespace
