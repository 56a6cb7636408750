#pragma once
// Sound output through SDL's audio device: the default output, mixed in SDL's audio thread.
// SDL's own drivers all serve, the disk and dummy ones included (SDL_AUDIODRIVER).
#include <cstdint>
#include <memory>

#include "platform/audio_mixer.h"

namespace platform {

class SdlAudioDevice : public MixingAudioDevice {
 public:
  // Null when no output can be opened.
  static std::unique_ptr<SdlAudioDevice> Open();
  ~SdlAudioDevice() override;

  // Frames of the device's own buffer: a play waits at most one such period before it is
  // mixed, then plays after the period queued before it.
  int PeriodFrames() const { return period_frames_; }

 protected:
  void Poll() override;

 private:
  SdlAudioDevice(std::uint32_t device, const OutputFormat& output, int period_frames);
  static std::uint32_t OpenOutput(void* userdata, OutputFormat& output, int& period_frames);

  std::uint32_t device_;  // 0 while no output is open
  int period_frames_;
  std::uint32_t next_retry_ms_ = 0;
};

}  // namespace platform
