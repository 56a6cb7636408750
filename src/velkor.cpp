// Velkor Ver 1.12: the program entry.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/assets.h"
#include "app/dialogs.h"
#include "app/forms.h"
#include "app/sjis.h"
#include "game/options.h"
#include "game/settings.h"
#include "game/unit1.h"
#include "platform/files.h"
#include "platform/platform.h"
#include "ranking/ranking_host.h"

int main(int argc, char** argv) {
  const game::ProgramOptions options = game::ParseProgramOptions(std::vector<std::string>(argv + 1, argv + argc));
  switch (options.action) {
    case game::ProgramOptions::Action::Help:
      std::fputs(game::HelpText().c_str(), stdout);
      return std::fflush(stdout) == 0 ? 0 : 1;
    case game::ProgramOptions::Action::Version:
      std::fputs(game::VersionText().c_str(), stdout);
      return std::fflush(stdout) == 0 ? 0 : 1;
    case game::ProgramOptions::Action::Fail:
      std::fprintf(stderr, "velkor: %s\nTry 'velkor --help' for more information.\n", options.error.c_str());
      return 2;
    case game::ProgramOptions::Action::Run:
      break;
  }
  if (options.user_data_dir) {
    std::string where, error;
    if (!platform::EnterUserDataDirectory("velkor", where, error)) {
      std::fprintf(stderr, "velkor: cannot use the data directory: %s\n", error.c_str());
      return 1;
    }
  }
  // The settings file lies beside hisc.dat; the command line wins over it, and it over the build.
  const game::Settings settings = game::ReadSettingsFile();
  for (const std::string& note : settings.notes) std::fprintf(stderr, "velkor: %s\n", note.c_str());
  if (!options.ranking_host.empty())
    ranking::UseRankingHost(options.ranking_host);
  else if (settings.ranking_host)
    ranking::UseRankingHost(*settings.ranking_host);
  try {
    auto platform = platform::CreateSdlPlatform();
    app::TApplication application(*platform);
    application.Title = app::Sjis(u8"ノルダース");
    application.CommandName = "velkor";
    // The window icon: the 64-pixel picture of tools/make_icon, the one the desktop menu shows.
    application.Icon = {64, 64, app::FindAsset("icon.rgba")};
    app::UseErrorBox(application);
    application.MainForm = app::CreateForm<game::TForm1>(&application);
    application.Run();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "velkor: %s\n", e.what());
    return 1;
  }
  return 0;
}
