#pragma once
// Builds the real program on the headless backend: the application, the main form with all its
// components, and a working directory of its own for hisc.dat.
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/application.h"
#include "game/unit1.h"
#include "platform/headless/headless_platform.h"

namespace testing_support {

// A fresh empty directory that is the current directory while the object lives.
class ScopedTempDir {
 public:
  ScopedTempDir();
  ~ScopedTempDir();
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
  std::filesystem::path old_;
};

std::string ReadFile(const std::filesystem::path& path);
// The lines of a text; `all_crlf` tells whether every line, the last included, ends with CR LF.
std::vector<std::string> SplitCrLfLines(const std::string& bytes, bool& all_crlf);
void WriteFile(const std::filesystem::path& path, const std::string& bytes);
// "yy/mm/dd hh:nn" of a moment in local time, as the game dates its table.
std::string TableDate(std::time_t t);
// Writes a hisc.dat whose best score, 1234, has its check value (5611) and the name "old".
void WriteBestScoreTable(const std::filesystem::path& path);
// The six lines the game's dialog sends to the ranking host `host` for the entry `query`.
std::string EntryRequestLines(const std::string& query, const std::string& host);

class GameHarness {
 public:
  GameHarness();
  ~GameHarness();

  // Creates the main form (its creation handler reads hisc.dat) and shows it, which initialises
  // the display and starts the frame timer.
  void Start();
  // Moves the clock on by `lag` ms and runs one pass of the message loop's idle processing
  // (one frame, when the timer runs).
  void Frame(std::uint32_t lag = 17);
  void Frames(int count, std::uint32_t lag = 17);
  // Sends a key-down message alone to the main form (no key is held).
  void KeyDown(std::uint16_t vk, bool alt = false);
  // Real keys through the headless keyboard: the focused window gets the key messages (a press
  // of a key already down is an auto-repeat) and the input component sees the key held. The
  // messages are handled before these return; no frame runs.
  void Press(platform::KeyCode key);
  void Release(platform::KeyCode key);
  // A press and release, with the left Alt key held around it when `alt` is set.
  void Tap(platform::KeyCode key, bool alt = false);
  platform::HeadlessKeyboard& keyboard() { return platform.GetKeyboard(); }
  // Gamepad buttons through the headless pads; a press's event is handled before these return.
  void PadPress(int pad, platform::PadButton button);
  void PadRelease(int pad, platform::PadButton button);
  platform::HeadlessGamepads& gamepads() { return platform.GetGamepads(); }
  // Destroys the form and the application, as the end of the program does.
  void Stop();

  // The positions in DXWaveList1 of the waves started so far, in order (-1 for a sound that no
  // item's buffer holds now). Empty without a sound device.
  std::vector<int> SoundStarts() const;

  platform::HeadlessPlatform platform;
  std::unique_ptr<app::TApplication> application;
  game::TForm1* form = nullptr;
  int frames_run = 0;
};

}  // namespace testing_support
