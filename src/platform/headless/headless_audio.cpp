#include "platform/headless/headless_audio.h"

#include <algorithm>

#include "platform/headless/headless_platform.h"

namespace platform {

HeadlessAudioDevice::HeadlessAudioDevice(HeadlessPlatform& platform, const OutputFormat& output)
    : MixingAudioDevice(output), platform_(platform), last_ms_(platform.Milliseconds()) {}

HeadlessAudioDevice::~HeadlessAudioDevice() { platform_.ForgetAudio(this); }

void HeadlessAudioDevice::Poll() {
  const std::uint32_t now = platform_.Milliseconds();
  const std::uint32_t elapsed = now - last_ms_;
  last_ms_ = now;
  const OutputFormat out = Output();
  std::uint64_t thousandths = static_cast<std::uint64_t>(elapsed) * static_cast<std::uint64_t>(out.samples_per_sec) +
                              frame_remainder_;
  std::uint64_t frames = thousandths / 1000;
  frame_remainder_ = thousandths % 1000;
  // Mixed in slices of about 10 ms, as an audio thread would.
  const std::uint64_t slice = static_cast<std::uint64_t>(out.samples_per_sec) / 100 + 1;
  scratch_.resize(slice * static_cast<std::uint64_t>(out.channels));
  while (frames > 0) {
    if (!capturing_ && !AnyPlaying()) break;  // silence needs no mixing
    const int n = static_cast<int>(std::min(frames, slice));
    Mix(scratch_.data(), n);
    if (capturing_)
      captured_.insert(captured_.end(), scratch_.begin(), scratch_.begin() + n * out.channels);
    frames -= static_cast<std::uint64_t>(n);
  }
}

void HeadlessAudioDevice::Started(std::uint64_t sample_id) {
  starts_.push_back({sample_id, platform_.Milliseconds(), platform_.VerticalBlankWaits()});
}

}  // namespace platform
