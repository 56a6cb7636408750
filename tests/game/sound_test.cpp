// The game's sounds as a player hears them: a scripted game on the headless backend, whose sound
// device records every start.
#include <gtest/gtest.h>

#include "app/sysutils.h"
#include "platform/headless/headless_audio.h"
#include "support/harness.h"

namespace {

using namespace game;
using testing_support::GameHarness;
using testing_support::ScopedTempDir;

enum Item { kTitle, kSoft, kZavaOver, k1to9, k10to29, k30up, kMiss };

class GameSoundTest : public ::testing::Test {
 protected:
  void SetUp() override {
    h.platform.SetNow({2026, 12, 9, 23, 30, 0, 0});
    h.platform.SetRandomSeed(777);
    h.application->ShowExceptionHandler = [this](const std::string& m) { reported.push_back(m); };
  }
  TForm1& F() { return *h.form; }

  // Runs one frame and returns the waves that started in it.
  std::vector<int> Frame() {
    const std::size_t before = h.SoundStarts().size();
    h.Frame();
    std::vector<int> all = h.SoundStarts();
    return {all.begin() + static_cast<std::ptrdiff_t>(before), all.end()};
  }

  // Deals the digits, chooses the arms and lets go: the turn is scored in this frame and its
  // sound starts in the next.
  std::vector<int> Turn(std::array<std::int32_t, 4> digits, std::initializer_list<int> arms) {
    F().ArmDigits = digits;
    for (int a : arms) F().ArmSelected[a] = true;
    F().SelectPhase = spHolding;
    EXPECT_TRUE(Frame().empty()) << "nothing starts in the frame that scores";
    return Frame();
  }

  ScopedTempDir dir;
  GameHarness h;
  std::vector<std::string> reported;
};

TEST_F(GameSoundTest, AScriptedGameSoundsEachEventInTheFrameAfterIt) {
  h.Start();
  ASSERT_TRUE(F().DXSound1->Initialized());

  // The maker chime in the frame after the logo angle first falls below 0, once.
  int frame = 0;
  std::vector<std::pair<int, int>> heard;  // (frame, item)
  int first_below_zero = -1;
  while (F().GameState != gsTitle && frame < 1000) {
    for (int item : Frame()) heard.push_back({frame, item});
    if (first_below_zero < 0 && F().GameState == gsLogo && F().LogoAngle < 0) first_below_zero = frame;
    ++frame;
  }
  ASSERT_EQ(F().GameState, gsTitle);
  const int title_frame = frame - 1;
  for (int item : Frame()) heard.push_back({frame, item});
  ASSERT_EQ(heard.size(), 2u);
  EXPECT_EQ(heard[0], std::make_pair(first_below_zero + 1, int(kSoft)));
  EXPECT_EQ(heard[1], std::make_pair(title_frame + 1, int(kTitle)));

  // A game: each scored turn sounds by its score, a miss sounds "miss".
  h.KeyDown(VK_SPACE);
  EXPECT_TRUE(Frame().empty());
  ASSERT_EQ(F().GameState, gsPlay);
  struct Case {
    std::array<std::int32_t, 4> digits;
    std::initializer_list<int> arms;
    int item;
  };
  const Case turns[] = {
      {{9, 1, 5, 2}, {armUp}, k1to9},                    // the single largest digit: 1
      {{3, 7, 0, 0}, {armUp, armDown}, k10to29},          // 10
      {{1, 2, 3, 4}, {armUp, armDown, armLeft, armRight}, k10to29},  // 20
      {{9, 9, 2, 0}, {armUp, armDown, armLeft}, k30up},   // 30
      {{9, 8, 7, 6}, {armUp, armDown, armLeft, armRight}, k30up},    // 60
      {{5, 8, 1, 1}, {armUp}, kMiss},
      {{0, 0, 4, 4}, {armUp}, kMiss},                     // zeros only: 0
  };
  for (const Case& t : turns) EXPECT_EQ(Turn(t.digits, t.arms), std::vector<int>{t.item}) << F().TurnText;

  // "10-29" again and again: finished copies are taken first, and a play while every copy still
  // sounds gets a new one; they all sound together.
  media::TWaveCollectionItem* bright = F().DXWaveList1->Items().Items(k10to29);
  ASSERT_EQ(bright->BufferCopyCount(), 2) << "the turns of 10 and 20 overlapped";
  h.platform.AdvanceMilliseconds(1000);  // everything earlier has ended
  Turn({3, 7, 0, 0}, {armUp, armDown});
  Turn({3, 7, 0, 0}, {armUp, armDown});
  EXPECT_EQ(bright->BufferCopyCount(), 2) << "both finished copies reused";
  Turn({3, 7, 0, 0}, {armUp, armDown});
  ASSERT_EQ(bright->BufferCopyCount(), 3);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(bright->BufferCopy(i)->Playing()) << i;

  // Time runs out in the frame of a miss: the game-over phrase replaces the miss sound.
  F().TimeLeft = 3000;
  EXPECT_EQ(Turn({5, 8, 1, 1}, {armUp}), std::vector<int>{kZavaOver});
  EXPECT_EQ(F().PlayPhase, ppGameOver);
  for (int i = 0; i < 30; ++i) EXPECT_TRUE(Frame().empty()) << "the game-over screen is silent";
  EXPECT_TRUE(reported.empty());
}

TEST_F(GameSoundTest, WithoutASoundDeviceTheGameRunsSilentlyAndSaysNothing) {
  h.platform.SetAudioAvailable(false);
  h.Start();
  EXPECT_FALSE(F().DXSound1->Initialized());
  EXPECT_EQ(h.platform.Audio(), nullptr);
  h.Frames(300);
  EXPECT_EQ(F().PendingWave, wvSoft) << "kept while there is no sound";
  h.Frames(200);
  EXPECT_EQ(F().GameState, gsTitle);
  EXPECT_EQ(F().PendingWave, wvTitle);
  h.KeyDown(VK_SPACE);
  h.Frames(60 * 60 + 2);
  EXPECT_EQ(F().PlayPhase, ppGameOver) << "frames went on through a whole game";
  EXPECT_EQ(F().PendingWave, wvZavaOver);
  EXPECT_TRUE(reported.empty());
}

}  // namespace
