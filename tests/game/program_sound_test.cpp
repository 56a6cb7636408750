// The real program's sound, written by SDL's disk audio driver: sound where the game's events
// happen and silence everywhere else.
#include <gtest/gtest.h>

#include <cstring>

#include "support/harness.h"
#include "support/process.h"

namespace {

using namespace testing_support;
using namespace std::chrono_literals;

// The program asks for 16-bit stereo at 44.1 kHz, which the disk driver writes as it is.
constexpr int kRate = 44100;
constexpr int kChannels = 2;

struct Segment {
  double start = 0, end = 0;  // seconds into the output
  int peak = 0;
};

// Runs of sound, in 10 ms windows; quiet gaps shorter than 50 ms belong to the run around them.
std::vector<Segment> SoundIn(const std::string& raw) {
  const std::size_t frames = raw.size() / (2 * kChannels);
  constexpr std::size_t kWindow = kRate / 100;
  std::vector<Segment> out;
  bool open = false;
  std::size_t last_loud = 0;
  for (std::size_t w = 0; w * kWindow < frames; ++w) {
    int peak = 0;
    for (std::size_t f = w * kWindow; f < std::min(frames, (w + 1) * kWindow); ++f)
      for (int c = 0; c < kChannels; ++c) {
        std::int16_t v;
        std::memcpy(&v, raw.data() + (f * kChannels + c) * 2, 2);
        peak = std::max(peak, std::abs(int(v)));
      }
    if (peak == 0) {
      if (open && w - last_loud > 5) open = false;
      continue;
    }
    if (!open) {
      out.push_back({w / 100.0, 0, 0});
      open = true;
    }
    last_loud = w;
    out.back().end = (w + 1) / 100.0;
    out.back().peak = std::max(out.back().peak, peak);
  }
  return out;
}

TEST(ProgramSound, TheDiskDriverHoldsTheJinglesAndTheGameOverPhraseAndSilenceBetween) {
  ScopedTempDir dir;
  VirtualX x;
  const auto output = dir.Path() / "out.raw";
  ChildProcess velkor;
  velkor.Start({VELKOR_BINARY},
               {{"DISPLAY", x.Display()}, {"SDL_AUDIODRIVER", "disk"}, {"SDL_DISKAUDIOFILE", output.string()}},
               dir.Path().string(), (dir.Path() / "velkor.log").string());
  std::string window;
  ASSERT_TRUE(WaitUntil(
      [&] {
        window = RunAndCapture({"xdotool", "search", "--name", "^Velkor Ver 1.12$"}, {{"DISPLAY", x.Display()}});
        return !window.empty();
      },
      10s))
      << ReadFile(dir.Path() / "velkor.log");
  window = window.substr(0, window.find('\n'));
  RunAndCapture({"xdotool", "windowfocus", window}, {{"DISPLAY", x.Display()}});

  // The driver writes the output as it plays it, but not exactly at the pace of the clock: note
  // when the file grew, to tell when a sound in it was played.
  std::vector<std::pair<double, std::uintmax_t>> growth;  // (seconds since the start, bytes)
  const auto t0 = std::chrono::steady_clock::now();
  auto watch_until = [&](std::size_t sounds, std::chrono::seconds timeout) {
    int polls = 0;
    return WaitUntil(
        [&] {
          std::error_code ec;
          const std::uintmax_t size = std::filesystem::file_size(output, ec);
          growth.push_back({std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(), ec ? 0 : size});
          return ++polls % 25 == 0 && SoundIn(ReadFile(output)).size() >= sounds;
        },
        timeout);
  };
  auto played_at = [&](double file_seconds) {
    const auto offset = static_cast<std::uintmax_t>(file_seconds * kRate * kChannels * 2);
    for (const auto& [when, size] : growth)
      if (size > offset) return when;
    return -1.0;
  };

  // The logo's chime, then the title's jingle; then Space starts a game that ends after a minute.
  ASSERT_TRUE(watch_until(2, 30s)) << ReadFile(dir.Path() / "velkor.log");
  RunAndCapture({"xdotool", "key", "--window", window, "space"}, {{"DISPLAY", x.Display()}});
  ASSERT_TRUE(watch_until(3, 90s));
  watch_until(4, 3s);  // the phrase to its end, and silence after it
  RunAndCapture({"xdotool", "key", "--window", window, "Escape"}, {{"DISPLAY", x.Display()}});
  auto status = velkor.Wait(10s);
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(*status, 0);

  const std::vector<Segment> sound = SoundIn(ReadFile(output));
  ASSERT_EQ(sound.size(), 3u) << "exactly the three events sound; all else is silence";
  struct Expected {
    const char* what;
    double length;
  };
  const Expected expected[] = {{"maker chime", 1.394}, {"title jingle", 0.726}, {"game-over phrase", 1.616}};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(expected[i].what);
    EXPECT_NEAR(sound[i].end - sound[i].start, expected[i].length, 0.06);
    EXPECT_GT(sound[i].peak, 16000);
    EXPECT_LT(sound[i].peak, 32767) << "not clipped";
  }
  // From the chime to the jingle the logo moves 200 steps of LagCount div 10: 3.3 s at 60 frames
  // a second, and between 2 and 4 s at any frame rate a loaded machine may give. Then a minute of
  // play.
  const double logo = played_at(sound[1].start) - played_at(sound[0].start);
  EXPECT_GT(logo, 1.95);
  EXPECT_LT(logo, 4.05);
  EXPECT_GT(played_at(sound[2].start) - played_at(sound[1].start), 60.0);
  EXPECT_GT(sound[0].start, 2.0) << "silence while the logo moves";
  const double total = static_cast<double>(ReadFile(output).size()) / (kRate * kChannels * 2);
  EXPECT_GT(total - sound[2].end, 0.5) << "silence after the phrase";
}

}  // namespace
