// velkor.ini bytes through the settings reader. A host it takes must be one the check takes as it
// is, and every report must be plain printable text, whatever bytes the file holds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "game/settings.h"
#include "ranking/ranking_host.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const game::Settings settings = game::ParseSettings(std::string_view(reinterpret_cast<const char*>(data), size));
  if (settings.ranking_host) {
    std::string why;
    if (ranking::CheckRankingHost(*settings.ranking_host, why) != settings.ranking_host) std::abort();
  }
  for (const std::string& note : settings.notes)
    for (char c : note)
      if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) std::abort();
  return 0;
}
