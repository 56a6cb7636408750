// The keyboard's Update, which runs every frame of play: its time, and the heap allocations it
// makes (none are allowed).
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "app/application.h"
#include "app/forms.h"
#include "media/dxinput.h"
#include "platform/headless/headless_platform.h"

namespace {
std::atomic<long> g_allocations{0};
}  // namespace

// Counting replacements of the global allocation functions; free() matches the malloc() below.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace {

// A shown form with an input component, a few keys held.
struct InputRig {
  explicit InputRig(bool by_scan_code) {
    form = new app::TForm(&application);
    input = new media::TDXInput(form);
    input->SetUseDirectInput(by_scan_code);
    input->Loaded();
    form->Show();
    application.ProcessMessages();
    for (platform::KeyCode key : {platform::keys::Up, platform::keys::Numpad4, platform::keys::Enter})
      platform.GetKeyboard().Press(key);
    application.ProcessMessages();
  }

  platform::HeadlessPlatform platform;
  app::TApplication application{platform};
  app::TForm* form;
  media::TDXInput* input;
};

void BM_Update(benchmark::State& state) {
  InputRig rig(state.range(0) != 0);
  long allocations = 0;
  for (auto _ : state) {
    const long before = g_allocations.load(std::memory_order_relaxed);
    rig.input->Update();
    allocations += g_allocations.load(std::memory_order_relaxed) - before;
    benchmark::DoNotOptimize(rig.input->States);
  }
  if (!rig.input->States.Contains(media::isUp)) state.SkipWithError("the held keys were not seen");
  state.counters["allocations_per_update"] =
      benchmark::Counter(static_cast<double>(allocations), benchmark::Counter::kAvgIterations);
  state.SetLabel(state.range(0) ? "by scan code" : "by key state");
}
BENCHMARK(BM_Update)->Arg(1)->Arg(0);

}  // namespace
