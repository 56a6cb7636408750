#pragma once
// The headless backend: no screen, no sound device, no real time. Tests and benchmarks drive it:
// they set and advance the clock, post events (keys, focus, close) and inspect the windows.
// Its sockets are real, though, and the network does not wait for a test's clock: while a
// lookup runs or a socket connects or is connected, sleeps and waits take real time and the
// clock follows it, so network time limits work as they do in the program.
#include <array>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/audio_mixer.h"
#include "platform/net.h"
#include "platform/headless/headless_display.h"
#include "platform/headless/headless_gamepads.h"
#include "platform/headless/headless_keyboard.h"
#include "platform/platform.h"

namespace platform {

class HeadlessWindow;
class HeadlessAudioDevice;

class HeadlessPlatform : public Platform {
 public:
  // The headless desktop.
  static constexpr int kDesktopWidth = 1024;
  static constexpr int kDesktopHeight = 768;

  HeadlessPlatform();
  ~HeadlessPlatform() override;

  std::string_view Name() const override { return "headless"; }
  std::uint32_t Milliseconds() override {
    FollowRealTime();
    return clock_;
  }
  std::uint32_t RandomSeed() override { return seed_; }
  LocalTime Now() override { return now_; }
  void Sleep(std::uint32_t ms) override;

  bool PollEvent(Event& event) override;
  void WaitEvent(std::uint32_t timeout_ms) override;
  void PostEvent(const Event& event) override;

  std::unique_ptr<Window> CreateWindow(const WindowDesc& desc) override;
  Display& GetDisplay() override { return *display_; }
  bool LoadLibraryFunction(std::string_view file_name, std::string_view function) override;
  void WaitForVerticalBlank() override { ++vblank_waits_; }
  std::unique_ptr<AudioDevice> OpenAudioDevice() override;
  Network& Net() override { return net_; }
  // Tests press and release keys through it.
  HeadlessKeyboard& GetKeyboard() override { return keyboard_; }
  // Tests plug in pads and press their buttons through it.
  HeadlessGamepads& GetGamepads() override { return gamepads_; }

  // The clipboard is the test's: what the program puts there reads back here.
  std::string ClipboardText() override { return clipboard_; }
  void SetClipboardText(const std::string& utf8) override { clipboard_ = utf8; }
  void SetSessionEndHandler(std::function<void()> handler) override { session_end_handler_ = std::move(handler); }
  // Ends the session as Windows' log-off does: the handler runs, and the program gets no quit.
  void EndSession() {
    if (session_end_handler_) session_end_handler_();
  }
  bool OpenUrl(const std::string& url) override;

  // --- Controls for tests ---
  void SetMilliseconds(std::uint32_t ms) { clock_ = ms; }
  void AdvanceMilliseconds(std::uint32_t ms) { clock_ += ms; }
  void SetRandomSeed(std::uint32_t seed) { seed_ = seed; }
  void SetNow(const LocalTime& now) { now_ = now; }
  // Gives the window the focus (the others lose it), posting the focus events a desktop would.
  void Focus(std::uint32_t window_id);
  // Takes the focus away from every window of the program (another program is in front).
  void FocusElsewhere();
  std::uint32_t FocusedWindow() const { return focused_; }
  int VerticalBlankWaits() const { return vblank_waits_; }
  // The screen, for reading back what windows show and simulating lost surfaces.
  HeadlessDisplay& Screen() { return *display_; }
  // Makes a run-time library unavailable (before it is first loaded), as on a system that
  // lacks it.
  void SetLibraryMissing(const std::string& file_name);
  // The window of that id, or null.
  HeadlessWindow* FindWindow(std::uint32_t id) const;
  // Windows in creation order.
  std::vector<HeadlessWindow*> Windows() const;
  // Every address OpenUrl was asked to open, in order.
  const std::vector<std::string>& OpenedUrls() const { return opened_urls_; }
  // Runs whenever the program waits: for events with nothing to do, or in a Sleep. A test acts
  // there as a player would, between the program's steps (it may post events, not handle them).
  std::function<void()> OnWait;

  // Sound: a device is there unless a test takes it away; the open one, or null.
  void SetAudioAvailable(bool available) { audio_available_ = available; }
  void SetAudioOutput(const OutputFormat& output) { audio_output_ = output; }
  HeadlessAudioDevice* Audio() const { return audio_; }

  // Called by windows and the sound device.
  void Forget(HeadlessWindow* window);
  void ForgetAudio(HeadlessAudioDevice* device) {
    if (audio_ == device) audio_ = nullptr;
  }
  std::uint32_t NextWindowId() { return ++last_window_id_; }

 private:
  // While the network is busy, moves the clock on by the real time that has passed.
  void FollowRealTime();

  std::uint32_t clock_ = 0;
  std::chrono::steady_clock::time_point real_last_ = std::chrono::steady_clock::now();
  std::chrono::steady_clock::duration real_carry_{};
  std::uint32_t seed_ = 0;
  LocalTime now_{2000, 1, 1, 12, 0, 0, 0};
  std::uint32_t focused_ = 0;
  std::uint32_t last_window_id_ = 0;
  int vblank_waits_ = 0;
  bool audio_available_ = true;
  OutputFormat audio_output_;
  HeadlessAudioDevice* audio_ = nullptr;
  std::map<std::uint32_t, HeadlessWindow*> windows_;
  std::unique_ptr<HeadlessDisplay> display_;
  std::set<std::string> missing_libraries_;
  std::set<std::string> loaded_libraries_;
  std::mutex queue_mutex_;
  std::deque<Event> queue_;
  Network net_;
  std::string clipboard_;
  std::function<void()> session_end_handler_;
  std::vector<std::string> opened_urls_;
  bool in_wait_hook_ = false;

  void RunWaitHook();
  HeadlessKeyboard keyboard_{*this};
  HeadlessGamepads gamepads_{*this};
};

class HeadlessWindow : public Window {
 public:
  HeadlessWindow(HeadlessPlatform& platform, const WindowDesc& desc);
  ~HeadlessWindow() override;

  std::uint32_t Id() const override { return id_; }
  void SetTitle(const std::string& cp932) override { title_ = cp932; }
  void SetClientSize(int width, int height) override;
  void SetBordered(bool bordered) override { placement_.bordered = bordered; }
  void Show() override;
  void Hide() override;
  bool Visible() const override { return visible_; }
  void Minimize() override { minimized_ = true; }
  void Raise() override;
  bool HasFocus() const override { return platform_.FocusedWindow() == id_; }
  WindowPlacement Placement() const override { return placement_; }
  void SetPlacement(const WindowPlacement& placement) override { placement_ = placement; }
  void SetCursorVisible(bool visible) override { cursor_visible_ = visible; }
  void SetTextInput(bool on) override { text_input_ = on; }
  void SetTextInputArea(int x, int y, int width, int height) override { text_input_area_ = {x, y, width, height}; }
  void ResetComposition(const std::string& composition) override { composition_resets_.push_back(composition); }
  int Scale() const override { return 1; }
  void ShowPixels(const PixelBuffer& pixels) override;

  const std::string& Title() const { return title_; }
  bool Minimized() const { return minimized_; }
  bool CursorVisible() const { return cursor_visible_; }
  bool TextInput() const { return text_input_; }
  // The caret's place as last given: x, y, width, height.
  const std::array<int, 4>& TextInputArea() const { return text_input_area_; }
  // The compositions the input method was told to drop, in order.
  const std::vector<std::string>& CompositionResets() const { return composition_resets_; }
  // What the window shows, as the last ShowPixels left it (0x00RRGGBB; 0 outside).
  int ShownWidth() const { return shown_width_; }
  int ShownHeight() const { return shown_height_; }
  Rgb ShownPixel(int x, int y) const;
  int ShowCount() const { return show_count_; }

 private:
  HeadlessPlatform& platform_;
  std::uint32_t id_;
  std::string title_;
  WindowPlacement placement_;
  bool visible_ = false;
  bool minimized_ = false;
  bool cursor_visible_ = true;
  bool text_input_ = false;
  std::array<int, 4> text_input_area_{};
  std::vector<std::string> composition_resets_;
  std::vector<Rgb> shown_;
  int shown_width_ = 0, shown_height_ = 0;
  int show_count_ = 0;
};

}  // namespace platform
