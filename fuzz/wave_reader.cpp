// Stored wave blocks through the wave reader; what loads must save and load back the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>

#include "app/streams.h"
#include "media/wave.h"

namespace {

// An empty wave has no data at all: memcmp must not be given its null pointers, even for 0 bytes.
bool SameBytes(const void* a, const void* b, std::size_t size) { return size == 0 || std::memcmp(a, b, size) == 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  media::TWave wave;
  try {
    app::TMemoryStream in(std::span<const std::uint8_t>(data, size));
    wave.LoadFromStream(in);
  } catch (const app::Exception&) {
    return 0;
  }
  app::TMemoryStream saved;
  wave.SaveToStream(saved);
  saved.SetPosition(0);
  media::TWave back;
  back.LoadFromStream(saved);
  if (back.Size() != wave.Size() || back.FormatSize() != wave.FormatSize() ||
      !SameBytes(back.Data(), wave.Data(), static_cast<std::size_t>(wave.Size())) ||
      !SameBytes(back.Format(), wave.Format(), static_cast<std::size_t>(wave.FormatSize())))
    std::abort();
  return 0;
}
