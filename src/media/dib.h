#pragma once
// Pictures: the device-independent bitmap (TDIB) in the stored "Picture.Data" layout, and the
// picture object that holds one graphic.
#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "app/streams.h"
#include "app/sysutils.h"
#include "platform/display.h"
#include "platform/pixels.h"

namespace media {

// One colour-table entry: blue, green, red, reserved.
struct TRGBQuad {
  std::uint8_t rgbBlue = 0, rgbGreen = 0, rgbRed = 0, rgbReserved = 0;
  bool operator==(const TRGBQuad&) const = default;
};
using TColorTable = std::array<TRGBQuad, 256>;

inline platform::Rgb RgbOf(const TRGBQuad& q) {
  return (platform::Rgb{q.rgbRed} << 16) | (platform::Rgb{q.rgbGreen} << 8) | q.rgbBlue;
}

// A picture that cannot be read.
class EInvalidGraphic : public app::Exception {
 public:
  using app::Exception::Exception;
};

class TGraphic {
 public:
  virtual ~TGraphic() = default;
  virtual const char* ClassName() const = 0;
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  virtual std::unique_ptr<TGraphic> Clone() const = 0;
  // Reads the graphic's stored form (after its class name). A stream that ends early raises
  // the stream read error.
  virtual void ReadData(app::TStream& stream) = 0;
  // Copies the picture's rectangle `src` onto the target's rectangle `dst`, stretching by
  // nearest pixels and mapping colours to the target as the drawing layer does.
  virtual void StretchDraw(const platform::PixelBuffer& target, const platform::Rect& dst,
                           const platform::Rect& src) const = 0;
};

class TDIB : public TGraphic {
 public:
  TDIB() = default;

  const char* ClassName() const override { return "TDIB"; }
  int Width() const override { return width_; }
  int Height() const override { return height_; }
  std::unique_ptr<TGraphic> Clone() const override { return std::make_unique<TDIB>(*this); }
  void ReadData(app::TStream& stream) override;
  void StretchDraw(const platform::PixelBuffer& target, const platform::Rect& dst,
                   const platform::Rect& src) const override;

  // A blank picture (all pixels 0) of that size and depth (1, 4, 8, 16, 24 or 32 bits).
  void SetSize(int width, int height, int bit_count);
  int BitCount() const { return bit_count_; }
  // Bytes per row: rows are padded to a multiple of 4 bytes.
  int WidthBytes() const { return width_bytes_; }
  // The pixel bytes, rows top to bottom.
  std::size_t Size() const { return bits_.size(); }
  std::uint8_t* ScanLine(int y) { return bits_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width_bytes_); }
  const std::uint8_t* ScanLine(int y) const {
    return bits_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width_bytes_);
  }
  // 256 entries; those beyond the stored ones are black.
  TColorTable ColorTable{};
  // How many colour-table entries the picture stored.
  int ColorCount() const { return color_count_; }
  // The raw pixel value and its colour; 0 outside the picture.
  std::uint32_t Pixel(int x, int y) const;
  platform::Rgb ColorAt(int x, int y) const;

 private:
  void ReadPixels(app::TStream& stream, std::uint32_t compression, std::uint32_t image_size, bool top_down);
  void ExpandRle(std::span<const std::uint8_t> data, bool four_bits);

  int width_ = 0, height_ = 0, bit_count_ = 0, width_bytes_ = 0;
  int color_count_ = 0;
  std::uint32_t masks_[3] = {0, 0, 0};  // red, green, blue for 16 and 32 bits
  std::vector<std::uint8_t> bits_;
};

// A picture holding at most one graphic.
class TPicture {
 public:
  TPicture() = default;
  TPicture(const TPicture& other) { Assign(other); }
  TPicture& operator=(const TPicture& other) {
    if (this != &other) Assign(other);
    return *this;
  }

  TGraphic* Graphic() const { return graphic_.get(); }
  void SetGraphic(std::unique_ptr<TGraphic> graphic) { graphic_ = std::move(graphic); }
  int Width() const { return graphic_ ? graphic_->Width() : 0; }
  int Height() const { return graphic_ ? graphic_->Height() : 0; }
  void Assign(const TPicture& other) { graphic_ = other.graphic_ ? other.graphic_->Clone() : nullptr; }

  // Reads the stored "Picture.Data": the graphic's class name (a length byte and the name),
  // then the graphic. No bytes at all give an empty picture.
  void LoadFromData(std::span<const std::uint8_t> data);
  void LoadFromStream(app::TStream& stream);

 private:
  std::unique_ptr<TGraphic> graphic_;
};

}  // namespace media
