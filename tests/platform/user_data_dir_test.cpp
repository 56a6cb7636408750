// The user's data directory that the desktop menu's start keeps hisc.dat in.
#include <stdlib.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "platform/files.h"
#include "support/harness.h"

namespace {

namespace fs = std::filesystem;

// Sets or unsets an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) {
      setenv(name, value->c_str(), 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(UserDataDirectory, FollowsXdgDataHomeOrTheHomeDirectoryAndCreatesItPrivate) {
  testing_support::ScopedTempDir dir;
  const fs::path root = dir.Path();
  struct Case {
    std::optional<std::string> xdg;
    fs::path expected;
  };
  const Case cases[] = {
      {std::nullopt, root / "home/.local/share/velkor"},
      {"", root / "home/.local/share/velkor"},
      {"relative/data", root / "home/.local/share/velkor"},  // only an absolute one counts
      {(root / "data").string(), root / "data/velkor"},
      {(root / "deep/er/data/").string(), root / "deep/er/data/velkor"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.xdg.value_or("(unset)"));
    fs::current_path(root);
    ScopedEnv home("HOME", (root / "home").string());
    ScopedEnv xdg("XDG_DATA_HOME", c.xdg);
    std::string where, error;
    ASSERT_TRUE(platform::EnterUserDataDirectory("velkor", where, error)) << error;
    EXPECT_TRUE(fs::equivalent(fs::current_path(), c.expected));
    EXPECT_TRUE(fs::equivalent(where, c.expected));
    struct stat st;
    ASSERT_EQ(stat(c.expected.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    // A second start finds it there.
    fs::current_path(root);
    EXPECT_TRUE(platform::EnterUserDataDirectory("velkor", where, error)) << error;
    EXPECT_TRUE(fs::equivalent(fs::current_path(), c.expected));
  }
}

TEST(UserDataDirectory, ReportsADirectoryItCannotMakeAndStaysWhereItWas) {
  testing_support::ScopedTempDir dir;
  testing_support::WriteFile(dir.Path() / "not-a-dir", "x");
  ScopedEnv xdg("XDG_DATA_HOME", (dir.Path() / "not-a-dir").string());
  std::string where, error;
  EXPECT_FALSE(platform::EnterUserDataDirectory("velkor", where, error));
  EXPECT_NE(error.find("not-a-dir"), std::string::npos) << error;
  EXPECT_TRUE(fs::equivalent(fs::current_path(), dir.Path()));
}

}  // namespace
