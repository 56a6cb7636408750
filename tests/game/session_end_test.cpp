// The end of the session, where the system ends the program without waiting for it to quit
// (Windows' log-off): the table must be on disk before the program answers.
#include <gtest/gtest.h>

#include "game/hiscore.h"
#include "support/harness.h"

namespace {

using testing_support::GameHarness;
using testing_support::ReadFile;
using testing_support::ScopedTempDir;

TEST(SessionEnd, TheTableIsOnDiskBeforeTheProgramAnswers) {
  ScopedTempDir dir;
  GameHarness h;
  h.Start();
  h.Frames(3);
  h.form->HighScores.HiScores[1] = 4321;
  h.form->StoredCheckValue = game::CheckValueOf(4321);
  h.form->PlayerName = "player";
  EXPECT_FALSE(std::filesystem::exists(dir.Path() / "hisc.dat"));

  h.platform.EndSession();
  game::HiscData saved;
  ASSERT_TRUE(game::ParseHiscFile(ReadFile(dir.Path() / "hisc.dat"), saved));
  EXPECT_EQ(saved.table.HiScores[1], 4321);
  EXPECT_EQ(saved.StoredCheckValue, game::CheckValueOf(4321));
  EXPECT_EQ(saved.PlayerName, "player");

  // Should the system let it run after all, it goes on and saves again as it ends.
  h.form->HighScores.HiScores[1] = 5000;
  h.Frames(3);
  h.Stop();
  ASSERT_TRUE(game::ParseHiscFile(ReadFile(dir.Path() / "hisc.dat"), saved));
  EXPECT_EQ(saved.table.HiScores[1], 5000);
  // With the program gone, the end of the session reaches nothing.
  h.platform.EndSession();
}

}  // namespace
