#include "platform/library.h"

namespace platform {

namespace {

struct LibraryFunction {
  std::string_view library;
  std::string_view function;
};

constexpr LibraryFunction kExports[] = {
    {"ddraw.dll", "DirectDrawCreate"},
    {"ddraw.dll", "DirectDrawEnumerateA"},
    {"dsound.dll", "DirectSoundCreate"},
    {"dinput.dll", "DirectInputCreateA"},
};

}  // namespace

std::string LowerAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

bool LibraryExports(std::string_view file_name, std::string_view function) {
  const std::string lower = LowerAscii(file_name);
  for (const LibraryFunction& e : kExports)
    if (e.library == lower && e.function == function) return true;
  return false;
}

}  // namespace platform
