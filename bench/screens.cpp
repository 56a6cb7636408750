// One whole frame of the ranking and of the play screen (fill, the state's step, the drawing
// and the present), with the real form on the headless backend.
#include <benchmark/benchmark.h>

#include "bench_game.h"
#include "platform/headless/headless_platform.h"

namespace {

class Game {
 public:
  void Frame() {
    platform_.AdvanceMilliseconds(17);
    game_.application->HandleMessage();
  }

 private:
  platform::HeadlessPlatform platform_;
  BenchGame game_{platform_};

 public:
  game::TForm1* const form = game_.form;
};

void RankingFrame(benchmark::State& state) {
  Game g;
  g.form->NewRank = 3;
  g.form->GameState = game::gsRanking;
  for (auto _ : state) g.Frame();
}

// Play with a chosen arm, a turn text and the clock running (a new time text every frame);
// with `over`, the game-over overlay on top.
void PlayFrame(benchmark::State& state, bool over) {
  Game g;
  g.form->GameState = game::gsGameStart;
  g.Frame();
  g.form->ArmSelected = {true, false, false, true};
  g.form->TurnScore = 15;
  g.form->TurnText = "15";
  g.form->TotalScore = 120;
  if (over) {
    g.form->TimeLeft = 1;
    g.Frame();
  }
  for (auto _ : state) {
    if (!over && g.form->TimeLeft < 1000) g.form->TimeLeft = 60000;
    g.Frame();
  }
}

BENCHMARK(RankingFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(PlayFrame, playing, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(PlayFrame, game_over, true)->Unit(benchmark::kMicrosecond);

}  // namespace
