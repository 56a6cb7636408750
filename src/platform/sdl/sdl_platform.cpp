#include "platform/sdl/sdl_platform.h"

// The window system's own header only where the X server is asked directly: on Windows it would
// bring the system's macros (CreateWindow) into this file.
#if defined(SDL_VIDEO_DRIVER_X11)
#include <SDL_syswm.h>
#include <X11/Xatom.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <stdexcept>
#include <thread>

#include "platform/codec.h"
#include "platform/sdl/sdl_audio.h"
#include "platform/library.h"
#include "platform/session.h"

namespace platform {

std::unique_ptr<Platform> CreateSdlPlatform() { return std::make_unique<SdlPlatform>(); }

namespace {

// A Wayland compositor places windows itself and tells no program where they are.
bool OnWayland() {
  const char* driver = SDL_GetCurrentVideoDriver();
  return driver && std::strcmp(driver, "wayland") == 0;
}

[[maybe_unused]] bool IsSet(const char* name) {
  const char* value = std::getenv(name);
  return value && *value;
}

// Without a desktop SDL quietly falls back to its offscreen driver, and the game would run
// unseen for ever. Whoever names a video driver has chosen, and is left to it.
void RequireDesktop() {
#if defined(SDL_VIDEO_DRIVER_X11) || defined(SDL_VIDEO_DRIVER_WAYLAND)
  if (IsSet("SDL_VIDEODRIVER") || IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY")) return;
  throw std::runtime_error("needs a graphical desktop, but neither DISPLAY nor WAYLAND_DISPLAY is set");
#endif
}

// Mouse events do not carry the keys held with them; SDL's own record of the keyboard does.
void TranslateMouseModifiers(Event& out) {
  const SDL_Keymod mod = SDL_GetModState();
  out.shift = (mod & KMOD_SHIFT) != 0;
  out.ctrl = (mod & KMOD_CTRL) != 0;
}

}  // namespace

SdlPlatform::SdlPlatform() {
  RequireDesktop();
  // SDL turns SIGINT and SIGTERM into a quit event, which ends the program the normal way.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "0");
  // Window surfaces are plain memory that goes straight to the window, not OpenGL textures.
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  // A composition comes whole in one event, however long, rather than cut into pieces.
  SDL_SetHint(SDL_HINT_IME_SUPPORT_EXTENDED_TEXT, "1");
  if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS | SDL_INIT_TIMER) != 0)
    throw std::runtime_error(std::string("cannot start the video system: ") + SDL_GetError());
  // SDL has no window surface of its own on Wayland: the pixels reach the compositor only through
  // a texture, and without one the windows would never get a picture, so never appear.
  if (OnWayland()) SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "1");
  // SDL starts with text input on, which hands keys to an input method (ibus, fcitx) before the
  // game sees them. Only an edit box turns it on.
  SDL_StopTextInput();
  WatchSessionEnd([this] {
    if (session_end_handler_) session_end_handler_();
  });
  user_event_type_ = SDL_RegisterEvents(1);
  display_ = std::make_unique<SdlDisplay>(*this);
  gamepads_ = std::make_unique<SdlGamepads>();
}

SdlPlatform::~SdlPlatform() {
  gamepads_.reset();
  display_.reset();
  // Drop the posted events that still own their payload.
  SDL_Event e;
  while (SDL_PeepEvents(&e, 1, SDL_GETEVENT, user_event_type_, user_event_type_) == 1)
    delete static_cast<Event*>(e.user.data1);
  SDL_Quit();
}

std::uint32_t SdlPlatform::Milliseconds() {
  return static_cast<std::uint32_t>(SDL_GetTicks64());
}

std::uint32_t SdlPlatform::RandomSeed() {
  auto now = std::chrono::system_clock::now().time_since_epoch();
  return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

LocalTime SdlPlatform::Now() {
  auto now = std::chrono::system_clock::now();
  std::time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm tm{};
  localtime_r(&t, &tm);
  LocalTime out;
  out.year = tm.tm_year + 1900;
  out.month = tm.tm_mon + 1;
  out.day = tm.tm_mday;
  out.hour = tm.tm_hour;
  out.minute = tm.tm_min;
  out.second = tm.tm_sec;
  out.millisecond = static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
  return out;
}

void SdlPlatform::Sleep(std::uint32_t ms) { SDL_Delay(ms); }

bool SdlPlatform::LoadLibraryFunction(std::string_view file_name, std::string_view function) {
  // The libraries are parts of this program: there is nothing to load.
  return LibraryExports(file_name, function);
}

void SdlPlatform::WaitForVerticalBlank() {
  // A steady 60 Hz beat, whatever the display's own refresh rate (or none, on a virtual X
  // server): the game's timings assume frames of 16 or 17 ms. The wait sleeps.
  constexpr std::uint64_t kPeriod = 1000000000ull / 60;
  const std::uint64_t freq = SDL_GetPerformanceFrequency();
  auto now_ns = [freq] {
    return static_cast<std::uint64_t>(static_cast<long double>(SDL_GetPerformanceCounter()) * 1e9L / freq);
  };
  std::uint64_t now = now_ns();
  if (next_vblank_ns_ == 0 || now > next_vblank_ns_ + kPeriod) next_vblank_ns_ = now;  // after a stall
  next_vblank_ns_ += kPeriod;
  while (now < next_vblank_ns_) {
    std::uint64_t left = next_vblank_ns_ - now;
    // Whole milliseconds of coarse sleep while at least one is left to spare, then a fine one:
    // a coarse sleep of 0 ms returns at once, and the loop would spin.
    if (left >= 2000000)
      SDL_Delay(static_cast<Uint32>((left - 1000000) / 1000000));
    else
      std::this_thread::sleep_for(std::chrono::nanoseconds(left));
    now = now_ns();
  }
}

std::unique_ptr<AudioDevice> SdlPlatform::OpenAudioDevice() { return SdlAudioDevice::Open(); }

bool SdlPlatform::PollEvent(Event& event) {
  SDL_Event e;
  while (SDL_PollEvent(&e)) {
    if (Translate(e, event)) return true;
  }
  return net_.NextNotice(event);
}

void SdlPlatform::WaitEvent(std::uint32_t timeout_ms) {
  // Waits in short slices, looking at SDL's queue between. SDL_WaitEventTimeout is not used: on
  // X11 it wakes itself with a message to the newest window over a second connection, and when
  // that window (a dialog just closed) is destroyed before the server gets to the message, the
  // error ends the program. Sockets are watched during the slices while the network is busy.
  constexpr std::uint32_t kSlice = 2, kIdleSlice = 10;
  const std::uint64_t start = SDL_GetTicks64();
  for (;;) {
    SDL_PumpEvents();
    if (SDL_HasEvents(SDL_FIRSTEVENT, SDL_LASTEVENT)) return;
    std::uint64_t spent = SDL_GetTicks64() - start;
    if (spent >= timeout_ms) return;
    const std::uint32_t left = timeout_ms - static_cast<std::uint32_t>(spent);
    if (!net_.Busy())
      SDL_Delay(std::min(kIdleSlice, left));
    else if (net_.WaitActivity(std::min(kSlice, left)))
      return;
  }
}

void SdlPlatform::PostEvent(const Event& event) {
  SDL_Event e{};
  e.type = user_event_type_;
  e.user.data1 = new Event(event);
  if (SDL_PushEvent(&e) != 1) delete static_cast<Event*>(e.user.data1);
}

std::unique_ptr<Window> SdlPlatform::CreateWindow(const WindowDesc& desc) {
  auto window = std::make_unique<SdlWindow>(*this, desc);
  windows_[window->Id()] = window.get();
  return window;
}

void SdlPlatform::Forget(SdlWindow* window) { windows_.erase(window->Id()); }

SdlWindow* SdlPlatform::FindWindow(std::uint32_t id) const {
  auto it = windows_.find(id);
  return it == windows_.end() ? nullptr : it->second;
}

bool SdlPlatform::Translate(const SDL_Event& in, Event& out) {
  out = Event{};
  if (in.type == user_event_type_) {
    Event* posted = static_cast<Event*>(in.user.data1);
    out = std::move(*posted);
    delete posted;
    return true;
  }
  switch (in.type) {
    case SDL_QUIT:
      out.type = EventType::Quit;
      return true;
    case SDL_WINDOWEVENT:
      out.window = in.window.windowID;
      switch (in.window.event) {
        case SDL_WINDOWEVENT_CLOSE: out.type = EventType::WindowClose; return true;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
          keyboard_.FocusChanged();
          if (SdlWindow* w = FindWindow(out.window)) w->ApplyTextInput();
          out.type = EventType::FocusGained;
          return true;
        case SDL_WINDOWEVENT_FOCUS_LOST:
          keyboard_.FocusChanged();
          out.type = EventType::FocusLost;
          return true;
        case SDL_WINDOWEVENT_EXPOSED: out.type = EventType::Exposed; return true;
        case SDL_WINDOWEVENT_MINIMIZED: display_->WindowMinimized(in.window.windowID); return false;
        default: return false;
      }
    case SDL_KEYDOWN:
    case SDL_KEYUP:
      out.type = in.type == SDL_KEYDOWN ? EventType::KeyDown : EventType::KeyUp;
      out.window = in.key.windowID;
      out.repeat = in.key.repeat != 0;
      out.alt = (in.key.keysym.mod & KMOD_ALT) != 0;
      out.shift = (in.key.keysym.mod & KMOD_SHIFT) != 0;
      out.ctrl = (in.key.keysym.mod & KMOD_CTRL) != 0;
      TranslateKey(in.key, out);
      // A key the input method let through comes after whatever its reset sent.
      if (out.type == EventType::KeyDown) repeated_commit_.clear();
      return true;
    case SDL_TEXTINPUT:
      out.type = EventType::TextInput;
      out.window = in.text.windowID;
      out.text = in.text.text;
      return TakeText(out);
    case SDL_TEXTEDITING:
      out.type = EventType::TextEditing;
      out.window = in.edit.windowID;
      out.text = in.edit.text;
      out.x = in.edit.start;
      out.y = in.edit.length;
      JoinCompositionPieces(out);
      return TakeText(out);
    case SDL_TEXTEDITING_EXT:
      out.type = EventType::TextEditing;
      out.window = in.editExt.windowID;
      out.text = in.editExt.text ? in.editExt.text : "";
      out.x = in.editExt.start;
      out.y = in.editExt.length;
      SDL_free(in.editExt.text);
      return TakeText(out);
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
      out.type = in.type == SDL_MOUSEBUTTONDOWN ? EventType::MouseDown : EventType::MouseUp;
      out.window = in.button.windowID;
      int scale = 1;
      if (SdlWindow* w = FindWindow(out.window)) scale = w->Scale();
      out.x = in.button.x / scale;
      out.y = in.button.y / scale;
      out.button = in.button.button;
      out.clicks = in.button.clicks;
      TranslateMouseModifiers(out);
      return true;
    }
    case SDL_MOUSEMOTION: {
      out.type = EventType::MouseMove;
      out.window = in.motion.windowID;
      int scale = 1;
      if (SdlWindow* w = FindWindow(out.window)) scale = w->Scale();
      out.x = in.motion.x / scale;
      out.y = in.motion.y / scale;
      TranslateMouseModifiers(out);
      return true;
    }
    default:
      return gamepads_->Translate(in, out);
  }
}

void SdlPlatform::JoinCompositionPieces(Event& out) {
  // Where the extended events do not come, SDL cuts a long composition into pieces that fill its
  // event's buffer, each with its offset in characters (`start`) and its own length, queued one
  // after another. A piece that left no room for another character has a sequel.
  constexpr std::size_t kFull = SDL_TEXTEDITINGEVENT_TEXT_SIZE - 4;
  std::size_t last_piece = out.text.size();
  int chars = static_cast<int>(SDL_utf8strlen(out.text.c_str()));
  if (out.x != 0 || out.y != chars || last_piece < kFull) return;
  bool joined = false;
  SDL_Event next;
  while (last_piece >= kFull && SDL_PeepEvents(&next, 1, SDL_PEEKEVENT, SDL_TEXTEDITING, SDL_TEXTEDITING) == 1) {
    const int piece_chars = static_cast<int>(SDL_utf8strlen(next.edit.text));
    if (next.edit.windowID != out.window || next.edit.start != chars || next.edit.length != piece_chars ||
        piece_chars == 0)
      break;
    SDL_PeepEvents(&next, 1, SDL_GETEVENT, SDL_TEXTEDITING, SDL_TEXTEDITING);
    out.text += next.edit.text;
    last_piece = SDL_strlen(next.edit.text);
    chars += piece_chars;
    joined = true;
  }
  // The pieces do not say where the input method's caret is; while typing it is at the end.
  if (joined) {
    out.x = chars;
    out.y = 0;
  }
}

bool SdlPlatform::TakeText(const Event& text_event) {
  // Input methods that commit their composition as they are reset (ibus' engines in their commit
  // mode, Mozc among them) send it right after the reset, before any new composition or key; SDL
  // cuts a long one into pieces.
  if (repeated_commit_.empty()) return true;
  if (text_event.type == EventType::TextEditing) {
    if (text_event.text.empty()) return true;  // the reset's own empty composition
  } else if (!text_event.text.empty() && repeated_commit_.starts_with(text_event.text)) {
    repeated_commit_.erase(0, text_event.text.size());
    return false;
  }
  repeated_commit_.clear();
  return true;
}

namespace {

// The first scale of a window of this client size on the desktop the window opens on.
int FirstScale(int width, int height, int frame_width, int frame_height) {
  SDL_Rect usable;
  if (SDL_GetDisplayUsableBounds(0, &usable) != 0) return 1;
  return WindowScaleFor(usable.w, usable.h, width, height, frame_width, frame_height);
}

}  // namespace

SdlWindow::SdlWindow(SdlPlatform& platform, const WindowDesc& desc)
    : platform_(platform),
      client_width_(desc.client_width),
      client_height_(desc.client_height),
      centered_(desc.centered) {
  if (desc.scaled) {
    basis_width_ = desc.basis_width > 0 ? desc.basis_width : desc.client_width;
    basis_height_ = desc.basis_height > 0 ? desc.basis_height : desc.client_height;
    first_scale_ = desc.scale <= 0;
    // The frame is not known before the window manager has the window; Show checks again.
    scale_ = first_scale_ ? FirstScale(basis_width_, basis_height_, 0, 0) : desc.scale;
  }
  Uint32 flags = SDL_WINDOW_HIDDEN;
  // The texture that carries the pixels on Wayland needs an OpenGL window; made so at once, SDL
  // need not make the window anew (and lose what the compositor knows of it) at the first picture.
  if (OnWayland()) flags |= SDL_WINDOW_OPENGL;
  if (!desc.bordered) flags |= SDL_WINDOW_BORDERLESS;
  const int width = desc.client_width * scale_, height = desc.client_height * scale_;
  int x = desc.centered ? SDL_WINDOWPOS_CENTERED : desc.x;
  int y = desc.centered ? SDL_WINDOWPOS_CENTERED : desc.y;
  SDL_Rect usable;
  if (!desc.centered && scale_ > 1 && SDL_GetDisplayUsableBounds(0, &usable) == 0) {
    // A place chosen for the design size keeps an enlarged window on the desktop.
    x = std::clamp(x, usable.x, std::max(usable.x, usable.x + usable.w - width));
    y = std::clamp(y, usable.y, std::max(usable.y, usable.y + usable.h - height));
  }
  window_ = SDL_CreateWindow(Cp932ToUtf8(desc.title).c_str(), x, y, width, height, flags);
  if (!window_) throw std::runtime_error(std::string("cannot create a window: ") + SDL_GetError());
  id_ = SDL_GetWindowID(window_);
  icon_ = desc.icon;
}

void SdlWindow::SetSize(int width, int height) {
  if (OnWayland()) {
    // A compositor gives a window the size it likes (a tiling one, its whole tile) unless the
    // window says it has only one; such a window floats at its own size. The bounds move in an
    // order that keeps the lower one under the upper.
    int min_w = 0, min_h = 0;
    SDL_GetWindowMinimumSize(window_, &min_w, &min_h);
    SDL_SetWindowMaximumSize(window_, std::max(width, min_w), std::max(height, min_h));
    SDL_SetWindowMinimumSize(window_, width, height);
    SDL_SetWindowMaximumSize(window_, width, height);
  }
  SDL_SetWindowSize(window_, width, height);
}

void SdlWindow::FreeSize() {
  if (!OnWayland()) return;
  // SDL takes no bound away; these allow any size a screen has.
  constexpr int kAny = 1 << 15;
  SDL_SetWindowMinimumSize(window_, 1, 1);
  SDL_SetWindowMaximumSize(window_, kAny, kAny);
}

void SdlWindow::SetIcon(const IconImage& icon) {
  if (icon.width <= 0 || icon.height <= 0 ||
      icon.rgba.size() != static_cast<std::size_t>(icon.width) * static_cast<std::size_t>(icon.height) * 4)
    return;
  // SDL copies the pixels; the surface only lends them.
  SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<std::uint8_t*>(icon.rgba.data()), icon.width,
                                                            icon.height, 32, icon.width * 4, SDL_PIXELFORMAT_RGBA32);
  if (!surface) return;
  SDL_SetWindowIcon(window_, surface);
  SDL_FreeSurface(surface);
}

void SdlWindow::FitFrame() {
  first_scale_ = false;
  // The window manager announces the frame before it maps the window; SDL reads it from the
  // queue.
  SDL_PumpEvents();
  int top = 0, left = 0, bottom = 0, right = 0;
  if (SDL_GetWindowBordersSize(window_, &top, &left, &bottom, &right) != 0) return;
  const int scale = FirstScale(basis_width_, basis_height_, left + right, top + bottom);
  if (scale >= scale_) return;
  scale_ = scale;
  SetSize(client_width_ * scale_, client_height_ * scale_);
  if (centered_) SDL_SetWindowPosition(window_, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
}

SdlWindow::~SdlWindow() {
  platform_.Forget(this);
  SDL_DestroyWindow(window_);
}

void SdlWindow::SetTitle(const std::string& cp932) {
  SDL_SetWindowTitle(window_, Cp932ToUtf8(cp932).c_str());
}

void SdlWindow::SetClientSize(int width, int height) {
  client_width_ = width;
  client_height_ = height;
  // SDL resizes a window of fixed size by moving it too, by the frame it last heard of: a resize
  // to the size the window has would be only that move.
  int w = 0, h = 0;
  SDL_GetWindowSize(window_, &w, &h);
  if (w != width * scale_ || h != height * scale_) SetSize(width * scale_, height * scale_);
}

void SdlWindow::SetBordered(bool bordered) {
  // On Wayland a window keeps the frame it was made with: the frame is the compositor's, which
  // draws none around a full-screen window, and a change of frame just before full screen makes
  // a compositor size the full-screen window by the frame it had.
  if (OnWayland()) return;
  SDL_SetWindowBordered(window_, bordered ? SDL_TRUE : SDL_FALSE);
}

void SdlWindow::Show() {
  // Once, as the window is first shown.
  if (!icon_.rgba.empty()) {
    SetIcon(icon_);
    icon_ = {};
  }
  SDL_ShowWindow(window_);
  // SDL knows the frame once the window is mapped.
  if (first_scale_) FitFrame();
  if (OnWayland()) {
    // The compositor floats a window of one size at that size, and judges it as the window
    // first appears; SDL tells it the bounds only once the window exists there.
    int width = 0, height = 0;
    SDL_GetWindowSize(window_, &width, &height);
    SetSize(width, height);
    // A Wayland window appears only with its first picture; until the program draws, it is black.
    SDL_Surface* surface = SDL_GetWindowSurface(window_);
    if (!surface) throw std::runtime_error(std::string("cannot show a window: ") + SDL_GetError());
    SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 0, 0, 0));
    SDL_UpdateWindowSurface(window_);
    // That covered whatever the window had been given while hidden: it draws itself again, as
    // an X server asks of a window it maps.
    Event exposed;
    exposed.type = EventType::Exposed;
    exposed.window = id_;
    platform_.PostEvent(exposed);
  }
  SDL_RaiseWindow(window_);
}

void SdlWindow::Hide() { SDL_HideWindow(window_); }

bool SdlWindow::Visible() const { return (SDL_GetWindowFlags(window_) & SDL_WINDOW_SHOWN) != 0; }

void SdlWindow::Minimize() { SDL_MinimizeWindow(window_); }

void SdlWindow::Raise() {
  SDL_RestoreWindow(window_);
  SDL_RaiseWindow(window_);
  // The compositor alone hands out the keyboard there.
  if (OnWayland()) return;
  // Raising asks the window manager for the keyboard; with none running nobody would give it.
  SDL_SetWindowInputFocus(window_);
}

bool SdlWindow::HasFocus() const {
  return (SDL_GetWindowFlags(window_) & SDL_WINDOW_INPUT_FOCUS) != 0;
}

namespace {

#if defined(SDL_VIDEO_DRIVER_X11)
// The window as the X server knows it; false off X11.
bool X11WindowOf(SDL_Window* window, ::Display*& display, ::Window& xwindow) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return false;
  display = info.info.x11.display;
  xwindow = info.info.x11.window;
  return true;
}

// Where the client area really is on the desktop, asked of the X server itself: SDL's own figure
// follows the window manager's notices, which may not have come yet.
bool ClientOriginOnX11(SDL_Window* window, int& x, int& y) {
  ::Display* display;
  ::Window xwindow, child;
  return X11WindowOf(window, display, xwindow) &&
         XTranslateCoordinates(display, xwindow, DefaultRootWindow(display), 0, 0, &x, &y, &child) != 0;
}

// A window manager has put the window in a frame of its own.
bool FramedOnX11(SDL_Window* window) {
  ::Display* display;
  ::Window xwindow, root, parent, *children = nullptr;
  unsigned count = 0;
  if (!X11WindowOf(window, display, xwindow) || !XQueryTree(display, xwindow, &root, &parent, &children, &count))
    return false;
  if (children) XFree(children);
  return parent != root;
}

// The frame the window manager says it put around the window (_NET_FRAME_EXTENTS: left, right,
// top, bottom); false when it says nothing.
bool ReportedFrameOnX11(SDL_Window* window, long extents[4]) {
  ::Display* display;
  ::Window xwindow;
  if (!X11WindowOf(window, display, xwindow)) return false;
  const Atom atom = XInternAtom(display, "_NET_FRAME_EXTENTS", True);
  if (atom == None) return false;
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  const bool found = XGetWindowProperty(display, xwindow, atom, 0, 4, False, XA_CARDINAL, &type, &format, &count,
                                        &after, &data) == Success &&
                     data && format == 32 && count == 4;
  if (found) std::copy_n(reinterpret_cast<const long*>(data), 4, extents);
  if (data) XFree(data);
  return found;
}

// SDL moves a framed window (and resizes one of fixed size, which moves it too) by the borders it
// last read from its queue. Right after the frame changes, as when it comes back after full
// screen, those are the old ones, and every later move or resize would put the client area off by
// the difference.
bool SdlKnowsTheFrame(SDL_Window* window) {
  long reported[4];
  if (!ReportedFrameOnX11(window, reported)) return true;
  int top = 0, left = 0, bottom = 0, right = 0;
  if (SDL_GetWindowBordersSize(window, &top, &left, &bottom, &right) != 0) return true;
  return left == reported[0] && right == reported[1] && top == reported[2] && bottom == reported[3];
}

// The client area's place once the window manager has done with it: when it has kept still for a
// while and SDL has read the frame the window manager reports, or when the window manager has had
// its time. SDL's queue is read meanwhile; the events wait there for the program.
void SettledClientOrigin(SDL_Window* window, int& x, int& y) {
  constexpr Uint64 kStill = 100, kPatience = 1000;
  const Uint64 start = SDL_GetTicks64();
  Uint64 still_since = start;
  ClientOriginOnX11(window, x, y);
  for (;;) {
    SDL_Delay(5);
    SDL_PumpEvents();
    int nx = x, ny = y;
    ClientOriginOnX11(window, nx, ny);
    const Uint64 now = SDL_GetTicks64();
    if (nx != x || ny != y) {
      x = nx;
      y = ny;
      still_since = now;
    }
    if ((now - still_since >= kStill && SdlKnowsTheFrame(window)) || now - start >= kPatience) return;
  }
}

#else
// Elsewhere the system places the window by its client area.
bool ClientOriginOnX11(SDL_Window*, int&, int&) { return false; }
bool FramedOnX11(SDL_Window*) { return false; }
void SettledClientOrigin(SDL_Window*, int&, int&) {}
#endif

}  // namespace

WindowPlacement SdlWindow::Placement() const {
  WindowPlacement p;
  if (!ClientOriginOnX11(window_, p.x, p.y)) SDL_GetWindowPosition(window_, &p.x, &p.y);
  SDL_GetWindowSize(window_, &p.width, &p.height);
  p.bordered = (SDL_GetWindowFlags(window_) & SDL_WINDOW_BORDERLESS) == 0;
  return p;
}

void SdlWindow::SetPlacement(const WindowPlacement& placement) {
  if (OnWayland()) {
    // The compositor places the window and keeps its frame; only its size is the program's.
    SetSize(placement.width, placement.height);
    return;
  }
  SDL_SetWindowBordered(window_, placement.bordered ? SDL_TRUE : SDL_FALSE);
  SDL_SetWindowSize(window_, placement.width, placement.height);
  if (!FramedOnX11(window_)) {
    SDL_SetWindowPosition(window_, placement.x, placement.y);
    return;
  }
  // A window manager places a window by its frame, and right after the frame comes back SDL
  // does not know its borders yet: the client area would land off by them. So let the frame
  // settle, look where the client area lands, and ask again by what it missed.
  int x = 0, y = 0;
  SettledClientOrigin(window_, x, y);
  int asked_x = placement.x, asked_y = placement.y;
  for (int attempt = 0; attempt < 4; ++attempt) {
    SDL_SetWindowPosition(window_, asked_x, asked_y);
    SettledClientOrigin(window_, x, y);
    if (x == placement.x && y == placement.y) return;
    asked_x += placement.x - x;
    asked_y += placement.y - y;
  }
}

void SdlWindow::SetCursorVisible(bool visible) { SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE); }

void SdlWindow::SetTextInput(bool on) {
  text_input_ = on;
  SDL_Window* focus = SDL_GetKeyboardFocus();
  if (!focus || focus == window_) ApplyTextInput();
}

void SdlWindow::SetTextInputArea(int x, int y, int width, int height) {
  text_rect_ = {x * scale_, y * scale_, width * scale_, height * scale_};
  if (text_input_ && SDL_GetKeyboardFocus() == window_) SDL_SetTextInputRect(&text_rect_);
}

void SdlWindow::ResetComposition(const std::string& composition) {
  if (!text_input_ || SDL_GetKeyboardFocus() != window_) return;
  platform_.ExpectRepeatedCommit(composition);
  // Turning text input off resets the input method's context (ibus, fcitx, the system's own);
  // on again, it composes afresh.
  SDL_StopTextInput();
  SDL_StartTextInput();
  if (text_rect_.h > 0) SDL_SetTextInputRect(&text_rect_);
}

void SdlWindow::ApplyTextInput() {
  if (text_input_) {
    if (text_rect_.h > 0) SDL_SetTextInputRect(&text_rect_);
    SDL_StartTextInput();
  } else {
    SDL_StopTextInput();
  }
}

}  // namespace platform
