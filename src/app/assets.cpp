#include "app/assets.h"

#include <string>

#include "app/sysutils.h"

namespace app {

std::span<const std::uint8_t> FindAsset(std::string_view name) {
  for (const EmbeddedAsset* a = kEmbeddedAssets; a->name; ++a)
    if (name == a->name) return {a->data, a->size};
  throw Exception("asset not found: " + std::string(name));
}

}  // namespace app
