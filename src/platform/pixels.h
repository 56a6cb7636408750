#pragma once
// A view of a surface's pixels, as drawing code (text, shapes, pictures) sees them. Surfaces
// are kept in memory in the screen's format: 8 bits per pixel (palette indices) or 32 bits per
// pixel (0x00RRGGBB in a 32-bit little-endian word).
#include <array>
#include <cstdint>

namespace platform {

// An RGB colour as 0x00RRGGBB.
using Rgb = std::uint32_t;

struct PixelBuffer {
  std::uint8_t* pixels = nullptr;
  int width = 0;
  int height = 0;
  int pitch = 0;            // bytes from one row to the next
  int bits_per_pixel = 32;  // 8 or 32
  // For 8 bits per pixel: the colours of the palette in force, to map a colour to the nearest
  // entry as the platform's drawing layer does.
  const std::array<Rgb, 256>* palette = nullptr;
};

}  // namespace platform
