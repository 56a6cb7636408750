// How much of the title's scatter band the small texts cover, by their number: the measurement
// behind the title's bound on TitleScatterCount. Each count is drawn on the real form (headless
// backend) for a number of frames; `black_per_mille` is the share of the band's pixels that no
// text lit, averaged over those frames. The time is that of one whole title frame.
#include <benchmark/benchmark.h>

#include "bench_game.h"
#include "platform/headless/headless_platform.h"

namespace {

// The texts start on rows 0 to 119 and are 13 rows high; the big title lies over them.
constexpr int kBandTop = 0, kBandBottom = 132;

void TitleScatterCoverage(benchmark::State& state) {
  platform::HeadlessPlatform platform;
  BenchGame game{platform};
  game.form->GameState = game::gsTitle;
  const auto count = static_cast<std::int32_t>(state.range(0));
  double black = 0;
  int frames = 0;
  for (auto _ : state) {
    game.form->TitleScatterCount = count;
    platform.AdvanceMilliseconds(17);
    game.application->HandleMessage();
    state.PauseTiming();
    int dark = 0;
    for (int y = kBandTop; y < kBandBottom; ++y)
      for (int x = 0; x < 320; ++x) dark += platform.Screen().ShownPixel(x, y) == 0;
    black += static_cast<double>(dark) / (320.0 * (kBandBottom - kBandTop));
    ++frames;
    state.ResumeTiming();
  }
  state.counters["black_per_mille"] = 1000.0 * black / frames;
}

BENCHMARK(TitleScatterCoverage)
    ->Arg(0)
    ->Arg(250)
    ->Arg(500)
    ->Arg(1000)
    ->Arg(1500)
    ->Arg(2000)
    ->Arg(3000)
    ->Arg(5000)
    ->Arg(20000)
    ->Iterations(20)
    ->Unit(benchmark::kMillisecond);

}  // namespace
