// The real program started where there is no desktop at all (a terminal over SSH, a service).
#include <gtest/gtest.h>

#include "support/harness.h"
#include "support/process.h"

namespace {

using namespace testing_support;
using namespace std::chrono_literals;

TEST(NoDesktop, SaysItNeedsOneAndEndsWithoutTouchingTheTable) {
  ScopedTempDir dir;
  // A table that differs from the defaults, so that a save at exit would show.
  std::string table;
  for (int n = 1; n <= 10; ++n) table += std::to_string(1000 - n) + "\r\n26/12/10 10:0" + std::to_string(n % 10) + "\r\n";
  table += "12345\r\nplayer\r\n";
  WriteFile(dir.Path() / "hisc.dat", table);

  // Nothing of the caller's environment: no DISPLAY, no WAYLAND_DISPLAY, no chosen video driver.
  ChildProcess velkor;
  velkor.Start({"env", "-i", "HOME=" + dir.Path().string(), "PATH=/usr/bin:/bin", "SDL_AUDIODRIVER=dummy",
                VELKOR_BINARY},
               {}, dir.Path().string(), (dir.Path() / "velkor.log").string());
  const std::optional<int> status = velkor.Wait(15s);
  ASSERT_TRUE(status.has_value()) << "still running without a desktop\n" << ReadFile(dir.Path() / "velkor.log");
  EXPECT_EQ(*status, 1);
  EXPECT_EQ(ReadFile(dir.Path() / "velkor.log"),
            "velkor: needs a graphical desktop, but neither DISPLAY nor WAYLAND_DISPLAY is set\n");
  EXPECT_EQ(ReadFile(dir.Path() / "hisc.dat"), table);
}

}  // namespace
