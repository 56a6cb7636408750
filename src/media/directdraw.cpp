#include "media/directdraw.h"

#include <algorithm>

#include "app/sjis.h"
#include "platform/platform.h"

namespace media {

namespace {

template <class T>
void Unlist(std::vector<T*>& list, T* item) {
  list.erase(std::remove(list.begin(), list.end(), item), list.end());
}

// Clips one axis of a copy: destination [d0, d1) against [b0, b1) and source [r0, r1) against
// [c0, c1), moving the other rectangle in by the same amount (from the opposite side when the
// copy is mirrored on this axis). True when something is left.
bool ClipAxis(std::int64_t& d0, std::int64_t& d1, std::int64_t& r0, std::int64_t& r1, std::int64_t b0,
              std::int64_t b1, std::int64_t c0, std::int64_t c1, bool mirrored) {
  // Cutting k from the low end of one side cuts k from the other side's low end, or from its
  // high end when mirrored; and the other way round.
  auto cut_low = [mirrored](std::int64_t& low, std::int64_t& high, std::int64_t k) {
    if (mirrored)
      high -= k;
    else
      low += k;
  };
  auto cut_high = [mirrored](std::int64_t& low, std::int64_t& high, std::int64_t k) {
    if (mirrored)
      low += k;
    else
      high -= k;
  };
  if (d0 < b0) {
    cut_low(r0, r1, b0 - d0);
    d0 = b0;
  }
  if (r0 < c0) {
    cut_low(d0, d1, c0 - r0);
    r0 = c0;
  }
  if (d1 > b1) {
    cut_high(r0, r1, d1 - b1);
    d1 = b1;
  }
  if (r1 > c1) {
    cut_high(d0, d1, r1 - c1);
    r1 = c1;
  }
  return d0 < d1 && r0 < r1;
}

std::array<platform::Rgb, 256> ToRgb(const TPaletteEntry* entries, int count) {
  std::array<platform::Rgb, 256> out{};
  for (int i = 0; i < count && i < 256; ++i)
    out[static_cast<std::size_t>(i)] = (platform::Rgb{entries[i].peRed} << 16) |
                                       (platform::Rgb{entries[i].peGreen} << 8) | entries[i].peBlue;
  return out;
}

}  // namespace

// --- TDirectDraw ---

TDirectDraw::TDirectDraw(platform::Platform& platform) : platform_(platform) {
  DXLoadLibrary(platform, "DDraw.dll", "DirectDrawCreate");
  SetDXResult(platform.GetDisplay().CreateDevice(device_));
  if (DXResult() != 0 || !device_) throw EDirectDrawError(DXMessage(u8"%s を初期化できません", "DirectDraw"));
  // The platform's device is always the full interface; there is no older one to refuse.
  driver_caps_ = device_->Caps();
  hel_caps_ = driver_caps_;
}

TDirectDraw::~TDirectDraw() {
  // Objects still on the device let go of it, last created first; their owners free them.
  while (!surfaces_.empty()) {
    TDirectDrawSurface* s = surfaces_.back();
    s->SetISurface(nullptr);
    s->ddraw_ = nullptr;
    surfaces_.pop_back();
  }
  while (!palettes_.empty()) {
    palettes_.back()->palette_.reset();
    palettes_.back()->ddraw_ = nullptr;
    palettes_.pop_back();
  }
  while (!clippers_.empty()) {
    clippers_.back()->clipper_.reset();
    clippers_.back()->ddraw_ = nullptr;
    clippers_.pop_back();
  }
  device_.reset();
}

platform::DisplayDevice& TDirectDraw::IDraw() const {
  if (!device_) throw EDirectDrawError(DXMessage(u8"%s は作成されていません", "IDirectDraw"));
  return *device_;
}

// --- TDirectDrawSurfaceCanvas ---

TDirectDrawSurfaceCanvas::~TDirectDrawSurfaceCanvas() { Release(); }

bool TDirectDrawSurfaceCanvas::TakeDC() {
  if (dc_held_) return true;
  if (!surface_->HasSurface()) return false;
  surface_->SetDXResult(surface_->surface_->GetDC(dc_));
  dc_held_ = surface_->DXResult() == platform::kDisplayOk;
  return dc_held_;
}

bool TDirectDrawSurfaceCanvas::AcquireHandle(platform::PixelBuffer& target) {
  if (!TakeDC()) return false;
  target = dc_;
  return true;
}

void TDirectDrawSurfaceCanvas::Release() {
  if (!dc_held_) return;
  DropHandle();
  if (surface_->HasSurface()) surface_->SetDXResult(surface_->surface_->ReleaseDC());
  dc_held_ = false;
  dc_ = {};
}

void TDirectDrawSurfaceCanvas::Draw(int X, int Y, const TGraphic& Graphic) {
  StretchDraw({X, Y, X + Graphic.Width(), Y + Graphic.Height()}, Graphic,
              {0, 0, Graphic.Width(), Graphic.Height()});
}

void TDirectDrawSurfaceCanvas::StretchDraw(const TRect& Dest, const TGraphic& Graphic, const TRect& Source) {
  if (!TakeDC()) return;
  Graphic.StretchDraw(dc_, Dest, Source);
}

// --- TDirectDrawSurface ---

TDirectDrawSurface::TDirectDrawSurface(TDirectDraw* ADirectDraw) : ddraw_(ADirectDraw) {
  if (ddraw_) ddraw_->surfaces_.push_back(this);
}

TDirectDrawSurface::~TDirectDrawSurface() {
  canvas_.reset();
  SetISurface(nullptr);
  if (ddraw_) Unlist(ddraw_->surfaces_, this);
}

platform::DisplaySurface& TDirectDrawSurface::ISurface() const {
  if (!surface_) throw EDirectDrawSurfaceError(DXMessage(u8"%s は作成されていません", "IDirectDrawSurface"));
  return *surface_;
}

void TDirectDrawSurface::SetISurface(std::shared_ptr<platform::DisplaySurface> surface) {
  if (canvas_) canvas_->Release();
  surface_ = std::move(surface);
  desc_ = surface_ ? surface_->Info() : platform::SurfaceInfo{};
  has_clipper_ = false;
  lock_count_ = 0;
}

bool TDirectDrawSurface::CreateSurface(const platform::SurfaceDesc& desc) {
  SetISurface(nullptr);
  if (!ddraw_) return false;
  std::shared_ptr<platform::DisplaySurface> created;
  SetDXResult(ddraw_->IDraw().CreateSurface(desc, created));
  if (DXResult() != platform::kDisplayOk || !created) return false;
  SetISurface(std::move(created));
  SetTransparentColor(0);
  return true;
}

void TDirectDrawSurface::SetSize(int AWidth, int AHeight) {
  if (AWidth <= 0 || AHeight <= 0) {
    SetISurface(nullptr);
    return;
  }
  platform::SurfaceDesc desc;
  desc.width = AWidth;
  desc.height = AHeight;
  desc.system_memory = SystemMemory;
  if (!CreateSurface(desc) && !SystemMemory) {
    desc.system_memory = true;
    if (CreateSurface(desc)) SystemMemory = true;
  }
  if (!HasSurface()) throw EDirectDrawSurfaceError(DXMessage(u8"%s を作成できません", app::Sjis(u8"サーフェース")));
}

bool TDirectDrawSurface::Fill(std::uint32_t DevColor) {
  if (!surface_) return false;
  platform::BltFx fx;
  fx.fill_color = DevColor;
  SetDXResult(surface_->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx));
  return DXResult() == platform::kDisplayOk;
}

TDirectDrawSurfaceCanvas* TDirectDrawSurface::Canvas() {
  if (!canvas_) canvas_ = std::make_unique<TDirectDrawSurfaceCanvas>(this);
  return canvas_.get();
}

bool TDirectDrawSurface::Blt(const TRect* DestRect, const TRect* SrcRect, unsigned Flags, const platform::BltFx& Fx,
                             TDirectDrawSurface* Source) {
  if (!surface_) return false;
  platform::DisplaySurface* src = Source ? Source->surface_.get() : nullptr;
  SetDXResult(surface_->Blt(DestRect, src, SrcRect, Flags, &Fx));
  return DXResult() == platform::kDisplayOk;
}

bool TDirectDrawSurface::BltFast(int X, int Y, const TRect& SrcRect, unsigned Flags, TDirectDrawSurface* Source) {
  if (!surface_) return false;
  platform::DisplaySurface* src = Source ? Source->surface_.get() : nullptr;
  SetDXResult(surface_->BltFast(X, Y, src, &SrcRect, Flags));
  return DXResult() == platform::kDisplayOk;
}

void TDirectDrawSurface::Draw(int X, int Y, TRect SrcRect, TDirectDrawSurface* Source, bool Transparent) {
  if (!Source || X > Width() || Y > Height()) return;
  unsigned mirror = 0;
  std::int64_t r0x = SrcRect.left, r1x = SrcRect.right, r0y = SrcRect.top, r1y = SrcRect.bottom;
  if (r1x < r0x) {
    std::swap(r0x, r1x);
    mirror |= DDBLTFX_MIRRORLEFTRIGHT;
  }
  if (r1y < r0y) {
    std::swap(r0y, r1y);
    mirror |= DDBLTFX_MIRRORUPDOWN;
  }
  std::int64_t d0x = X, d1x = X + (r1x - r0x), d0y = Y, d1y = Y + (r1y - r0y);
  if (!ClipAxis(d0x, d1x, r0x, r1x, 0, Width(), 0, Source->Width(), mirror & DDBLTFX_MIRRORLEFTRIGHT) ||
      !ClipAxis(d0y, d1y, r0y, r1y, 0, Height(), 0, Source->Height(), mirror & DDBLTFX_MIRRORUPDOWN))
    return;
  const TRect D{static_cast<int>(d0x), static_cast<int>(d0y), static_cast<int>(d1x), static_cast<int>(d1y)};
  const TRect R{static_cast<int>(r0x), static_cast<int>(r0y), static_cast<int>(r1x), static_cast<int>(r1y)};
  platform::BltFx fx;
  if (mirror) {
    fx.mirror = mirror;
    Blt(&D, &R, DDBLT_WAIT | DDBLT_DDFX | (Transparent ? DDBLT_KEYSRC : 0), fx, Source);
    return;
  }
  if (!has_clipper_) {
    if (BltFast(D.left, D.top, R, DDBLTFAST_WAIT | (Transparent ? DDBLTFAST_SRCCOLORKEY : DDBLTFAST_NOCOLORKEY),
                Source) ||
        DXResult() != DDERR_BLTFASTCANTCLIP)
      return;
    // A clipper was attached after all: use the clipping blit from now on.
    std::shared_ptr<platform::DisplayClipper> clipper;
    if (surface_->GetClipper(clipper) == platform::kDisplayOk && clipper) has_clipper_ = true;
  }
  Blt(&D, &R, DDBLT_WAIT | (Transparent ? DDBLT_KEYSRC : 0), fx, Source);
}

void TDirectDrawSurface::SetClipper(TDirectDrawClipper* Value) {
  SetDXResult(ISurface().SetClipper(Value ? Value->IDDClipper() : nullptr));
  has_clipper_ = Value && DXResult() == platform::kDisplayOk;
}

void TDirectDrawSurface::SetPalette(TDirectDrawPalette* Value) {
  SetDXResult(ISurface().SetPalette(Value ? Value->IPalette() : nullptr));
}

void TDirectDrawSurface::SetTransparentColor(std::uint32_t Col) { SetDXResult(ISurface().SetColorKey(Col, Col)); }

std::uint32_t TDirectDrawSurface::DeviceColorOf(app::TColor Col) {
  if (!surface_) return 0;
  const std::uint32_t old = Pixels(0, 0);
  // The platform's drawing layer maps the colour: draw it as a 1 x 1 picture and read it back.
  TDIB dot;
  dot.SetSize(1, 1, 8);
  const platform::Rgb rgb = app::ToRgb(Col & 0xFFFFFF);
  dot.ColorTable[0] = {static_cast<std::uint8_t>(rgb & 0xFF), static_cast<std::uint8_t>((rgb >> 8) & 0xFF),
                       static_cast<std::uint8_t>((rgb >> 16) & 0xFF), 0};
  Canvas()->Draw(0, 0, dot);
  Canvas()->Release();
  const std::uint32_t result = Pixels(0, 0);
  SetPixels(0, 0, old);
  return result;
}

void TDirectDrawSurface::LoadPictureRect(const TGraphic& Graphic, int AWidth, int AHeight, const TRect& Rect) {
  if (AWidth == 0) AWidth = Rect.Width();
  if (AHeight == 0) AHeight = Rect.Height();
  SetSize(AWidth, AHeight);
  Canvas()->StretchDraw({0, 0, AWidth, AHeight}, Graphic, Rect);
  Canvas()->Release();
}

bool TDirectDrawSurface::Restore() {
  if (!surface_) return false;
  SetDXResult(surface_->Restore());
  return DXResult() == platform::kDisplayOk;
}

bool TDirectDrawSurface::IsLost() { return surface_ && surface_->IsLost() == DDERR_SURFACELOST; }

bool TDirectDrawSurface::Lock(platform::PixelBuffer& Out) {
  if (lock_count_ > 0) return false;
  SetDXResult(ISurface().Lock(Out));
  if (DXResult() != platform::kDisplayOk) return false;
  ++lock_count_;
  return true;
}

void TDirectDrawSurface::Unlock() {
  if (lock_count_ == 0 || !surface_) return;
  --lock_count_;
  SetDXResult(surface_->Unlock());
}

std::uint32_t TDirectDrawSurface::Pixels(int X, int Y) {
  if (!surface_ || X < 0 || Y < 0 || X >= Width() || Y >= Height()) return 0;
  platform::PixelBuffer b;
  if (!Lock(b)) return 0;
  std::uint32_t v = 0;
  if (X < b.width && Y < b.height) {
    const std::uint8_t* p = b.pixels + static_cast<std::size_t>(Y) * static_cast<std::size_t>(b.pitch) +
                            static_cast<std::size_t>(X) * static_cast<std::size_t>(b.bits_per_pixel / 8);
    switch (b.bits_per_pixel) {
      case 8: v = p[0]; break;
      case 16: v = p[0] | (p[1] << 8); break;
      case 24: v = p[0] | (p[1] << 8) | (static_cast<std::uint32_t>(p[2]) << 16); break;
      case 32: v = p[0] | (p[1] << 8) | (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24); break;
      default: break;
    }
  }
  Unlock();
  return v;
}

void TDirectDrawSurface::SetPixels(int X, int Y, std::uint32_t Value) {
  if (!surface_ || X < 0 || Y < 0 || X >= Width() || Y >= Height()) return;
  platform::PixelBuffer b;
  if (!Lock(b)) return;
  if (X < b.width && Y < b.height) {
    std::uint8_t* p = b.pixels + static_cast<std::size_t>(Y) * static_cast<std::size_t>(b.pitch) +
                      static_cast<std::size_t>(X) * static_cast<std::size_t>(b.bits_per_pixel / 8);
    for (int i = 0; i < b.bits_per_pixel / 8; ++i) p[i] = static_cast<std::uint8_t>(Value >> (8 * i));
  }
  Unlock();
}

// --- TDirectDrawClipper ---

TDirectDrawClipper::TDirectDrawClipper(TDirectDraw* ADirectDraw) : ddraw_(ADirectDraw) {
  SetDXResult(ddraw_->IDraw().CreateClipper(clipper_));
  if (DXResult() != platform::kDisplayOk || !clipper_)
    throw EDirectDrawClipperError(DXMessage(u8"%s を作成できません", app::Sjis(u8"クリッパー")));
  ddraw_->clippers_.push_back(this);
}

TDirectDrawClipper::~TDirectDrawClipper() {
  if (ddraw_) Unlist(ddraw_->clippers_, this);
}

void TDirectDrawClipper::SetHandle(platform::Window* Value) { SetDXResult(IDDClipper()->SetWindow(Value)); }

std::shared_ptr<platform::DisplayClipper> TDirectDrawClipper::IDDClipper() const {
  if (!clipper_) throw EDirectDrawClipperError(DXMessage(u8"%s は作成されていません", "IDirectDrawClipper"));
  return clipper_;
}

// --- TDirectDrawPalette ---

TDirectDrawPalette::TDirectDrawPalette(TDirectDraw* ADirectDraw) : ddraw_(ADirectDraw) {
  ddraw_->palettes_.push_back(this);
}

TDirectDrawPalette::~TDirectDrawPalette() {
  if (ddraw_) Unlist(ddraw_->palettes_, this);
}

bool TDirectDrawPalette::CreatePalette(unsigned Caps, const std::array<TPaletteEntry, 256>& Entries) {
  palette_.reset();
  if (!ddraw_) return false;
  const auto rgb = ToRgb(Entries.data(), 256);
  std::shared_ptr<platform::DisplayPalette> created;
  SetDXResult(ddraw_->IDraw().CreatePalette(Caps, rgb.data(), created));
  if (DXResult() != platform::kDisplayOk) return false;
  palette_ = std::move(created);
  return true;
}

bool TDirectDrawPalette::SetEntries(int StartIndex, int Count, const TPaletteEntry* Entries) {
  if (!palette_) return false;
  const auto rgb = ToRgb(Entries, Count);
  SetDXResult(palette_->SetEntries(StartIndex, Count, rgb.data()));
  return DXResult() == platform::kDisplayOk;
}

std::shared_ptr<platform::DisplayPalette> TDirectDrawPalette::IPalette() const {
  if (!palette_) throw EDirectDrawPaletteError(DXMessage(u8"%s は作成されていません", "IDirectDrawPalette"));
  return palette_;
}

}  // namespace media
