#pragma once
// A form with a display on the headless backend, set up as the game's form sets up its own.
#include <memory>
#include <string>
#include <vector>

#include "app/application.h"
#include "media/dxdraw.h"
#include "platform/headless/headless_platform.h"

namespace testing_support {

struct DisplayRig {
  DisplayRig() {
    form = new media::TDXForm(&app);
    form->Caption = "Velkor Ver 1.12";
    draw = new media::TDXDraw(form);
    draw->Align = media::alClient;
    draw->AutoSize = false;
    draw->Display.Width = 320;
    draw->Display.Height = 240;
    draw->SetSurfaceSize(320, 240);
    draw->SetOptions(media::Opt(media::doAllowReboot) | media::Opt(media::doWaitVBlank) |
                     media::Opt(media::doStretch) | media::Opt(media::doCenter) | media::Opt(media::doRetainedMode) |
                     media::Opt(media::doHardware) | media::Opt(media::doSelectDriver));
  }

  void FullScreen(bool on) {
    media::TDXDrawOptions o = draw->Options();
    draw->SetOptions(on ? o | media::Opt(media::doFullScreen) : o & ~media::Opt(media::doFullScreen));
  }

  platform::HeadlessDisplay& Screen() { return platform.Screen(); }

  platform::HeadlessPlatform platform;
  app::TApplication app{platform};
  media::TDXForm* form;
  media::TDXDraw* draw;
};

}  // namespace testing_support
