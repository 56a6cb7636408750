// The sound output of the platform: buffers, copies, conversion, mixing and loss, on the headless
// backend, and SDL's own device with its dummy driver.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>

#include "platform/headless/headless_audio.h"
#include "platform/headless/headless_platform.h"
#include "platform/sdl/sdl_audio.h"
#include "support/allocations/counting_new.h"

namespace {

using platform::AudioResult;
using platform::SoundBuffer;
using platform::WaveFormat;

WaveFormat Pcm(std::uint32_t rate, std::uint16_t bits) {
  WaveFormat f;
  f.format_tag = 1;
  f.channels = 1;
  f.samples_per_sec = rate;
  f.bits_per_sample = bits;
  f.block_align = bits / 8;
  f.avg_bytes_per_sec = rate * f.block_align;
  return f;
}

// A buffer holding `frames` frames of a constant level (-1..1).
std::unique_ptr<SoundBuffer> Constant(platform::AudioDevice& device, std::uint32_t rate, std::uint16_t bits,
                                      std::uint32_t frames, double level) {
  std::unique_ptr<SoundBuffer> b;
  EXPECT_EQ(device.CreateBuffer(Pcm(rate, bits), frames * (bits / 8), b), AudioResult::Ok);
  std::uint8_t* bytes = nullptr;
  std::uint32_t size = 0;
  const AudioResult locked = b->Lock(bytes, size);
  EXPECT_EQ(locked, AudioResult::Ok);
  if (locked != AudioResult::Ok) return b;  // a buffer lost at once has no bytes to fill
  for (std::uint32_t i = 0; i < frames; ++i) {
    if (bits == 8) {
      bytes[i] = static_cast<std::uint8_t>(128 + std::lround(level * 127));
    } else {
      const auto v = static_cast<std::int16_t>(std::lround(level * 32767));
      bytes[2 * i] = static_cast<std::uint8_t>(v & 0xFF);
      bytes[2 * i + 1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
    }
  }
  EXPECT_EQ(b->Unlock(), AudioResult::Ok);
  return b;
}

std::uint32_t StatusOf(SoundBuffer& b) {
  std::uint32_t s = 0;
  EXPECT_EQ(b.GetStatus(s), AudioResult::Ok);
  return s;
}

class HeadlessAudio : public ::testing::Test {
 protected:
  HeadlessAudio() {
    auto opened = platform_.OpenAudioDevice();
    device_.reset(static_cast<platform::HeadlessAudioDevice*>(opened.release()));
    device_->StartCapture();
  }
  // The captured left channel from `from_ms` for `ms` milliseconds.
  std::vector<std::int16_t> Left(int from_ms, int ms) const {
    std::vector<std::int16_t> out;
    const auto& c = device_->Captured();
    for (std::size_t f = std::size_t(from_ms) * 441 / 10; f < std::size_t(from_ms + ms) * 441 / 10; ++f)
      if (2 * f < c.size()) out.push_back(c[2 * f]);
    return out;
  }
  void Advance(std::uint32_t ms) {
    platform_.AdvanceMilliseconds(ms);
    device_->Catch();
  }

  platform::HeadlessPlatform platform_;
  std::unique_ptr<platform::HeadlessAudioDevice> device_;
};

TEST_F(HeadlessAudio, ConvertsEachStoredFormatToTheOutputAtItsOwnLength) {
  struct Case {
    std::uint32_t rate;
    std::uint16_t bits;
  };
  for (Case c : {Case{11025, 8}, Case{22050, 8}, Case{11025, 16}, Case{22050, 16}}) {
    SCOPED_TRACE(testing::Message() << c.rate << " Hz, " << c.bits << " bits");
    device_->ClearStarts();
    const std::uint32_t frames = c.rate / 10;  // 100 ms
    auto b = Constant(*device_, c.rate, c.bits, frames, 0.5);
    const std::uint32_t start = platform_.Milliseconds();
    ASSERT_EQ(b->Play(false), AudioResult::Ok);
    Advance(50);
    EXPECT_TRUE(StatusOf(*b) & platform::kBufferPlaying);
    Advance(70);
    EXPECT_EQ(StatusOf(*b), 0u) << "a 100 ms sound has ended after 120 ms";
    // The middle of the sound holds the level, on both channels.
    auto mid = Left(static_cast<int>(start) + 20, 60);
    ASSERT_FALSE(mid.empty());
    for (std::int16_t v : mid) EXPECT_NEAR(v, 16384, 400);
    ASSERT_EQ(device_->Starts().size(), 1u);
    EXPECT_EQ(device_->Starts()[0].sample_id, b->SampleId());
    EXPECT_EQ(device_->Starts()[0].ms, start);
  }
}

TEST_F(HeadlessAudio, CopiesShareSamplesAndSoundTogetherClampedNotWrapped) {
  auto master = Constant(*device_, 22050, 16, 22050, 0.75);
  std::unique_ptr<SoundBuffer> copy1, copy2;
  ASSERT_EQ(device_->DuplicateBuffer(*master, copy1), AudioResult::Ok);
  ASSERT_EQ(device_->DuplicateBuffer(*master, copy2), AudioResult::Ok);
  EXPECT_EQ(copy1->SampleId(), master->SampleId());
  EXPECT_EQ(copy1->Size(), master->Size());
  copy1->Play(false);
  Advance(100);
  copy2->Play(false);
  Advance(100);
  EXPECT_TRUE(StatusOf(*copy1) & platform::kBufferPlaying);
  EXPECT_TRUE(StatusOf(*copy2) & platform::kBufferPlaying);
  EXPECT_EQ(StatusOf(*master), 0u);
  for (std::int16_t v : Left(20, 60)) EXPECT_NEAR(v, 24575, 400);  // one sound
  for (std::int16_t v : Left(120, 60)) EXPECT_EQ(v, 32767);         // 1.5 of full scale, clamped
  // A write through one buffer shows in its copies.
  std::uint8_t* bytes;
  std::uint32_t size;
  ASSERT_EQ(copy2->Lock(bytes, size), AudioResult::Ok);
  EXPECT_EQ(copy2->Lock(bytes, size), AudioResult::InvalidCall) << "a second lock";
  std::fill(bytes, bytes + size, 0);
  ASSERT_EQ(copy2->Unlock(), AudioResult::Ok);
  Advance(100);
  for (std::int16_t v : Left(220, 60)) EXPECT_EQ(v, 0);
}

TEST_F(HeadlessAudio, VolumeAndPanAttenuateTheirSides) {
  auto b = Constant(*device_, 22050, 16, 22050, 0.5);
  ASSERT_EQ(b->SetVolume(-602), AudioResult::Ok);  // half
  ASSERT_EQ(b->SetPan(10000), AudioResult::Ok);    // right only
  EXPECT_EQ(b->SetVolume(1), AudioResult::InvalidParam);
  EXPECT_EQ(b->SetFrequency(0), AudioResult::Ok);
  EXPECT_EQ(b->SetFrequency(22050), AudioResult::Ok);
  EXPECT_EQ(b->SetFrequency(30000), AudioResult::Unsupported) << "no resampler of our own";
  b->Play(false);
  Advance(100);
  const auto& c = device_->Captured();
  for (std::size_t f = 882; f < 3528; ++f) {
    EXPECT_EQ(c[2 * f], 0);
    EXPECT_NEAR(c[2 * f + 1], 8192, 300);
  }
}

TEST_F(HeadlessAudio, LoopsRewindsAndStops) {
  auto b = Constant(*device_, 11025, 8, 1103, 0.5);  // 100 ms
  b->Play(true);
  Advance(250);
  EXPECT_EQ(StatusOf(*b), platform::kBufferPlaying | platform::kBufferLooping);
  EXPECT_EQ(b->Stop(), AudioResult::Ok);
  EXPECT_EQ(StatusOf(*b), 0u);
  EXPECT_EQ(b->SetPosition(1102), AudioResult::Ok);
  EXPECT_EQ(b->SetPosition(5000), AudioResult::InvalidParam);
  b->Play(false);
  Advance(20);
  EXPECT_EQ(StatusOf(*b), 0u) << "played from its last frame";
}

TEST_F(HeadlessAudio, BuffersMadeBeforeALossReportItAndNewOnesPlay) {
  auto old = Constant(*device_, 22050, 16, 2205, 0.5);
  old->Play(false);
  device_->Lose();
  EXPECT_EQ(StatusOf(*old), platform::kBufferLost);
  EXPECT_EQ(old->Play(false), AudioResult::BufferLost);
  EXPECT_EQ(old->Stop(), AudioResult::BufferLost);
  std::uint8_t* bytes;
  std::uint32_t size;
  EXPECT_EQ(old->Lock(bytes, size), AudioResult::BufferLost);
  std::unique_ptr<SoundBuffer> copy;
  EXPECT_EQ(device_->DuplicateBuffer(*old, copy), AudioResult::BufferLost);
  auto fresh = Constant(*device_, 22050, 16, 2205, 0.5);
  EXPECT_EQ(fresh->Play(false), AudioResult::Ok);
  EXPECT_TRUE(StatusOf(*fresh) & platform::kBufferPlaying);
}

TEST_F(HeadlessAudio, WithoutAnOutputPlaysAreAcceptedAndNotHeard) {
  auto b = Constant(*device_, 22050, 16, 2205, 0.5);
  device_->SetOutputOpen(false);
  EXPECT_EQ(b->Play(false), AudioResult::Ok);
  EXPECT_EQ(StatusOf(*b), 0u);
}

TEST_F(HeadlessAudio, RefusesFormatsAndSizesItCannotPlay) {
  std::unique_ptr<SoundBuffer> b;
  WaveFormat f = Pcm(22050, 16);
  EXPECT_EQ(device_->CreateBuffer(f, 0, b), AudioResult::InvalidParam);
  EXPECT_EQ(device_->CreateBuffer(f, 0x10000000, b), AudioResult::InvalidParam);
  struct Case {
    const char* what;
    void (*spoil)(WaveFormat&);
  };
  const Case cases[] = {
      {"not PCM", [](WaveFormat& w) { w.format_tag = 2; }},
      {"24 bits", [](WaveFormat& w) { w.bits_per_sample = 24, w.block_align = 3; }},
      {"block align", [](WaveFormat& w) { w.block_align = 4; }},
      {"no channels", [](WaveFormat& w) { w.channels = 0; }},
      {"rate 0", [](WaveFormat& w) { w.samples_per_sec = 0; }},
      {"rate too high", [](WaveFormat& w) { w.samples_per_sec = 400000; }},
  };
  for (const Case& c : cases) {
    WaveFormat bad = Pcm(22050, 16);
    c.spoil(bad);
    EXPECT_EQ(device_->CreateBuffer(bad, 100, b), AudioResult::BadFormat) << c.what;
    EXPECT_EQ(b, nullptr);
  }
  // A very low rate grows many times over in conversion: refused before it is made.
  ASSERT_EQ(device_->CreateBuffer(Pcm(100, 8), 0x0FFFFFFF, b), AudioResult::Ok);
  std::uint8_t* bytes;
  std::uint32_t size;
  ASSERT_EQ(b->Lock(bytes, size), AudioResult::Ok);
  EXPECT_EQ(b->Unlock(), AudioResult::OutOfMemory);
  EXPECT_EQ(device_->SetCooperativeLevel(nullptr, false), AudioResult::Ok);
  EXPECT_EQ(device_->SetCooperativeLevel(nullptr, true), AudioResult::Unsupported);
}

// SDL's own device, with the driver that needs no sound hardware: a play is mixed by SDL's audio
// thread and ends on its own.
TEST(Mixer, NothingIsAllocatedOrFreedUnderTheLockTheOutputWaitsOn) {
  platform::MixingAudioDevice device({44100, 2});
  testing_support::CountAllocations under_lock(platform::HoldingMixerLock);
  // A wave of 285 KB, written twice: the second unlock replaces the samples of the first.
  auto wave = Constant(device, 22050, 16, 142500, 0.25);
  std::uint8_t* bytes;
  std::uint32_t size;
  ASSERT_EQ(wave->Lock(bytes, size), AudioResult::Ok);
  ASSERT_EQ(size, 285000u);
  ASSERT_EQ(wave->Unlock(), AudioResult::Ok);
  // Enough copies that the list of voices grows several times.
  std::vector<std::unique_ptr<SoundBuffer>> copies(40);
  for (auto& copy : copies) ASSERT_EQ(device.DuplicateBuffer(*wave, copy), AudioResult::Ok);
  ASSERT_EQ(copies[0]->Play(false), AudioResult::Ok);
  ASSERT_EQ(wave->Play(true), AudioResult::Ok);
  // The output's first period, and a longer one later.
  std::vector<std::int16_t> out(2 * 16384);
  device.Mix(out.data(), 441);
  device.Mix(out.data(), 16384);
  EXPECT_NE(out[2 * 16383], 0);
  copies.clear();
  wave.reset();
  EXPECT_EQ(under_lock.Stats().allocations, 0);
  EXPECT_EQ(under_lock.Stats().frees, 0);
}

TEST(SdlAudio, TheDummyDriverPlaysASoundToItsEnd) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  auto device = platform::SdlAudioDevice::Open();
  ASSERT_NE(device, nullptr);
  EXPECT_GT(device->PeriodFrames(), 0);
  auto b = Constant(*device, 11025, 8, 1103, 0.5);  // 100 ms
  ASSERT_EQ(b->Play(false), AudioResult::Ok);
  EXPECT_TRUE(StatusOf(*b) & platform::kBufferPlaying);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while ((StatusOf(*b) & platform::kBufferPlaying) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(StatusOf(*b), 0u);
  EXPECT_GE(device->LastStartWaitNs(), 0);
}

// The disk driver gives up its device when it cannot write, as a real device goes away when it is
// unplugged: the buffers made on it report the loss.
TEST(SdlAudio, ADeviceThatGoesAwayReportsItsBuffersLost) {
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", "/dev/full", 1);
  auto device = platform::SdlAudioDevice::Open();
  ASSERT_NE(device, nullptr);
  auto b = Constant(*device, 11025, 8, 11025, 0.5);
  b->Play(true);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!(StatusOf(*b) & platform::kBufferLost) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(StatusOf(*b), platform::kBufferLost);
  EXPECT_EQ(b->Play(false), AudioResult::BufferLost);
  // The output opened again after the loss may still be the full one and go away in turn, losing
  // what was made on it; once the disk driver writes where it can, a buffer made afterwards plays.
  setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
  AudioResult played = AudioResult::BufferLost;
  const auto reopened = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (played != AudioResult::Ok && std::chrono::steady_clock::now() < reopened) {
    std::unique_ptr<SoundBuffer> fresh;
    if (device->CreateBuffer(Pcm(11025, 8), 1103, fresh) != AudioResult::Ok) break;
    played = fresh->Play(false);
    if (played != AudioResult::Ok) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_EQ(played, AudioResult::Ok) << "buffers made afterwards belong to the output open now";
  unsetenv("SDL_DISKAUDIOFILE");
}

TEST(SdlAudio, NoDriverMeansNoDevice) {
  setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  EXPECT_EQ(platform::SdlAudioDevice::Open(), nullptr);
  unsetenv("SDL_AUDIODRIVER");
}

}  // namespace
