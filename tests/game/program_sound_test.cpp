// The real program's sound, written by SDL's disk audio driver: sound where the game's events
// happen and silence everywhere else.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <thread>

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
// Fed the output as it grows, so that watching a long run stays cheap.
class SoundFinder {
 public:
  void Feed(const std::string& bytes) {
    pending_ += bytes;
    constexpr std::size_t kWindowBytes = kRate / 100 * kChannels * 2;
    std::size_t at = 0;
    for (; at + kWindowBytes <= pending_.size(); at += kWindowBytes) Window(pending_.data() + at, kWindowBytes);
    pending_.erase(0, at);
  }
  const std::vector<Segment>& Segments() const { return segments_; }

 private:
  void Window(const char* data, std::size_t size) {
    int peak = 0;
    for (std::size_t i = 0; i + 1 < size; i += 2) {
      std::int16_t v;
      std::memcpy(&v, data + i, 2);
      peak = std::max(peak, std::abs(int(v)));
    }
    const std::size_t w = window_++;
    if (peak == 0) {
      if (open_ && w - last_loud_ > 5) open_ = false;
      return;
    }
    if (!open_) {
      segments_.push_back({w / 100.0, 0, 0});
      open_ = true;
    }
    last_loud_ = w;
    segments_.back().end = (w + 1) / 100.0;
    segments_.back().peak = std::max(segments_.back().peak, peak);
  }

  std::string pending_;
  std::vector<Segment> segments_;
  std::size_t window_ = 0, last_loud_ = 0;
  bool open_ = false;
};

std::vector<Segment> SoundIn(const std::string& raw) {
  SoundFinder finder;
  finder.Feed(raw);
  return finder.Segments();
}

TEST(ProgramSound, TheDiskDriverHoldsEachEventsSoundAndSilenceBetween) {
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
        window = x.Xdotool({"search", "--onlyvisible", "--pid", std::to_string(velkor.Pid())});
        window = window.substr(0, window.find('\n'));
        return !window.empty();
      },
      20s))
      << ReadFile(dir.Path() / "velkor.log");
  // The game takes the keyboard by itself; keys are then real key events.
  ASSERT_TRUE(WaitUntil([&] { return x.Xdotool({"getwindowfocus"}) == window; }, 10s));
  auto keys = [&](const std::vector<std::string>& args) {
    int status = -1;
    x.Xdotool(args, &status);
    ASSERT_EQ(status, 0) << "xdotool " << args.front();
  };

  // The driver writes the output as it plays it, but not exactly at the pace of the clock: note
  // when the file grew, to tell when a sound in it was played.
  std::vector<std::pair<double, std::uintmax_t>> growth;  // (seconds since the start, bytes)
  const auto t0 = std::chrono::steady_clock::now();
  SoundFinder live;
  std::ifstream out_file;
  auto watch_until = [&](std::size_t sounds, std::chrono::seconds timeout) {
    return WaitUntil(
        [&] {
          std::error_code ec;
          const std::uintmax_t size = std::filesystem::file_size(output, ec);
          growth.push_back({std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(), ec ? 0 : size});
          if (!out_file.is_open()) out_file.open(output, std::ios::binary);
          if (out_file.is_open()) {
            std::string more(64 * 1024, '\0');
            out_file.clear();
            out_file.read(more.data(), static_cast<std::streamsize>(more.size()));
            more.resize(static_cast<std::size_t>(out_file.gcount()));
            live.Feed(more);
          }
          return live.Segments().size() >= sounds;
        },
        timeout);
  };
  auto played_at = [&](double file_seconds) {
    const auto offset = static_cast<std::uintmax_t>(file_seconds * kRate * kChannels * 2);
    for (const auto& [when, size] : growth)
      if (size > offset) return when;
    return -1.0;
  };

  // The logo's chime, then the title's jingle. Space starts a game; one arm chosen and let go is
  // a scored turn; the game ends after a minute.
  ASSERT_TRUE(watch_until(2, 30s)) << ReadFile(dir.Path() / "velkor.log");
  keys({"key", "space"});
  std::this_thread::sleep_for(1s);
  keys({"keydown", "Up"});
  std::this_thread::sleep_for(200ms);
  keys({"keyup", "Up"});
  ASSERT_TRUE(watch_until(3, 10s)) << "no turn sound";
  ASSERT_TRUE(watch_until(4, 150s)) << "no game-over phrase";
  watch_until(5, 3s);  // the phrase to its end, and silence after it
  keys({"key", "Escape"});
  auto status = velkor.Wait(10s);
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(*status, 0);

  const std::vector<Segment> sound = SoundIn(ReadFile(output));
  ASSERT_EQ(sound.size(), 4u) << "exactly the four events sound; all else is silence";
  auto length = [&](int i) { return sound[i].end - sound[i].start; };
  struct Expected {
    const char* what;
    int at;
    std::vector<double> lengths;  // any of these
  };
  const Expected expected[] = {{"maker chime", 0, {1.394}},
                               {"title jingle", 1, {0.726}},
                               {"turn sound", 2, {0.160, 0.431, 0.696, 0.392}},
                               {"game-over phrase", 3, {1.616}}};
  for (const Expected& e : expected) {
    SCOPED_TRACE(e.what);
    double nearest = 1e9;
    for (double l : e.lengths) nearest = std::min(nearest, std::abs(length(e.at) - l));
    EXPECT_LT(nearest, 0.06) << length(e.at) << " s";
    EXPECT_GT(sound[e.at].peak, 16000);
    EXPECT_LT(sound[e.at].peak, 32767) << "not clipped";
  }
  // From the chime to the jingle the logo moves 200 steps of LagCount div 10: 3.3 s at 60 frames
  // a second, and between 2 and 4 s at any frame rate a loaded machine may give. Then a minute of
  // play, less five seconds when the turn was a miss.
  const double logo = played_at(sound[1].start) - played_at(sound[0].start);
  EXPECT_GT(logo, 1.95);
  EXPECT_LT(logo, 4.05);
  EXPECT_GT(played_at(sound[3].start) - played_at(sound[1].start), 55.0);
  EXPECT_GT(sound[0].start, 2.0) << "silence while the logo moves";
  const double total = static_cast<double>(ReadFile(output).size()) / (kRate * kChannels * 2);
  EXPECT_GT(total - sound[3].end, 0.5) << "silence after the phrase";
}

}  // namespace
