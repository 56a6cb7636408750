#include "media/dxdraw.h"

#include <algorithm>
#include <limits>

#include "app/application.h"
#include "app/sjis.h"
#include "platform/platform.h"

namespace media {

namespace {

// Runs `body`, then `cleanup` also when `body` raised; an error in `cleanup` replaces the one
// it follows.
template <class Body, class Cleanup>
void TryFinally(Body body, Cleanup cleanup) {
  try {
    body();
  } catch (...) {
    cleanup();
    throw;
  }
  cleanup();
}

constexpr TDXDrawOptions k3DOptions =
    Opt(doRetainedMode) | Opt(doHardware) | Opt(doSelectDriver) | Opt(doZBuffer);

}  // namespace

// Creates the device on construction and frees the screen's objects, last made first.
class TDXDrawDriver {
 public:
  explicit TDXDrawDriver(TCustomDXDraw& owner) : owner_(owner) {
    owner_.ddraw_ = std::make_unique<TDirectDraw>(app::Application->Platform());
  }
  virtual ~TDXDrawDriver() {
    owner_.clipper_.reset();
    owner_.palette_.reset();
    owner_.surface_.reset();
    owner_.primary_.reset();
    owner_.ddraw_.reset();
  }
  TDXDrawDriver(const TDXDrawDriver&) = delete;
  TDXDrawDriver& operator=(const TDXDrawDriver&) = delete;

  virtual void Initialize() = 0;
  virtual void Present(bool wait_vblank) = 0;

 protected:
  TCustomDXDraw& owner_;
};

// Presents by one blit of the back surface into the window (or the screen).
class TDXDrawDriverBlt : public TDXDrawDriver {
 public:
  using TDXDrawDriver::TDXDrawDriver;

  void Initialize() override {
    TCustomDXDraw& o = owner_;
    TDirectDraw* ddraw = o.ddraw_.get();

    o.primary_ = std::make_unique<TDirectDrawSurface>(ddraw);
    platform::SurfaceDesc primary;
    primary.primary = true;
    if (!o.primary_->CreateSurface(primary))
      throw EDXDrawError(DXMessage(u8"%s を作成できません", app::Sjis(u8"プライマリサーフェース")));

    o.surface_ = std::make_unique<TDirectDrawSurface>(ddraw);

    o.clipper_ = std::make_unique<TDirectDrawClipper>(ddraw);
    o.clipper_->SetHandle(&o.form_->Handle());
    o.primary_->SetClipper(o.clipper_.get());

    o.palette_ = std::make_unique<TDirectDrawPalette>(ddraw);
    const unsigned caps = DDPCAPS_8BIT | DDPCAPS_INITIALIZE |
                          ((o.effective_ & Opt(doAllowPalette256)) ? DDPCAPS_ALLOW256 : 0u);
    o.palette_->CreatePalette(caps, o.PaletteEntriesOf(o.ColorTable));
    // On a display without palettes the attachment fails, which is fine.
    if (o.palette_->HasPalette()) o.primary_->SetPalette(o.palette_.get());

    o.effective_ &= static_cast<TDXDrawOptions>(~Opt(doSystemMemory));
    platform::SurfaceDesc back;
    back.width = std::max(o.surface_width_, 1);
    back.height = std::max(o.surface_height_, 1);
    back.system_memory = (o.options_ & Opt(doSystemMemory)) != 0;
    if (!o.surface_->CreateSurface(back)) {
      back.system_memory = true;
      if (!o.surface_->CreateSurface(back))
        throw EDXDrawError(DXMessage(u8"%s を作成できません", app::Sjis(u8"サーフェース")));
    }
    if (o.surface_->SurfaceDesc().system_memory) o.effective_ |= Opt(doSystemMemory);
    if (o.palette_->HasPalette()) o.surface_->SetPalette(o.palette_.get());
    o.surface_->Fill(0);
  }

  void Present(bool wait_vblank) override {
    TCustomDXDraw& o = owner_;
    // The primary surface is the window's client area, so the control's client origin is
    // its origin.
    TRect dest;
    if (o.effective_ & Opt(doStretch)) {
      dest = {0, 0, o.ClientWidth(), o.ClientHeight()};
    } else {
      int x = 0, y = 0;
      if (o.effective_ & Opt(doCenter)) {
        x += (o.ClientWidth() - o.surface_->Width()) / 2;
        y += (o.ClientHeight() - o.surface_->Height()) / 2;
      }
      dest = {x, y, x + o.surface_->Width(), y + o.surface_->Height()};
    }
    if (wait_vblank) o.ddraw_->Record(o.ddraw_->IDraw().WaitForVerticalBlank());
    o.primary_->Blt(&dest, nullptr, DDBLT_WAIT, platform::BltFx{}, o.surface_.get());
  }
};

// --- TDXDrawDisplay ---

void TDXDrawDisplay::SetBitCount(int value) {
  if (value != 8 && value != 16 && value != 24 && value != 32)
    throw EDirectDrawError(app::Sjis(u8"8, 16, 24, 32 のいずれかの値でなければなりません"));
  bit_count_ = value;
}

void TDXDrawDisplay::List() {
  if (listed_) return;
  std::vector<platform::DisplayMode> modes;
  if (owner_.ddraw_) {
    owner_.ddraw_->IDraw().EnumDisplayModes(modes);
  } else {
    TDirectDraw temporary(app::Application->Platform());
    temporary.IDraw().EnumDisplayModes(modes);
  }
  modes_.clear();
  for (const auto& m : modes) modes_.push_back({m.width, m.height, m.bits_per_pixel});
  std::sort(modes_.begin(), modes_.end(), [](const TDXDrawDisplayMode& a, const TDXDrawDisplayMode& b) {
    if (a.Width != b.Width) return a.Width < b.Width;
    if (a.Height != b.Height) return a.Height < b.Height;
    return a.BitCount < b.BitCount;
  });
  listed_ = true;
}

int TDXDrawDisplay::Count() {
  List();
  return static_cast<int>(modes_.size());
}

const TDXDrawDisplayMode& TDXDrawDisplay::Modes(int index) {
  List();
  if (index < 0 || index >= static_cast<int>(modes_.size())) app::ThrowListIndexError(index);
  return modes_[static_cast<std::size_t>(index)];
}

bool TDXDrawDisplay::TrySet(int width, int height, int bits) {
  TDirectDraw* ddraw = owner_.ddraw_.get();
  if (!ddraw) return false;
  ddraw->Record(ddraw->IDraw().SetDisplayMode({width, height, bits}));
  if (ddraw->DXResult() != platform::kDisplayOk) return false;
  Width = width;
  Height = height;
  bit_count_ = bits;
  return true;
}

bool TDXDrawDisplay::Search(int width, int height, int bits, bool ratio) {
  List();
  int best_width = std::numeric_limits<std::int32_t>::max();
  int best_height = std::numeric_limits<std::int32_t>::max();
  int chosen_bits = 0;
  bool chosen = false;
  for (const TDXDrawDisplayMode& m : modes_) {
    if (m.Width > best_width || m.Height > best_height) continue;
    if (ratio && static_cast<double>(m.Width) / m.Height != static_cast<double>(width) / height) continue;
    if (FixedSize ? (m.Width != width || m.Height != height) : (m.Width < width || m.Height < height)) continue;
    if (FixedBitCount) {
      if (m.BitCount != bits) continue;
    } else if ((m.BitCount <= 8 || bits <= 8) && m.BitCount < bits) {
      continue;
    }
    best_width = m.Width;
    best_height = m.Height;
    chosen_bits = m.BitCount;
    chosen = true;
  }
  if (!chosen) return false;
  if (chosen_bits != bits) {
    for (const TDXDrawDisplayMode& m : modes_)
      if (m.Width == best_width && m.Height == best_height && m.BitCount == bits) chosen_bits = bits;
  }
  return TrySet(best_width, best_height, chosen_bits);
}

bool TDXDrawDisplay::SetDisplayMode(int width, int height, int bits) {
  if (width <= 0 || height <= 0 || (bits != 8 && bits != 16 && bits != 24 && bits != 32)) return false;
  if (TrySet(width, height, bits)) return true;
  if (FixedRatio && Search(width, height, bits, true)) return true;
  return Search(width, height, bits, false);
}

// --- TCustomDXDraw ---

TCustomDXDraw::TCustomDXDraw(app::TComponent* AOwner) : app::TComponent(AOwner), Display(*this) {
  SetOptions(Opt(doAllowReboot) | Opt(doWaitVBlank) | Opt(doCenter) | Opt(doRetainedMode) | Opt(doHardware) |
             Opt(doSelectDriver));
  // The colour tables start as the system palette.
  std::array<platform::Rgb, 256> system{};
  app::Application->Platform().GetDisplay().SystemPalette(system);
  for (std::size_t i = 0; i < 256; ++i)
    ColorTable[i] = {static_cast<std::uint8_t>(system[i] & 0xFF), static_cast<std::uint8_t>((system[i] >> 8) & 0xFF),
                     static_cast<std::uint8_t>((system[i] >> 16) & 0xFF), 0};
  RestoreColorTable = ColorTable;
  // Watch the form's messages: the display initialises when the form is first shown.
  form_ = dynamic_cast<app::TForm*>(AOwner);
  if (form_) {
    old_window_proc_ = form_->WindowProc;
    form_->WindowProc = [this](app::TMessage& m) { FormWindowProc(m); };
  }
}

TCustomDXDraw::~TCustomDXDraw() {
  Finalize();
  Notify(dnDestroying);
  if (form_) form_->WindowProc = old_window_proc_;
}

TDXDrawOptions TCustomDXDraw::EffectiveOf(TDXDrawOptions options) {
  TDXDrawOptions e = options;
  if (!(e & Opt(doFullScreen)))
    e &= static_cast<TDXDrawOptions>(~(Opt(doNoWindowChange) | Opt(doAllowReboot) | Opt(doAllowPalette256) | Opt(doFlip)));
  if (!(e & Opt(do3D))) e &= static_cast<TDXDrawOptions>(~k3DOptions);
  if (e & Opt(doSystemMemory)) e &= static_cast<TDXDrawOptions>(~Opt(doFlip));
  e &= static_cast<TDXDrawOptions>(~Opt(doHardware));
  return e;
}

void TCustomDXDraw::SetOptions(TDXDrawOptions value) {
  options_ = value;
  if (!initialized_) {
    effective_ = EffectiveOf(value);
    return;
  }
  const TDXDrawOptions now = Opt(doWaitVBlank) | Opt(doStretch) | Opt(doCenter);
  effective_ = static_cast<TDXDrawOptions>((effective_ & ~now) | (value & now));
  if (!(effective_ & Opt(do3D))) effective_ &= static_cast<TDXDrawOptions>(~k3DOptions);
}

int TCustomDXDraw::SurfaceWidth() const {
  return surface_ && surface_->HasSurface() ? surface_->Width() : surface_width_;
}

int TCustomDXDraw::SurfaceHeight() const {
  return surface_ && surface_->HasSurface() ? surface_->Height() : surface_height_;
}

void TCustomDXDraw::SetSurfaceSize(int width, int height) {
  surface_width_ = width;
  surface_height_ = height;
  if (surface_ && surface_->HasSurface()) {
    surface_->SetSize(std::max(width, 1), std::max(height, 1));
    if (palette_ && palette_->HasPalette()) surface_->SetPalette(palette_.get());
    surface_->Fill(0);
  }
  Notify(dnSetSurfaceSize);
}

int TCustomDXDraw::ClientWidth() const {
  if (Align != alClient || !form_) return Width;
  return initialized_ && (effective_ & Opt(doFullScreen)) ? Display.Width : form_->ClientWidth;
}

int TCustomDXDraw::ClientHeight() const {
  if (Align != alClient || !form_) return Height;
  return initialized_ && (effective_ & Opt(doFullScreen)) ? Display.Height : form_->ClientHeight;
}

void TCustomDXDraw::Loaded() {
  app::TComponent::Loaded();
  if (AutoSize) {
    surface_width_ = ClientWidth();
    surface_height_ = ClientHeight();
  }
  Notify(dnSetSurfaceSize);
  // On a form the first initialisation comes from the form's first showing.
  if (AutoInitialize && !(ComponentState() & app::csDesigning) && !form_) Initialize();
}

void TCustomDXDraw::FormWindowProc(app::TMessage& m) {
  switch (m.Msg) {
    case app::WM_DESTROY:
      Finalize();
      old_window_proc_(m);
      return;
    case app::WM_WINDOWPOSCHANGED:
      old_window_proc_(m);
      if ((m.LParam & app::SWP_SHOWWINDOW) && AutoInitialize && !auto_initialized_) Initialize();
      return;
    case app::WM_CREATE:
      old_window_proc_(m);
      if (initialized_ && !updating_) {
        clipper_->SetHandle(&form_->Handle());
        SetCooperativeLevel();
      }
      return;
    case app::WM_PAINT:
      old_window_proc_(m);
      PresentOnce(false);
      return;
    default:
      old_window_proc_(m);
      return;
  }
}

void TCustomDXDraw::SetCooperativeLevel() {
  unsigned flags = platform::kCoopNormal;
  if (effective_ & Opt(doFullScreen)) {
    flags = platform::kCoopFullScreen | platform::kCoopExclusive | platform::kCoopAllowModeX;
    if (effective_ & Opt(doNoWindowChange)) flags |= platform::kCoopNoWindowChanges;
    if (effective_ & Opt(doAllowReboot)) flags |= platform::kCoopAllowReboot;
  }
  ddraw_->Record(ddraw_->IDraw().SetCooperativeLevel(&form_->Handle(), flags));
}

void TCustomDXDraw::Initialize() {
  auto_initialized_ = true;
  Finalize();
  if (!form_) throw EDXDrawError(app::Sjis(u8"フォームが見つかりません"));

  try {
    if (OnInitializing) OnInitializing(this);
    updating_ = true;
    started_ = true;
    Notify(dnInitializing);
    driver_ = std::make_unique<TDXDrawDriverBlt>(*this);
    SetCooperativeLevel();
    if (effective_ & Opt(doFullScreen)) {
      if (!Display.SetDisplayMode(Display.Width, Display.Height, Display.BitCount()))
        throw EDXDrawError(app::Format(app::Sjis(u8"ディスプレイモードを変更できません (%dx%d %dbit)"),
                                       {app::IntToStr(Display.Width), app::IntToStr(Display.Height),
                                        app::IntToStr(Display.BitCount())}));
    }
    if (AutoSize) {
      surface_width_ = ClientWidth();
      surface_height_ = ClientHeight();
    }
    driver_->Initialize();
    updating_ = false;
    initialized_ = true;
  } catch (...) {
    Finalize();
    throw;
  }

  ++init_depth_;
  TryFinally(
      [this] {
        Notify(dnSetSurfaceSize);
        Notify(dnInitialize);
        initialize_event_fired_ = true;
        if (OnInitialize) OnInitialize(this);
        Notify(dnInitializeSurface);
        surface_event_fired_ = true;
        if (OnInitializeSurface) OnInitializeSurface(this);
      },
      [this] { --init_depth_; });
  Restore();
}

void TCustomDXDraw::Finalize() {
  if (!started_) return;
  surface_width_ = SurfaceWidth();
  surface_height_ = SurfaceHeight();
  Display.Clear();
  updating_ = true;
  // Each event owed is fired, and its notification sent whatever the event did.
  auto finalize_stage = [this](bool& owed, const app::TNotifyEvent& event, TDXDrawNotifyType type) {
    TryFinally(
        [&] {
          if (owed) {
            owed = false;
            if (event) event(this);
          }
        },
        [&] { Notify(type); });
  };
  TryFinally(
      [&] {
        finalize_stage(surface_event_fired_, OnFinalizeSurface, dnFinalizeSurface);
        finalize_stage(initialize_event_fired_, OnFinalize, dnFinalize);
      },
      [this] {
        started_ = false;
        initialized_ = false;
        effective_ = EffectiveOf(options_);
        driver_.reset();  // the screen returns to the desktop with its device
        updating_ = false;
      });
}

void TCustomDXDraw::Restore() {
  if (!initialized_ || updating_) return;
  updating_ = true;
  TryFinally(
      [this] {
        if (!primary_->Restore() || !surface_->Restore()) return;  // the next frame tries again
        primary_->Fill(0);
        surface_->Fill(0);
        if (palette_->HasPalette()) {
          primary_->SetPalette(palette_.get());
          surface_->SetPalette(palette_.get());
        }
        SetColorTable(RestoreColorTable);
        Notify(dnRestore);
        if (OnRestoreSurface) OnRestoreSurface(this);
        SetColorTable(ColorTable);
      },
      [this] { updating_ = false; });
}

std::array<TPaletteEntry, 256> TCustomDXDraw::PaletteEntriesOf(const TColorTable& table) const {
  std::array<TPaletteEntry, 256> entries;
  for (std::size_t i = 0; i < 256; ++i)
    entries[i] = {table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue, PC_NOCOLLAPSE};
  if (!(effective_ & Opt(doAllowPalette256))) {
    std::array<platform::Rgb, 256> system{};
    app::Application->Platform().GetDisplay().SystemPalette(system);
    for (std::size_t i = 0; i < 256; ++i) {
      if (i >= 10 && i < 246) continue;
      entries[i] = {static_cast<std::uint8_t>((system[i] >> 16) & 0xFF), static_cast<std::uint8_t>((system[i] >> 8) & 0xFF),
                    static_cast<std::uint8_t>(system[i] & 0xFF), PC_NOCOLLAPSE};
    }
  }
  return entries;
}

void TCustomDXDraw::SetColorTable(const TColorTable& table) {
  if (!initialized_ || !palette_ || !palette_->HasPalette()) return;
  const auto entries = PaletteEntriesOf(table);
  palette_->SetEntries(0, 256, entries.data());
}

void TCustomDXDraw::UpdatePalette() { SetColorTable(ColorTable); }

bool TCustomDXDraw::CheckSurfaces() {
  if (!initialized_ || updating_ || !primary_ || !primary_->HasSurface()) return false;
  if (primary_->ISurface().IsLost() != DDERR_SURFACELOST) return true;
  Restore();
  return primary_->HasSurface() && primary_->ISurface().IsLost() != DDERR_SURFACELOST;
}

bool TCustomDXDraw::ReadyToDraw() {
  // Not while the initialisation's own events run either: the surfaces are restored after them.
  if (!initialized_ || updating_ || init_depth_ > 0) return false;
  return surface_ && surface_->HasSurface() && CheckSurfaces();
}

void TCustomDXDraw::Present() { PresentOnce((effective_ & Opt(doWaitVBlank)) != 0); }

void TCustomDXDraw::PresentOnce(bool wait_vblank) {
  if (!initialized_ || updating_ || init_depth_ > 0 || !CheckSurfaces()) return;
  driver_->Present(wait_vblank);
}

void TCustomDXDraw::Notify(TDXDrawNotifyType type) {
  // Last registered first; a handler may unregister itself or others meanwhile.
  const std::vector<NotifyEntry> entries = notifies_;
  for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
    const bool still_there = std::any_of(notifies_.begin(), notifies_.end(), [&](const NotifyEntry& e) {
      return e.proc == it->proc && e.data == it->data;
    });
    if (still_there) it->proc(it->data, this, type);
  }
}

void TCustomDXDraw::RegisterNotify(TDXDrawNotifyProc Proc, void* Data) {
  notifies_.erase(std::remove_if(notifies_.begin(), notifies_.end(),
                                 [&](const NotifyEntry& e) { return e.proc == Proc && e.data == Data; }),
                  notifies_.end());
  notifies_.push_back({Proc, Data});
  Proc(Data, this, dnSetSurfaceSize);
  if (initialized_) {
    Proc(Data, this, dnInitialize);
    if (init_depth_ == 0) Proc(Data, this, dnRestore);
  }
}

void TCustomDXDraw::UnregisterNotify(TDXDrawNotifyProc Proc, void* Data) {
  auto it = std::find_if(notifies_.begin(), notifies_.end(),
                         [&](const NotifyEntry& e) { return e.proc == Proc && e.data == Data; });
  if (it == notifies_.end()) return;
  notifies_.erase(it);
  if (initialized_) Proc(Data, this, dnFinalize);
}

// --- TDXForm ---

void TDXForm::StoreWindowPlacement() {
  placement_ = Handle().Placement();
  placement_stored_ = true;
}

void TDXForm::RestoreWindowPlacement() {
  if (!placement_stored_) return;
  Handle().SetPlacement(placement_);
  placement_stored_ = false;
}

}  // namespace media
