// The display's cost per frame. One whole logo frame (fill, eleven colour-keyed draws of the
// logo, present) on the 32-bit window surface and on the 8-bit full-screen surface, on the
// headless screen; and the present alone through the SDL backend's renderer (its software
// renderer, on SDL's dummy video driver) with the window at scales 1 to 4.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

#include "app/application.h"
#include "app/assets.h"
#include "game/unit1.h"
#include "media/dximagelist.h"
#include "platform/display.h"
#include "platform/headless/headless_platform.h"
#include "support/display_rig.h"

namespace {

struct LogoRig : testing_support::DisplayRig {
  explicit LogoRig(bool full_screen) {
    draw->SetOptions(media::Opt(media::doWaitVBlank) | media::Opt(media::doStretch) | media::Opt(media::doCenter));
    FullScreen(full_screen);
    list = new media::TDXImageList(form);
    logo = list->Items.Add();
    logo->Picture.LoadFromData(app::FindAsset("logo.dib"));
    list->SetDXDraw(draw);
    list->Items.BuildColorTable();
    draw->RestoreColorTable = list->Items.ColorTable;
    draw->ColorTable = draw->RestoreColorTable;
    form->Show();
    if (!draw->ReadyToDraw()) std::abort();
  }

  media::TDXImageList* list;
  media::TPictureCollectionItem* logo;
};

void LogoFrame(benchmark::State& state) {
  LogoRig rig(state.range(0) == 8);
  std::int32_t angle = 240;
  for (auto _ : state) {
    media::TDirectDrawSurface* back = rig.draw->Surface();
    back->Fill(0);
    for (int i = 1; i <= 11; ++i) {
      const game::LogoPosition p = game::LogoCopyPosition(angle, i);
      rig.logo->Draw(back, p.x, p.y, 0);
    }
    rig.draw->Present();
    angle = angle <= -200 ? 240 : angle - 1;
  }
  state.SetLabel(state.range(0) == 8 ? "8-bit full screen" : "32-bit window");
}
BENCHMARK(LogoFrame)->Arg(32)->Arg(8)->Unit(benchmark::kMicrosecond);

void PresentAtScale(benchmark::State& state) {
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  std::unique_ptr<platform::Platform> sdl = platform::CreateSdlPlatform();
  platform::WindowDesc desc;
  desc.scaled = true;
  desc.scale = static_cast<int>(state.range(0));
  std::unique_ptr<platform::Window> window = sdl->CreateWindow(desc);
  window->Show();
  std::unique_ptr<platform::DisplayDevice> device;
  std::shared_ptr<platform::DisplaySurface> primary, back;
  platform::SurfaceDesc primary_desc, back_desc;
  primary_desc.primary = true;
  back_desc.width = 320;
  back_desc.height = 240;
  if (sdl->GetDisplay().CreateDevice(device) != 0 ||
      device->SetCooperativeLevel(window.get(), platform::kCoopNormal) != 0 ||
      device->CreateSurface(primary_desc, primary) != 0 || device->CreateSurface(back_desc, back) != 0) {
    state.SkipWithError("no SDL screen");
    return;
  }
  platform::BltFx fx;
  fx.fill_color = 0x336699;
  back->Blt(nullptr, nullptr, nullptr, platform::kBltColorFill, &fx);
  const platform::Rect dest{0, 0, 320, 240};
  for (auto _ : state) primary->Blt(&dest, back.get(), nullptr, platform::kBltWait, nullptr);
  state.SetLabel("scale " + std::to_string(state.range(0)));
}
BENCHMARK(PresentAtScale)->DenseRange(1, 4)->Unit(benchmark::kMicrosecond);

}  // namespace
