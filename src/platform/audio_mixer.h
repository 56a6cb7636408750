#pragma once
// The part of sound output that both backends share: buffers, their copies, the conversion of
// their samples to the output's format and the mix of everything playing. The output itself is
// the backend's: the SDL backend feeds a real device from its own audio thread, the headless
// one mixes as its clock moves.
#include <cstdint>
#include <memory>

#include "platform/audio.h"

namespace platform {

// The format mixed: 16-bit signed samples in the machine's byte order, channels interleaved.
struct OutputFormat {
  int samples_per_sec = 44100;
  int channels = 2;
};

struct MixerCore;

// Whether this thread holds a mixer's lock, which the output's thread waits on: nothing may be
// allocated or freed meanwhile (the tests check it).
bool HoldingMixerLock();

class MixingAudioDevice : public AudioDevice {
 public:
  explicit MixingAudioDevice(const OutputFormat& output);
  ~MixingAudioDevice() override;

  AudioResult SetCooperativeLevel(Window* window, bool exclusive) override;
  AudioResult CreatePrimaryBuffer(std::unique_ptr<SoundBuffer>& out) override;
  AudioResult CreateBuffer(const WaveFormat& format, std::uint32_t bytes,
                           std::unique_ptr<SoundBuffer>& out) override;
  AudioResult DuplicateBuffer(SoundBuffer& original, std::unique_ptr<SoundBuffer>& out) override;

  OutputFormat Output() const;
  // Whether any buffer is sounding.
  bool AnyPlaying() const;

  // Writes `frames` frames of everything playing to `out` and moves the playing buffers on.
  // Safe to call from any one thread besides the caller of the other operations.
  void Mix(std::int16_t* out, int frames);

  // The output went away: every buffer made until now is lost and falls silent. A new output
  // format applies to the buffers made from now on.
  void LoseBuffers(const OutputFormat& output);
  // While no output is open, buffers are still made and played, but a play is not heard and ends
  // at once.
  void SetOutputOpen(bool open);

  // Nanoseconds from the latest Play that sounded to the end of the mix that first took its
  // samples (how long a sound waits for the output's next period), or -1 before any.
  std::int64_t LastStartWaitNs() const;

 protected:
  // Runs before every operation of the device and of its buffers, on the caller's thread, without
  // any lock held: the SDL backend notices a vanished output here, the headless one mixes up to
  // its clock.
  virtual void Poll() {}
  // After every Play that was accepted (caller's thread).
  virtual void Started(std::uint64_t sample_id) { (void)sample_id; }

 private:
  friend class MixedBuffer;
  std::shared_ptr<MixerCore> core_;
};

}  // namespace platform
