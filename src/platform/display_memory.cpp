#include "platform/display_memory.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace platform {

namespace {

// Larger surfaces are refused outright: no display mode of the program comes near this.
constexpr int kMaxSurfaceSide = 16384;
constexpr std::uint64_t kMaxSurfaceBytes = 256ull << 20;

Rect Intersect(const Rect& a, const Rect& b) {
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
          std::min(a.bottom, b.bottom)};
}

bool Inside(const Rect& r, const Rect& bounds) {
  return r.left >= bounds.left && r.top >= bounds.top && r.right <= bounds.right && r.bottom <= bounds.bottom;
}

class MemorySurface;
class MemoryPalette;

}  // namespace

// What a device's objects share: the window it shows in, its mode, and its surfaces (to lose
// them together).
struct DeviceState {
  MemoryDisplay* display = nullptr;
  bool alive = true;
  Window* window = nullptr;
  unsigned coop = 0;
  bool full_screen = false;
  DisplayMode mode;  // in force; 32 bits on the desktop
  std::uint64_t video_used = 0;
  std::vector<MemorySurface*> surfaces;
  MemorySurface* primary = nullptr;

  int BitsPerPixel() const { return full_screen ? mode.bits_per_pixel : 32; }
  void LoseAll();
  void PaletteChanged(const MemoryPalette* palette);
};

namespace {

class MemoryPalette : public DisplayPalette {
 public:
  MemoryPalette(std::shared_ptr<DeviceState> device, const Rgb* entries) : device_(std::move(device)) {
    if (entries) std::copy(entries, entries + 256, entries_.begin());
  }
  DisplayResult SetEntries(int start, int count, const Rgb* entries) override {
    if (start < 0 || count < 0 || start + count > 256 || (count > 0 && !entries)) return kErrInvalidParams;
    std::copy(entries, entries + count, entries_.begin() + start);
    device_->PaletteChanged(this);
    return kDisplayOk;
  }
  const std::array<Rgb, 256>& Entries() const override { return entries_; }

 private:
  std::shared_ptr<DeviceState> device_;
  std::array<Rgb, 256> entries_{};
};

class MemoryClipper : public DisplayClipper {
 public:
  DisplayResult SetWindow(Window* window) override {
    window_ = window;
    return kDisplayOk;
  }
  Window* BoundWindow() const override { return window_; }

 private:
  Window* window_ = nullptr;
};

class MemorySurface : public DisplaySurface {
 public:
  MemorySurface(std::shared_ptr<DeviceState> device, bool primary, int width, int height, int bits,
                bool system_memory)
      : device_(std::move(device)), primary_(primary), system_memory_(system_memory) {
    Allocate(width, height, bits);
    device_->surfaces.push_back(this);
    if (primary_) device_->primary = this;
    if (!system_memory_) device_->video_used += Bytes();
  }

  ~MemorySurface() override {
    auto& list = device_->surfaces;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    if (device_->primary == this) device_->primary = nullptr;
    if (!system_memory_) device_->video_used -= std::min(device_->video_used, Bytes());
  }

  SurfaceInfo Info() const override {
    const_cast<MemorySurface*>(this)->Sync();
    return {width_, height_, bits_, pitch_, primary_, system_memory_};
  }

  DisplayResult Blt(const Rect* dst_rect, DisplaySurface* src_base, const Rect* src_rect, unsigned flags,
                    const BltFx* fx) override {
    Sync();
    if (lost_) return kErrSurfaceLost;
    if (Busy()) return kErrSurfaceBusy;
    const Rect bounds{0, 0, width_, height_};
    const Rect d = dst_rect ? *dst_rect : bounds;
    if (d.Empty()) return kErrInvalidRect;
    if (!clipper_ && !Inside(d, bounds)) return kErrInvalidRect;
    const Rect clip = Intersect(d, ClipRect());

    if (flags & kBltColorFill) {
      if (!fx) return kErrInvalidParams;
      FillRect(clip, fx->fill_color);
      Changed();
      return kDisplayOk;
    }

    MemorySurface* src = nullptr;
    Rect s;
    const bool keyed = (flags & kBltKeySrc) != 0;
    if (DisplayResult r = CheckSource(src_base, src_rect, keyed, src, s); r != kDisplayOk) return r;
    const unsigned mirror = (flags & kBltFx) && fx ? fx->mirror : 0;
    if (clip.Empty()) return kDisplayOk;
    Copy(*src, s, d, clip, keyed, mirror);
    Changed();
    return kDisplayOk;
  }

  DisplayResult BltFast(int x, int y, DisplaySurface* src_base, const Rect* src_rect, unsigned flags) override {
    Sync();
    if (lost_) return kErrSurfaceLost;
    if (Busy()) return kErrSurfaceBusy;
    if (clipper_) return kErrBltFastCantClip;
    MemorySurface* src = nullptr;
    Rect s;
    const bool keyed = (flags & kBltFastSrcColorKey) != 0;
    if (DisplayResult r = CheckSource(src_base, src_rect, keyed, src, s); r != kDisplayOk) return r;
    const Rect d{x, y, x + s.Width(), y + s.Height()};
    if (!Inside(d, {0, 0, width_, height_})) return kErrInvalidRect;
    Copy(*src, s, d, d, keyed, 0);
    Changed();
    return kDisplayOk;
  }

  DisplayResult SetColorKey(std::uint32_t low, std::uint32_t high) override {
    has_key_ = true;
    key_low_ = low;
    key_high_ = high;
    return kDisplayOk;
  }

  DisplayResult Lock(PixelBuffer& out) override { return Take(locked_, out); }
  DisplayResult Unlock() override { return GiveBack(locked_); }
  DisplayResult GetDC(PixelBuffer& out) override { return Take(dc_out_, out); }
  DisplayResult ReleaseDC() override { return GiveBack(dc_out_); }

  DisplayResult SetClipper(std::shared_ptr<DisplayClipper> clipper) override {
    clipper_ = std::move(clipper);
    return kDisplayOk;
  }

  DisplayResult GetClipper(std::shared_ptr<DisplayClipper>& out) const override {
    out = clipper_;
    return clipper_ ? kDisplayOk : kErrNoClipper;
  }

  DisplayResult SetPalette(std::shared_ptr<DisplayPalette> palette) override {
    Sync();
    if (bits_ != 8) return kErrNotPalettized;
    palette_ = std::move(palette);
    Changed();
    return kDisplayOk;
  }

  DisplayResult IsLost() const override { return lost_ ? kErrSurfaceLost : kDisplayOk; }

  DisplayResult Restore() override {
    if (!device_->alive) return kErrGeneric;
    Sync();
    if (bits_ != device_->BitsPerPixel()) return kErrWrongMode;
    lost_ = false;
    return kDisplayOk;
  }

  void Lose() { lost_ = true; }
  bool UsesPalette(const MemoryPalette* p) const { return palette_.get() == p; }

  // Shows the primary surface in its window.
  void Changed() {
    if (!primary_ || !device_->alive || !device_->window || dc_out_ || locked_) return;
    device_->display->Show(*device_->window, Buffer());
  }

 private:
  bool Busy() const { return locked_ || dc_out_; }

  // Hands the pixels out (locked or as a device context), one holder at a time.
  DisplayResult Take(bool& held, PixelBuffer& out) {
    Sync();
    if (lost_) return kErrSurfaceLost;
    if (Busy()) return kErrSurfaceBusy;
    held = true;
    out = Buffer();
    return kDisplayOk;
  }

  DisplayResult GiveBack(bool& held) {
    if (!held) return kErrNotLocked;
    held = false;
    Changed();
    return kDisplayOk;
  }
  std::uint64_t Bytes() const { return static_cast<std::uint64_t>(pitch_) * static_cast<std::uint64_t>(height_); }

  void Allocate(int width, int height, int bits) {
    width_ = width;
    height_ = height;
    bits_ = bits;
    pitch_ = ((width * (bits / 8)) + 3) & ~3;
    pixels_.assign(static_cast<std::size_t>(pitch_) * static_cast<std::size_t>(height), 0);
  }

  // The primary surface follows the screen: the window's client area on the desktop, the
  // mode's size in full screen.
  void Sync() {
    if (!primary_ || !device_->alive || !device_->window) return;
    int w = 0, h = 0;
    if (device_->full_screen) {
      w = device_->mode.width;
      h = device_->mode.height;
    } else {
      device_->display->WindowClientSize(*device_->window, w, h);
    }
    int bits = device_->BitsPerPixel();
    if (w < 1) w = 1;
    if (h < 1) h = 1;
    if (w != width_ || h != height_ || bits != bits_) Allocate(w, h, bits);
  }

  // A copy's source: a surface of this format, usable, with the rectangle (whole when null)
  // inside it and a colour key when the copy is keyed.
  DisplayResult CheckSource(DisplaySurface* base, const Rect* rect, bool keyed, MemorySurface*& src, Rect& s) {
    src = dynamic_cast<MemorySurface*>(base);
    if (!src) return kErrInvalidParams;
    src->Sync();
    if (src->lost_) return kErrSurfaceLost;
    if (src != this && src->Busy()) return kErrSurfaceBusy;
    if (src->bits_ != bits_) return kErrInvalidPixelFormat;
    const Rect bounds{0, 0, src->width_, src->height_};
    s = rect ? *rect : bounds;
    if (s.Empty() || !Inside(s, bounds)) return kErrInvalidRect;
    if (keyed && !src->has_key_) return kErrNoColorKey;
    return kDisplayOk;
  }

  // The area blits may reach. The primary surface is exactly the window's client area (or the
  // whole screen in full screen), so a clipper bound to that window clips to the surface.
  Rect ClipRect() const { return {0, 0, width_, height_}; }

  const std::array<Rgb, 256>* PaletteInForce() const {
    if (palette_) return &palette_->Entries();
    if (device_->primary && device_->primary != this && device_->primary->palette_)
      return &device_->primary->palette_->Entries();
    return &StaticSystemPalette();
  }

  PixelBuffer Buffer() {
    PixelBuffer b;
    b.pixels = pixels_.data();
    b.width = width_;
    b.height = height_;
    b.pitch = pitch_;
    b.bits_per_pixel = bits_;
    b.palette = bits_ == 8 ? PaletteInForce() : nullptr;
    return b;
  }

  std::uint8_t* Row(int y) { return pixels_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(pitch_); }

  void FillRect(const Rect& r, std::uint32_t value) {
    if (r.Empty()) return;
    for (int y = r.top; y < r.bottom; ++y) {
      std::uint8_t* row = Row(y);
      if (bits_ == 8) {
        std::memset(row + r.left, static_cast<int>(value & 0xFF), static_cast<std::size_t>(r.Width()));
      } else {
        auto* p = reinterpret_cast<std::uint32_t*>(row) + r.left;
        std::fill(p, p + r.Width(), value);
      }
    }
  }

  // Copies source rectangle `s`, stretched onto destination rectangle `d`, within `clip` (a
  // part of `d`).
  void Copy(MemorySurface& src, const Rect& s, const Rect& d, const Rect& clip, bool keyed, unsigned mirror) {
    std::vector<std::uint8_t> scratch;
    const std::uint8_t* src_pixels = src.pixels_.data();
    if (&src == this) {
      scratch = pixels_;  // overlapping copies within one surface read the old pixels
      src_pixels = scratch.data();
    }
    const int bpp = bits_ / 8;
    const bool plain = s.Width() == d.Width() && s.Height() == d.Height() && mirror == 0;
    for (int y = clip.top; y < clip.bottom; ++y) {
      std::int64_t sy = s.top + (static_cast<std::int64_t>(y - d.top) * s.Height()) / d.Height();
      if (mirror & kBltFxMirrorUpDown) sy = s.bottom - 1 - (sy - s.top);
      const std::uint8_t* srow = src_pixels + static_cast<std::size_t>(sy) * static_cast<std::size_t>(src.pitch_);
      std::uint8_t* drow = Row(y);
      if (plain && !keyed) {
        std::memcpy(drow + clip.left * bpp, srow + (s.left + clip.left - d.left) * bpp,
                    static_cast<std::size_t>(clip.Width() * bpp));
        continue;
      }
      for (int x = clip.left; x < clip.right; ++x) {
        std::int64_t sx = plain ? s.left + (x - d.left)
                                : s.left + (static_cast<std::int64_t>(x - d.left) * s.Width()) / d.Width();
        if (mirror & kBltFxMirrorLeftRight) sx = s.right - 1 - (sx - s.left);
        std::uint32_t v = bpp == 1 ? srow[sx] : reinterpret_cast<const std::uint32_t*>(srow)[sx];
        if (keyed && v >= src.key_low_ && v <= src.key_high_) continue;
        if (bpp == 1)
          drow[x] = static_cast<std::uint8_t>(v);
        else
          reinterpret_cast<std::uint32_t*>(drow)[x] = v;
      }
    }
  }

  std::shared_ptr<DeviceState> device_;
  const bool primary_;
  const bool system_memory_;
  int width_ = 0, height_ = 0, bits_ = 32, pitch_ = 0;
  std::vector<std::uint8_t> pixels_;
  bool lost_ = false;
  bool locked_ = false;
  bool dc_out_ = false;
  bool has_key_ = false;
  std::uint32_t key_low_ = 0, key_high_ = 0;
  std::shared_ptr<DisplayClipper> clipper_;
  std::shared_ptr<DisplayPalette> palette_;
};

}  // namespace

void DeviceState::LoseAll() {
  for (MemorySurface* s : surfaces) s->Lose();
}

void DeviceState::PaletteChanged(const MemoryPalette* palette) {
  if (primary && primary->UsesPalette(palette)) primary->Changed();
}

class MemoryDevice : public DisplayDevice {
 public:
  explicit MemoryDevice(MemoryDisplay& display) : state_(std::make_shared<DeviceState>()) {
    state_->display = &display;
    display.devices_.push_back(state_);
  }

  ~MemoryDevice() override {
    // The screen goes back to the desktop when its exclusive owner goes away.
    if (state_->full_screen && state_->window) state_->display->LeaveFullScreen(*state_->window);
    state_->full_screen = false;
    state_->alive = false;
    auto& list = state_->display->devices_;
    list.erase(std::remove_if(list.begin(), list.end(),
                              [this](auto& w) { return w.expired() || w.lock() == state_; }),
               list.end());
  }

  DeviceCaps Caps() const override {
    DeviceCaps caps;
    caps.video_memory_total = state_->display->VideoMemory();
    caps.video_memory_free = caps.video_memory_total - std::min(caps.video_memory_total, state_->video_used);
    return caps;
  }

  DisplayResult SetCooperativeLevel(Window* window, unsigned flags) override {
    if (!window) return kErrInvalidParams;
    const bool normal = (flags & kCoopNormal) != 0;
    const bool exclusive = (flags & kCoopFullScreen) && (flags & kCoopExclusive);
    if (normal == exclusive) return kErrInvalidParams;
    if (normal && state_->full_screen) RestoreDisplayMode();
    state_->window = window;
    state_->coop = flags;
    return kDisplayOk;
  }

  DisplayResult EnumDisplayModes(std::vector<DisplayMode>& out) override {
    out = UsableModes();
    return kDisplayOk;
  }

  DisplayResult SetDisplayMode(const DisplayMode& mode) override {
    if (!state_->window || !(state_->coop & kCoopExclusive)) return kErrNoExclusiveMode;
    auto modes = UsableModes();
    if (std::find(modes.begin(), modes.end(), mode) == modes.end()) return kErrInvalidMode;
    if (!state_->display->EnterFullScreen(*state_->window, mode)) return kErrGeneric;
    state_->full_screen = true;
    state_->mode = mode;
    state_->LoseAll();
    return kDisplayOk;
  }

  DisplayResult RestoreDisplayMode() override {
    if (!state_->full_screen) return kDisplayOk;
    if (state_->window) state_->display->LeaveFullScreen(*state_->window);
    state_->full_screen = false;
    state_->LoseAll();
    return kDisplayOk;
  }

  DisplayResult CreateSurface(const SurfaceDesc& desc, std::shared_ptr<DisplaySurface>& out) override {
    out.reset();
    if (desc.system_memory && desc.video_memory) return kErrInvalidParams;
    if (desc.primary) {
      if (!state_->window) return kErrNoCooperativeLevel;
      auto surface = std::make_shared<MemorySurface>(state_, true, 1, 1, state_->BitsPerPixel(), false);
      surface->Info();  // takes the screen's size
      out = surface;
      return kDisplayOk;
    }
    if (desc.width <= 0 || desc.height <= 0) return kErrInvalidParams;
    if (desc.width > kMaxSurfaceSide || desc.height > kMaxSurfaceSide) return kErrOutOfMemory;
    const int bits = state_->BitsPerPixel();
    const std::uint64_t bytes = static_cast<std::uint64_t>((desc.width * (bits / 8) + 3) & ~3) *
                                static_cast<std::uint64_t>(desc.height);
    if (bytes > kMaxSurfaceBytes) return kErrOutOfMemory;
    if (!desc.system_memory) {
      // Video memory unless asked otherwise; when it is full the caller may ask for system memory.
      std::uint64_t budget = state_->display->VideoMemory();
      if (state_->video_used > budget || bytes > budget - state_->video_used) return kErrOutOfVideoMemory;
    }
    out = std::make_shared<MemorySurface>(state_, false, desc.width, desc.height, bits, desc.system_memory);
    return kDisplayOk;
  }

  DisplayResult CreatePalette(unsigned caps, const Rgb* entries, std::shared_ptr<DisplayPalette>& out) override {
    out.reset();
    if (!(caps & kPalette8Bit)) return kErrInvalidParams;
    out = std::make_shared<MemoryPalette>(state_, entries);
    return kDisplayOk;
  }

  DisplayResult CreateClipper(std::shared_ptr<DisplayClipper>& out) override {
    out = std::make_shared<MemoryClipper>();
    return kDisplayOk;
  }

  DisplayResult WaitForVerticalBlank() override {
    state_->display->WaitForVerticalBlank();
    return kDisplayOk;
  }

 private:
  // The surfaces hold one byte or four per pixel and nothing else: a mode of other depths is
  // neither offered nor taken, whatever the backend lists.
  std::vector<DisplayMode> UsableModes() const {
    std::vector<DisplayMode> modes = state_->display->Modes();
    std::erase_if(modes, [](const DisplayMode& m) { return m.bits_per_pixel != 8 && m.bits_per_pixel != 32; });
    return modes;
  }

  std::shared_ptr<DeviceState> state_;
};

MemoryDisplay::MemoryDisplay() = default;
MemoryDisplay::~MemoryDisplay() = default;

DisplayResult MemoryDisplay::CreateDevice(std::unique_ptr<DisplayDevice>& out) {
  out = std::make_unique<MemoryDevice>(*this);
  return kDisplayOk;
}

DisplayResult MemoryDisplay::SystemPalette(std::array<Rgb, 256>& out) {
  out = StaticSystemPalette();
  return kDisplayOk;
}

void MemoryDisplay::LoseSurfaces() {
  for (auto& weak : devices_)
    if (auto state = weak.lock()) state->LoseAll();
}

void ExpandToRgb(const PixelBuffer& src, std::vector<Rgb>& out) {
  out.resize(static_cast<std::size_t>(src.width) * static_cast<std::size_t>(src.height));
  Rgb* o = out.data();
  for (int y = 0; y < src.height; ++y) {
    const std::uint8_t* row = src.pixels + static_cast<std::size_t>(y) * static_cast<std::size_t>(src.pitch);
    if (src.bits_per_pixel == 8) {
      const auto& pal = src.palette ? *src.palette : StaticSystemPalette();
      for (int x = 0; x < src.width; ++x) *o++ = pal[row[x]];
    } else {
      std::memcpy(o, row, static_cast<std::size_t>(src.width) * 4);
      o += src.width;
    }
  }
}

namespace {

// One source row written `k` times over, pixel by pixel. Each pixel goes out in 16-byte
// stores of four copies; a store that runs past the pixel's `k` copies is overwritten by the
// next pixel, so only the last pixel of the row is written exactly.
template <class Pixel>
void WidenRowBy(int k, const std::uint8_t* s, int count, std::uint32_t* out, Pixel pixel) {
  if (count <= 0) return;
  if (k == 1) {
    for (int i = 0; i < count; ++i) out[i] = pixel(s, i);
    return;
  }
#if defined(__SSE2__)
  if (k == 2) {
    int i = 0;
    for (; i + 4 <= count; i += 4, out += 8) {
      const __m128i v = _mm_set_epi32(static_cast<int>(pixel(s, i + 3)), static_cast<int>(pixel(s, i + 2)),
                                      static_cast<int>(pixel(s, i + 1)), static_cast<int>(pixel(s, i)));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi32(v, v));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4), _mm_unpackhi_epi32(v, v));
    }
    for (; i < count; ++i, out += 2) out[0] = out[1] = pixel(s, i);
    return;
  }
  if (k == 3) {
    int i = 0;
    for (; i + 4 <= count; i += 4, out += 12) {
      const __m128i v = _mm_set_epi32(static_cast<int>(pixel(s, i + 3)), static_cast<int>(pixel(s, i + 2)),
                                      static_cast<int>(pixel(s, i + 1)), static_cast<int>(pixel(s, i)));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_shuffle_epi32(v, _MM_SHUFFLE(1, 0, 0, 0)));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4), _mm_shuffle_epi32(v, _MM_SHUFFLE(2, 2, 1, 1)));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8), _mm_shuffle_epi32(v, _MM_SHUFFLE(3, 3, 3, 2)));
    }
    for (; i < count; ++i, out += 3) out[0] = out[1] = out[2] = pixel(s, i);
    return;
  }
  if (k >= 4) {
    for (int i = 0; i + 1 < count; ++i, out += k) {
      const __m128i v = _mm_set1_epi32(static_cast<int>(pixel(s, i)));
      for (int at = 0; at < k; at += 4) _mm_storeu_si128(reinterpret_cast<__m128i*>(out + at), v);
    }
    std::fill_n(out, k, pixel(s, count - 1));
    return;
  }
#endif
  for (int i = 0; i < count; ++i, out += k) std::fill_n(out, k, pixel(s, i));
}

// A whole-number enlargement that the target holds entirely, as every window and letter-boxed
// screen of a 4:3 picture has: each source row is widened once and the copies below it are
// plain row copies, so the cost is about that of writing the target's pixels.
void ScaleWhole(const PixelBuffer& src, const PixelBuffer& target, const Rect& dest, Rgb alpha, ShownPicture* shown) {
  const int kx = dest.Width() / src.width, ky = dest.Height() / src.height;
  const std::size_t row_bytes = static_cast<std::size_t>(dest.Width()) * 4;
  const auto& palette = src.palette ? *src.palette : StaticSystemPalette();
  const std::size_t source_row_bytes = static_cast<std::size_t>(src.width) * (src.bits_per_pixel == 8 ? 1 : 4);
  // Rows may stay only on the very target, placed and coloured as last time.
  bool same = false;
  if (shown) {
    same = shown->valid && shown->target.pixels == target.pixels && shown->target.width == target.width &&
           shown->target.height == target.height && shown->target.pitch == target.pitch && shown->dest == dest &&
           shown->alpha == alpha && shown->width == src.width && shown->height == src.height &&
           shown->bits_per_pixel == src.bits_per_pixel && (src.bits_per_pixel != 8 || shown->palette == palette);
    if (!same) {
      shown->valid = true;
      shown->target = target;
      shown->dest = dest;
      shown->alpha = alpha;
      shown->width = src.width;
      shown->height = src.height;
      shown->bits_per_pixel = src.bits_per_pixel;
      if (src.bits_per_pixel == 8) shown->palette = palette;
      shown->rows.resize(source_row_bytes * static_cast<std::size_t>(src.height));
    }
  }
  for (int sy = 0; sy < src.height; ++sy) {
    const std::uint8_t* s = src.pixels + static_cast<std::ptrdiff_t>(sy) * src.pitch;
    if (shown) {
      std::uint8_t* kept = shown->rows.data() + source_row_bytes * static_cast<std::size_t>(sy);
      if (same && std::memcmp(kept, s, source_row_bytes) == 0) continue;
      std::memcpy(kept, s, source_row_bytes);
    }
    std::uint8_t* first = target.pixels + static_cast<std::ptrdiff_t>(dest.top + sy * ky) * target.pitch +
                          static_cast<std::ptrdiff_t>(dest.left) * 4;
    auto* out = reinterpret_cast<std::uint32_t*>(first);
    if (src.bits_per_pixel == 8)
      WidenRowBy(kx, s, src.width, out, [&palette, alpha](const std::uint8_t* p, int i) { return palette[p[i]] | alpha; });
    else
      WidenRowBy(kx, s, src.width, out, [alpha](const std::uint8_t* p, int i) {
        std::uint32_t v;
        std::memcpy(&v, p + static_cast<std::ptrdiff_t>(i) * 4, 4);
        return v | alpha;
      });
    for (int r = 1; r < ky; ++r) std::memcpy(first + static_cast<std::ptrdiff_t>(r) * target.pitch, first, row_bytes);
  }
}

}  // namespace

void ScaleNearest(const PixelBuffer& src, const PixelBuffer& target, const Rect& dest, Rgb alpha,
                  std::vector<int>& columns, ShownPicture* shown) {
  if (dest.Empty() || src.width <= 0 || src.height <= 0 || target.bits_per_pixel != 32) return;
  const Rect clip = Intersect(dest, {0, 0, target.width, target.height});
  if (clip.Empty()) return;
  if (clip == dest && dest.Width() % src.width == 0 && dest.Height() % src.height == 0) {
    ScaleWhole(src, target, dest, alpha, shown);
    return;
  }
  if (shown) shown->Forget();
  const auto& palette = src.palette ? *src.palette : StaticSystemPalette();
  const int n = clip.Width();
  columns.resize(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i)
    columns[static_cast<std::size_t>(i)] =
        static_cast<int>(static_cast<std::int64_t>(clip.left + i - dest.left) * src.width / dest.Width());
  const std::uint32_t* previous = nullptr;
  std::int64_t previous_sy = -1;
  for (int y = clip.top; y < clip.bottom; ++y) {
    auto* row = reinterpret_cast<std::uint32_t*>(target.pixels + static_cast<std::ptrdiff_t>(y) * target.pitch) +
                clip.left;
    const std::int64_t sy = static_cast<std::int64_t>(y - dest.top) * src.height / dest.Height();
    if (sy == previous_sy) {  // an enlarged row repeats the one above
      std::memcpy(row, previous, static_cast<std::size_t>(n) * 4);
      continue;
    }
    const std::uint8_t* s = src.pixels + sy * src.pitch;
    if (src.bits_per_pixel == 8) {
      for (int i = 0; i < n; ++i) row[i] = palette[s[columns[static_cast<std::size_t>(i)]]] | alpha;
    } else {
      const auto* s32 = reinterpret_cast<const std::uint32_t*>(s);
      for (int i = 0; i < n; ++i) row[i] = s32[columns[static_cast<std::size_t>(i)]] | alpha;
    }
    previous = row;
    previous_sy = sy;
  }
}

const std::array<Rgb, 256>& StaticSystemPalette() {
  static const std::array<Rgb, 256> palette = [] {
    std::array<Rgb, 256> p{};
    const Rgb low[10] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080,
                         0x800080, 0x008080, 0xC0C0C0, 0xC0DCC0, 0xA6CAF0};
    const Rgb high[10] = {0xFFFBF0, 0xA0A0A4, 0x808080, 0xFF0000, 0x00FF00,
                          0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
    for (int i = 0; i < 10; ++i) {
      p[static_cast<std::size_t>(i)] = low[i];
      p[static_cast<std::size_t>(246 + i)] = high[i];
    }
    return p;
  }();
  return palette;
}

int WindowScaleFor(int usable_width, int usable_height, int client_width, int client_height, int frame_width,
                   int frame_height) {
  if (client_width <= 0 || client_height <= 0) return 1;
  auto fits = [&](long long k) {
    return 10 * (client_width * k + frame_width) <= 9LL * usable_width &&
           10 * (client_height * k + frame_height) <= 9LL * usable_height;
  };
  int k = 1;
  while (k < 64 && fits(k + 1)) ++k;
  return k;
}

Rect FitPicture(int picture_width, int picture_height, int output_width, int output_height) {
  if (picture_width <= 0 || picture_height <= 0 || output_width <= 0 || output_height <= 0) return {};
  // Width-limited unless that would be too tall.
  int w = output_width;
  int h = static_cast<int>(static_cast<std::int64_t>(output_width) * picture_height / picture_width);
  if (h > output_height) {
    h = output_height;
    w = static_cast<int>(static_cast<std::int64_t>(output_height) * picture_width / picture_height);
  }
  int x = (output_width - w) / 2;
  int y = (output_height - h) / 2;
  return {x, y, x + w, y + h};
}

}  // namespace platform
