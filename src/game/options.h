#pragma once
// The program's command line. It is read before the platform starts, so that --help and
// --version answer also where there is no display.
#include <string>
#include <vector>

namespace game {

struct ProgramOptions {
  enum class Action { Run, Help, Version, Fail };
  Action action = Action::Run;
  // Keep hisc.dat in the user's data directory instead of the current one (the desktop menu's
  // entry starts the game so).
  bool user_data_dir = false;
  // --ranking HOST[:PORT]: the ranking server to send to instead of the settings file's or the
  // build's (checked; empty when not given).
  std::string ranking_host;
  std::string error;  // with Fail: what was wrong
};

// `args` without the program's name.
ProgramOptions ParseProgramOptions(const std::vector<std::string>& args);

std::string HelpText();
std::string VersionText();

}  // namespace game
