#pragma once
// The standard controls: labels, one-line edits and push buttons.
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/controls.h"

namespace app {

class TLabel : public TControl {
 public:
  explicit TLabel(TComponent* AOwner);

  // CP932; a "\r" starts a new line.
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption);
  // Sized to its text (the default); an alTop label spans its form's width.
  bool AutoSize = true;
  TAlign Align = alNone;
  void AdjustSize();

  std::vector<std::string> Lines() const;

 protected:
  void Paint(TBitmap& bitmap) override;

 private:
  std::string caption_;
};

class TEdit : public TControl {
 public:
  explicit TEdit(TComponent* AOwner);

  // CP932. Set text is taken as typed text is: control characters and bytes that are not CP932
  // characters are dropped, and it is cut at MaxLength characters.
  std::string Text() const;
  void SetText(const std::string& text);
  // The most characters the edit holds (0: no limit); a double-byte character counts as one.
  int MaxLength = 0;
  // Whether the focus arriving other than by a click selects the whole text.
  bool AutoSelect = true;

  // The selection runs between its anchor and the caret, counted in characters (a double-byte
  // character is one). SelStart is its left edge, the caret itself when nothing is selected.
  int SelStart() const { return std::min(anchor_, caret_); }
  int SelLength() const { return std::abs(caret_ - anchor_); }
  // The caret, at the selection's moving end.
  int CaretPos() const { return caret_; }
  // Puts the caret there with nothing selected.
  void SetSelStart(int pos);
  // Selects that many characters from SelStart on, the caret after them.
  void SetSelLength(int length);
  void SelectAll();
  // The selected text (CP932), and text (CP932) put in its place as typed text is.
  std::string SelText() const;
  void SetSelText(const std::string& text);
  TNotifyEvent OnChange;

  // Puts typed or pasted text (UTF-8) in the selection's place, or at the caret. Control
  // characters are never taken, and characters that CP932 cannot hold are refused, so the text
  // is always sendable as it shows; text beyond MaxLength is dropped. Text of which nothing can
  // be taken leaves the selection as it was.
  void InsertText(const std::string& utf8);
  // The clipboard's text up to its first line break, in the selection's place.
  void PasteFromClipboard();
  // The selected text onto the clipboard; cutting takes it out of the edit as well.
  void CopyToClipboard();
  void CutToClipboard();
  // Deletes the selected text.
  void ClearSelection();

  // The input method's composition (UTF-8), shown in the selection's place while it lasts.
  const std::string& Composition() const { return composition_; }

  void KeyDown(std::uint16_t& Key, TShiftState Shift) override;
  void TextInput(const std::string& utf8) override;
  void TextEditing(const std::string& utf8, int cursor) override;
  void MouseDown(int x, int y, TShiftState Shift) override;
  void MouseMove(int x, int y) override;
  void MouseUp(int x, int y) override;
  void DoEnter(bool by_keyboard) override;
  void DoExit() override;
  bool WantsTextInput() const override { return true; }
  bool CaretArea(int& x, int& y, int& width, int& height) const override;

 protected:
  void Paint(TBitmap& bitmap) override;

 private:
  void Changed();
  // Moves the caret; the anchor follows unless the selection is being extended.
  void MoveCaret(int pos, bool extend);
  // Replaces the selection with these CP932 characters, as many as MaxLength leaves room for.
  void ReplaceSelection(const std::vector<std::string>& chars);
  std::string Chars(int from, int to) const;
  // Pixels from the text area's left edge to the caret's place before character `pos`.
  int TextX(int pos);
  // The character boundary nearest to x in the control's coordinates.
  int CharAt(int x);
  // The word around a character boundary: the run of spaces or of other characters it touches.
  void WordAt(int pos, int& from, int& to) const;

  std::vector<std::string> chars_;  // CP932 characters
  int anchor_ = 0;
  int caret_ = 0;
  bool dragging_ = false;  // the button went down in the edit and still is
  int scroll_ = 0;  // pixels of text scrolled out on the left
  std::string composition_;
  int composition_cursor_ = 0;
  int caret_area_[4] = {0, 0, 0, 0};  // x, y, width, height as last drawn
};

class TButton : public TControl {
 public:
  explicit TButton(TComponent* AOwner);

  // CP932.
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption);
  // Enter clicks the Default button wherever the focus is; Escape clicks the Cancel button.
  bool Default = false;
  bool Cancel = false;
  // Given to the form when clicked, which ends its modal display.
  int ModalResult = 0;

  void Click() override;

  void KeyDown(std::uint16_t& Key, TShiftState Shift) override;
  void KeyUp(std::uint16_t& Key, TShiftState Shift) override;
  void MouseDown(int x, int y, TShiftState Shift) override;
  void MouseMove(int x, int y) override;
  void MouseUp(int x, int y) override;
  void DoExit() override;
  bool Pressed() const { return pressed_; }

 protected:
  void Paint(TBitmap& bitmap) override;

 private:
  void SetPressed(bool pressed);

  std::string caption_;
  bool pressed_ = false;
  bool mouse_down_ = false;
  bool space_down_ = false;
};

}  // namespace app
