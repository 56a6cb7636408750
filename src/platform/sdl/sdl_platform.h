#pragma once
// The SDL2 backend of the platform: the real program's windows, events and clock.
#include <SDL.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/net.h"
#include "platform/platform.h"
#include "platform/sdl/sdl_display.h"
#include "platform/sdl/sdl_gamepads.h"
#include "platform/sdl/sdl_keyboard.h"

namespace platform {

class SdlWindow;

class SdlPlatform : public Platform {
 public:
  SdlPlatform();
  ~SdlPlatform() override;

  std::string_view Name() const override { return "sdl"; }
  std::uint32_t Milliseconds() override;
  std::uint32_t RandomSeed() override;
  LocalTime Now() override;
  void Sleep(std::uint32_t ms) override;

  bool PollEvent(Event& event) override;
  void WaitEvent(std::uint32_t timeout_ms) override;
  void PostEvent(const Event& event) override;

  std::unique_ptr<Window> CreateWindow(const WindowDesc& desc) override;
  Display& GetDisplay() override { return *display_; }
  bool LoadLibraryFunction(std::string_view file_name, std::string_view function) override;
  void WaitForVerticalBlank() override;
  std::unique_ptr<AudioDevice> OpenAudioDevice() override;
  Network& Net() override { return net_; }
  Keyboard& GetKeyboard() override { return keyboard_; }
  Gamepads& GetGamepads() override { return *gamepads_; }

  std::string ClipboardText() override;
  void SetClipboardText(const std::string& utf8) override;
  void SetSessionEndHandler(std::function<void()> handler) override { session_end_handler_ = std::move(handler); }
  bool OpenUrl(const std::string& url) override;

  // Called by windows.
  void Forget(SdlWindow* window);
  SdlWindow* FindWindow(std::uint32_t id) const;
  // Text (UTF-8) the input method may commit once more after its composition was reset.
  void ExpectRepeatedCommit(const std::string& utf8) { repeated_commit_ = utf8; }

 private:
  bool Translate(const SDL_Event& in, Event& out);
  // Makes one composition of the pieces SDL cut it into, taking the later ones off the queue.
  void JoinCompositionPieces(Event& out);
  // Whether typed text is for the program: not when it is a composition the program has
  // committed already, sent again by the input method as it was reset.
  bool TakeText(const Event& text_event);

  std::uint32_t user_event_type_ = 0;
  std::function<void()> session_end_handler_;
  std::uint64_t next_vblank_ns_ = 0;
  std::map<std::uint32_t, SdlWindow*> windows_;
  std::string repeated_commit_;
  Network net_;
  std::unique_ptr<SdlDisplay> display_;
  SdlKeyboard keyboard_;
  std::unique_ptr<SdlGamepads> gamepads_;
};

class SdlWindow : public Window {
 public:
  SdlWindow(SdlPlatform& platform, const WindowDesc& desc);
  ~SdlWindow() override;

  std::uint32_t Id() const override { return id_; }
  void SetTitle(const std::string& cp932) override;
  void SetClientSize(int width, int height) override;
  void SetBordered(bool bordered) override;
  void Show() override;
  void Hide() override;
  bool Visible() const override;
  void Minimize() override;
  void Raise() override;
  bool HasFocus() const override;
  WindowPlacement Placement() const override;
  void SetPlacement(const WindowPlacement& placement) override;
  void SetCursorVisible(bool visible) override;
  void SetTextInput(bool on) override;
  void SetTextInputArea(int x, int y, int width, int height) override;
  void ResetComposition(const std::string& composition) override;
  int Scale() const override { return scale_; }
  void ShowPixels(const PixelBuffer& pixels) override;
  // Text input is one switch for the whole program: the window that gets the keyboard sets it
  // to what it asked for, so the game window always has it off.
  void ApplyTextInput();

  SDL_Window* Handle() const { return window_; }
  // Sizes the window; on Wayland the size is also the only one the window takes.
  void SetSize(int width, int height);
  // Lets the window take any size, as full screen does.
  void FreeSize();
  // The caret's place for the input method, in desktop pixels.
  const SDL_Rect& TextInputRect() const { return text_rect_; }
  // The client area in the program's pixels.
  int ClientWidth() const { return client_width_; }
  int ClientHeight() const { return client_height_; }

 private:
  // Once the window manager has framed the window, a first scale whose frame does not fit
  // steps down.
  void FitFrame();
  void SetIcon(const IconImage& icon);

  SdlPlatform& platform_;
  SDL_Window* window_ = nullptr;
  std::uint32_t id_ = 0;
  int scale_ = 1;
  int client_width_ = 0, client_height_ = 0;
  int basis_width_ = 0, basis_height_ = 0;  // the size the first scale was chosen for
  bool first_scale_ = false;                // the scale was chosen here, not given
  bool centered_ = false;
  bool text_input_ = false;
  SDL_Rect text_rect_{0, 0, 0, 0};
  std::vector<int> columns_;   // scratch space of the enlargement
  std::vector<Rgb> staging_;
  IconImage icon_;  // not yet set
};

// Fills the key fields of `out` from an SDL key event: the Windows virtual-key code and the
// set-1 scan code of the key. Defined in sdl_keys.cpp, with the two mappings it uses (0 for a
// key that has no code).
void TranslateKey(const SDL_KeyboardEvent& key, Event& out);
std::uint8_t Set1ScanCodeOf(SDL_Scancode sc);
std::uint8_t VirtualKeyOf(SDL_Scancode sc, SDL_Keycode sym);

}  // namespace platform
