#include "game/options.h"

#include <string_view>

#include "ranking/ranking_host.h"

namespace game {

ProgramOptions ParseProgramOptions(const std::vector<std::string>& args) {
  ProgramOptions options;
  auto fail = [&](std::string error) {
    options.action = ProgramOptions::Action::Fail;
    options.error = std::move(error);
    return options;
  };
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
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
    if (arg == "--ranking" || arg.starts_with("--ranking=")) {
      std::string value;
      if (arg == "--ranking") {
        // An option after it is a forgotten host, not a host named "--xdg".
        if (i + 1 == args.size() || args[i + 1].starts_with("-"))
          return fail("option '--ranking' needs a host (HOST or HOST:PORT)");
        value = args[++i];
      } else {
        value = arg.substr(std::string_view("--ranking=").size());
      }
      std::string why;
      auto host = ranking::CheckRankingHost(value, why);
      if (!host) return fail("--ranking '" + value + "': " + why);
      options.ranking_host = *host;
      continue;
    }
    return fail(arg.starts_with("-") ? "unknown option '" + arg + "'" : "unexpected argument '" + arg + "'");
  }
  return options;
}

std::string HelpText() {
  return "Usage: velkor [--xdg] [--ranking HOST[:PORT]]\n"
         "Velkor Ver 1.12: a timed number puzzle on a cross.\n"
         "\n"
         "  --xdg       keep hisc.dat in $XDG_DATA_HOME/velkor (by default ~/.local/share/velkor),\n"
         "              as the desktop menu starts the game; without it hisc.dat is kept in the\n"
         "              current directory\n"
         "  --ranking HOST[:PORT]\n"
         "              send the best score to the internet ranking at HOST (port 80 unless\n"
         "              given), e.g. ranking.example.org or 192.168.1.20:8080\n"
         "  --help      show this help and exit\n"
         "  --version   show the version and exit\n"
         "\n"
         "Keys: Space starts a game, Enter shows the ranking, the arrows choose the arms,\n"
         "Esc quits. See velkor(6) for all of them.\n"
         "The best score is sent to the internet ranking at " +
         ranking::BuiltInRankingHost() +
         " unless --ranking or a line\n"
         "'ranking = HOST[:PORT]' in velkor.ini, beside hisc.dat, names another host.\n";
}

std::string VersionText() { return "velkor 1.12\n"; }

}  // namespace game
