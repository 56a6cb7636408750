#pragma once
// Forms: top-level windows built from a stored description of their components.
#include <functional>
#include <memory>
#include <string>

#include <vector>

#include "app/bitmap.h"
#include "app/classes.h"
#include "app/messages.h"
#include "platform/gamepad.h"
#include "platform/platform.h"

namespace app {

class TApplication;
class TControl;

enum TBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog };

// ssDouble marks the second press of a double click.
enum TShiftStateFlag : unsigned { ssShift = 1, ssAlt = 2, ssCtrl = 4, ssDouble = 8 };
using TShiftState = unsigned;

using TKeyEvent = std::function<void(TObject* Sender, std::uint16_t& Key, TShiftState Shift)>;
using TWndMethod = std::function<void(TMessage& Message)>;
using TPadButtonEvent = std::function<void(TObject* Sender, platform::PadButton Button)>;

enum TModalResult : int { mrNone = 0, mrOk = 1, mrCancel = 2 };

enum TCloseAction { caNone, caHide, caFree, caMinimize };
using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;

class TForm : public TComponent {
 public:
  explicit TForm(TComponent* AOwner);
  ~TForm() override;

  // Stored description.
  std::string Caption;  // CP932
  int ClientWidth = 320;
  int ClientHeight = 240;
  int Left = 0, Top = 0;
  bool ScreenCenter = true;  // placed at the screen centre when first shown
  bool ScaledPixels = false;  // shown at the platform's integer scale (the game's own form)
  TBorderStyle BorderStyle() const { return border_style_; }
  void SetBorderStyle(TBorderStyle style);
  void SetClientSize(int width, int height);
  void SetCaption(const std::string& caption);
  // The face colour and the font of the controls (9 points: a 12-pixel em).
  TColor Color = clBtnFace;
  TFont Font{9, clBlack};
  // The form's key handlers see keys before its focused control does.
  bool KeyPreview = false;
  // Whether the application's idle processing (the frame timer) runs while this form is shown
  // modally; the error box stops it, as the desktop's own message boxes do.
  bool IdleWhileModal = true;

  TNotifyEvent OnCreate;
  TNotifyEvent OnDestroy;
  TCloseEvent OnClose;
  TKeyEvent OnKeyDown;
  TKeyEvent OnKeyUp;
  // Gamepad presses. Only the application's main form gets them, and only while the program is
  // in front and no other form is shown modally: a pad never works a dialog.
  TPadButtonEvent OnPadButtonDown;

  // The message procedure. Components that watch the form's messages replace it and pass each
  // message on to the one they replaced.
  TWndMethod WindowProc;
  void Perform(std::uint32_t msg, std::intptr_t wparam = 0, std::intptr_t lparam = 0);

  // The form's window, created on first use (WM_CREATE is sent then).
  platform::Window& Handle();
  bool HandleAllocated() const { return window_ != nullptr; }
  TApplication& App() const { return app_; }

  bool Visible() const { return visible_; }
  void Show();
  void Hide();
  // Shows the form and runs a message loop until ModalResult is set; the other forms get no
  // keys meanwhile.
  int ShowModal();
  int ModalResult = mrNone;
  void Close();
  // Destroys the form once control is back in the message loop.
  void Release();

  // Runs OnCreate; reports an exception from it and goes on, as a form's creation does.
  virtual void AfterConstruction();
  void BeforeDestruction() override;

  // A platform event for this form's window, from the application's message loop.
  virtual void DispatchEvent(const platform::Event& event);

  // --- Controls ---
  const std::vector<TControl*>& Controls() const { return controls_; }
  void InsertControl(TControl* control);
  void RemoveControl(TControl* control);
  // The focused control, or null.
  TControl* ActiveControl() const { return active_control_; }
  void SetActiveControl(TControl* control, bool by_keyboard = false);
  // Moves the focus to the next (or previous) control in tab order, wrapping around.
  void SelectNext(bool forward);
  // A control that can no longer take the focus gives it to the next one.
  void ControlStateChanged(TControl* control);
  // An edit has taken the input method's composition (UTF-8) as committed text: the input
  // method drops its own, so that none of it reaches the next edit.
  void EndComposition(const std::string& composition);

  // Forms with controls draw themselves: they are drawn again, whole, once the queue is empty
  // after something changed.
  bool DrawsItself() const { return !controls_.empty(); }
  void Invalidate();
  bool PaintPending() const { return paint_pending_; }
  // The form's picture as last drawn, and a canvas to measure text with.
  const TBitmap& Picture() const { return picture_; }
  TCanvas& Canvas();

 protected:
  // The default handling of a message.
  virtual void WndProc(TMessage& Message);
  virtual void KeyDown(std::uint16_t& Key, TShiftState Shift);
  virtual void KeyUp(std::uint16_t& Key, TShiftState Shift);
  // Tab, Enter and Escape when the focused control did not use them.
  void DialogKey(std::uint16_t& Key, TShiftState Shift);

 private:
  void DestroyHandle();
  void Paint();
  void UpdateTextInput();
  void DispatchMouse(const platform::Event& event);
  std::vector<TControl*> TabList() const;

  TApplication& app_;
  std::unique_ptr<platform::Window> window_;
  TBorderStyle border_style_ = bsSingle;
  TShiftState last_key_shift_ = 0;
  bool visible_ = false;
  bool destroying_ = false;
  std::vector<TControl*> controls_;
  TControl* active_control_ = nullptr;
  TControl* mouse_capture_ = nullptr;
  TBitmap picture_;
  bool paint_pending_ = false;
  bool text_input_on_ = false;
};

template <class T>
T* CreateForm(TComponent* owner) {
  T* form = new T(owner);
  form->AfterConstruction();
  return form;
}

}  // namespace app
