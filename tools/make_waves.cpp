// Synthesises the game's seven waves and writes them in their stored layout:
//
//   make_waves <directory>
//
// The same bytes come out on every machine: the arithmetic is plain IEEE double (no library sine,
// no fused multiply-add; see tools/CMakeLists.txt) and samples are rounded explicitly.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

// sin(2 pi x) for x in cycles, from a Taylor series on [-pi/2, pi/2].
double Sine(double cycles) {
  double x = cycles - std::floor(cycles);  // [0, 1)
  double a = 2.0 * kPi * x;
  if (a > kPi) a -= 2.0 * kPi;                 // [-pi, pi]
  if (a > kPi / 2) a = kPi - a;                // fold onto [-pi/2, pi/2]
  if (a < -kPi / 2) a = -kPi - a;
  const double a2 = a * a;
  double term = a, sum = a;
  for (int n = 1; n <= 7; ++n) {
    term *= -a2 / ((2.0 * n) * (2.0 * n + 1.0));
    sum += term;
  }
  return sum;
}

// e^x for the small negative exponents of envelopes, from squaring a short series.
double Exp(double x) {
  double y = x / 1024.0;
  double r = 1.0 + y * (1.0 + y * (0.5 + y * (1.0 / 6.0 + y * (1.0 / 24.0 + y / 120.0))));
  for (int i = 0; i < 10; ++i) r *= r;
  return r;
}

// The natural logarithm, by Newton's method on Exp.
double Log(double x) {
  double y = 0;
  for (int i = 0; i < 60; ++i) y += 2.0 * (x - Exp(y)) / (x + Exp(y));
  return y;
}

struct Partial {
  double ratio;  // of the note's frequency
  double level;
  double decay;  // time constant in seconds (0: none)
};

// One struck or blown note added into `out`.
struct Note {
  double start = 0;      // seconds
  double length = 0;     // seconds until its release begins (0: rings to the end)
  double frequency = 0;  // Hz at the start
  double glide_to = 0;     // Hz reached by exponential glide (0: none)
  double glide_time = 0;   // seconds of the glide
  double attack = 0.004;   // seconds
  double release = 0.03;   // seconds
  double vibrato_rate = 0, vibrato_depth = 0, vibrato_delay = 0;  // Hz, fraction, seconds
  double level = 1.0;
  std::vector<Partial> partials;
};

Note At(double start, double length, double frequency) {
  Note n;
  n.start = start;
  n.length = length;
  n.frequency = frequency;
  return n;
}

void AddNote(std::vector<double>& out, int rate, const Note& n) {
  const double nyquist = rate / 2.0 * 0.9;
  const auto first = static_cast<std::size_t>(n.start * rate);
  double phase = 0;  // cycles of the fundamental
  for (std::size_t i = first; i < out.size(); ++i) {
    const double t = static_cast<double>(i - first) / rate;
    double env = t < n.attack ? 0.5 - 0.5 * Sine(0.25 + 0.5 * t / n.attack) : 1.0;
    if (n.length > 0 && t > n.length) {
      const double r = (t - n.length) / n.release;
      if (r >= 1.0) break;
      env *= 0.5 + 0.5 * Sine(0.25 + 0.5 * r);
    }
    double f = n.frequency;
    if (n.glide_to > 0) {
      const double g = t < n.glide_time ? t / n.glide_time : 1.0;
      f = n.frequency * Exp(g * Log(n.glide_to / n.frequency));
    }
    if (n.vibrato_rate > 0 && t > n.vibrato_delay) {
      const double depth = n.vibrato_depth * std::fmin(1.0, (t - n.vibrato_delay) / 0.15);
      f *= 1.0 + depth * Sine(n.vibrato_rate * (t - n.vibrato_delay));
    }
    double v = 0;
    for (const Partial& p : n.partials) {
      if (f * p.ratio >= nyquist) continue;
      const double d = p.decay > 0 ? Exp(-t / p.decay) : 1.0;
      v += p.level * d * Sine(phase * p.ratio);
    }
    out[i] += n.level * env * v;
    phase += f / rate;
    if (phase >= 1 << 20) phase -= 1 << 20;
  }
}

// Fades both ends to silence and scales the loudest sample to `peak`.
void Finish(std::vector<double>& s, int rate, double peak) {
  const auto fade_in = static_cast<std::size_t>(0.003 * rate);
  const auto fade_out = static_cast<std::size_t>(0.025 * rate);
  const std::size_t n = s.size();
  for (std::size_t i = 0; i < fade_in && i < n; ++i)
    s[i] *= 0.5 - 0.5 * Sine(0.25 + 0.5 * static_cast<double>(i) / fade_in);
  for (std::size_t i = 0; i < fade_out && i < n; ++i)
    s[n - 1 - i] *= 0.5 - 0.5 * Sine(0.25 + 0.5 * static_cast<double>(i) / fade_out);
  double max = 0;
  for (double v : s) max = std::fmax(max, std::fabs(v));
  if (max > 0)
    for (double& v : s) v *= peak / max;
}

constexpr double kLn2 = 0.69314718055994530942;
double Hz(int semitones_from_a4) { return 440.0 * Exp(semitones_from_a4 * (kLn2 / 12.0)); }

std::vector<Partial> Piano() {
  return {{1, 1.0, 0.45}, {2, 0.40, 0.22}, {3, 0.16, 0.12}, {4, 0.07, 0.08}, {5, 0.03, 0.05}};
}
std::vector<Partial> Bell() {
  return {{1, 1.0, 0.70}, {2.0, 0.45, 0.35}, {2.76, 0.22, 0.20}, {4.07, 0.12, 0.10}, {5.40, 0.05, 0.06}};
}
std::vector<Partial> Brass(int harmonics, double tilt) {
  std::vector<Partial> p;
  for (int h = 1; h <= harmonics; ++h) p.push_back({double(h), Exp(-tilt * Log(h)), 0});
  return p;
}

// A short title jingle: a rising major arpeggio that rings on its top note.
std::vector<double> Title(int rate, std::size_t n) {
  std::vector<double> s(n, 0.0);
  const int steps[] = {-9, -5, -2, 3};  // C5 E5 G5 C6
  for (int i = 0; i < 4; ++i) {
    Note note = At(i * 0.085, 0, Hz(steps[i]));
    note.partials = Piano();
    note.level = i == 3 ? 1.0 : 0.8;
    AddNote(s, rate, note);
  }
  Note body = At(3 * 0.085, 0, Hz(-9));  // C5 under the top note
  body.partials = Piano();
  body.level = 0.45;
  AddNote(s, rate, body);
  Finish(s, rate, 0.85);
  return s;
}

// The maker's chime: three glassy bell strokes rising by fifths and fourths.
std::vector<double> Chime(int rate, std::size_t n) {
  std::vector<double> s(n, 0.0);
  const int steps[] = {7, 14, 19};  // E5 B5 E6
  for (int i = 0; i < 3; ++i) {
    Note note = At(i * 0.17, 0, Hz(steps[i]));
    note.partials = Bell();
    note.attack = 0.002;
    note.level = 1.0 - 0.15 * i;
    AddNote(s, rate, note);
  }
  Finish(s, rate, 0.85);
  return s;
}

// A last note held to the end, slowly dying away with a vibrato that sets in after `delay`.
void Hold(Note& note, double vibrato_rate, double vibrato_depth, double delay, double decay) {
  note.vibrato_rate = vibrato_rate;
  note.vibrato_depth = vibrato_depth;
  note.vibrato_delay = delay;
  for (Partial& p : note.partials) p.decay = decay;
}

// Game over: a falling brass phrase, its last note held with a slow vibrato.
std::vector<double> GameOver(int rate, std::size_t n) {
  std::vector<double> s(n, 0.0);
  const int steps[] = {-2, -3, -4, -5};  // G4 F#4 F4 E4
  for (int i = 0; i < 4; ++i) {
    Note note = At(i * 0.3, i == 3 ? 0.0 : 0.26, Hz(steps[i]));
    note.partials = Brass(8, 1.4);
    note.attack = 0.03;
    note.release = 0.04;
    if (i == 3) {
      note.partials = Brass(8, 1.6);
      Hold(note, 5.5, 0.012, 0.1, 0.9);
    }
    AddNote(s, rate, note);
  }
  Finish(s, rate, 0.85);
  return s;
}

// A small score: a pip that slides up a fifth.
std::vector<double> Blip(int rate, std::size_t n) {
  std::vector<double> s(n, 0.0);
  Note note = At(0, 0, Hz(12));  // A5
  note.glide_to = Hz(19);   // E6
  note.glide_time = 0.035;
  note.attack = 0.003;
  note.partials = {{1, 1.0, 0.06}, {2, 0.18, 0.03}};
  AddNote(s, rate, note);
  Finish(s, rate, 0.85);
  return s;
}

// A better score: two bright rising notes.
std::vector<double> Bright(int rate, std::size_t n) {
  std::vector<double> s(n, 0.0);
  const int steps[] = {12, 19};  // A5 E6
  for (int i = 0; i < 2; ++i) {
    Note note = At(i * 0.075, 0, Hz(steps[i]));
    note.partials = {{1, 1.0, i ? 0.14 : 0.06}, {2, 0.45, 0.07}, {3, 0.2, 0.04}};
    note.attack = 0.002;
    AddNote(s, rate, note);
  }
  Finish(s, rate, 0.85);
  return s;
}

// The best scores: a quick brass fanfare up a major chord to a held top note.
std::vector<double> Fanfare(int rate, std::size_t n) {
  std::vector<double> s(n, 0.0);
  const int steps[] = {3, 7, 10, 15};  // C5 E5 G5 C6
  for (int i = 0; i < 4; ++i) {
    Note note = At(i * 0.095, i == 3 ? 0.0 : 0.08, Hz(steps[i]));
    note.partials = Brass(10, 1.2);
    note.attack = 0.012;
    note.release = 0.015;
    if (i == 3) Hold(note, 6, 0.008, 0.12, 0.5);
    AddNote(s, rate, note);
  }
  Finish(s, rate, 0.85);
  return s;
}

// A miss: a hollow low tone that sags downwards.
std::vector<double> Miss(int rate, std::size_t n) {
  std::vector<double> s(n, 0.0);
  Note note = At(0, 0, 311.1);  // D#4
  note.glide_to = 116.5;   // A#2
  note.glide_time = 0.33;
  note.attack = 0.006;
  note.partials = {{1, 1.0, 0.35}, {3, 0.33, 0.25}, {5, 0.2, 0.2}, {7, 0.14, 0.15}};
  AddNote(s, rate, note);
  Finish(s, rate, 0.85);
  return s;
}

struct WaveRecipe {
  const char* file;
  int rate;
  int bits;
  std::size_t samples;
  std::function<std::vector<double>(int, std::size_t)> make;
};

void Put16(std::string& b, std::uint32_t v) {
  b += char(v & 0xFF);
  b += char((v >> 8) & 0xFF);
}
void Put32(std::string& b, std::uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}

// The stored layout: RIFF (its size field the block's length + 2), WAVE, a 16-byte "fmt " chunk,
// the "data" chunk, and one zero byte after it.
std::string Store(const WaveRecipe& w, const std::vector<double>& s) {
  const std::uint32_t block_align = w.bits / 8;
  const auto data_bytes = static_cast<std::uint32_t>(s.size() * block_align);
  const std::uint32_t length = 44 + data_bytes + 1;
  std::string b;
  b += "RIFF";
  Put32(b, length + 2);
  b += "WAVE";
  b += "fmt ";
  Put32(b, 16);
  Put16(b, 1);  // PCM
  Put16(b, 1);  // mono
  Put32(b, static_cast<std::uint32_t>(w.rate));
  Put32(b, static_cast<std::uint32_t>(w.rate) * block_align);
  Put16(b, block_align);
  Put16(b, static_cast<std::uint32_t>(w.bits));
  b += "data";
  Put32(b, data_bytes);
  for (double v : s) {
    if (w.bits == 8) {
      b += char(static_cast<std::uint8_t>(128 + std::floor(v * 127.0 + 0.5)));
    } else {
      const auto q = static_cast<std::int32_t>(std::floor(v * 32767.0 + 0.5));
      Put16(b, static_cast<std::uint16_t>(q));
    }
  }
  b += '\0';
  return b;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_waves <directory>\n");
    return 2;
  }
  const std::string dir = argv[1];
  const WaveRecipe waves[] = {
      {"wave_title.wav", 22050, 16, 16006, Title},    {"wave_soft.wav", 22050, 16, 30730, Chime},
      {"wave_zavaover.wav", 22050, 16, 35623, GameOver}, {"wave_1-9.wav", 11025, 8, 1765, Blip},
      {"wave_10-29.wav", 11025, 8, 4752, Bright},     {"wave_30up.wav", 22050, 8, 15340, Fanfare},
      {"wave_miss.wav", 11025, 8, 4320, Miss},
  };
  for (const WaveRecipe& w : waves) {
    const std::string bytes = Store(w, w.make(w.rate, w.samples));
    std::ofstream out(dir + "/" + w.file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
      std::fprintf(stderr, "make_waves: cannot write %s/%s\n", dir.c_str(), w.file);
      return 1;
    }
  }
  return 0;
}
