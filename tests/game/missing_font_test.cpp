// The real program on a desktop without any usable font: it still runs its screens and says,
// once, which package to install.
#include <signal.h>

#include <gtest/gtest.h>

#include <fstream>

#include "support/harness.h"
#include "support/process.h"

namespace {

using namespace testing_support;
using namespace std::chrono_literals;

int Occurrences(const std::string& text, const std::string& word) {
  int n = 0;
  for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++n;
  return n;
}

TEST(MissingFont, ProgramRunsAndNamesThePackageOnce) {
  ScopedTempDir dir;
  const std::string conf = (dir.Path() / "fonts.conf").string();
  std::ofstream(conf) << "<?xml version=\"1.0\"?>\n<fontconfig><cachedir>" << (dir.Path() / "cache").string()
                      << "</cachedir></fontconfig>\n";
  VirtualX x;
  ChildProcess velkor;
  const std::string log = (dir.Path() / "velkor.log").string();
  const std::map<std::string, std::string> env = {
      {"DISPLAY", x.Display()}, {"SDL_AUDIODRIVER", "dummy"}, {"FONTCONFIG_FILE", conf}};
  velkor.Start({VELKOR_BINARY}, env, dir.Path().string(), log);
  const std::string id = x.WaitForWindow("^Velkor Ver 1.12$", 10s);
  ASSERT_FALSE(id.empty()) << ReadFile(log);
  // Through the title (text every frame) to the ranking and back.
  for (const char* key : {"space", "Return", "Return"}) {
    x.Xdotool({"key", "--window", id, key});
    struct timespec pause{0, 300 * 1000 * 1000};
    nanosleep(&pause, nullptr);
  }
  // The title's first frame looks for the face (a slow build may take a while to get there).
  const std::string advice = "Install the Debian package fonts-ipafont-gothic";
  EXPECT_TRUE(WaitUntil([&] { return Occurrences(ReadFile(log), advice) > 0; }, 20s)) << ReadFile(log);
  ASSERT_TRUE(velkor.Running()) << ReadFile(log);
  velkor.Signal(SIGTERM);
  auto status = velkor.Wait(10s);
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(*status, 0) << ReadFile(log);
  EXPECT_EQ(Occurrences(ReadFile(log), advice), 1) << ReadFile(log);
}

}  // namespace
