// The whole-file calls the program keeps hisc.dat with, by the names it uses them with: plain
// file names relative to the current directory.
#include "platform/files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/harness.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::ScopedTempDir;
using testing_support::WriteFile;

// Only the named files are in the folder: no temporary file is left behind.
std::vector<std::string> Names(const fs::path& dir) {
  std::vector<std::string> out;
  for (const auto& entry : fs::directory_iterator(dir)) out.push_back(entry.path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

TEST(Files, ReplaceWritesANewFileAndReplacesAnOldOneByARelativeName) {
  ScopedTempDir dir;
  std::string error;
  ASSERT_TRUE(platform::ReplaceFileAtomically("hisc.dat", "first\r\n", error)) << error;
  EXPECT_EQ(ReadFile(dir.Path() / "hisc.dat"), "first\r\n");
  ASSERT_TRUE(platform::ReplaceFileAtomically("hisc.dat", "second, longer\r\n", error)) << error;
  EXPECT_EQ(ReadFile(dir.Path() / "hisc.dat"), "second, longer\r\n");
  ASSERT_TRUE(platform::ReplaceFileAtomically("hisc.dat", "", error)) << error;
  EXPECT_EQ(ReadFile(dir.Path() / "hisc.dat"), "");
  EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"hisc.dat"});

  auto read = platform::ReadWholeFile("hisc.dat", error);
  ASSERT_TRUE(read.has_value()) << error;
  EXPECT_EQ(*read, "");
}

TEST(Files, AFailedReplaceSaysWhyAndLeavesTheOldFile) {
  ScopedTempDir dir;
  fs::create_directory(dir.Path() / "taken");
  std::string error;
  // A folder cannot be replaced by a file.
  EXPECT_FALSE(platform::ReplaceFileAtomically("taken", "bytes", error));
  EXPECT_NE(error.find("taken"), std::string::npos) << error;
  EXPECT_TRUE(fs::is_directory(dir.Path() / "taken"));
  error.clear();
  EXPECT_FALSE(platform::ReplaceFileAtomically("no-such-folder/hisc.dat", "bytes", error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"taken"});
}

TEST(Files, ReadRenameAndNameTakenByRelativeNames) {
  ScopedTempDir dir;
  WriteFile(dir.Path() / "hisc.dat", std::string("a\0b", 3));
  fs::create_directory(dir.Path() / "folder");
  std::string error;

  auto read = platform::ReadWholeFile("hisc.dat", error);
  ASSERT_TRUE(read.has_value()) << error;
  EXPECT_EQ(*read, std::string("a\0b", 3));
  EXPECT_FALSE(platform::ReadWholeFile("missing.dat", error).has_value());
  EXPECT_NE(error.find("missing.dat"), std::string::npos) << error;
  error.clear();
  EXPECT_FALSE(platform::ReadWholeFile("folder", error).has_value());
  EXPECT_FALSE(error.empty());

  EXPECT_TRUE(platform::NameTaken("hisc.dat"));
  EXPECT_TRUE(platform::NameTaken("folder"));
  EXPECT_FALSE(platform::NameTaken("missing.dat"));

  WriteFile(dir.Path() / "hisc.dat.bak", "older");
  ASSERT_TRUE(platform::RenameFile("hisc.dat", "hisc.dat.bak", error)) << error;
  EXPECT_EQ(ReadFile(dir.Path() / "hisc.dat.bak"), std::string("a\0b", 3));
  EXPECT_FALSE(platform::NameTaken("hisc.dat"));
  EXPECT_FALSE(platform::RenameFile("missing.dat", "other.dat", error));
  EXPECT_FALSE(error.empty());
}

}  // namespace
