#pragma once
// Sound output: one output device per program, opened with a normal share of the device, and
// sound buffers that it mixes. A buffer holds one wave's samples in the wave's own format; the
// device converts them once to its own format (with SDL's converter) when they are written.
// Copies of a buffer share its samples and sound independently of it and of each other.
//
// Every operation returns an AudioResult instead of throwing. A device that goes away reports
// every buffer made before as lost (BufferLost from the operations, kBufferLost in the status);
// buffers made afterwards sound on whatever output is open then.
#include <cstdint>
#include <memory>

namespace platform {

class Window;

// A wave format record (the PCM one): what a wave's "fmt " chunk holds.
struct WaveFormat {
  std::uint16_t format_tag = 0;  // 1 for PCM, the only kind played
  std::uint16_t channels = 0;
  std::uint32_t samples_per_sec = 0;
  std::uint32_t avg_bytes_per_sec = 0;
  std::uint16_t block_align = 0;
  std::uint16_t bits_per_sample = 0;
};

enum class AudioResult {
  Ok,
  BufferLost,    // the output device went away since the buffer was made
  InvalidParam,  // a size or value out of range
  BadFormat,     // a format the device cannot play
  OutOfMemory,
  InvalidCall,   // not possible in the buffer's present state (a second lock, say)
  Unsupported,   // a control the device does not offer
};

// Bits of a buffer's status.
enum : std::uint32_t { kBufferPlaying = 1, kBufferLost = 2, kBufferLooping = 4 };

class SoundBuffer {
 public:
  virtual ~SoundBuffer() = default;

  // Bytes of samples, in the wave's own format (0 for the primary buffer).
  virtual std::uint32_t Size() const = 0;
  // The wave's format; the device's own for the primary buffer.
  virtual WaveFormat Format() const = 0;

  // The buffer's bytes, whole, to be written; Unlock makes what was written sound. The bytes are
  // shared with the buffer's copies.
  virtual AudioResult Lock(std::uint8_t*& bytes, std::uint32_t& size) = 0;
  virtual AudioResult Unlock() = 0;

  virtual AudioResult Play(bool looping) = 0;
  virtual AudioResult Stop() = 0;
  // A byte offset into the samples; it is rounded down to a whole sample frame.
  virtual AudioResult SetPosition(std::uint32_t byte_offset) = 0;
  virtual AudioResult GetStatus(std::uint32_t& status) = 0;
  // 0 plays at the wave's own rate, the only rate offered: changing the pitch would need a
  // resampler of our own.
  virtual AudioResult SetFrequency(std::uint32_t samples_per_sec) = 0;
  // Attenuation in hundredths of a decibel: 0 is full volume, -10000 silence.
  virtual AudioResult SetVolume(std::int32_t volume) = 0;
  // -10000 (left only) to 10000 (right only), in hundredths of a decibel of the other side.
  virtual AudioResult SetPan(std::int32_t pan) = 0;

  // Names the samples, which copies share: tests tell the waves apart by it.
  virtual std::uint64_t SampleId() const = 0;
};

class AudioDevice {
 public:
  virtual ~AudioDevice() = default;

  // The window the sound belongs to and the share of the device: a normal share is always
  // granted, an exclusive one is not offered (Unsupported).
  virtual AudioResult SetCooperativeLevel(Window* window, bool exclusive) = 0;
  // The device's output itself; its format is the device's.
  virtual AudioResult CreatePrimaryBuffer(std::unique_ptr<SoundBuffer>& out) = 0;
  // A silent buffer of `bytes` bytes of samples in `format` (PCM, 1 or 2 channels, 8-bit unsigned
  // or 16-bit signed samples, 100 to 200000 samples a second).
  virtual AudioResult CreateBuffer(const WaveFormat& format, std::uint32_t bytes,
                                   std::unique_ptr<SoundBuffer>& out) = 0;
  // A copy sharing the original's samples, stopped at position 0.
  virtual AudioResult DuplicateBuffer(SoundBuffer& original, std::unique_ptr<SoundBuffer>& out) = 0;
};

}  // namespace platform
