// Where TitleScatterCount settles on this machine: the title adds a scattered text every frame
// that takes less than 35 ms and removes one from every frame that takes longer, so the count
// finds the number of texts a 35 ms frame can draw. This runs the real form on the real (SDL)
// backend, so it needs an X display (a virtual one will do: xvfb-run).
//
// Walking up one text per frame from 10 would take an hour; the count is started at an
// estimate from the measured cost of a text instead, and then left to find its own level.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>

#include "bench_game.h"

namespace {

using Clock = std::chrono::steady_clock;

class RealGame {
 public:
  RealGame() {
    // Count the frames as they pass.
    auto frame = form->DXTimer1->OnTimer;
    form->DXTimer1->OnTimer = [this, frame](app::TObject* sender, std::int32_t lag) {
      ++frames_;
      frame(sender, lag);
    };
  }
  // Runs the message loop for `seconds`; returns the frames run.
  int Run(double seconds) {
    const int before = frames_;
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    while (Clock::now() < end) game_.application->HandleMessage();
    return frames_ - before;
  }

 private:
  std::unique_ptr<platform::Platform> platform_ = platform::CreateSdlPlatform();
  BenchGame game_{*platform_};
  int frames_ = 0;

 public:
  game::TForm1* const form = game_.form;
};

void TitleScatterSettles(benchmark::State& state) {
  if (!std::getenv("DISPLAY")) {
    state.SkipWithError("needs an X display: run under xvfb-run");
    return;
  }
  for (auto _ : state) {
    RealGame g;
    g.Run(0.5);  // the window shows and the display starts
    g.form->GameState = game::gsTitle;

    // The cost of a frame with many texts, held at that count.
    constexpr int kProbe = 20000;
    g.form->TitleScatterCount = kProbe;
    const auto t0 = Clock::now();
    int frames = 0;
    while (frames < 20) {
      g.form->TitleScatterCount = kProbe;
      frames += g.Run(0.01);
    }
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count() / frames;
    const int estimate = static_cast<int>(kProbe * 35.0 / ms);

    // Free running from the estimate, then the level it keeps.
    g.form->TitleScatterCount = estimate;
    g.Run(state.range(0));
    double sum = 0;
    int samples = 0, low = 1 << 30, high = -(1 << 30);
    const auto end = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < end) {
      g.Run(0.1);
      const int n = g.form->TitleScatterCount;
      sum += n;
      ++samples;
      low = std::min(low, n);
      high = std::max(high, n);
    }
    state.counters["estimate"] = estimate;
    state.counters["TitleScatterCount"] = sum / samples;
    state.counters["low"] = low;
    state.counters["high"] = high;
    state.counters["ms_per_frame_at_20000"] = ms;
  }
}

// The argument: seconds of free running before the level is read.
BENCHMARK(TitleScatterSettles)->Arg(30)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
