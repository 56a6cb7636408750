#pragma once
// Owning wrappers of the screen's objects: the device, surfaces, the canvas on a surface,
// clippers and palettes. Platform results are recorded in each object; only the failures the
// callers cannot go on from are raised.
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "app/graphics.h"
#include "media/dib.h"
#include "media/directx.h"
#include "platform/display.h"

namespace platform {
class Platform;
class Window;
}  // namespace platform

namespace media {

using TRect = platform::Rect;

class TDirectDrawSurface;
class TDirectDrawPalette;
class TDirectDrawClipper;

// A palette entry as the platform's palettes take them.
struct TPaletteEntry {
  std::uint8_t peRed = 0, peGreen = 0, peBlue = 0, peFlags = 0;
};
inline constexpr std::uint8_t PC_NOCOLLAPSE = 0x40;

// Platform flags, under the names the components use.
inline constexpr unsigned DDBLT_COLORFILL = platform::kBltColorFill;
inline constexpr unsigned DDBLT_DDFX = platform::kBltFx;
inline constexpr unsigned DDBLT_KEYSRC = platform::kBltKeySrc;
inline constexpr unsigned DDBLT_WAIT = platform::kBltWait;
inline constexpr unsigned DDBLTFAST_NOCOLORKEY = platform::kBltFastNoColorKey;
inline constexpr unsigned DDBLTFAST_SRCCOLORKEY = platform::kBltFastSrcColorKey;
inline constexpr unsigned DDBLTFAST_WAIT = platform::kBltFastWait;
inline constexpr unsigned DDBLTFX_MIRRORLEFTRIGHT = platform::kBltFxMirrorLeftRight;
inline constexpr unsigned DDBLTFX_MIRRORUPDOWN = platform::kBltFxMirrorUpDown;
inline constexpr unsigned DDPCAPS_8BIT = platform::kPalette8Bit;
inline constexpr unsigned DDPCAPS_INITIALIZE = platform::kPaletteInitialize;
inline constexpr unsigned DDPCAPS_ALLOW256 = platform::kPaletteAllow256;
inline constexpr std::int32_t DDERR_SURFACELOST = platform::kErrSurfaceLost;
inline constexpr std::int32_t DDERR_BLTFASTCANTCLIP = platform::kErrBltFastCantClip;

class TDirectDraw : public TDirectX {
 public:
  // Opens the default display device. Raises when the platform's display library is missing
  // or the device cannot be made.
  explicit TDirectDraw(platform::Platform& platform);
  ~TDirectDraw() override;
  TDirectDraw(const TDirectDraw&) = delete;
  TDirectDraw& operator=(const TDirectDraw&) = delete;

  // The device; raises when it is missing.
  platform::DisplayDevice& IDraw() const;
  const platform::DeviceCaps& DriverCaps() const { return driver_caps_; }
  const platform::DeviceCaps& HELCaps() const { return hel_caps_; }
  platform::Platform& Platform() const { return platform_; }

  // Records a result of the device (for objects that act on it directly).
  void Record(std::int32_t result) { SetDXResult(result); }

  int SurfaceCount() const { return static_cast<int>(surfaces_.size()); }
  int PaletteCount() const { return static_cast<int>(palettes_.size()); }
  int ClipperCount() const { return static_cast<int>(clippers_.size()); }

 private:
  friend class TDirectDrawSurface;
  friend class TDirectDrawPalette;
  friend class TDirectDrawClipper;

  platform::Platform& platform_;
  std::unique_ptr<platform::DisplayDevice> device_;
  platform::DeviceCaps driver_caps_, hel_caps_;
  std::vector<TDirectDrawSurface*> surfaces_;
  std::vector<TDirectDrawPalette*> palettes_;
  std::vector<TDirectDrawClipper*> clippers_;
};

// The canvas of a surface: its device context is taken on the first drawing call and given
// back by Release.
class TDirectDrawSurfaceCanvas : public app::TCanvas {
 public:
  explicit TDirectDrawSurfaceCanvas(TDirectDrawSurface* ASurface) : surface_(ASurface) {}
  ~TDirectDrawSurfaceCanvas() override;

  void Release();
  // Draws a picture with its top-left corner at (X, Y).
  void Draw(int X, int Y, const TGraphic& Graphic);
  // Draws the picture's rectangle `Source` stretched onto `Dest`.
  void StretchDraw(const TRect& Dest, const TGraphic& Graphic, const TRect& Source);
  bool HoldsDC() const { return dc_held_; }

 protected:
  bool AcquireHandle(platform::PixelBuffer& target) override;

 private:
  bool TakeDC();

  TDirectDrawSurface* surface_;
  platform::PixelBuffer dc_;
  bool dc_held_ = false;
};

class TDirectDrawSurface : public TDirectX {
 public:
  explicit TDirectDrawSurface(TDirectDraw* ADirectDraw);
  ~TDirectDrawSurface() override;
  TDirectDrawSurface(const TDirectDrawSurface&) = delete;
  TDirectDrawSurface& operator=(const TDirectDrawSurface&) = delete;

  TDirectDraw* DDraw() const { return ddraw_; }
  // The platform surface; raises when there is none.
  platform::DisplaySurface& ISurface() const;
  bool HasSurface() const { return surface_ != nullptr; }
  const platform::SurfaceInfo& SurfaceDesc() const { return desc_; }

  // Releases any surface and asks the device for a new one; a new surface gets the
  // transparent colour 0.
  bool CreateSurface(const platform::SurfaceDesc& desc);
  // An off-screen surface of that size (released when a side is 0 or less); retried once in
  // system memory. Raises when no surface can be had.
  void SetSize(int AWidth, int AHeight);
  bool SystemMemory = false;

  int Width() const { return surface_ ? desc_.width : 0; }
  int Height() const { return surface_ ? desc_.height : 0; }
  TRect ClientRect() const { return {0, 0, Width(), Height()}; }
  int BitCount() const { return surface_ ? desc_.bits_per_pixel : 0; }

  // Fills the whole surface with a raw pixel value.
  bool Fill(std::uint32_t DevColor);
  TDirectDrawSurfaceCanvas* Canvas();

  bool Blt(const TRect* DestRect, const TRect* SrcRect, unsigned Flags, const platform::BltFx& Fx,
           TDirectDrawSurface* Source);
  bool BltFast(int X, int Y, const TRect& SrcRect, unsigned Flags, TDirectDrawSurface* Source);
  // Copies SrcRect of Source to (X, Y), clipped to both surfaces, colour-keyed when
  // Transparent. An inverted rectangle copies mirrored.
  void Draw(int X, int Y, TRect SrcRect, TDirectDrawSurface* Source, bool Transparent);

  void SetClipper(TDirectDrawClipper* Value);
  bool HasClipper() const { return has_clipper_; }
  void SetPalette(TDirectDrawPalette* Value);
  // The source colour key, a raw pixel value.
  void SetTransparentColor(std::uint32_t Col);
  // The raw pixel value a colour becomes on this surface.
  std::uint32_t DeviceColorOf(app::TColor Col);
  // Sizes the surface (to Rect's size when AWidth or AHeight is 0) and copies Rect of the
  // graphic into it.
  void LoadPictureRect(const TGraphic& Graphic, int AWidth, int AHeight, const TRect& Rect);

  bool Restore();
  bool IsLost();
  // Direct pixel access; a second lock while one is held is refused.
  bool Lock(platform::PixelBuffer& Out);
  void Unlock();
  // The raw pixel at (X, Y): 0 outside the surface; writes outside do nothing.
  std::uint32_t Pixels(int X, int Y);
  void SetPixels(int X, int Y, std::uint32_t Value);

  // Sets the platform surface (reading its description back) or releases it.
  void SetISurface(std::shared_ptr<platform::DisplaySurface> surface);

 private:
  friend class TDirectDraw;
  friend class TDirectDrawSurfaceCanvas;

  TDirectDraw* ddraw_;
  std::shared_ptr<platform::DisplaySurface> surface_;
  platform::SurfaceInfo desc_;
  bool has_clipper_ = false;
  int lock_count_ = 0;
  std::unique_ptr<TDirectDrawSurfaceCanvas> canvas_;
};

class TDirectDrawClipper : public TDirectX {
 public:
  // Raises when the device cannot make a clipper.
  explicit TDirectDrawClipper(TDirectDraw* ADirectDraw);
  ~TDirectDrawClipper() override;
  TDirectDrawClipper(const TDirectDrawClipper&) = delete;
  TDirectDrawClipper& operator=(const TDirectDrawClipper&) = delete;

  // Binds the clipper to a window.
  void SetHandle(platform::Window* Value);
  // Raises when there is no clipper.
  std::shared_ptr<platform::DisplayClipper> IDDClipper() const;

 private:
  friend class TDirectDraw;
  TDirectDraw* ddraw_;
  std::shared_ptr<platform::DisplayClipper> clipper_;
};

class TDirectDrawPalette : public TDirectX {
 public:
  explicit TDirectDrawPalette(TDirectDraw* ADirectDraw);
  ~TDirectDrawPalette() override;
  TDirectDrawPalette(const TDirectDrawPalette&) = delete;
  TDirectDrawPalette& operator=(const TDirectDrawPalette&) = delete;

  bool CreatePalette(unsigned Caps, const std::array<TPaletteEntry, 256>& Entries);
  bool SetEntries(int StartIndex, int Count, const TPaletteEntry* Entries);
  bool HasPalette() const { return palette_ != nullptr; }
  // Raises when there is no palette.
  std::shared_ptr<platform::DisplayPalette> IPalette() const;

 private:
  friend class TDirectDraw;
  TDirectDraw* ddraw_;
  std::shared_ptr<platform::DisplayPalette> palette_;
};

}  // namespace media
