#pragma once
// Files of assets/, compiled into the program (see cmake/embed_assets.cmake).
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace app {

struct EmbeddedAsset {
  const char* name;
  const std::uint8_t* data;
  std::size_t size;
};

// Ends with an entry whose name is null.
extern const EmbeddedAsset kEmbeddedAssets[];

// The bytes of the named asset; throws Exception when there is none of that name.
std::span<const std::uint8_t> FindAsset(std::string_view name);

}  // namespace app
