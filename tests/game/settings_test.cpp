// The settings file beside hisc.dat: written by hand, often in Notepad, so read leniently, and
// every line it cannot use reported rather than taken.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "game/settings.h"
#include "support/harness.h"

namespace {

TEST(Settings, ReadsTheRankingHostFromTheLinesAPlayerWrites) {
  struct Case {
    const char* what;
    std::string text;
    std::optional<std::string> ranking;
    std::vector<std::string> notes;
  };
  const Case cases[] = {
      {"empty", "", std::nullopt, {}},
      {"one line", "ranking=a.test\n", "a.test", {}},
      {"Notepad: byte-order mark, CR LF, comments, a section, blanks, a name in capitals",
       "\xEF\xBB\xBF# our club\r\n; the server in the club room\r\n\r\n[velkor]\r\n"
       "  Ranking =  club.example.org:8080  \r\n",
       "club.example.org:8080",
       {}},
      {"CR line ends", "# x\rranking=a.test\r", "a.test", {}},
      {"no line end at the end", "ranking = a.test", "a.test", {}},
      {"a comment after the value", "ranking = a.test:081\t; the club's\n", "a.test:81", {}},
      {"the last good line counts", "ranking=a.test\nranking=b.test\n", "b.test", {}},
      {"an unknown name is reported, the rest still applies",
       "volume=3\nranking=a.test\n",
       "a.test",
       {"velkor.ini line 1: unknown setting 'volume'; ignored"}},
      {"a bad value is reported and not used",
       "ranking = http://a.test/\n",
       std::nullopt,
       {"velkor.ini line 1: ranking 'http://a.test/' is not used: give the host alone (host or host:port), without a "
        "scheme such as http://"}},
      {"a bad value after a good one keeps the good one",
       "ranking=a.test\r\nranking=a.test:99999\r\n",
       "a.test",
       {"velkor.ini line 2: ranking 'a.test:99999' is not used: the port must be a number from 1 to 65535"}},
      {"an empty value", "ranking=\n", std::nullopt, {"velkor.ini line 1: ranking '' is not used: no host given"}},
      {"a line without =",
       "\n\nranking a.test\n",
       std::nullopt,
       {"velkor.ini line 3: 'ranking a.test' is not a 'name = value' line; ignored"}},
      {"stray bytes are shown, not copied to the terminal",
       "r\xE9nking=a.test\nranking=\x1B[2Jx\n",
       std::nullopt,
       {"velkor.ini line 1: unknown setting 'r\\xE9nking'; ignored",
        "velkor.ini line 2: ranking '\\x1B[2Jx' is not used: a host has no spaces or control characters"}},
      {"UTF-16, as Notepad's \"Unicode\" saves",
       std::string("\xFF\xFEr\0a\0n\0", 8),
       std::nullopt,
       {"velkor.ini is saved as UTF-16 and is ignored: save it as UTF-8 or ANSI"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const game::Settings s = game::ParseSettings(c.text);
    EXPECT_EQ(s.ranking_host, c.ranking);
    EXPECT_EQ(s.notes, c.notes);
  }
}

// The file is read from the current directory, where hisc.dat is kept; what cannot be a
// settings file is reported and nothing is taken from it.
TEST(Settings, TheFileBesideHiscDatIsReadAndWhatIsNoFileIsReported) {
  testing_support::ScopedTempDir dir;
  game::Settings s = game::ReadSettingsFile();
  EXPECT_FALSE(s.ranking_host);
  EXPECT_TRUE(s.notes.empty());

  testing_support::WriteFile(dir.Path() / "velkor.ini", "ranking = 127.0.0.1:8080\n");
  s = game::ReadSettingsFile();
  EXPECT_EQ(s.ranking_host, "127.0.0.1:8080");
  EXPECT_TRUE(s.notes.empty());

  testing_support::WriteFile(dir.Path() / "velkor.ini",
                             "ranking = a.test\n" + std::string(game::kMaxSettingsBytes, '#'));
  s = game::ReadSettingsFile();
  EXPECT_FALSE(s.ranking_host);
  EXPECT_EQ(s.notes, std::vector<std::string>{"velkor.ini is larger than 64 KiB and is ignored"});

  std::filesystem::remove(dir.Path() / "velkor.ini");
  std::filesystem::create_directory(dir.Path() / "velkor.ini");
  s = game::ReadSettingsFile();
  EXPECT_FALSE(s.ranking_host);
  ASSERT_EQ(s.notes.size(), 1u);
  // The system's own reason follows.
  EXPECT_TRUE(s.notes[0].starts_with("cannot read the settings: velkor.ini: ")) << s.notes[0];
}

}  // namespace
