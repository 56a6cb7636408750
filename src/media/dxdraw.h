#pragma once
// The display component and the game form's base class.
//
// This is the first, minimal display: it initialises when its form is first shown, keeps a
// 320 x 240 back surface in memory, and paces presents at the vertical blank. It has not yet a
// visible picture; the full display replaces it.
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "app/forms.h"

namespace media {

enum TDXDrawOption : unsigned {
  doFullScreen, doNoWindowChange, doAllowReboot, doWaitVBlank, doAllowPalette256, doSystemMemory,
  doStretch, doCenter, doFlip, do3D, doRetainedMode, doHardware, doSelectDriver, doZBuffer,
};
using TDXDrawOptions = std::uint16_t;
constexpr TDXDrawOptions Opt(TDXDrawOption o) { return static_cast<TDXDrawOptions>(1u << o); }

// A palette colour table: 256 entries of blue, green, red, reserved.
struct TRGBQuad {
  std::uint8_t rgbBlue = 0, rgbGreen = 0, rgbRed = 0, rgbReserved = 0;
};
using TColorTable = std::array<TRGBQuad, 256>;

class TDirectDrawSurface {
 public:
  TDirectDrawSurface(int width, int height) : width_(width), height_(height), pixels_(width * height) {}
  int Width() const { return width_; }
  int Height() const { return height_; }
  bool Fill(std::uint32_t device_color) {
    std::fill(pixels_.begin(), pixels_.end(), device_color);
    return true;
  }
  std::uint32_t Pixel(int x, int y) const {
    return x < 0 || y < 0 || x >= width_ || y >= height_ ? 0 : pixels_[y * width_ + x];
  }

 private:
  int width_, height_;
  std::vector<std::uint32_t> pixels_;
};

class TDXForm : public app::TForm {
 public:
  using app::TForm::TForm;
  void StoreWindowPlacement();
  void RestoreWindowPlacement();

 private:
  bool placement_stored_ = false;
  platform::WindowPlacement placement_;
};

class TDXDraw : public app::TComponent {
 public:
  explicit TDXDraw(app::TComponent* AOwner);
  ~TDXDraw() override;

  bool AutoInitialize = true;
  int SurfaceWidth = 640, SurfaceHeight = 480;
  TColorTable ColorTable{};
  TColorTable RestoreColorTable{};
  app::TNotifyEvent OnInitialize;
  app::TNotifyEvent OnFinalize;

  TDXDrawOptions Options() const { return options_; }
  void SetOptions(TDXDrawOptions options) { options_ = options; }

  void Initialize();
  void Finalize();
  bool Initialized() const { return initialized_; }
  bool ReadyToDraw() const { return initialized_ && !updating_ && surface_; }
  void Present();
  TDirectDrawSurface* Surface() const { return surface_.get(); }

 private:
  void FormWindowProc(app::TMessage& m);

  app::TForm* form_ = nullptr;
  app::TWndMethod old_window_proc_;
  TDXDrawOptions options_ = 0;
  bool initialized_ = false;
  bool updating_ = false;
  bool started_ = false;
  bool auto_initialized_ = false;
  bool initialize_event_fired_ = false;
  std::unique_ptr<TDirectDrawSurface> surface_;
};

}  // namespace media
