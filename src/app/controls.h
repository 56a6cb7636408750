#pragma once
// Controls: the visible parts of a form that take the mouse and, when focused, the keyboard.
// A control draws itself into a picture of its own size, so nothing it draws leaves its bounds;
// the form puts the pictures together.
#include <cstdint>
#include <string>

#include "app/bitmap.h"
#include "app/classes.h"

namespace app {

class TForm;
using TShiftState = unsigned;

// Colours of the classic dialog look.
inline constexpr TColor clBtnHighlight = 0xFFFFFF;
inline constexpr TColor clBtnShadow = 0x808080;
inline constexpr TColor cl3DDkShadow = 0x000000;
inline constexpr TColor cl3DLight = 0xDFDFDF;
inline constexpr TColor clWindow = 0xFFFFFF;
inline constexpr TColor clWindowText = 0x000000;
inline constexpr TColor clGrayText = 0x808080;
inline constexpr TColor clBtnText = 0x000000;
// Selected text: white on navy.
inline constexpr TColor clHighlight = 0x800000;
inline constexpr TColor clHighlightText = 0xFFFFFF;

enum TAlign { alNone, alTop };

class TControl : public TComponent {
 public:
  explicit TControl(TComponent* AOwner);
  ~TControl() override;

  TForm* Parent() const { return parent_; }
  void SetParent(TForm* parent);

  int Left = 0, Top = 0, Width = 0, Height = 0;
  void SetBounds(int left, int top, int width, int height);
  bool Contains(int x, int y) const { return x >= Left && y >= Top && x < Left + Width && y < Top + Height; }

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  bool Visible() const { return visible_; }
  void SetVisible(bool visible);

  // Focus: controls that take it are visited by Tab in TabOrder.
  int TabOrder = 0;
  bool TabStop = false;
  bool CanFocus() const { return TabStop && enabled_ && visible_ && parent_; }
  bool Focused() const;
  void SetFocus();

  TNotifyEvent OnClick;
  virtual void Click();

  // Asks the form to draw the control again.
  void Invalidate();
  // Draws the control into its own picture, whose size is the control's, and that picture onto
  // the form's at the control's place.
  void PaintOn(TBitmap& form_picture);

  // Input, in the control's own coordinates. A key handler sets Key to 0 when it used the key.
  virtual void KeyDown(std::uint16_t& Key, TShiftState Shift);
  virtual void KeyUp(std::uint16_t& Key, TShiftState Shift);
  virtual void TextInput(const std::string& utf8);
  virtual void TextEditing(const std::string& utf8, int cursor);
  virtual void MouseDown(int x, int y, TShiftState Shift);
  virtual void MouseMove(int x, int y);
  virtual void MouseUp(int x, int y);
  // Focus arrives (by_keyboard: through Tab or the form's opening) or leaves.
  virtual void DoEnter(bool by_keyboard);
  virtual void DoExit();
  // Whether typed text (and the input method) is wanted while this control has the focus.
  virtual bool WantsTextInput() const { return false; }
  // The caret as last drawn, in the control's coordinates; false when it has none.
  virtual bool CaretArea(int& x, int& y, int& width, int& height) const;

 protected:
  virtual void Paint(TBitmap& bitmap) = 0;
  // The parent's font on the control's own canvas.
  TCanvas& PrepareCanvas(TBitmap& bitmap) const;

 private:
  TForm* parent_ = nullptr;
  TBitmap picture_;
  bool enabled_ = true;
  bool visible_ = true;
};

// The raised and sunken edges of the classic look: two one-pixel frames, outer then inner,
// each with its top-left and its bottom-right colour.
void DrawEdges(TBitmap& bitmap, int x1, int y1, int x2, int y2, TColor outer_top_left, TColor outer_bottom_right,
               TColor inner_top_left, TColor inner_bottom_right);
void DrawFrame(TBitmap& bitmap, int x1, int y1, int x2, int y2, TColor top_left, TColor bottom_right);
// The dotted rectangle that marks the focused control.
void DrawFocusRect(TBitmap& bitmap, int x1, int y1, int x2, int y2);

}  // namespace app
