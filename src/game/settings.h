#pragma once
// The settings file beside hisc.dat, velkor.ini, for players who start the game from the menu or
// by a double click and so cannot give it options:
//
//   # lines starting with # or ; are comments; blank lines and [section] lines are ignored
//   ranking = ranking.example.org:8080
//
// One "name = value" a line, names in any case, blanks around either ignored; UTF-8 (with or
// without the byte-order mark Notepad writes) or plain ASCII, with LF or CR LF line ends. An
// unknown name or a bad value is reported and its line ignored: the rest still applies.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace game {

inline constexpr const char* kSettingsFileName = "velkor.ini";
// Larger than any settings file a player writes; anything bigger is not one.
inline constexpr std::size_t kMaxSettingsBytes = 64 * 1024;

struct Settings {
  // ranking = HOST[:PORT]: checked as --ranking is.
  std::optional<std::string> ranking_host;
  // What was wrong, a line each ("velkor.ini line 3: ..."), for standard error.
  std::vector<std::string> notes;
};

// The settings in the text of a settings file.
Settings ParseSettings(std::string_view text);
// The settings file in the current directory (where hisc.dat is kept): none when there is no
// such file, a note when it cannot be read.
Settings ReadSettingsFile();

}  // namespace game
