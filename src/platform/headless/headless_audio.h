#pragma once
// The headless sound output: the same mixer as the real one, run by the headless clock instead
// of an audio thread. It records every sound started and can keep what it mixed, for tests.
#include <cstdint>
#include <vector>

#include "platform/audio_mixer.h"

namespace platform {

class HeadlessPlatform;

class HeadlessAudioDevice : public MixingAudioDevice {
 public:
  struct Start {
    std::uint64_t sample_id;  // the wave (see SoundBuffer::SampleId)
    std::uint32_t ms;         // the headless clock
    int vblank;               // vertical-blank waits so far: the frames presented before it
  };

  HeadlessAudioDevice(HeadlessPlatform& platform, const OutputFormat& output);
  ~HeadlessAudioDevice() override;

  const std::vector<Start>& Starts() const { return starts_; }
  void ClearStarts() { starts_.clear(); }

  // Keeps every frame mixed from now on (interleaved samples of the output's format).
  void StartCapture() { capturing_ = true; }
  const std::vector<std::int16_t>& Captured() const { return captured_; }

  // As if the device went away and another took its place: every buffer is lost.
  void Lose() { LoseBuffers(Output()); }

  // Mixes up to the headless clock (every operation does this first).
  void Catch() { Poll(); }

 protected:
  void Poll() override;
  void Started(std::uint64_t sample_id) override;

 private:
  HeadlessPlatform& platform_;
  std::uint32_t last_ms_;
  std::uint64_t frame_remainder_ = 0;  // thousandths of a frame not yet mixed
  bool capturing_ = false;
  std::vector<std::int16_t> captured_;
  std::vector<std::int16_t> scratch_;
  std::vector<Start> starts_;
};

}  // namespace platform
