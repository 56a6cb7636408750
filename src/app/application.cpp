#include "app/application.h"

#include <algorithm>

#include "app/forms.h"
#include "app/sysutils.h"
#include "platform/files.h"

namespace app {

TApplication* Application = nullptr;

namespace {
// The longest the loop sleeps while nothing happens; timers shorten it.
constexpr std::uint32_t kMaxWait = 100;
// Hidden windows take ids far above those the platform gives its windows.
constexpr std::uint32_t kMessageWindowBase = 0x80000000u;
}  // namespace

TApplication::TApplication(platform::Platform& platform) : TComponent(nullptr), platform_(platform) {
  Application = this;
  platform_.SetSessionEndHandler([this] {
    if (!OnEndSession) return;
    // Called from within the platform's event handling, where no error box can be shown.
    try {
      OnEndSession(this);
    } catch (const std::exception& e) {
      platform::ReportToStderr(e.what());
    }
  });
}

TApplication::~TApplication() {
  platform_.SetSessionEndHandler(nullptr);
  // Forms go while the application still exists: their destruction may report errors.
  DestroyComponents();
  if (Application == this) Application = nullptr;
}

int TApplication::HookMainWindow(TWindowHook hook) {
  hooks_.emplace_back(++next_hook_id_, std::move(hook));
  return next_hook_id_;
}

void TApplication::UnhookMainWindow(int id) {
  hooks_.erase(std::remove_if(hooks_.begin(), hooks_.end(), [id](auto& h) { return h.first == id; }),
               hooks_.end());
}

void TApplication::Run() {
  if (MainForm) {
    try {
      MainForm->Show();
    } catch (const std::exception& e) {
      HandleException(e);
    }
  }
  while (!terminated_) HandleMessage();
}

void TApplication::HandleMessage() {
  if (!ProcessMessage()) Idle();
}

void TApplication::ProcessMessages() {
  while (!terminated_ && ProcessMessage()) {
  }
  UpdateActive();
}

bool TApplication::ProcessMessage() {
  platform::Event event;
  if (platform_.PollEvent(event)) {
    try {
      Dispatch(event);
    } catch (const std::exception& e) {
      HandleException(e);
    }
    return true;
  }
  if (!releases_.empty()) {
    TForm* form = releases_.front();
    releases_.erase(releases_.begin());
    Free(form);
    return true;
  }
  // Forms that draw themselves do so once nothing else is waiting, as a paint message comes.
  for (TForm* form : forms_) {
    if (!form->PaintPending()) continue;
    try {
      form->Perform(WM_PAINT);
    } catch (const std::exception& e) {
      HandleException(e);
    }
    return true;
  }
  return FireDueTimer();
}

void TApplication::Idle() {
  UpdateActive();
  bool done = true;
  const TForm* modal = ModalForm();
  if (OnIdle && (!modal || modal->IdleWhileModal)) {
    try {
      OnIdle(this, done);
    } catch (const std::exception& e) {
      HandleException(e);
    }
  }
  if (done && !terminated_) platform_.WaitEvent(WaitTimeout());
}

void TApplication::Dispatch(const platform::Event& event) {
  using platform::EventType;
  switch (event.type) {
    case EventType::Quit:
      Terminate();
      return;
    case EventType::FocusGained:
      focused_window_ = event.window;
      focus_changed_ = true;
      break;
    case EventType::FocusLost:
      if (focused_window_ == event.window) focused_window_ = 0;
      focus_changed_ = true;
      break;
    case EventType::PadButtonDown:
      // A pad belongs to no window: its presses go to the game while the program is in front.
      if (MainForm && InFront()) MainForm->DispatchEvent(event);
      return;
    case EventType::User:
      for (auto& [id, proc] : message_windows_) {
        if (id != event.window) continue;
        auto call = proc;  // the procedure may deallocate its window
        TMessage m;
        m.Msg = event.code;
        m.WParam = event.param1;
        m.LParam = event.param2;
        call(m);
        return;
      }
      break;
    default:
      break;
  }
  if (TForm* form = FindForm(event.window)) form->DispatchEvent(event);
}

void TApplication::UpdateActive() {
  // Focus moving between the program's own windows arrives as a loss and a gain; the
  // application's activation is judged once the queue is empty, so it does not flicker. Until
  // the desktop has said anything about focus the application counts as active (a desktop
  // without a window manager may never say).
  if (!focus_changed_) return;
  bool active = InFront();
  focus_changed_ = false;
  if (active == active_) return;
  active_ = active;
  for (TForm* form : std::vector<TForm*>(forms_))
    form->Perform(WM_ACTIVATEAPP, active ? 1 : 0);
  SendAppMessage(active ? CM_ACTIVATE : CM_DEACTIVATE);
}

bool TApplication::InFront() const {
  if (!focus_changed_) return active_;
  return focused_window_ != 0 && FindForm(focused_window_) != nullptr;
}

void TApplication::SendAppMessage(std::uint32_t msg) {
  TMessage m;
  m.Msg = msg;
  for (auto& [id, hook] : std::vector<std::pair<int, TWindowHook>>(hooks_)) {
    try {
      if (hook(m)) return;
    } catch (const std::exception& e) {
      HandleException(e);
    }
  }
}

void TApplication::HandleException(const std::exception& e) { ShowException(e.what()); }

void TApplication::ShowException(const std::string& message) {
  // One line: the message's own lines (the box shows them one under the other) joined by ": ".
  std::string line = CommandName.empty() ? std::string() : CommandName + ": ";
  for (std::size_t i = 0; i < message.size(); ++i) {
    if (message[i] != '\r' && message[i] != '\n') {
      line += message[i];
      continue;
    }
    if (message[i] == '\r' && i + 1 < message.size() && message[i + 1] == '\n') ++i;
    if (i + 1 < message.size()) line += ": ";
  }
  platform::ReportToStderr(line);
  if (ShowExceptionHandler) ShowExceptionHandler(message);
}

std::uint32_t TApplication::AllocateHWnd(std::function<void(TMessage&)> proc) {
  std::uint32_t id = kMessageWindowBase + ++next_message_window_;
  message_windows_.emplace_back(id, std::move(proc));
  return id;
}

void TApplication::DeallocateHWnd(std::uint32_t id) {
  std::erase_if(message_windows_, [id](const auto& w) { return w.first == id; });
}

unsigned TApplication::SetTimer(std::uint32_t interval_ms, std::function<void()> fn) {
  Timer t{++next_timer_id_, interval_ms, platform_.Milliseconds() + interval_ms, std::move(fn)};
  timers_.push_back(std::move(t));
  return next_timer_id_;
}

void TApplication::KillTimer(unsigned id) {
  timers_.erase(std::remove_if(timers_.begin(), timers_.end(), [id](const Timer& t) { return t.id == id; }),
                timers_.end());
}

bool TApplication::FireDueTimer() {
  std::uint32_t now = platform_.Milliseconds();
  for (Timer& t : timers_) {
    if (static_cast<std::int32_t>(now - t.due) >= 0) {
      t.due = now + std::max<std::uint32_t>(t.interval, 1);
      auto fn = t.fn;  // the handler may kill its own timer
      try {
        fn();
      } catch (const std::exception& e) {
        HandleException(e);
      }
      return true;
    }
  }
  return false;
}

std::uint32_t TApplication::WaitTimeout() const {
  std::uint32_t wait = kMaxWait;
  std::uint32_t now = platform_.Milliseconds();
  for (const Timer& t : timers_) {
    std::int32_t left = static_cast<std::int32_t>(t.due - now);
    wait = std::min<std::uint32_t>(wait, left > 0 ? static_cast<std::uint32_t>(left) : 0);
  }
  return wait;
}

void TApplication::AddForm(TForm* form) { forms_.push_back(form); }

void TApplication::RemoveForm(TForm* form) {
  forms_.erase(std::remove(forms_.begin(), forms_.end(), form), forms_.end());
  modal_.erase(std::remove(modal_.begin(), modal_.end(), form), modal_.end());
  releases_.erase(std::remove(releases_.begin(), releases_.end(), form), releases_.end());
  if (MainForm == form) MainForm = nullptr;
}

TForm* TApplication::ScaledForm() const {
  for (TForm* form : forms_)
    if (form->ScaledPixels) return form;
  return nullptr;
}

TForm* TApplication::FindForm(std::uint32_t window_id) const {
  if (window_id == 0) return nullptr;
  for (TForm* form : forms_)
    if (form->HandleAllocated() && form->Handle().Id() == window_id) return form;
  return nullptr;
}

void TApplication::PostRelease(TForm* form) {
  if (std::find(releases_.begin(), releases_.end(), form) == releases_.end()) releases_.push_back(form);
}

}  // namespace app
