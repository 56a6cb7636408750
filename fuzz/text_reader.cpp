// hisc.dat bytes through the text-file reader and the table parser.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "app/sysutils.h"
#include "game/hiscore.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  game::HiscData out;
  try {
    game::ParseHiscFile(std::string_view(reinterpret_cast<const char*>(data), size), out);
  } catch (const app::Exception&) {
  }
  return 0;
}
