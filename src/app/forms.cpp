#include "app/forms.h"

#include <algorithm>

#include "app/application.h"
#include "app/controls.h"
#include "app/stdctrls.h"

namespace app {

TForm::TForm(TComponent* AOwner) : TComponent(AOwner), app_(*app::Application) {
  WindowProc = [this](TMessage& m) { WndProc(m); };
  app_.AddForm(this);
}

TForm::~TForm() {
  // Controls leave their form while it is still whole, however the form is destroyed.
  DestroyComponents();
  DestroyHandle();
  app_.RemoveForm(this);
}

void TForm::SetBorderStyle(TBorderStyle style) {
  border_style_ = style;
  if (window_) window_->SetBordered(style != bsNone);
}

void TForm::SetClientSize(int width, int height) {
  ClientWidth = width;
  ClientHeight = height;
  if (window_) window_->SetClientSize(width, height);
}

void TForm::SetCaption(const std::string& caption) {
  Caption = caption;
  if (window_) window_->SetTitle(caption);
}

void TForm::Perform(std::uint32_t msg, std::intptr_t wparam, std::intptr_t lparam) {
  TMessage m;
  m.Msg = msg;
  m.WParam = wparam;
  m.LParam = lparam;
  WindowProc(m);
}

platform::Window& TForm::Handle() {
  if (!window_) {
    platform::WindowDesc desc;
    desc.title = Caption;
    desc.client_width = ClientWidth;
    desc.client_height = ClientHeight;
    desc.bordered = border_style_ != bsNone;
    desc.centered = ScreenCenter;
    desc.x = Left;
    desc.y = Top;
    // Every form is shown at the game window's scale, as it has or will have it (it keeps it
    // while full screen); the game's own form gets the first scale of the desktop.
    desc.scaled = true;
    TForm* game = app_.MainForm ? app_.MainForm : app_.ScaledForm();
    if (ScaledPixels) {
      desc.scale = 0;
    } else if (game && game != this && game->ScaledPixels) {
      if (game->HandleAllocated()) {
        desc.scale = game->Handle().Scale();
      } else {
        desc.basis_width = game->ClientWidth;
        desc.basis_height = game->ClientHeight;
      }
    } else {
      desc.scale = 1;
    }
    desc.icon = app_.Icon;
    window_ = app_.Platform().CreateWindow(desc);
    Perform(WM_CREATE);
  }
  return *window_;
}

void TForm::DestroyHandle() {
  if (!window_) return;
  Perform(WM_DESTROY);
  window_.reset();
}

void TForm::Show() {
  platform::Window& w = Handle();
  if (visible_) {
    w.Raise();
    return;
  }
  visible_ = true;
  if (!active_control_) SelectNext(true);
  if (DrawsItself()) Paint();  // the window shows its face at once, not a blank
  w.Show();
  UpdateTextInput();
  Perform(WM_WINDOWPOSCHANGED, 0, SWP_SHOWWINDOW);
}

void TForm::Hide() {
  if (!visible_) return;
  visible_ = false;
  UpdateTextInput();
  if (window_) window_->Hide();
}

int TForm::ShowModal() {
  ModalResult = mrNone;
  TForm* below = app_.ModalForm();
  app_.PushModal(this);
  if (below) below->UpdateTextInput();
  struct PopGuard {
    TForm& form;
    ~PopGuard() {
      form.Hide();
      TApplication& app = form.app_;
      app.PopModal();
      // The form beneath (the modal one below, else the main form) has the focus back.
      TForm* next = app.ModalForm() ? app.ModalForm() : app.MainForm;
      if (next && next != &form && next->Visible()) {
        next->UpdateTextInput();
        next->Handle().Raise();
      }
    }
  } guard{*this};
  Show();
  // A modal form takes the keyboard, as the desktop gives it to a new dialog.
  Handle().Raise();
  while (ModalResult == mrNone) {
    if (app_.Terminated()) {
      ModalResult = mrCancel;
      break;
    }
    app_.HandleMessage();
  }
  return ModalResult;
}

void TForm::Close() {
  TCloseAction action = caHide;
  if (OnClose) OnClose(this, action);
  if (action == caNone) return;
  if (app_.ModalForm() == this) {
    if (ModalResult == mrNone) ModalResult = mrCancel;
    return;
  }
  if (app_.MainForm == this) {
    app_.Terminate();
    return;
  }
  if (action == caFree)
    Release();
  else if (action == caMinimize && window_)
    window_->Minimize();
  else
    Hide();
}

void TForm::Release() { app_.PostRelease(this); }

void TForm::AfterConstruction() {
  if (!OnCreate) return;
  try {
    OnCreate(this);
  } catch (const std::exception& e) {
    app_.HandleException(e);
  }
}

void TForm::BeforeDestruction() {
  if (destroying_) return;
  destroying_ = true;
  TComponent::BeforeDestruction();
  if (OnDestroy) {
    try {
      OnDestroy(this);
    } catch (const std::exception& e) {
      app_.HandleException(e);
    }
  }
  DestroyHandle();
  DestroyComponents();
}

void TForm::DispatchEvent(const platform::Event& event) {
  using platform::EventType;
  TForm* modal = app_.ModalForm();
  bool blocked = modal && modal != this;
  switch (event.type) {
    case EventType::KeyDown:
    case EventType::KeyUp: {
      if (blocked) return;
      TMessage m;
      bool down = event.type == EventType::KeyDown;
      m.Msg = event.alt ? (down ? WM_SYSKEYDOWN : WM_SYSKEYUP) : (down ? WM_KEYDOWN : WM_KEYUP);
      m.WParam = event.vk;
      m.LParam = (std::intptr_t(event.scancode) << 16) | (event.alt ? KF_ALTDOWN_BIT : 0) |
                 (event.repeat ? KF_REPEAT_BIT : 0);
      // Shift and Ctrl are not part of a key message; keep them where KeyDown can read them.
      last_key_shift_ = (event.shift ? TShiftState{ssShift} : 0u) | (event.ctrl ? TShiftState{ssCtrl} : 0u);
      WindowProc(m);
      return;
    }
    case EventType::TextInput:
    case EventType::TextEditing:
      if (blocked || !active_control_) return;
      if (event.type == EventType::TextInput)
        active_control_->TextInput(event.text);
      else
        active_control_->TextEditing(event.text, event.x);
      return;
    case EventType::MouseDown:
    case EventType::MouseUp:
    case EventType::MouseMove:
      if (blocked) return;
      DispatchMouse(event);
      return;
    case EventType::FocusGained:
      Perform(WM_ACTIVATE, WA_ACTIVE);
      UpdateTextInput();
      return;
    case EventType::FocusLost:
      Perform(WM_ACTIVATE, WA_INACTIVE);
      return;
    case EventType::WindowClose:
      if (blocked) return;
      Close();
      return;
    case EventType::PadButtonDown:
      if (blocked || !OnPadButtonDown) return;
      OnPadButtonDown(this, static_cast<platform::PadButton>(event.button));
      return;
    case EventType::Exposed:
      Perform(WM_PAINT);
      return;
    default:
      return;
  }
}

void TForm::WndProc(TMessage& m) {
  switch (m.Msg) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYUP: {
      std::uint16_t key = static_cast<std::uint16_t>(m.WParam);
      TShiftState shift = last_key_shift_ | ((m.LParam & KF_ALTDOWN_BIT) ? TShiftState{ssAlt} : 0u);
      if (m.Msg == WM_KEYDOWN || m.Msg == WM_SYSKEYDOWN)
        KeyDown(key, shift);
      else
        KeyUp(key, shift);
      m.WParam = key;
      return;
    }
    case WM_CLOSE:
      Close();
      return;
    case WM_PAINT:
      if (DrawsItself()) Paint();
      return;
    case WM_SYSCOMMAND:
      if (m.WParam == SC_MINIMIZE && window_) window_->Minimize();
      return;
    default:
      return;
  }
}

void TForm::KeyDown(std::uint16_t& Key, TShiftState Shift) {
  // A form with a focused control hands keys to it; its own handler sees them first only when
  // it previews keys.
  if (OnKeyDown && (KeyPreview || !active_control_)) OnKeyDown(this, Key, Shift);
  if (Key == 0 || controls_.empty()) return;
  DialogKey(Key, Shift);
  if (Key != 0 && active_control_) active_control_->KeyDown(Key, Shift);
}

void TForm::KeyUp(std::uint16_t& Key, TShiftState Shift) {
  if (OnKeyUp && (KeyPreview || !active_control_)) OnKeyUp(this, Key, Shift);
  if (Key != 0 && active_control_) active_control_->KeyUp(Key, Shift);
}

namespace {
constexpr std::uint16_t kVkTab = 0x09, kVkReturn = 0x0D, kVkEscape = 0x1B;
}  // namespace

void TForm::DialogKey(std::uint16_t& Key, TShiftState Shift) {
  if (Key == kVkTab && !(Shift & (ssAlt | ssCtrl))) {
    SelectNext(!(Shift & ssShift));
    Key = 0;
    return;
  }
  if (Key != kVkReturn && Key != kVkEscape) return;
  // Enter clicks the focused button, else the default one; Escape the cancel button.
  TButton* target = nullptr;
  if (Key == kVkReturn) target = dynamic_cast<TButton*>(active_control_);
  for (TControl* c : controls_) {
    if (target) break;
    auto* b = dynamic_cast<TButton*>(c);
    if (b && b->Enabled() && b->Visible() && (Key == kVkReturn ? b->Default : b->Cancel)) target = b;
  }
  if (!target || !target->Enabled()) return;
  Key = 0;
  target->Click();
}

void TForm::InsertControl(TControl* control) {
  if (std::find(controls_.begin(), controls_.end(), control) == controls_.end()) controls_.push_back(control);
  Invalidate();
}

void TForm::RemoveControl(TControl* control) {
  controls_.erase(std::remove(controls_.begin(), controls_.end(), control), controls_.end());
  if (mouse_capture_ == control) mouse_capture_ = nullptr;
  if (active_control_ == control) {
    active_control_ = nullptr;
    UpdateTextInput();
  }
  Invalidate();
}

void TForm::SetActiveControl(TControl* control, bool by_keyboard) {
  if (control && (control->Parent() != this || !control->CanFocus())) return;
  if (control == active_control_) return;
  TControl* old = active_control_;
  active_control_ = control;
  if (old) old->DoExit();
  if (control) control->DoEnter(by_keyboard);
  UpdateTextInput();
  Invalidate();
}

std::vector<TControl*> TForm::TabList() const {
  std::vector<TControl*> list;
  for (TControl* c : controls_)
    if (c->CanFocus()) list.push_back(c);
  std::stable_sort(list.begin(), list.end(), [](TControl* a, TControl* b) { return a->TabOrder < b->TabOrder; });
  return list;
}

void TForm::SelectNext(bool forward) {
  std::vector<TControl*> list = TabList();
  if (list.empty()) return;
  auto it = std::find(list.begin(), list.end(), active_control_);
  TControl* next;
  if (it == list.end())
    next = forward ? list.front() : list.back();
  else if (forward)
    next = std::next(it) == list.end() ? list.front() : *std::next(it);
  else
    next = it == list.begin() ? list.back() : *std::prev(it);
  SetActiveControl(next, true);
}

void TForm::ControlStateChanged(TControl* control) {
  if (mouse_capture_ == control && !control->Enabled()) mouse_capture_ = nullptr;
  if (active_control_ != control || control->CanFocus()) return;
  // The focus moves on rather than staying on a control that takes no input.
  std::vector<TControl*> list = TabList();
  TControl* next = nullptr;
  for (TControl* c : list)
    if (c->TabOrder > control->TabOrder) {
      next = c;
      break;
    }
  if (!next && !list.empty()) next = list.front();
  active_control_ = nullptr;
  control->DoExit();
  if (next)
    SetActiveControl(next, true);
  else
    UpdateTextInput();
  Invalidate();
}

void TForm::DispatchMouse(const platform::Event& event) {
  using platform::EventType;
  TControl* target = mouse_capture_;
  if (!target) {
    for (auto it = controls_.rbegin(); it != controls_.rend(); ++it)
      if ((*it)->Visible() && (*it)->Contains(event.x, event.y)) {
        target = *it;
        break;
      }
  }
  if (!target || !target->Enabled()) return;
  const int x = event.x - target->Left, y = event.y - target->Top;
  switch (event.type) {
    case EventType::MouseDown:
      if (event.button != 1) return;
      if (target->CanFocus()) SetActiveControl(target);
      // The focus change may have disabled or removed it.
      if (std::find(controls_.begin(), controls_.end(), target) == controls_.end() || !target->Enabled()) return;
      mouse_capture_ = target;
      // Quick presses pair up: the second is a double click, the third starts afresh, as on the
      // desktop the game was made for.
      target->MouseDown(x, y,
                        (event.shift ? TShiftState{ssShift} : 0u) | (event.ctrl ? TShiftState{ssCtrl} : 0u) |
                            (event.clicks >= 2 && event.clicks % 2 == 0 ? TShiftState{ssDouble} : 0u));
      return;
    case EventType::MouseMove:
      target->MouseMove(x, y);
      return;
    case EventType::MouseUp:
      if (event.button != 1 || mouse_capture_ != target) return;
      mouse_capture_ = nullptr;
      target->MouseUp(x, y);
      return;
    default:
      return;
  }
}

void TForm::Invalidate() {
  if (DrawsItself()) paint_pending_ = true;
}

TCanvas& TForm::Canvas() {
  if (picture_.Width() == 0) picture_.SetSize(std::max(ClientWidth, 1), std::max(ClientHeight, 1));
  TCanvas& canvas = picture_.Canvas();
  canvas.Font = Font;
  return canvas;
}

void TForm::Paint() {
  paint_pending_ = false;
  picture_.SetSize(ClientWidth, ClientHeight);
  picture_.Fill(0, 0, ClientWidth, ClientHeight, Color);
  for (TControl* c : controls_)
    if (c->Visible()) c->PaintOn(picture_);
  int x = 0, y = 0, w = 0, h = 0;
  if (window_ && active_control_ && active_control_->WantsTextInput() && active_control_->CaretArea(x, y, w, h))
    window_->SetTextInputArea(active_control_->Left + x, active_control_->Top + y, w, h);
  if (window_ && visible_) {
    platform::PixelBuffer pixels = picture_.Pixels();
    window_->ShowPixels(pixels);
  }
}

void TForm::EndComposition(const std::string& composition) {
  if (window_) window_->ResetComposition(composition);
}

void TForm::UpdateTextInput() {
  TForm* modal = app_.ModalForm();
  const bool want =
      visible_ && active_control_ && active_control_->WantsTextInput() && (!modal || modal == this);
  if (!window_) return;
  // Text input belongs to the desktop, not to a window: a form turns off only what it turned on.
  if (want)
    window_->SetTextInput(true);
  else if (text_input_on_)
    window_->SetTextInput(false);
  text_input_on_ = want;
}

}  // namespace app
