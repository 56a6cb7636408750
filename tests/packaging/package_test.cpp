// The Debian packages, built from this very build tree: checked by lintian, and the game's
// package unpacked into a root of its own and started the way its menu entry starts it.
#include <gtest/gtest.h>

#include <filesystem>

#include "packaging/install_support.h"
#include "support/harness.h"
#include "support/process.h"

namespace {

namespace fs = std::filesystem;
using namespace testing_support;

std::string Trimmed(std::string s) {
  while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
  return s;
}

TEST(Package, BuildsBothPackagesThatLintianPassesAndTheUnpackedGameRuns) {
#ifdef VELKOR_SANITIZED_BUILD
  GTEST_SKIP() << "packages are made from the plain build";
#endif
  ScopedTempDir dir;
  int status = -1;
  const fs::path out = dir.Path() / "debs";
  const std::string built = RunAndCaptureAll(
      {std::string(VELKOR_SOURCE_DIR) + "/scripts/build-debs.sh", VELKOR_BUILD_DIR, out.string()}, &status);
  ASSERT_EQ(status, 0) << built;
  const std::string arch = Trimmed(RunAndCaptureAll({"dpkg", "--print-architecture"}, &status));
  const fs::path game = out / ("velkor_1.12-1_" + arch + ".deb");
  const fs::path server = out / ("velkor-ranking_1.12-1_" + arch + ".deb");
  ASSERT_TRUE(fs::exists(game)) << built;
  ASSERT_TRUE(fs::exists(server)) << built;

  // Errors fail lintian; what warnings remain is shown with a failure.
  const std::string lint = RunAndCaptureAll({"lintian", "--fail-on", "error", game.string(), server.string()}, &status);
  EXPECT_EQ(status, 0) << lint;
  EXPECT_EQ(lint.find("\nE: "), std::string::npos) << lint;
  EXPECT_FALSE(lint.starts_with("E: ")) << lint;

  const std::string game_depends = RunAndCaptureAll({"dpkg-deb", "-f", game.string(), "Depends"}, &status);
  for (const char* dep : {"libsdl2-2.0-0", "libfontconfig1", "fonts-ipafont-gothic"})
    EXPECT_NE(game_depends.find(dep), std::string::npos) << dep << " in " << game_depends;
  const std::string server_depends = RunAndCaptureAll({"dpkg-deb", "-f", server.string(), "Depends"}, &status);
  EXPECT_NE(server_depends.find("libsqlite3-0"), std::string::npos) << server_depends;
  EXPECT_EQ(server_depends.find("libsdl2"), std::string::npos) << server_depends;

  const std::string files = RunAndCaptureAll({"dpkg-deb", "-c", game.string()}, &status);
  for (const char* file : {"./usr/games/velkor", "./usr/share/man/man6/velkor.6.gz",
                           "./usr/share/doc/velkor/changelog.Debian.gz", "./usr/share/doc/velkor/copyright",
                           "./usr/share/icons/hicolor/16x16/apps/velkor.png"})
    EXPECT_NE(files.find(std::string(file) + "\n"), std::string::npos) << file;

  const fs::path root = dir.Path() / "root";
  const std::string unpacked = RunAndCaptureAll({"dpkg-deb", "-x", game.string(), root.string()}, &status);
  ASSERT_EQ(status, 0) << unpacked;
  const fs::path entry = root / "usr/share/applications/velkor.desktop";
  EXPECT_EQ(DesktopEntryValue(entry, "Exec"), "/usr/games/velkor --xdg");
  ExpectMenuStart(entry, root, dir.Path());
}

}  // namespace
