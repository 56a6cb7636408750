#include "game/options.h"

#include "ranking/ranking_host.h"

namespace game {

ProgramOptions ParseProgramOptions(const std::vector<std::string>& args) {
  ProgramOptions options;
  for (const std::string& arg : args) {
    if (arg == "--help" || arg == "-h") {
      options.action = ProgramOptions::Action::Help;
      return options;
    }
    if (arg == "--version") {
      options.action = ProgramOptions::Action::Version;
      return options;
    }
    if (arg == "--xdg") {
      options.user_data_dir = true;
      continue;
    }
    options.action = ProgramOptions::Action::Fail;
    options.error = arg.starts_with("-") ? "unknown option '" + arg + "'" : "unexpected argument '" + arg + "'";
    return options;
  }
  return options;
}

std::string HelpText() {
  return "Usage: velkor [--xdg]\n"
         "Velkor Ver 1.12: a timed number puzzle on a cross.\n"
         "\n"
         "  --xdg       keep hisc.dat in $XDG_DATA_HOME/velkor (by default ~/.local/share/velkor),\n"
         "              as the desktop menu starts the game; without it hisc.dat is kept in the\n"
         "              current directory\n"
         "  --help      show this help and exit\n"
         "  --version   show the version and exit\n"
         "\n"
         "Keys: Space starts a game, Enter shows the ranking, the arrows choose the arms,\n"
         "Esc quits. See velkor(6) for all of them.\n"
         "The best score is sent to the internet ranking at " +
         ranking::RankingHost() + ".\n";
}

std::string VersionText() { return "velkor 1.12\n"; }

}  // namespace game
