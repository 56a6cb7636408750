// The program's command line: read before anything starts, answered as installed programs do.
#include <gtest/gtest.h>

#include "game/options.h"
#include "support/process.h"

namespace {

using game::ParseProgramOptions;
using Action = game::ProgramOptions::Action;

TEST(Options, ReadsTheOptionsAndRefusesAnythingElse) {
  struct Case {
    std::vector<std::string> args;
    Action action;
    bool user_data_dir;
    const char* error;
    const char* ranking_host = "";
  };
  const Case cases[] = {
      {{}, Action::Run, false, ""},
      {{"--xdg"}, Action::Run, true, ""},
      {{"--xdg", "--xdg"}, Action::Run, true, ""},
      {{"--help"}, Action::Help, false, ""},
      {{"-h"}, Action::Help, false, ""},
      {{"--xdg", "--version"}, Action::Version, false, ""},
      {{"--version", "--bogus"}, Action::Version, false, ""},  // answered before the rest is read
      {{"--bogus"}, Action::Fail, false, "unknown option '--bogus'"},
      {{"--xdg=1"}, Action::Fail, false, "unknown option '--xdg=1'"},
      {{"hisc.dat"}, Action::Fail, false, "unexpected argument 'hisc.dat'"},
      {{"--xdg", "-"}, Action::Fail, false, "unknown option '-'"},
      // The ranking host, in either spelling; the last one given counts.
      {{"--ranking", "ranking.example.org"}, Action::Run, false, "", "ranking.example.org"},
      {{"--ranking=192.168.1.20:8080", "--xdg"}, Action::Run, true, "", "192.168.1.20:8080"},
      {{"--ranking", "a.test", "--ranking", "b.test:81"}, Action::Run, false, "", "b.test:81"},
      {{"--ranking", "--xdg"}, Action::Fail, false, "option '--ranking' needs a host (HOST or HOST:PORT)"},
      {{"--ranking"}, Action::Fail, false, "option '--ranking' needs a host (HOST or HOST:PORT)"},
      {{"--ranking="}, Action::Fail, false, "--ranking '': no host given"},
      {{"--ranking", "http://ranking.example.org/"}, Action::Fail, false,
       "--ranking 'http://ranking.example.org/': give the host alone (host or host:port), without a scheme such as "
       "http://"},
      {{"--ranking", "a.test:0"}, Action::Fail, false,
       "--ranking 'a.test:0': the port must be a number from 1 to 65535"},
      {{"--ranking", "a.test", "--bogus"}, Action::Fail, false, "unknown option '--bogus'"},
  };
  for (const Case& c : cases) {
    const game::ProgramOptions o = ParseProgramOptions(c.args);
    SCOPED_TRACE(c.args.empty() ? "(none)" : c.args[0]);
    EXPECT_EQ(o.action, c.action);
    if (c.action == Action::Run) {
      EXPECT_EQ(o.user_data_dir, c.user_data_dir);
      EXPECT_EQ(o.ranking_host, c.ranking_host);
    }
    EXPECT_EQ(o.error, c.error);
  }
}

// Without a display, as on a server or in a package check: help and version still answer.
TEST(Options, TheProgramAnswersHelpAndVersionOnStdoutWithoutADisplay) {
  const std::vector<std::string> no_display = {"env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", VELKOR_BINARY};
  int status = -1;
  auto with = [&](std::vector<std::string> args) {
    std::vector<std::string> argv = no_display;
    argv.insert(argv.end(), args.begin(), args.end());
    return testing_support::RunAndCapture(argv, {}, &status);
  };
  EXPECT_EQ(with({"--version"}), "velkor 1.12\n");
  EXPECT_EQ(status, 0);
  const std::string help = with({"--help"});
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(help.starts_with("Usage: velkor [--xdg] [--ranking HOST[:PORT]]\n")) << help;
  EXPECT_NE(help.find("--version"), std::string::npos);
  EXPECT_NE(help.find("internet ranking at " VELKOR_CONFIGURED_RANKING_HOST " unless --ranking or"), std::string::npos)
      << help;
  EXPECT_NE(help.find("velkor.ini"), std::string::npos) << help;

  // An unknown option: nothing on stdout, the complaint on stderr, status 2.
  EXPECT_EQ(with({"--bogus"}), "");
  EXPECT_EQ(status, 2);
  const std::string shell = "env -u DISPLAY -u WAYLAND_DISPLAY '" + std::string(VELKOR_BINARY) + "' --bogus 2>&1 >/dev/null";
  EXPECT_EQ(testing_support::RunAndCapture({"sh", "-c", shell}, {}, &status),
            "velkor: unknown option '--bogus'\nTry 'velkor --help' for more information.\n");
  EXPECT_EQ(status, 2);
}

}  // namespace
