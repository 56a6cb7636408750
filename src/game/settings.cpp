#include "game/settings.h"

#include "platform/files.h"
#include "ranking/ranking_host.h"

namespace game {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

// The file's own text in a report: printable ASCII as it is, every other byte as \xHH, so a
// stray byte cannot garble the terminal and shows what it was.
std::string Shown(std::string_view s) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : s) {
    auto u = static_cast<unsigned char>(c);
    if (u >= 0x20 && u < 0x7F && c != '\\') {
      out += c;
    } else {
      out += "\\x";
      out += kHex[u >> 4];
      out += kHex[u & 15];
    }
  }
  return out;
}

}  // namespace

Settings ParseSettings(std::string_view text) {
  Settings settings;
  const std::string file = kSettingsFileName;
  if (text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF")) {
    settings.notes.push_back(file + " is saved as UTF-16 and is ignored: save it as UTF-8 or ANSI");
    return settings;
  }
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  int number = 0;
  while (!text.empty()) {
    // A line ends in LF, CR LF or CR alone.
    std::size_t end = text.find_first_of("\r\n");
    std::string_view line = text.substr(0, end);
    const bool cr = end != std::string_view::npos && text[end] == '\r';
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (cr && text.starts_with('\n')) text.remove_prefix(1);
    ++number;
    const std::string where = file + " line " + std::to_string(number) + ": ";

    line = Trim(line);
    if (line.empty() || line.front() == '#' || line.front() == ';') continue;
    if (line.front() == '[' && line.back() == ']') continue;
    std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
      settings.notes.push_back(where + "'" + Shown(line) + "' is not a 'name = value' line; ignored");
      continue;
    }
    const std::string name = Lower(Trim(line.substr(0, equals)));
    std::string_view value = Trim(line.substr(equals + 1));
    // A comment after the value, behind a blank, as INI files allow.
    for (std::size_t i = 1; i < value.size(); ++i) {
      if ((value[i] == '#' || value[i] == ';') && (value[i - 1] == ' ' || value[i - 1] == '\t')) {
        value = Trim(value.substr(0, i));
        break;
      }
    }
    if (name == "ranking") {
      std::string why;
      if (auto host = ranking::CheckRankingHost(value, why)) {
        settings.ranking_host = std::move(*host);
      } else {
        settings.notes.push_back(where + "ranking '" + Shown(value) + "' is not used: " + why);
      }
      continue;
    }
    settings.notes.push_back(where + "unknown setting '" + Shown(Trim(line.substr(0, equals))) + "'; ignored");
  }
  return settings;
}

Settings ReadSettingsFile() {
  Settings settings;
  if (!platform::NameTaken(kSettingsFileName)) return settings;
  std::string error;
  std::optional<std::string> text = platform::ReadWholeFile(kSettingsFileName, error);
  if (!text) {
    settings.notes.push_back("cannot read the settings: " + error);
    return settings;
  }
  if (text->size() > kMaxSettingsBytes) {
    settings.notes.push_back(std::string(kSettingsFileName) + " is larger than " +
                             std::to_string(kMaxSettingsBytes / 1024) + " KiB and is ignored");
    return settings;
  }
  return ParseSettings(*text);
}

}  // namespace game
