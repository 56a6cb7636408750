#pragma once
// The screen: a device that owns surfaces in the screen's format, a visible primary surface,
// palettes for 8-bit modes, clippers that bind a blit to a window, display modes and the
// vertical-blank wait. Every operation answers with a result code; the display components
// record them and act on the few that matter (a lost surface above all).
//
// Surfaces live in memory: 32 bits per pixel (0x00RRGGBB) on the desktop, 8 bits per pixel
// (palette indices) in the emulated 8-bit full-screen modes. A backend only shows the primary
// surface in its window: in a window at an integer scale, full screen letter-boxed.
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/pixels.h"

namespace platform {

class Window;

// Result codes. The numbers are the classic ones of the display design, so the components can
// record and compare them as they always have.
using DisplayResult = std::int32_t;
inline constexpr DisplayResult kDisplayOk = 0;
inline constexpr DisplayResult kErrGeneric = static_cast<std::int32_t>(0x80004005);
inline constexpr DisplayResult kErrUnsupported = static_cast<std::int32_t>(0x80004001);
inline constexpr DisplayResult kErrInvalidParams = static_cast<std::int32_t>(0x80070057);
inline constexpr DisplayResult kErrOutOfMemory = static_cast<std::int32_t>(0x8007000E);
inline constexpr DisplayResult kErrInvalidPixelFormat = static_cast<std::int32_t>(0x88760091);
inline constexpr DisplayResult kErrInvalidMode = static_cast<std::int32_t>(0x88760096);
inline constexpr DisplayResult kErrInvalidRect = static_cast<std::int32_t>(0x88760097);
inline constexpr DisplayResult kErrNoClipper = static_cast<std::int32_t>(0x887600CD);
inline constexpr DisplayResult kErrNoCooperativeLevel = static_cast<std::int32_t>(0x887600D4);
inline constexpr DisplayResult kErrNoColorKey = static_cast<std::int32_t>(0x887600D7);
inline constexpr DisplayResult kErrNoExclusiveMode = static_cast<std::int32_t>(0x887600E1);
inline constexpr DisplayResult kErrOutOfVideoMemory = static_cast<std::int32_t>(0x8876017C);
inline constexpr DisplayResult kErrSurfaceBusy = static_cast<std::int32_t>(0x887601AE);
inline constexpr DisplayResult kErrSurfaceLost = static_cast<std::int32_t>(0x887601C2);
inline constexpr DisplayResult kErrBltFastCantClip = static_cast<std::int32_t>(0x8876023E);
inline constexpr DisplayResult kErrNotLocked = static_cast<std::int32_t>(0x88760248);
inline constexpr DisplayResult kErrWrongMode = static_cast<std::int32_t>(0x8876024B);
inline constexpr DisplayResult kErrNotPalettized = static_cast<std::int32_t>(0x8876024D);

// A rectangle, right and bottom edges excluded.
struct Rect {
  int left = 0, top = 0, right = 0, bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool Empty() const { return right <= left || bottom <= top; }
  bool operator==(const Rect&) const = default;
};

struct DisplayMode {
  int width = 0, height = 0, bits_per_pixel = 0;
  bool operator==(const DisplayMode&) const = default;
};

// Cooperative levels, combined as flags.
enum : unsigned {
  kCoopFullScreen = 0x01,
  kCoopAllowReboot = 0x02,
  kCoopNoWindowChanges = 0x04,
  kCoopNormal = 0x08,
  kCoopExclusive = 0x10,
  kCoopAllowModeX = 0x40,
};

// Blit flags and effects.
enum : unsigned {
  kBltColorFill = 0x400,
  kBltFx = 0x800,
  kBltKeySrc = 0x8000,
  kBltWait = 0x01000000,
};
enum : unsigned { kBltFxMirrorLeftRight = 2, kBltFxMirrorUpDown = 4 };
struct BltFx {
  std::uint32_t fill_color = 0;  // raw pixel value, with kBltColorFill
  unsigned mirror = 0;           // with kBltFx
};
enum : unsigned { kBltFastNoColorKey = 0x00, kBltFastSrcColorKey = 0x01, kBltFastWait = 0x10 };

// Palette capabilities.
enum : unsigned { kPalette8Bit = 0x04, kPaletteInitialize = 0x08, kPaletteAllow256 = 0x40 };

struct SurfaceDesc {
  bool primary = false;    // the visible surface; size and format come from the screen
  int width = 0, height = 0;  // off-screen surfaces
  bool system_memory = false;
  bool video_memory = false;
};

struct SurfaceInfo {
  int width = 0, height = 0, bits_per_pixel = 0, pitch = 0;
  bool primary = false;
  bool system_memory = false;
};

struct DeviceCaps {
  std::uint64_t video_memory_total = 0;
  std::uint64_t video_memory_free = 0;
  bool palettes = true;  // 8-bit modes with palettes are offered
};

class DisplayPalette {
 public:
  virtual ~DisplayPalette() = default;
  virtual DisplayResult SetEntries(int start, int count, const Rgb* entries) = 0;
  virtual const std::array<Rgb, 256>& Entries() const = 0;
};

class DisplayClipper {
 public:
  virtual ~DisplayClipper() = default;
  // Blits onto a surface with this clipper stay inside the window's client area.
  virtual DisplayResult SetWindow(Window* window) = 0;
  virtual Window* BoundWindow() const = 0;
};

class DisplaySurface {
 public:
  virtual ~DisplaySurface() = default;
  virtual SurfaceInfo Info() const = 0;
  // Copies `src_rect` of `src` (whole when null) onto `dst` (whole when null), stretching as
  // needed, or fills `dst` with kBltColorFill. Clipped only when a clipper is attached;
  // otherwise both rectangles must lie inside their surfaces.
  virtual DisplayResult Blt(const Rect* dst, DisplaySurface* src, const Rect* src_rect, unsigned flags,
                            const BltFx* fx) = 0;
  // An unstretched copy to (x, y). Refused on a surface with a clipper (kErrBltFastCantClip).
  virtual DisplayResult BltFast(int x, int y, DisplaySurface* src, const Rect* src_rect, unsigned flags) = 0;
  // The source colour key: pixels from low to high are left out of keyed copies.
  virtual DisplayResult SetColorKey(std::uint32_t low, std::uint32_t high) = 0;
  // Direct access to the pixels until Unlock. One lock at a time; not while a device context
  // is out.
  virtual DisplayResult Lock(PixelBuffer& out) = 0;
  virtual DisplayResult Unlock() = 0;
  // The surface as a drawing target for text, shapes and pictures; for 8 bits per pixel the
  // buffer names the palette in force. Blits and locks are refused until it is given back.
  virtual DisplayResult GetDC(PixelBuffer& out) = 0;
  virtual DisplayResult ReleaseDC() = 0;
  virtual DisplayResult SetClipper(std::shared_ptr<DisplayClipper> clipper) = 0;
  virtual DisplayResult GetClipper(std::shared_ptr<DisplayClipper>& out) const = 0;
  // Palettes attach to 8-bit surfaces only (kErrNotPalettized otherwise).
  virtual DisplayResult SetPalette(std::shared_ptr<DisplayPalette> palette) = 0;
  // kErrSurfaceLost after a display mode change or a lost render device, until Restore.
  virtual DisplayResult IsLost() const = 0;
  virtual DisplayResult Restore() = 0;
};

class DisplayDevice {
 public:
  virtual ~DisplayDevice() = default;
  virtual DeviceCaps Caps() const = 0;
  // Normal: the window shows the primary surface at the desktop's format. Full screen and
  // exclusive: display modes may be set.
  virtual DisplayResult SetCooperativeLevel(Window* window, unsigned flags) = 0;
  virtual DisplayResult EnumDisplayModes(std::vector<DisplayMode>& out) = 0;
  // Takes the window full screen at the mode's size and format; the desktop keeps its own
  // mode. Every surface is lost.
  virtual DisplayResult SetDisplayMode(const DisplayMode& mode) = 0;
  virtual DisplayResult RestoreDisplayMode() = 0;
  virtual DisplayResult CreateSurface(const SurfaceDesc& desc, std::shared_ptr<DisplaySurface>& out) = 0;
  virtual DisplayResult CreatePalette(unsigned caps, const Rgb* entries, std::shared_ptr<DisplayPalette>& out) = 0;
  virtual DisplayResult CreateClipper(std::shared_ptr<DisplayClipper>& out) = 0;
  // Returns at the next 1/60 s beat: presents are paced at 60 a second on any display.
  virtual DisplayResult WaitForVerticalBlank() = 0;
};

class Display {
 public:
  virtual ~Display() = default;
  virtual DisplayResult CreateDevice(std::unique_ptr<DisplayDevice>& out) = 0;
  // The 256 colours of the system palette: the 20 static colours at 0 to 9 and 246 to 255.
  virtual DisplayResult SystemPalette(std::array<Rgb, 256>& out) = 0;
};

// The system palette's 20 static colours in their places, black between them.
const std::array<Rgb, 256>& StaticSystemPalette();

// The window's first scale: the largest whole k, at least 1, whose k-times client area with
// the window manager's frame around it (both sides together) fits within nine tenths of the
// usable desktop (panels left out) in both directions.
int WindowScaleFor(int usable_width, int usable_height, int client_width, int client_height, int frame_width = 0,
                   int frame_height = 0);

// The largest rectangle of the picture's shape that fits the output, centred (black bars
// fill the rest).
Rect FitPicture(int picture_width, int picture_height, int output_width, int output_height);

}  // namespace platform
