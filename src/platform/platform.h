#pragma once
// The one boundary between the program and the operating system. Everything above
// src/platform/ sees only these interfaces; the `sdl` backend serves the real program and the
// `headless` backend serves tests and benchmarks (its clock, keys and events are driven by the
// caller).
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "platform/pixels.h"

namespace platform {

class AudioDevice;
class Network;
class Display;
class Gamepads;
class Keyboard;

// A local calendar date and time.
struct LocalTime {
  int year = 1900, month = 1, day = 1;
  int hour = 0, minute = 0, second = 0, millisecond = 0;
};

enum class EventType {
  None,
  Quit,         // the program is asked to end (SIGINT, SIGTERM, session end)
  WindowClose,  // the close box of a window
  FocusGained,  // a window became the foreground window
  FocusLost,
  Exposed,      // a window's contents must be shown again
  KeyDown,      // auto-repeats included (repeat set)
  KeyUp,
  TextInput,    // committed text, UTF-8
  TextEditing,  // input-method composition, UTF-8
  MouseDown,
  MouseUp,
  MouseMove,
  DeviceLost,   // the render or sound device went away; `code` says which
  PadButtonDown,  // a gamepad button pressed: `button` is its PadButton (platform/gamepad.h)
  User,         // posted by PostEvent: code and params are the poster's
};

struct Event {
  EventType type = EventType::None;
  std::uint32_t window = 0;  // id of the window it concerns, 0 for none
  // Keys: Windows virtual-key code, set-1 scan code (extended keys have bit 7 set).
  std::uint16_t vk = 0;
  std::uint8_t scancode = 0;
  bool alt = false, shift = false, ctrl = false, repeat = false;
  // Text (UTF-8), mouse (in window client coordinates of game pixels) and gamepad buttons.
  // Mouse events carry the Shift and Ctrl keys held as well, and a press its place in a run of
  // quick presses at one spot (1, then 2 for a double click, ...), as the desktop counts them.
  std::string text;
  int x = 0, y = 0, button = 0, clicks = 0;
  // User events.
  std::uint32_t code = 0;
  std::intptr_t param1 = 0, param2 = 0;
};

// Position and size of a window's client area, in desktop pixels.
struct WindowPlacement {
  int x = 0, y = 0, width = 0, height = 0;
  bool bordered = true;
};

// A window's icon: rows of RGBA bytes, top row first.
struct IconImage {
  int width = 0, height = 0;
  std::span<const std::uint8_t> rgba;
};

struct WindowDesc {
  std::string title;  // CP932
  int client_width = 320, client_height = 240;  // in the program's pixels
  bool bordered = true;
  bool centered = true;
  int x = 0, y = 0;  // when not centred
  // Shown at a whole scale of the program's pixels, enlarged nearest-neighbour.
  bool scaled = false;
  // With `scaled`: the scale to use, or 0 for the first scale of a window of the basis size
  // (the window's own client size when no basis is given): the largest whose window, frame
  // included, fits nine tenths of the desktop's usable area.
  int scale = 0;
  int basis_width = 0, basis_height = 0;
  IconImage icon;  // none when empty
};

class Window {
 public:
  virtual ~Window() = default;
  virtual std::uint32_t Id() const = 0;
  virtual void SetTitle(const std::string& cp932) = 0;
  virtual void SetClientSize(int width, int height) = 0;  // in the program's pixels
  virtual void SetBordered(bool bordered) = 0;
  virtual void Show() = 0;
  virtual void Hide() = 0;
  virtual bool Visible() const = 0;
  virtual void Minimize() = 0;
  virtual void Raise() = 0;
  virtual bool HasFocus() const = 0;
  virtual WindowPlacement Placement() const = 0;
  virtual void SetPlacement(const WindowPlacement& placement) = 0;
  virtual void SetCursorVisible(bool visible) = 0;
  // Text input (and with it the input method) is on only where a form asks for it.
  virtual void SetTextInput(bool on) = 0;
  // Where the caret is, in the client area's program pixels: the input method puts its
  // candidate list beside it.
  virtual void SetTextInputArea(int x, int y, int width, int height) = 0;
  // Makes the input method drop the composition it holds (UTF-8), which the program has
  // committed from its own copy. Some input methods commit it themselves as they are reset:
  // that text is not delivered.
  virtual void ResetComposition(const std::string& composition) = 0;
  // Desktop pixels per program pixel.
  virtual int Scale() const = 0;
  // Shows 32-bit pixels as the client area, at the window's scale, for forms that draw their
  // own controls (dialogs and message boxes); the game's window is shown by the display instead.
  virtual void ShowPixels(const PixelBuffer& pixels) = 0;
};

class Platform {
 public:
  virtual ~Platform() = default;

  virtual std::string_view Name() const = 0;

  // Milliseconds of a monotonic clock, 32 bits wide: it wraps around after 2^32 ms.
  virtual std::uint32_t Milliseconds() = 0;
  // A value that differs from run to run, to seed the random generator.
  virtual std::uint32_t RandomSeed() = 0;
  virtual LocalTime Now() = 0;
  virtual void Sleep(std::uint32_t ms) = 0;

  // Events of all windows, in order. PollEvent never blocks; WaitEvent returns when an event is
  // pending or the time is up. PostEvent may be called from any thread.
  virtual bool PollEvent(Event& event) = 0;
  virtual void WaitEvent(std::uint32_t timeout_ms) = 0;
  virtual void PostEvent(const Event& event) = 0;

  virtual std::unique_ptr<Window> CreateWindow(const WindowDesc& desc) = 0;

  // The program's TCP sockets (platform/net.h). Their notices come out of PollEvent, and
  // WaitEvent ends when one is due.
  virtual Network& Net() = 0;
  // The keys down now and the window that has them (platform/keyboard.h).
  virtual Keyboard& GetKeyboard() = 0;
  // The gamepads plugged in now and the buttons held on them (platform/gamepad.h).
  virtual Gamepads& GetGamepads() = 0;

  // The screen: devices, surfaces and palettes (platform/display.h).
  virtual Display& GetDisplay() = 0;

  // Libraries loaded at run time by file name (platform/library.h): true when the library can
  // be loaded and exports the function. Each is loaded once and kept until the platform ends.
  virtual bool LoadLibraryFunction(std::string_view file_name, std::string_view function) = 0;

  // Waits for the start of the next vertical blank. Presents are paced at 60 a second on any
  // display; the headless backend does not wait.
  virtual void WaitForVerticalBlank() = 0;

  // The default sound output (platform/audio.h), or null when there is none.
  virtual std::unique_ptr<AudioDevice> OpenAudioDevice() = 0;

  // The desktop's clipboard text (UTF-8); empty when it holds none.
  virtual std::string ClipboardText() = 0;
  // Puts text (UTF-8) on the desktop's clipboard.
  virtual void SetClipboardText(const std::string& utf8) = 0;
  // Opens a web address in the user's browser; false when nothing could be started.
  virtual bool OpenUrl(const std::string& url) = 0;

  // Called on the user-interface thread when the session ends and the system ends the program
  // without waiting for its quit (Windows' log-off and shut-down): what the program keeps must
  // be saved from there. Null: nothing is called.
  virtual void SetSessionEndHandler(std::function<void()> handler) = 0;
};

// The real program's backend. Throws std::runtime_error when the video system cannot start.
std::unique_ptr<Platform> CreateSdlPlatform();

}  // namespace platform
