// The installed game as a desktop sees it: the files an install puts in place checked with the
// desktop's own tools, and the game started the way its menu entry starts it.
#include <signal.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/harness.h"
#include "packaging/install_support.h"
#include "support/process.h"

namespace {

namespace fs = std::filesystem;
using namespace testing_support;
using namespace std::chrono_literals;

constexpr int kIconSizes[] = {16, 32, 48, 64, 128, 256};

TEST(Install, PutsWhatADesktopChecksInPlace) {
  ScopedTempDir dir;
  const fs::path prefix = dir.Path() / "prefix";
  InstallComponent("game", prefix);
  EXPECT_TRUE(fs::is_regular_file(prefix / "games/velkor"));
  int status = -1;

  const fs::path entry = prefix / "share/applications/velkor.desktop";
  const std::string complaints = RunAndCaptureAll({"desktop-file-validate", entry.string()}, &status);
  EXPECT_EQ(status, 0) << complaints;
  EXPECT_EQ(complaints, "");
  EXPECT_EQ(DesktopEntryValue(entry, "Exec"), (prefix / "games/velkor").string() + " --xdg");
  EXPECT_EQ(DesktopEntryValue(entry, "Categories"), "Game;ArcadeGame;");

  const std::string validation = RunAndCaptureAll(
      {"appstreamcli", "validate", "--no-net", (prefix / "share/metainfo/org.velkor.Velkor.metainfo.xml").string()},
      &status);
  EXPECT_EQ(status, 0) << validation;

  for (int size : kIconSizes) {
    SCOPED_TRACE(size);
    const std::string n = std::to_string(size);
    const auto dims = PngSize(prefix / ("share/icons/hicolor/" + n + "x" + n + "/apps/velkor.png"));
    ASSERT_TRUE(dims.has_value());
    EXPECT_EQ(dims->first, size);
    EXPECT_EQ(dims->second, size);
  }
  EXPECT_NE(ReadFile(prefix / "share/icons/hicolor/scalable/apps/velkor.svg").find("<svg "), std::string::npos);

  // man's own warnings (groff's included) come out on stderr.
  const std::string page = (prefix / "share/man/man6/velkor.6").string();
  const std::string warnings = RunAndCaptureAll(
      {"sh", "-c", "LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l '" + page + "' 2>&1 >/dev/null"}, &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(warnings, "");
  const std::string text = RunAndCaptureAll({"sh", "-c", "LC_ALL=C.UTF-8 MANWIDTH=80 man -l '" + page + "'"}, &status);
  for (const char* part : {"KEYS", "FILES", "RANKING", "~/.local/share/velkor/", VELKOR_CONFIGURED_RANKING_HOST})
    EXPECT_NE(text.find(part), std::string::npos) << part;
}

TEST(Install, TheToolMakesTheCommittedIconsCrispAtTheSmallSizes) {
  ScopedTempDir dir;
  fs::create_directories(dir.Path() / "assets");
  fs::create_directories(dir.Path() / "icons");
  const std::string command =
      std::string(VELKOR_TOOLS_DIR) + "/make_icon " + (dir.Path() / "assets").string() + " " + (dir.Path() / "icons").string();
  ASSERT_EQ(std::system(command.c_str()), 0);
  const fs::path source = VELKOR_SOURCE_DIR;
  EXPECT_TRUE(ReadFile(dir.Path() / "assets/icon.rgba") == ReadFile(source / "assets/icon.rgba"));
  EXPECT_EQ(ReadFile(dir.Path() / "assets/icon.rgba").size(), 64u * 64u * 4u);
  for (int size : kIconSizes) {
    const std::string name = "velkor-" + std::to_string(size) + ".png";
    EXPECT_TRUE(ReadFile(dir.Path() / "icons" / name) == ReadFile(source / "packaging/icons" / name)) << name;
  }
  EXPECT_TRUE(ReadFile(dir.Path() / "icons/velkor.svg") == ReadFile(source / "packaging/icons/velkor.svg"));

  // Crisp: the window icon (an enlargement of the 32-pixel map) holds only the game's own
  // colours and the clear outside, no blend of two.
  const std::string rgba = ReadFile(dir.Path() / "assets/icon.rgba");
  const std::uint32_t allowed[] = {0x00000000, 0x000000ff, 0x80ff80ff, 0xffff00ff, 0xff0000ff};
  int held = 0;
  for (std::size_t i = 0; i + 4 <= rgba.size(); i += 4) {
    std::uint32_t px = 0;
    for (int k = 0; k < 4; ++k) px = px << 8 | static_cast<std::uint8_t>(rgba[i + k]);
    EXPECT_NE(std::find(std::begin(allowed), std::end(allowed), px), std::end(allowed)) << std::hex << px;
    held += px == 0xff0000ff;
  }
  EXPECT_GT(held, 0);  // the held arms are there
}

// Started by the menu entry's own command line, from some other directory, with a fresh HOME.
TEST(Install, TheMenuEntryStartsTheGameWithItsIconAndItsScoresInTheDataDirectory) {
  ScopedTempDir dir;
  const fs::path prefix = dir.Path() / "prefix";
  InstallComponent("game", prefix);
  ExpectMenuStart(prefix / "share/applications/velkor.desktop", "", dir.Path());
}

}  // namespace
