#include "platform/sdl/sdl_audio.h"

#include <SDL.h>

#include "platform/platform.h"

namespace platform {

namespace {

// 512 frames at 44.1 kHz is 11.6 ms: a sound starts within two periods of its play.
constexpr int kPeriodFrames = 512;
// How often to look for an output again after the device went away and none could be opened.
constexpr std::uint32_t kRetryMs = 2000;

void SDLCALL FeedOutput(void* userdata, Uint8* stream, int len) {
  auto* device = static_cast<MixingAudioDevice*>(userdata);
  const int channels = device->Output().channels;
  device->Mix(reinterpret_cast<std::int16_t*>(stream), len / (2 * channels));
}

}  // namespace

std::uint32_t SdlAudioDevice::OpenOutput(void* userdata, OutputFormat& output, int& period_frames) {
  SDL_AudioSpec want{};
  want.freq = 44100;
  want.format = AUDIO_S16SYS;
  want.channels = 2;
  want.samples = kPeriodFrames;
  want.callback = FeedOutput;
  want.userdata = userdata;
  SDL_AudioSpec have{};
  // The device's own rate and channels are taken as they are (our samples are converted to them
  // once); the sample format stays ours, SDL converts it if the device wants another.
  SDL_AudioDeviceID id = SDL_OpenAudioDevice(nullptr, 0, &want, &have,
                                             SDL_AUDIO_ALLOW_FREQUENCY_CHANGE | SDL_AUDIO_ALLOW_CHANNELS_CHANGE);
  if (id == 0) return 0;
  output.samples_per_sec = have.freq;
  output.channels = have.channels;
  period_frames = have.samples;
  return id;
}

std::unique_ptr<SdlAudioDevice> SdlAudioDevice::Open() {
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return nullptr;
  // The callback may run as soon as the device opens, before the object exists: open paused and
  // let the object start it.
  std::unique_ptr<SdlAudioDevice> device(new SdlAudioDevice(0, OutputFormat{}, kPeriodFrames));
  OutputFormat output;
  int period = kPeriodFrames;
  std::uint32_t id = OpenOutput(device.get(), output, period);
  if (id == 0) return nullptr;  // the destructor leaves the audio subsystem
  device->device_ = id;
  device->period_frames_ = period;
  device->LoseBuffers(output);  // no buffers yet: this only takes the output's format
  SDL_PauseAudioDevice(id, 0);
  return device;
}

SdlAudioDevice::SdlAudioDevice(std::uint32_t device, const OutputFormat& output, int period_frames)
    : MixingAudioDevice(output), device_(device), period_frames_(period_frames) {}

SdlAudioDevice::~SdlAudioDevice() {
  // Closing waits for the audio thread, which must not mix once this object is gone.
  if (device_) SDL_CloseAudioDevice(device_);
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void SdlAudioDevice::Poll() {
  if (device_ && SDL_GetAudioDeviceStatus(device_) != SDL_AUDIO_STOPPED) return;
  const std::uint32_t now = SDL_GetTicks();
  if (device_) {
    // The device went away (unplugged, the sound server ended): its buffers are lost. Take the
    // default output that remains, if any.
    SDL_CloseAudioDevice(device_);
    device_ = 0;
    SetOutputOpen(false);
    LoseBuffers(Output());
  } else if (static_cast<std::int32_t>(now - next_retry_ms_) < 0) {
    return;
  }
  next_retry_ms_ = now + kRetryMs;
  OutputFormat output;
  int period = period_frames_;
  std::uint32_t id = OpenOutput(this, output, period);
  if (id == 0) return;
  // Buffers made while nothing could be heard are lost too, so they are made again for this
  // output.
  LoseBuffers(output);
  device_ = id;
  period_frames_ = period;
  SetOutputOpen(true);
  SDL_PauseAudioDevice(id, 0);
}

}  // namespace platform
