// The real program, started as a player starts it, under a virtual X server of the test's own.
#include <signal.h>

#include <gtest/gtest.h>

#include "support/harness.h"
#include "support/process.h"

namespace {

using namespace testing_support;
using namespace std::chrono_literals;

TEST(Program, OpensItsWindowAndSavesTheDefaultTableOnSigterm) {
  ScopedTempDir dir;
  VirtualX x;
  ChildProcess velkor;
  velkor.Start({VELKOR_BINARY}, {{"DISPLAY", x.Display()}, {"SDL_AUDIODRIVER", "dummy"}}, dir.Path().string(),
               (dir.Path() / "velkor.log").string());
  ASSERT_FALSE(x.WaitForWindow("^Velkor Ver 1.12$", 10s).empty()) << ReadFile(dir.Path() / "velkor.log");
  ASSERT_TRUE(velkor.Running());
  velkor.Signal(SIGTERM);
  auto status = velkor.Wait(10s);
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(*status, 0) << ReadFile(dir.Path() / "velkor.log");

  std::string expected;
  for (int n = 1; n <= 10; ++n) expected += std::to_string((11 - n) * 10) + "\r\n00/01/01 00:00\r\n";
  expected += "0\r\n\r\n";
  EXPECT_EQ(ReadFile(dir.Path() / "hisc.dat"), expected);
}

TEST(Program, EndsTheNormalWayOnSigintAndWhenTheWindowIsClosed) {
  ScopedTempDir dir;
  VirtualX x;
  for (const char* how : {"SIGINT", "close"}) {
    SCOPED_TRACE(how);
    std::filesystem::remove(dir.Path() / "hisc.dat");
    ChildProcess velkor;
    velkor.Start({VELKOR_BINARY}, {{"DISPLAY", x.Display()}, {"SDL_AUDIODRIVER", "dummy"}}, dir.Path().string());
    const std::string id = x.WaitForWindow("^Velkor Ver 1.12$", 10s);
    ASSERT_FALSE(id.empty());
    if (std::string(how) == "SIGINT") {
      velkor.Signal(SIGINT);
    } else {
      ASSERT_TRUE(RequestWindowClose(x.Display(), std::stoul(id)));
    }
    auto status = velkor.Wait(10s);
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(*status, 0);
    EXPECT_EQ(ReadFile(dir.Path() / "hisc.dat").substr(0, 21), "100\r\n00/01/01 00:00\r\n");
  }
}

}  // namespace
