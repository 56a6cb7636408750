// Velkor Ver 1.12: the program entry.
#include <cstdio>
#include <exception>

#include "app/application.h"
#include "app/dialogs.h"
#include "app/forms.h"
#include "app/sjis.h"
#include "game/unit1.h"
#include "platform/platform.h"

int main() {
  try {
    auto platform = platform::CreateSdlPlatform();
    app::TApplication application(*platform);
    application.Title = app::Sjis(u8"ノルダース");
    app::UseErrorBox(application);
    application.MainForm = app::CreateForm<game::TForm1>(&application);
    application.Run();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "velkor: %s\n", e.what());
    return 1;
  }
  return 0;
}
