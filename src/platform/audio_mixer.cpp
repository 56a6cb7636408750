#include "platform/audio_mixer.h"

#include <SDL.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

namespace platform {

namespace {

constexpr std::uint32_t kMaxBufferBytes = 0x0FFFFFFF;
// Converting a buffer's samples may not take more memory than this: a wave at a very low rate
// grows many times over.
constexpr std::uint64_t kMaxConvertedBytes = 512ull << 20;
constexpr std::int32_t kUnity = 32768;  // gains are fixed point, 1.0 = 2^15

std::int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::int32_t GainOf(std::int32_t hundredths_db) {
  if (hundredths_db <= -10000) return 0;
  return static_cast<std::int32_t>(std::lround(kUnity * std::pow(10.0, hundredths_db / 2000.0)));
}

bool Playable(const WaveFormat& f) {
  return f.format_tag == 1 && (f.channels == 1 || f.channels == 2) &&
         (f.bits_per_sample == 8 || f.bits_per_sample == 16) &&
         f.block_align == f.channels * f.bits_per_sample / 8 && f.samples_per_sec >= 100 &&
         f.samples_per_sec <= 200000;
}

// Converts whole frames of `bytes` to the output's format with SDL's converter.
AudioResult Convert(const WaveFormat& f, const std::vector<std::uint8_t>& bytes, const OutputFormat& out,
                    std::vector<std::int16_t>& frames) {
  SDL_AudioCVT cvt;
  if (SDL_BuildAudioCVT(&cvt, f.bits_per_sample == 8 ? AUDIO_U8 : AUDIO_S16LSB, static_cast<Uint8>(f.channels),
                        static_cast<int>(f.samples_per_sec), AUDIO_S16SYS, static_cast<Uint8>(out.channels),
                        out.samples_per_sec) < 0)
    return AudioResult::BadFormat;
  const std::uint64_t whole = bytes.size() / f.block_align * f.block_align;
  const std::uint64_t work_bytes = whole * static_cast<std::uint64_t>(cvt.len_mult);
  if (work_bytes > kMaxConvertedBytes) return AudioResult::OutOfMemory;
  std::vector<std::uint8_t> work(static_cast<std::size_t>(work_bytes));
  std::copy_n(bytes.begin(), whole, work.begin());
  cvt.buf = work.data();
  cvt.len = static_cast<int>(whole);
  cvt.len_cvt = cvt.len;
  if (cvt.needed && SDL_ConvertAudio(&cvt) != 0) return AudioResult::OutOfMemory;
  frames.resize(static_cast<std::size_t>(cvt.len_cvt) / 2);
  std::memcpy(frames.data(), work.data(), frames.size() * 2);
  return AudioResult::Ok;
}

}  // namespace

namespace {

thread_local int mixer_locks_held = 0;

// The mixer's lock, which the output's thread takes for every period it mixes: nothing done
// under it may allocate or free, or the output waits on the heap.
class MixerLock {
 public:
  explicit MixerLock(std::mutex& mutex) : lock_(mutex) { ++mixer_locks_held; }
  ~MixerLock() { --mixer_locks_held; }
  MixerLock(const MixerLock&) = delete;
  MixerLock& operator=(const MixerLock&) = delete;

 private:
  std::lock_guard<std::mutex> lock_;
};

// Samples summed before they are clamped to the output, a part of a period at a time so that
// a period of any length needs no memory of its own.
constexpr std::size_t kAccumulatorSamples = 4096;

}  // namespace

bool HoldingMixerLock() { return mixer_locks_held > 0; }

// Samples shared by a buffer and its copies.
struct SampleStore {
  WaveFormat format;
  std::vector<std::uint8_t> bytes;  // as written, in the wave's format
  // In the output's format; replaced whole (under the mixer's lock) when the bytes are unlocked.
  std::shared_ptr<const std::vector<std::int16_t>> frames = std::make_shared<std::vector<std::int16_t>>();
  std::uint64_t id = 0;
};

// One buffer as the mixer sees it.
struct Voice {
  std::shared_ptr<SampleStore> samples;  // none for the primary buffer
  std::uint32_t generation = 0;
  std::size_t frame = 0;  // next frame to mix
  bool playing = false;
  bool looping = false;
  std::int32_t gain_left = kUnity, gain_right = kUnity;
  std::int32_t volume = 0, pan = 0;
  std::int64_t play_ns = 0;
  bool awaiting_first_mix = false;
};

struct MixerCore {
  std::mutex mutex;
  OutputFormat output;
  std::uint32_t generation = 1;
  bool output_open = true;
  std::vector<Voice*> voices;
  std::array<std::int32_t, kAccumulatorSamples> accumulator;
  std::atomic<std::int64_t> last_start_wait_ns{-1};
  std::uint64_t next_sample_id = 1;
  MixingAudioDevice* device = nullptr;  // cleared when the device goes; buffers may outlive it

  void Mix(std::int16_t* out, int frames);
  // Under the lock: mixes at most the accumulator's frames; whether a voice sounded for the first time.
  bool MixPart(std::int16_t* out, int frames);
};

void MixerCore::Mix(std::int16_t* out, int frames) {
  MixerLock lock(mutex);
  const int ch = std::max(output.channels, 1);
  const int part = static_cast<int>(kAccumulatorSamples) / ch;
  bool first_mix = false;
  for (int done = 0; done < frames; done += part)
    first_mix |= MixPart(out + static_cast<std::size_t>(done) * static_cast<std::size_t>(ch), std::min(part, frames - done));
  if (first_mix) {
    const std::int64_t now = NowNs();
    for (Voice* v : voices)
      if (v->play_ns && !v->awaiting_first_mix && v->generation == generation) {
        last_start_wait_ns.store(now - v->play_ns);
        v->play_ns = 0;
      }
  }
}

bool MixerCore::MixPart(std::int16_t* out, int frames) {
  const int ch = output.channels;
  const std::size_t count = static_cast<std::size_t>(frames) * static_cast<std::size_t>(ch);
  std::fill_n(accumulator.begin(), count, 0);
  bool first_mix = false;
  for (Voice* v : voices) {
    if (!v->playing || v->generation != generation || !v->samples) continue;
    const std::vector<std::int16_t>& data = *v->samples->frames;
    const std::size_t length = data.size() / static_cast<std::size_t>(ch);
    if (v->awaiting_first_mix) {
      v->awaiting_first_mix = false;
      first_mix = true;
    }
    std::size_t pos = std::min(v->frame, length);
    std::size_t done = 0;
    const std::size_t want = static_cast<std::size_t>(frames);
    while (done < want) {
      if (pos >= length) {
        if (v->looping && length > 0) {
          pos = 0;
        } else {
          v->playing = false;
          pos = 0;
          break;
        }
      }
      const std::size_t take = std::min(want - done, length - pos);
      const std::int16_t* src = data.data() + pos * static_cast<std::size_t>(ch);
      std::int32_t* dst = accumulator.data() + done * static_cast<std::size_t>(ch);
      const std::size_t n = take * static_cast<std::size_t>(ch);
      if (v->gain_left == kUnity && v->gain_right == kUnity) {
        for (std::size_t i = 0; i < n; ++i) dst[i] += src[i];
      } else {
        for (std::size_t i = 0; i < n; ++i) {
          // The first channel is the left, the second the right; any others follow the volume.
          const int c = static_cast<int>(i % static_cast<std::size_t>(ch));
          const std::int32_t gain = c == 1 ? v->gain_right : v->gain_left;
          dst[i] += (src[i] * gain) >> 15;
        }
      }
      pos += take;
      done += take;
    }
    v->frame = pos;
  }
  for (std::size_t i = 0; i < count; ++i)
    out[i] = static_cast<std::int16_t>(std::clamp(accumulator[i], -32768, 32767));
  return first_mix;
}

// A buffer of the mixing device.
class MixedBuffer : public SoundBuffer {
 public:
  MixedBuffer(std::shared_ptr<MixerCore> core, std::shared_ptr<SampleStore> samples) : core_(std::move(core)) {
    voice_.samples = std::move(samples);
    // The list grows outside the lock (only this thread changes it) and is swapped in under it;
    // its old storage goes when `grown` does, after the lock.
    std::vector<Voice*> grown;
    grown.reserve(core_->voices.size() + 1);
    grown = core_->voices;
    grown.push_back(&voice_);
    MixerLock lock(core_->mutex);
    voice_.generation = core_->generation;
    core_->voices.swap(grown);
  }
  ~MixedBuffer() override {
    MixerLock lock(core_->mutex);
    auto& v = core_->voices;
    v.erase(std::remove(v.begin(), v.end(), &voice_), v.end());
  }

  std::uint32_t Size() const override {
    return voice_.samples ? static_cast<std::uint32_t>(voice_.samples->bytes.size()) : 0;
  }
  WaveFormat Format() const override {
    if (voice_.samples) return voice_.samples->format;
    MixerLock lock(core_->mutex);
    WaveFormat f;
    f.format_tag = 1;
    f.channels = static_cast<std::uint16_t>(core_->output.channels);
    f.samples_per_sec = static_cast<std::uint32_t>(core_->output.samples_per_sec);
    f.bits_per_sample = 16;
    f.block_align = static_cast<std::uint16_t>(2 * f.channels);
    f.avg_bytes_per_sec = f.samples_per_sec * f.block_align;
    return f;
  }

  AudioResult Lock(std::uint8_t*& bytes, std::uint32_t& size) override {
    Poll();
    if (Lost()) return AudioResult::BufferLost;
    if (!voice_.samples || locked_) return AudioResult::InvalidCall;
    locked_ = true;
    bytes = voice_.samples->bytes.data();
    size = Size();
    return AudioResult::Ok;
  }

  AudioResult Unlock() override {
    Poll();
    if (!locked_) return AudioResult::InvalidCall;
    locked_ = false;
    if (Lost()) return AudioResult::BufferLost;
    OutputFormat out;
    {
      MixerLock lock(core_->mutex);
      out = core_->output;
    }
    auto frames = std::make_shared<std::vector<std::int16_t>>();
    AudioResult r;
    try {
      r = Convert(voice_.samples->format, voice_.samples->bytes, out, *frames);
    } catch (const std::bad_alloc&) {
      r = AudioResult::OutOfMemory;
    }
    if (r != AudioResult::Ok) return r;
    // The samples replaced are freed here, once the lock is let go, and not under it.
    std::shared_ptr<const std::vector<std::int16_t>> replaced = std::move(frames);
    {
      MixerLock lock(core_->mutex);
      voice_.samples->frames.swap(replaced);
    }
    return AudioResult::Ok;
  }

  AudioResult Play(bool looping) override {
    Poll();
    std::uint64_t id = 0;
    {
      MixerLock lock(core_->mutex);
      if (voice_.generation != core_->generation) return AudioResult::BufferLost;
      if (!voice_.samples) return AudioResult::Ok;  // the output itself always plays
      voice_.looping = looping;
      if (core_->output_open) {
        voice_.playing = true;
        voice_.play_ns = NowNs();
        voice_.awaiting_first_mix = true;
      } else {
        voice_.playing = false;  // nothing to hear it
      }
      id = voice_.samples->id;
    }
    if (core_->device) core_->device->Started(id);
    return AudioResult::Ok;
  }

  AudioResult Stop() override {
    Poll();
    MixerLock lock(core_->mutex);
    if (voice_.generation != core_->generation) return AudioResult::BufferLost;
    voice_.playing = false;
    voice_.awaiting_first_mix = false;
    voice_.play_ns = 0;
    return AudioResult::Ok;
  }

  AudioResult SetPosition(std::uint32_t byte_offset) override {
    Poll();
    MixerLock lock(core_->mutex);
    if (voice_.generation != core_->generation) return AudioResult::BufferLost;
    if (!voice_.samples) return AudioResult::InvalidCall;
    const WaveFormat& f = voice_.samples->format;
    if (byte_offset > voice_.samples->bytes.size()) return AudioResult::InvalidParam;
    // The same instant in the output's frames.
    const std::uint64_t in_frame = byte_offset / f.block_align;
    voice_.frame = static_cast<std::size_t>(in_frame * static_cast<std::uint64_t>(core_->output.samples_per_sec) /
                                            f.samples_per_sec);
    return AudioResult::Ok;
  }

  AudioResult GetStatus(std::uint32_t& status) override {
    Poll();
    MixerLock lock(core_->mutex);
    status = 0;
    if (voice_.generation != core_->generation) {
      status = kBufferLost;
    } else if (voice_.playing) {
      status = kBufferPlaying | (voice_.looping ? std::uint32_t{kBufferLooping} : 0u);
    }
    return AudioResult::Ok;
  }

  AudioResult SetFrequency(std::uint32_t samples_per_sec) override {
    Poll();
    if (Lost()) return AudioResult::BufferLost;
    if (samples_per_sec == 0 || (voice_.samples && samples_per_sec == voice_.samples->format.samples_per_sec))
      return AudioResult::Ok;
    return AudioResult::Unsupported;
  }

  AudioResult SetVolume(std::int32_t volume) override {
    Poll();
    if (volume > 0 || volume < -10000) return AudioResult::InvalidParam;
    MixerLock lock(core_->mutex);
    if (voice_.generation != core_->generation) return AudioResult::BufferLost;
    voice_.volume = volume;
    UpdateGains();
    return AudioResult::Ok;
  }

  AudioResult SetPan(std::int32_t pan) override {
    Poll();
    if (pan > 10000 || pan < -10000) return AudioResult::InvalidParam;
    MixerLock lock(core_->mutex);
    if (voice_.generation != core_->generation) return AudioResult::BufferLost;
    voice_.pan = pan;
    UpdateGains();
    return AudioResult::Ok;
  }

  std::uint64_t SampleId() const override { return voice_.samples ? voice_.samples->id : 0; }

  const std::shared_ptr<SampleStore>& Samples() const { return voice_.samples; }
  bool Lost() {
    MixerLock lock(core_->mutex);
    return voice_.generation != core_->generation;
  }

 private:
  void Poll() {
    if (core_->device) core_->device->Poll();
  }
  // Under the lock.
  void UpdateGains() {
    const std::int32_t base = voice_.volume;
    voice_.gain_left = GainOf(base + std::min(0, -voice_.pan));
    voice_.gain_right = GainOf(base + std::min(0, voice_.pan));
  }

  std::shared_ptr<MixerCore> core_;
  Voice voice_;
  bool locked_ = false;
};

MixingAudioDevice::MixingAudioDevice(const OutputFormat& output) : core_(std::make_shared<MixerCore>()) {
  core_->output = output;
  core_->device = this;
}

MixingAudioDevice::~MixingAudioDevice() {
  MixerLock lock(core_->mutex);
  core_->device = nullptr;
}

AudioResult MixingAudioDevice::SetCooperativeLevel(Window*, bool exclusive) {
  Poll();
  return exclusive ? AudioResult::Unsupported : AudioResult::Ok;
}

AudioResult MixingAudioDevice::CreatePrimaryBuffer(std::unique_ptr<SoundBuffer>& out) {
  Poll();
  out = std::make_unique<MixedBuffer>(core_, nullptr);
  return AudioResult::Ok;
}

AudioResult MixingAudioDevice::CreateBuffer(const WaveFormat& format, std::uint32_t bytes,
                                            std::unique_ptr<SoundBuffer>& out) {
  Poll();
  out.reset();
  if (!Playable(format)) return AudioResult::BadFormat;
  if (bytes == 0 || bytes > kMaxBufferBytes) return AudioResult::InvalidParam;
  try {
    auto samples = std::make_shared<SampleStore>();
    samples->format = format;
    samples->bytes.assign(bytes, format.bits_per_sample == 8 ? 0x80 : 0);
    {
      MixerLock lock(core_->mutex);
      samples->id = core_->next_sample_id++;
    }
    out = std::make_unique<MixedBuffer>(core_, std::move(samples));
  } catch (const std::bad_alloc&) {
    return AudioResult::OutOfMemory;
  }
  return AudioResult::Ok;
}

AudioResult MixingAudioDevice::DuplicateBuffer(SoundBuffer& original, std::unique_ptr<SoundBuffer>& out) {
  Poll();
  out.reset();
  auto* source = dynamic_cast<MixedBuffer*>(&original);
  if (!source || !source->Samples()) return AudioResult::InvalidParam;
  if (source->Lost()) return AudioResult::BufferLost;
  out = std::make_unique<MixedBuffer>(core_, source->Samples());
  return AudioResult::Ok;
}

OutputFormat MixingAudioDevice::Output() const {
  MixerLock lock(core_->mutex);
  return core_->output;
}

bool MixingAudioDevice::AnyPlaying() const {
  MixerLock lock(core_->mutex);
  return std::any_of(core_->voices.begin(), core_->voices.end(),
                     [this](const Voice* v) { return v->playing && v->generation == core_->generation; });
}

void MixingAudioDevice::Mix(std::int16_t* out, int frames) { core_->Mix(out, frames); }

void MixingAudioDevice::LoseBuffers(const OutputFormat& output) {
  MixerLock lock(core_->mutex);
  ++core_->generation;
  core_->output = output;
  for (Voice* v : core_->voices) v->playing = false;
}

void MixingAudioDevice::SetOutputOpen(bool open) {
  MixerLock lock(core_->mutex);
  core_->output_open = open;
}

std::int64_t MixingAudioDevice::LastStartWaitNs() const { return core_->last_start_wait_ns.load(); }

}  // namespace platform
