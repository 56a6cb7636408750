#include "app/forms.h"

#include "app/application.h"

namespace app {

TForm::TForm(TComponent* AOwner) : TComponent(AOwner), app_(*app::Application) {
  WindowProc = [this](TMessage& m) { WndProc(m); };
  app_.AddForm(this);
}

TForm::~TForm() {
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
    desc.scaled = ScaledPixels;
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
  w.Show();
  Perform(WM_WINDOWPOSCHANGED, 0, SWP_SHOWWINDOW);
}

void TForm::Hide() {
  if (!visible_) return;
  visible_ = false;
  if (window_) window_->Hide();
}

int TForm::ShowModal() {
  ModalResult = mrNone;
  app_.PushModal(this);
  struct PopGuard {
    TApplication& app;
    ~PopGuard() { app.PopModal(); }
  } guard{app_};
  Show();
  while (ModalResult == mrNone) {
    if (app_.Terminated()) {
      ModalResult = mrCancel;
      break;
    }
    app_.HandleMessage();
  }
  Hide();
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
    case EventType::FocusGained:
      Perform(WM_ACTIVATE, WA_ACTIVE);
      return;
    case EventType::FocusLost:
      Perform(WM_ACTIVATE, WA_INACTIVE);
      return;
    case EventType::WindowClose:
      if (blocked) return;
      Close();
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
    case WM_SYSCOMMAND:
      if (m.WParam == SC_MINIMIZE && window_) window_->Minimize();
      return;
    default:
      return;
  }
}

void TForm::KeyDown(std::uint16_t& Key, TShiftState Shift) {
  if (OnKeyDown) OnKeyDown(this, Key, Shift);
}

void TForm::KeyUp(std::uint16_t& Key, TShiftState Shift) {
  if (OnKeyUp) OnKeyUp(this, Key, Shift);
}

}  // namespace app
