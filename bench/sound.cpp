// Sound: a play (finding or making a copy of a wave's buffer and starting it), mixing one second of
// eight overlapping sounds, and how long a play waits for SDL's audio thread to take it.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <random>
#include <thread>

#include "app/application.h"
#include "app/assets.h"
#include "app/forms.h"
#include "game/unit1.h"
#include "media/dxsound.h"
#include "platform/headless/headless_audio.h"
#include "platform/headless/headless_platform.h"
#include "platform/sdl/sdl_audio.h"

namespace {

// The form's sound component and wave list with the seven stored waves, on the headless device.
struct Sounds {
  platform::HeadlessPlatform platform;
  app::TApplication application{platform};
  app::TForm* form = new app::TForm(&application);
  media::TDXSound* sound = new media::TDXSound(form);
  media::TDXWaveList* list = new media::TDXWaveList(form);

  Sounds() {
    for (const game::StoredWave& stored : game::kStoredWaves) {
      app::TMemoryStream data(app::FindAsset(stored.asset));
      list->Items().Add()->Wave().LoadFromStream(data);
    }
    list->SetDXSound(sound);
    sound->Loaded();
  }
  media::TWaveCollectionItem* Item(int i) { return list->Items().Items(i); }
};

void BM_PlayReusingAFinishedCopy(benchmark::State& state) {
  Sounds s;
  media::TWaveCollectionItem* item = s.Item(game::wv30up - 1);
  for (int i = 0; i < 8; ++i) item->Play(false);
  for (auto _ : state) {
    state.PauseTiming();
    for (int i = 0; i < item->BufferCopyCount(); ++i) item->BufferCopy(i)->Stop();
    state.ResumeTiming();
    item->Play(false);
  }
}
BENCHMARK(BM_PlayReusingAFinishedCopy);

void BM_PlayMakingANewCopy(benchmark::State& state) {
  Sounds s;
  media::TWaveCollectionItem* item = s.Item(game::wv30up - 1);
  for (auto _ : state) {
    item->Play(false);  // every copy still sounds: a new one
    if (item->BufferCopyCount() == 64) {
      state.PauseTiming();
      item->Initialize();  // drop the copies
      item->Restore();
      state.ResumeTiming();
    }
  }
}
BENCHMARK(BM_PlayMakingANewCopy);

// One second of output, mixed in the periods SDL's audio thread asks for, while eight of the
// stored waves overlap (each looped, so all eight sound for the whole second).
void BM_MixOneSecondOfEightSounds(benchmark::State& state) {
  Sounds s;
  auto& device = *s.platform.Audio();
  std::vector<std::unique_ptr<platform::SoundBuffer>> voices;
  for (int i = 0; i < 8; ++i) {
    media::TDirectSoundBuffer* master = s.Item(i % 7)->MasterBuffer();
    std::unique_ptr<platform::SoundBuffer> copy;
    device.DuplicateBuffer(master->IBuffer(), copy);
    copy->Play(true);
    voices.push_back(std::move(copy));
  }
  const platform::OutputFormat out = device.Output();
  constexpr int kPeriod = 512;
  std::vector<std::int16_t> buffer(static_cast<std::size_t>(kPeriod * out.channels));
  for (auto _ : state) {
    for (int done = 0; done < out.samples_per_sec; done += kPeriod) {
      device.Mix(buffer.data(), std::min(kPeriod, out.samples_per_sec - done));
      benchmark::DoNotOptimize(buffer.data());
    }
  }
  state.counters["output_Hz"] = out.samples_per_sec;
  state.counters["channels"] = out.channels;
}
BENCHMARK(BM_MixOneSecondOfEightSounds)->Unit(benchmark::kMillisecond);

// The time from Play until SDL's audio thread has mixed the sound into the period it hands to the
// device, with the disk driver writing to /dev/null at the pace of a real device. The sound is
// heard after that period (one period more) plus whatever the sound server adds.
void BM_StartWaitOnSdlDevice(benchmark::State& state) {
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
  auto device = platform::SdlAudioDevice::Open();
  if (!device) {
    state.SkipWithError("no SDL audio device");
    return;
  }
  Sounds s;
  const media::TWave& wave = s.Item(game::wv1to9 - 1)->Wave();
  std::unique_ptr<platform::SoundBuffer> buffer;
  device->CreateBuffer(s.Item(game::wv1to9 - 1)->MasterBuffer()->IBuffer().Format(),
                       static_cast<std::uint32_t>(wave.Size()), buffer);
  std::uint8_t* bytes;
  std::uint32_t size;
  buffer->Lock(bytes, size);
  std::copy_n(wave.Data(), size, bytes);
  buffer->Unlock();
  const double period_ms = 1000.0 * device->PeriodFrames() / device->Output().samples_per_sec;
  std::minstd_rand random(1);
  double longest = 0;
  for (auto _ : state) {
    buffer->Stop();
    // Plays come at any moment of the audio thread's period, as the game's frames do.
    std::this_thread::sleep_for(std::chrono::microseconds(random() % static_cast<unsigned>(period_ms * 1000)));
    const std::int64_t before = device->LastStartWaitNs();
    buffer->Play(false);
    while (device->LastStartWaitNs() == before) std::this_thread::yield();
    const double wait = static_cast<double>(device->LastStartWaitNs()) / 1e9;
    longest = std::max(longest, wait);
    state.SetIterationTime(wait);
  }
  state.counters["period_ms"] = period_ms;
  state.counters["longest_ms"] = longest * 1000;
}
BENCHMARK(BM_StartWaitOnSdlDevice)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(200);

}  // namespace
