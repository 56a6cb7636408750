// The game's states and rules, run through the real main form and frame handler on the headless
// backend.
#include <gtest/gtest.h>

#include "app/sysutils.h"
#include "support/harness.h"

namespace {

using namespace game;
using testing_support::GameHarness;
using testing_support::ScopedTempDir;

class GameRulesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    h.platform.SetNow({2026, 12, 9, 23, 30, 0, 0});
    h.platform.SetRandomSeed(12345);
    h.Start();
  }
  TForm1& F() { return *h.form; }

  // Chooses the given arms for the current turn and lets go, as held keys would: the turn is
  // scored in the next frame.
  void Choose(std::initializer_list<int> arms) {
    for (int a : arms) F().ArmSelected[a] = true;
    F().SelectPhase = spHolding;
    h.Frame();
  }

  void StartGame() {
    F().GameState = gsGameStart;
    h.Frame();
    ASSERT_EQ(F().GameState, gsPlay);
  }

  ScopedTempDir dir;
  GameHarness h;
};

TEST_F(GameRulesTest, StartUpGoesThroughLogoToTitleWithTheJingles) {
  EXPECT_EQ(F().GameState, gsLogoStart);
  EXPECT_TRUE(F().DXTimer1->Enabled());
  EXPECT_EQ(F().HighScores.HiScores[10], 10);  // defaults filled at the display's initialisation

  h.Frame();
  EXPECT_EQ(F().GameState, gsLogo);
  EXPECT_EQ(F().LogoAngle, 240);
  EXPECT_EQ(F().TitleScatterCount, 10);

  // At 60 frames a second the angle falls by one per frame.
  h.Frames(240);
  EXPECT_EQ(F().LogoAngle, 0);
  EXPECT_EQ(F().PendingWave, 0);
  h.Frame();
  EXPECT_EQ(F().LogoAngle, -1);
  EXPECT_EQ(F().PendingWave, wvSoft);
  EXPECT_FALSE(F().LogoJinglePending);
  F().PendingWave = 0;  // as if played
  h.Frames(199);
  EXPECT_EQ(F().GameState, gsLogo);
  h.Frame();
  EXPECT_EQ(F().GameState, gsTitle);
  EXPECT_EQ(F().LogoAngle, 0);
  EXPECT_EQ(F().PendingWave, wvTitle);
}

TEST_F(GameRulesTest, LogoMovesByLagDivTenAndSkippingRequestsOnlyTheTitleJingle) {
  h.Frame();
  h.Frames(50, 9);  // below 10 ms a frame the logo stands still
  EXPECT_EQ(F().LogoAngle, 240);
  h.Frame(35);
  EXPECT_EQ(F().LogoAngle, 237);

  F().LogoAngle = -260;  // what Space does
  h.Frame();
  EXPECT_EQ(F().GameState, gsTitle);
  EXPECT_EQ(F().PendingWave, wvTitle);
}

TEST_F(GameRulesTest, TitleScatterCountFollowsTheFrameTime) {
  F().GameState = gsTitle;
  F().TitleScatterCount = 1;
  h.Frames(3, 34);
  EXPECT_EQ(F().TitleScatterCount, 4);
  h.Frames(6, 35);
  EXPECT_EQ(F().TitleScatterCount, -2);  // no lower bound
}

TEST_F(GameRulesTest, TitleScatterCountStopsAtItsBoundButStillShrinksOnSlowFrames) {
  F().GameState = gsTitle;
  F().TitleScatterCount = kTitleScatterLimit - 2;
  h.Frames(5, 16);
  EXPECT_EQ(F().TitleScatterCount, kTitleScatterLimit);
  h.Frames(3, 35);
  EXPECT_EQ(F().TitleScatterCount, kTitleScatterLimit - 3);
  h.Frames(6, 17);
  EXPECT_EQ(F().TitleScatterCount, kTitleScatterLimit);
}

TEST_F(GameRulesTest, ScoringOverATableOfCrosses) {
  struct Case {
    std::array<std::int32_t, 4> digits;  // up, down, left, right
    std::vector<int> chosen;
    std::int32_t score;
    std::int32_t wave;
  };
  const Case cases[] = {
      {{3, 7, 1, 1}, {armUp, armDown}, 10, wv10to29},
      {{1, 2, 3, 4}, {armUp, armDown, armLeft, armRight}, 20, wv10to29},
      {{9, 9, 2, 0}, {armUp, armDown, armLeft}, 30, wv30up},
      {{9, 8, 7, 6}, {armUp, armDown, armLeft, armRight}, 60, wv30up},
      {{5, 5, 1, 2}, {armUp, armDown}, 10, wv10to29},     // equal largest but sum a multiple of ten
      {{9, 3, 9, 1}, {armUp}, 1, wv1to9},                  // the single largest digit
      {{9, 3, 9, 1}, {armUp, armLeft}, 3, wv1to9},         // two largest
      {{7, 7, 7, 1}, {armUp, armDown, armLeft}, 7, wv1to9},
      {{6, 6, 6, 6}, {armUp, armDown, armLeft, armRight}, 15, wv10to29},
      {{9, 3, 8, 1}, {armLeft}, 0, wvMiss},                // smaller than the largest
      {{9, 3, 8, 1}, {armUp, armDown}, 0, wvMiss},         // a top digit with a smaller one
      {{0, 0, 5, 5}, {armUp, armDown}, 0, wvMiss},         // only zeros
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.digits) + " chosen " + ::testing::PrintToString(c.chosen));
    StartGame();
    F().ArmDigits = c.digits;
    F().TimeLeft = 30000;
    for (int a : c.chosen) F().ArmSelected[a] = true;
    F().SelectPhase = spHolding;
    h.Frame(17);
    EXPECT_EQ(F().TurnScore, c.score);
    EXPECT_EQ(F().TotalScore, c.score);
    EXPECT_EQ(F().PendingWave, c.wave);
    EXPECT_EQ(F().TurnText, c.score ? std::to_string(c.score) : "Miss");
    EXPECT_EQ(F().TimeLeft, 30000 - 17 - (c.score ? 0 : 5000));
    EXPECT_EQ(F().SelectPhase, spIdle);
    EXPECT_EQ(F().ArmSelected, (std::array<bool, 4>{}));  // a new turn
  }
}

TEST_F(GameRulesTest, AMissWithFiveSecondsLeftEndsTheGameInTheSameFrame) {
  StartGame();
  F().ArmDigits = {9, 1, 1, 1};
  F().TimeLeft = 5000;
  Choose({armDown});
  EXPECT_EQ(F().TimeLeft, 0);
  EXPECT_EQ(F().PlayPhase, ppGameOver);
  EXPECT_EQ(F().PendingWave, wvZavaOver);  // replaces the miss sound
}

TEST_F(GameRulesTest, AWholeGameEntersTheTableOnceAndSetsTheCheckValueForFirstPlace) {
  h.Frames(5);
  F().LogoAngle = -260;
  h.Frame();
  ASSERT_EQ(F().GameState, gsTitle);
  F().GameState = gsGameStart;  // Space on the title
  h.Frame();
  ASSERT_EQ(F().TimeLeft, 60000);
  ASSERT_EQ(F().TotalScore, 0);

  // Twenty turns of the best choice: all four when they sum to a multiple of ten, else the top.
  for (int turn = 0; turn < 20; ++turn) {
    auto d = F().ArmDigits;
    int sum = d[0] + d[1] + d[2] + d[3];
    if (sum % 10 == 0 && sum > 0) {
      Choose({armUp, armDown, armLeft, armRight});
    } else {
      int top = 0;
      for (int a = 1; a < 4; ++a)
        if (d[a] > d[top]) top = a;
      Choose({top});
    }
    ASSERT_GT(F().TurnScore, 0);
  }
  const std::int32_t total = F().TotalScore;
  ASSERT_GT(total, 20);
  for (int n = 1; n <= 10; ++n) F().HighScores.HiScores[n] = 11 - n;
  F().HighScores.HiScores[1] = total - 1;  // so that this game is the new best

  int frames = 0;
  while (F().PlayPhase == ppPlaying && frames++ < 4000) h.Frame();
  EXPECT_EQ(F().PlayPhase, ppGameOver);
  EXPECT_EQ(F().TimeLeft, 0);
  EXPECT_EQ(F().NewRank, 1);
  EXPECT_EQ(F().HighScores.HiScores[1], total);
  EXPECT_EQ(F().HighScores.HiDates[1], "26/12/09 23:30");
  EXPECT_EQ(F().StoredCheckValue, CheckValueOf(total));

  // Staying on the game-over screen never enters it again, and the clock stands.
  h.Frames(100);
  EXPECT_EQ(F().HighScores.HiScores[2], total - 1);
  EXPECT_EQ(F().HighScores.HiScores[3], 9);
  EXPECT_EQ(F().TimeLeft, 0);

  // A later game that only reaches second place leaves the check value for the best score.
  F().GameState = gsGameStart;
  h.Frame();
  F().TotalScore = total;  // equal to the best: second place
  F().TimeLeft = 1;
  h.Frame();
  EXPECT_EQ(F().NewRank, 2);
  EXPECT_EQ(F().StoredCheckValue, CheckValueOf(total));
}

TEST_F(GameRulesTest, AbandonedGameNeverReachesTheTable) {
  StartGame();
  F().TotalScore = 500;
  F().TimeLeft = 100;
  F().GameState = gsGameStart;  // what Alt+Space does, in any state
  h.Frame();
  EXPECT_EQ(F().TotalScore, 0);
  EXPECT_EQ(F().TimeLeft, 60000);
  for (int n = 1; n <= 10; ++n) EXPECT_EQ(F().HighScores.HiScores[n], (11 - n) * 10);
  EXPECT_EQ(F().NewRank, 0);
}

TEST_F(GameRulesTest, NewTurnDealsFromTheOneGenerator) {
  app::RandSeed = 777;
  F().NewTurn();
  auto dealt = F().ArmDigits;
  app::RandSeed = 777;
  for (int a = 0; a < 4; ++a) EXPECT_EQ(dealt[a], app::Random(10));
}

TEST_F(GameRulesTest, FramesDoNothingWhileTheDisplayIsNotReady) {
  h.Frame();
  ASSERT_EQ(F().GameState, gsLogo);
  F().DXDraw1->Finalize();  // the timer stops with it
  EXPECT_FALSE(F().DXTimer1->Enabled());
  F().DXTimer1->SetEnabled(true);
  h.Frames(10);
  EXPECT_EQ(F().LogoAngle, 240);
}

}  // namespace
