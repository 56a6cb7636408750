// The display's cost per frame. One whole logo frame (fill, eleven colour-keyed draws of the
// logo, present) on the 32-bit window surface and on the 8-bit full-screen surface, on the
// headless screen; and the present alone through the SDL backend (on SDL's dummy video driver)
// with the window at scales 1 to 9, beside a memcpy of the window's pixels.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <ctime>
#include <cstdlib>
#include <cstring>
#include <string>
#include <memory>
#include <vector>

#include "app/application.h"
#include "app/assets.h"
#include "game/unit1.h"
#include "media/dximagelist.h"
#include "platform/display.h"
#include "platform/display_memory.h"
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

// This thread's processor time in microseconds: both sides of a comparison are measured with
// it, so other programs on a busy machine do not count.
double ThreadMicroseconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e6 + static_cast<double>(ts.tv_nsec) / 1e3;
}

// A plain copy of `bytes`, the least any enlargement into a target of that size can cost.
double MemcpyMicroseconds(std::size_t bytes, std::int64_t rounds) {
  std::vector<std::uint8_t> from(bytes, 0x5A), to(bytes, 0);
  std::memcpy(to.data(), from.data(), bytes);  // both touched once, as the window surface is
  const double start = ThreadMicroseconds();
  for (std::int64_t i = 0; i < rounds; ++i) {
    std::memcpy(to.data(), from.data(), bytes);
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
  return (ThreadMicroseconds() - start) / static_cast<double>(rounds);
}

// Runs `step` for the benchmark's iterations, then as many memcpy's of a width x height 32-bit
// target: `present_us` and `memcpy_us` are their processor times each, `vs_memcpy` the one
// over the other.
template <class Step>
void AgainstMemcpy(benchmark::State& state, int width, int height, const std::string& what, Step step) {
  const double start = ThreadMicroseconds();
  for (auto _ : state) step();
  const double rounds = static_cast<double>(std::max<std::int64_t>(state.iterations(), 1));
  const double present_us = (ThreadMicroseconds() - start) / rounds;
  const std::size_t bytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
  const double copy_us = MemcpyMicroseconds(bytes, std::max<std::int64_t>(state.iterations(), 20));
  state.counters["present_us"] = present_us;
  state.counters["memcpy_us"] = copy_us;
  state.counters["vs_memcpy"] = present_us / copy_us;
  state.SetLabel(std::to_string(width) + "x" + std::to_string(height) + " " + what);
}

// The present through the SDL backend at a whole scale, against a memcpy of the window's pixels
// in the same run.
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
  const platform::WindowPlacement placed = window->Placement();
  AgainstMemcpy(state, placed.width, placed.height, "window",
                [&] { primary->Blt(&dest, back.get(), nullptr, platform::kBltWait, nullptr); });
}
BENCHMARK(PresentAtScale)->DenseRange(1, 9)->Unit(benchmark::kMicrosecond);

// The enlargement of an 8-bit full-screen picture through its palette, as a 4K screen shows it
// (scale 9: 2880 x 2160), against a memcpy of the same size.
void EnlargeEightBit(benchmark::State& state) {
  const int scale = static_cast<int>(state.range(0));
  std::vector<std::uint8_t> picture(320 * 240);
  for (std::size_t i = 0; i < picture.size(); ++i) picture[i] = static_cast<std::uint8_t>(i * 7);
  std::array<platform::Rgb, 256> colours{};
  for (int i = 0; i < 256; ++i) colours[static_cast<std::size_t>(i)] = static_cast<platform::Rgb>(i * 0x010101);
  const platform::PixelBuffer src{picture.data(), 320, 240, 320, 8, &colours};
  const int w = 320 * scale, h = 240 * scale;
  std::vector<std::uint32_t> out(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
  const platform::PixelBuffer target{reinterpret_cast<std::uint8_t*>(out.data()), w, h, w * 4, 32, nullptr};
  std::vector<int> scratch;
  AgainstMemcpy(state, w, h, "8-bit", [&] {
    platform::ScaleNearest(src, target, {0, 0, w, h}, 0xFF000000u, scratch);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  });
}
BENCHMARK(EnlargeEightBit)->Arg(4)->Arg(9)->Unit(benchmark::kMicrosecond);

}  // namespace
