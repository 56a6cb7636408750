#pragma once
// The display component and the game form's base class.
//
// The game draws each frame into an off-screen back surface of fixed size and asks the display
// to present it, into the form's window or onto the whole screen in an 8-bit display mode.
// The display owns the screen's objects, the palette built from its colour table, and a list
// of dependent components that it tells of every stage of its life.
#include <cstdint>
#include <memory>
#include <vector>

#include "app/forms.h"
#include "media/dib.h"
#include "media/directdraw.h"

namespace media {

enum TDXDrawOption : unsigned {
  doFullScreen, doNoWindowChange, doAllowReboot, doWaitVBlank, doAllowPalette256, doSystemMemory,
  doStretch, doCenter, doFlip, do3D, doRetainedMode, doHardware, doSelectDriver, doZBuffer,
};
using TDXDrawOptions = std::uint16_t;
constexpr TDXDrawOptions Opt(TDXDrawOption o) { return static_cast<TDXDrawOptions>(1u << o); }

enum TDXDrawNotifyType {
  dnDestroying, dnInitializing, dnInitialize, dnInitializeSurface, dnFinalize, dnFinalizeSurface, dnRestore,
  dnSetSurfaceSize,
};

class TCustomDXDraw;
// A dependent's handler: called with its data, the display and the notification.
using TDXDrawNotifyProc = void (*)(void* Data, TCustomDXDraw* Sender, TDXDrawNotifyType NotifyType);

class EDXDrawError : public app::Exception {
 public:
  using app::Exception::Exception;
};

enum TAlign { alNone, alClient };

struct TDXDrawDisplayMode {
  int Width = 0, Height = 0, BitCount = 0;
};

// The full-screen display mode to ask for, and the search for a fallback when the platform
// refuses it.
class TDXDrawDisplay {
 public:
  explicit TDXDrawDisplay(TCustomDXDraw& owner) : owner_(owner) {}

  int BitCount() const { return bit_count_; }
  // Raises EDirectDrawError unless the value is 8, 16, 24 or 32.
  void SetBitCount(int value);
  int Width = 640;
  int Height = 480;
  bool FixedBitCount = true;
  bool FixedRatio = true;
  bool FixedSize = false;

  // The platform's display modes, by width, then height, then bits; read on first use.
  int Count();
  const TDXDrawDisplayMode& Modes(int index);
  void Clear() {
    modes_.clear();
    listed_ = false;
  }

  // Sets the display mode, or the nearest fitting one; a mode that was set becomes this
  // object's Width, Height and BitCount.
  bool SetDisplayMode(int width, int height, int bits);

 private:
  void List();
  bool TrySet(int width, int height, int bits);
  bool Search(int width, int height, int bits, bool ratio);

  TCustomDXDraw& owner_;
  int bit_count_ = 8;
  std::vector<TDXDrawDisplayMode> modes_;
  bool listed_ = false;
};

class TDXDrawDriver;

class TCustomDXDraw : public app::TComponent {
 public:
  explicit TCustomDXDraw(app::TComponent* AOwner);
  ~TCustomDXDraw() override;

  // Stored properties.
  TAlign Align = alNone;
  int Width = 100, Height = 100;  // the control's size unless it fills its form's client area
  app::TColor Color = app::clBtnFace;
  bool AutoInitialize = true;
  bool AutoSize = true;
  TDXDrawDisplay Display;
  TDXDrawOptions Options() const { return options_; }
  void SetOptions(TDXDrawOptions value);
  TDXDrawOptions NowOptions() const { return effective_; }
  int SurfaceWidth() const;
  int SurfaceHeight() const;
  void SetSurfaceWidth(int value) { SetSurfaceSize(value, SurfaceHeight()); }
  void SetSurfaceHeight(int value) { SetSurfaceSize(SurfaceWidth(), value); }
  void SetSurfaceSize(int width, int height);

  app::TNotifyEvent OnInitializing;
  app::TNotifyEvent OnInitialize;
  app::TNotifyEvent OnInitializeSurface;
  app::TNotifyEvent OnFinalize;
  app::TNotifyEvent OnFinalizeSurface;
  app::TNotifyEvent OnRestoreSurface;

  // The palette in force while the game runs, and while dependents rebuild their surfaces.
  TColorTable ColorTable{};
  TColorTable RestoreColorTable{};
  // Writes ColorTable into the palette of an initialised display.
  void UpdatePalette();

  void Initialize();
  void Finalize();
  void Restore();
  bool Initialized() const { return initialized_; }
  bool Updating() const { return updating_; }
  bool ReadyToDraw();
  void Present();

  // The control's size: its form's client area with alClient (the whole screen in full screen).
  int ClientWidth() const;
  int ClientHeight() const;
  app::TForm* ParentForm() const { return form_; }

  TDirectDraw* DDraw() const { return ddraw_.get(); }
  TDirectDrawSurface* Primary() const { return primary_.get(); }
  TDirectDrawSurface* Surface() const { return surface_.get(); }
  TDirectDrawClipper* Clipper() const { return clipper_.get(); }
  TDirectDrawPalette* Palette() const { return palette_.get(); }

  void RegisterNotify(TDXDrawNotifyProc Proc, void* Data);
  void UnregisterNotify(TDXDrawNotifyProc Proc, void* Data);

  void Loaded() override;

 private:
  friend class TDXDrawDriver;
  friend class TDXDrawDriverBlt;
  friend class TDXDrawDisplay;

  struct NotifyEntry {
    TDXDrawNotifyProc proc;
    void* data;
  };

  static TDXDrawOptions EffectiveOf(TDXDrawOptions options);
  void Notify(TDXDrawNotifyType type);
  void FormWindowProc(app::TMessage& m);
  void SetCooperativeLevel();
  bool CheckSurfaces();
  void PresentOnce(bool wait_vblank);
  // The platform palette entries of a colour table, with the 20 static colours kept unless
  // all 256 entries are the program's.
  std::array<TPaletteEntry, 256> PaletteEntriesOf(const TColorTable& table) const;
  void SetColorTable(const TColorTable& table);

  app::TForm* form_ = nullptr;
  app::TWndMethod old_window_proc_;
  TDXDrawOptions options_ = 0;
  TDXDrawOptions effective_ = 0;
  int surface_width_ = 640, surface_height_ = 480;
  bool initialized_ = false;
  bool updating_ = false;
  bool started_ = false;
  bool auto_initialized_ = false;
  bool initialize_event_fired_ = false;
  bool surface_event_fired_ = false;
  int init_depth_ = 0;
  std::vector<NotifyEntry> notifies_;
  std::unique_ptr<TDXDrawDriver> driver_;
  std::unique_ptr<TDirectDraw> ddraw_;
  std::unique_ptr<TDirectDrawSurface> primary_;
  std::unique_ptr<TDirectDrawSurface> surface_;
  std::unique_ptr<TDirectDrawClipper> clipper_;
  std::unique_ptr<TDirectDrawPalette> palette_;
};

class TDXDraw : public TCustomDXDraw {
 public:
  using TCustomDXDraw::TCustomDXDraw;
};

// The game form's base: it keeps its window's placement across a switch to full screen.
class TDXForm : public app::TForm {
 public:
  using app::TForm::TForm;
  void StoreWindowPlacement();
  void RestoreWindowPlacement();

 private:
  bool placement_stored_ = false;
  platform::WindowPlacement placement_;
};

}  // namespace media
