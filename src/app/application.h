#pragma once
// The application object: the message loop with its idle processing, the application's
// activation, timers, and the reporting of exceptions that leave an event handler.
#include <functional>
#include <string>
#include <vector>

#include "app/classes.h"
#include "app/messages.h"
#include "platform/platform.h"

namespace app {

class TForm;

using TIdleEvent = std::function<void(TObject* Sender, bool& Done)>;
// Sees every message to the application's own window first; returns true to stop it there.
using TWindowHook = std::function<bool(TMessage& Message)>;

class TApplication : public TComponent {
 public:
  explicit TApplication(platform::Platform& platform);
  ~TApplication() override;

  platform::Platform& Platform() const { return platform_; }

  std::string Title;  // CP932
  // The command's name, which starts each line the application writes on standard error.
  std::string CommandName;
  TForm* MainForm = nullptr;
  // The icon that every form's window carries; none when empty.
  platform::IconImage Icon;

  // The single idle slot: whoever sets it last receives every idle pass.
  TIdleEvent OnIdle;
  // The session ends and the system ends the program without waiting for it to quit (Windows'
  // log-off and shut-down): what the program keeps is saved here, as nothing else runs after.
  TNotifyEvent OnEndSession;

  int HookMainWindow(TWindowHook hook);
  void UnhookMainWindow(int id);

  // True while one of the program's windows is the foreground window.
  bool Active() const { return active_; }

  bool Terminated() const { return terminated_; }
  void Terminate() { terminated_ = true; }

  // Shows the main form and handles messages until the application terminates.
  void Run();
  // Handles one pending message, or else runs the idle processing (and, when the idle handler
  // leaves Done set, waits for the next message).
  void HandleMessage();
  // Handles every pending message, without idle processing.
  void ProcessMessages();

  // Reports an exception that left an event handler and lets the program go on.
  void HandleException(const std::exception& e);
  // The message always goes to standard error; this shows it to the player as well (the real
  // program's error box).
  std::function<void(const std::string& message)> ShowExceptionHandler;
  void ShowException(const std::string& message);

  // Hidden windows that only receive posted messages (the platform's socket notices): an event
  // of type User addressed to one reaches its procedure as a message with Msg = code, WParam =
  // param1 and LParam = param2. Returns the window's id, never that of a form's window.
  std::uint32_t AllocateHWnd(std::function<void(TMessage& Message)> proc);
  void DeallocateHWnd(std::uint32_t id);

  // Window timers: `fn` runs from the message loop every `interval_ms` until killed.
  unsigned SetTimer(std::uint32_t interval_ms, std::function<void()> fn);
  void KillTimer(unsigned id);

  // --- For forms ---
  void AddForm(TForm* form);
  void RemoveForm(TForm* form);
  TForm* FindForm(std::uint32_t window_id) const;
  // The window of the program that has the desktop's focus, 0 for none.
  std::uint32_t FocusedWindow() const { return focused_window_; }
  const std::vector<TForm*>& Forms() const { return forms_; }
  // The first form shown at the platform's scale (the game's own), null for none. It is the
  // game's form before it becomes the main form too: a box shown while that form is still being
  // made (an error at start) takes its scale from it.
  TForm* ScaledForm() const;
  void PushModal(TForm* form) { modal_.push_back(form); }
  void PopModal() { modal_.pop_back(); }
  TForm* ModalForm() const { return modal_.empty() ? nullptr : modal_.back(); }
  void PostRelease(TForm* form);

 private:
  bool ProcessMessage();
  void Idle();
  void Dispatch(const platform::Event& event);
  void UpdateActive();
  // Whether one of the program's windows has the keyboard, as the events taken in so far say.
  bool InFront() const;
  void SendAppMessage(std::uint32_t msg);
  bool FireDueTimer();
  std::uint32_t WaitTimeout() const;

  struct Timer {
    unsigned id;
    std::uint32_t interval;
    std::uint32_t due;
    std::function<void()> fn;
  };

  platform::Platform& platform_;
  std::vector<std::pair<int, TWindowHook>> hooks_;
  int next_hook_id_ = 0;
  std::vector<TForm*> forms_;
  std::vector<TForm*> modal_;
  std::vector<TForm*> releases_;
  std::vector<Timer> timers_;
  unsigned next_timer_id_ = 0;
  std::vector<std::pair<std::uint32_t, std::function<void(TMessage&)>>> message_windows_;
  std::uint32_t next_message_window_ = 0;
  std::uint32_t focused_window_ = 0;
  bool focus_changed_ = false;
  bool active_ = true;
  bool terminated_ = false;
};

// The one application object of the program.
extern TApplication* Application;

}  // namespace app
