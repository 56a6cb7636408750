#include "app/stdctrls.h"

#include <algorithm>
#include <cstdlib>

#include "app/application.h"
#include "app/forms.h"
#include "app/sjis.h"
#include "platform/codec.h"

namespace app {
namespace {

enum : std::uint16_t {
  kVkBack = 0x08, kVkSpace = 0x20, kVkEnd = 0x23, kVkHome = 0x24, kVkLeft = 0x25, kVkUp = 0x26,
  kVkRight = 0x27, kVkDown = 0x28, kVkInsert = 0x2D, kVkDelete = 0x2E, kVkA = 0x41, kVkC = 0x43,
  kVkV = 0x56, kVkX = 0x58,
};

int LineHeight(TCanvas& canvas) { return canvas.TextHeight("Ag"); }

// The code points of UTF-8 text, each as its own UTF-8 bytes; malformed bytes are skipped.
std::vector<std::pair<char32_t, std::string>> CodePoints(std::string_view utf8) {
  std::vector<std::pair<char32_t, std::string>> out;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    std::size_t n = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 0;
    if (n == 0 || i + n > utf8.size()) {
      ++i;
      continue;
    }
    char32_t cp = n == 1 ? b : b & (0xFF >> (n + 1));
    bool ok = true;
    for (std::size_t k = 1; k < n; ++k) {
      const auto c = static_cast<unsigned char>(utf8[i + k]);
      if ((c & 0xC0) != 0x80) ok = false;
      cp = (cp << 6) | (c & 0x3F);
    }
    if (ok) out.emplace_back(cp, std::string(utf8.substr(i, n)));
    i += ok ? n : 1;
  }
  return out;
}

bool IsControl(char32_t cp) { return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F); }

// Text of the input method for display: what CP932 cannot show becomes "?".
std::string Cp932ForDisplay(std::string_view utf8) {
  std::string out;
  for (auto& [cp, bytes] : CodePoints(utf8)) {
    auto converted = platform::Utf8ToCp932(bytes);
    out += converted && !IsControl(cp) ? *converted : "?";
  }
  return out;
}

void DrawCaption(TCanvas& canvas, int x, int y, const std::string& text, bool enabled) {
  canvas.Brush.Style = bsClear;
  if (!enabled) {
    // The engraved look of disabled text: a highlight below and to the right.
    canvas.Font.Color = clBtnHighlight;
    canvas.TextOut(x + 1, y + 1, text);
    canvas.Font.Color = clGrayText;
  }
  canvas.TextOut(x, y, text);
}

}  // namespace

// --- TLabel ---

TLabel::TLabel(TComponent* AOwner) : TControl(AOwner) {
  Width = 65;
  Height = 13;
}

void TLabel::SetCaption(const std::string& caption) {
  caption_ = caption;
  AdjustSize();
  Invalidate();
}

std::vector<std::string> TLabel::Lines() const {
  std::vector<std::string> lines(1);
  for (std::size_t i = 0; i < caption_.size(); ++i) {
    const char c = caption_[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < caption_.size() && caption_[i + 1] == '\n') ++i;
      lines.emplace_back();
    } else {
      lines.back() += c;
    }
  }
  return lines;
}

void TLabel::AdjustSize() {
  if (!Parent()) return;
  if (Align == alTop) {
    Left = 0;
    Top = 0;
    Width = Parent()->ClientWidth;
  }
  if (!AutoSize) return;
  TCanvas& canvas = Parent()->Canvas();
  const std::vector<std::string> lines = Lines();
  if (Align != alTop) {
    int width = 0;
    for (const std::string& line : lines) width = std::max(width, canvas.TextWidth(line));
    Width = width;
  }
  Height = static_cast<int>(lines.size()) * LineHeight(canvas);
}

void TLabel::Paint(TBitmap& bitmap) {
  TCanvas& canvas = PrepareCanvas(bitmap);
  bitmap.Fill(0, 0, Width, Height, Parent()->Color);
  const int line_height = LineHeight(canvas);
  int y = 0;
  for (const std::string& line : Lines()) {
    DrawCaption(canvas, 0, y, line, Enabled());
    y += line_height;
  }
}

// --- TEdit ---

namespace {

// The characters of CP932 text that an edit keeps: no control characters, nothing that is not a
// CP932 character.
std::vector<std::string> AcceptedChars(const std::string& cp932) {
  std::vector<std::string> out;
  for (std::string& c : Cp932Chars(cp932)) {
    auto utf8 = platform::Cp932ToUtf8Checked(c);
    if (!utf8 || utf8->empty()) continue;  // not a CP932 character
    auto points = CodePoints(*utf8);
    if (points.size() != 1 || IsControl(points[0].first)) continue;
    out.push_back(std::move(c));
  }
  return out;
}

// Double clicks take words apart at spaces, half- or full-width.
bool IsSpace(const std::string& c) { return c == " " || c == "\x81\x40"; }

}  // namespace

TEdit::TEdit(TComponent* AOwner) : TControl(AOwner) {
  TabStop = true;
  Width = 121;
  Height = 21;
}

std::string TEdit::Chars(int from, int to) const {
  std::string text;
  for (int i = std::max(from, 0); i < to && i < static_cast<int>(chars_.size()); ++i) text += chars_[i];
  return text;
}

std::string TEdit::Text() const { return Chars(0, static_cast<int>(chars_.size())); }

void TEdit::SetText(const std::string& text) {
  // Text set from a file or by the program follows the rule for typed text, or a control byte of
  // a hand-edited hisc.dat would reach the wire.
  chars_ = AcceptedChars(text);
  if (MaxLength > 0 && static_cast<int>(chars_.size()) > MaxLength) chars_.resize(MaxLength);
  anchor_ = caret_ = 0;
  scroll_ = 0;
  Changed();
}

void TEdit::MoveCaret(int pos, bool extend) {
  caret_ = std::clamp(pos, 0, static_cast<int>(chars_.size()));
  if (!extend) anchor_ = caret_;
  Invalidate();
}

void TEdit::SetSelStart(int pos) { MoveCaret(pos, false); }

void TEdit::SetSelLength(int length) {
  anchor_ = SelStart();
  MoveCaret(anchor_ + length, true);
}

void TEdit::SelectAll() {
  anchor_ = 0;
  MoveCaret(static_cast<int>(chars_.size()), true);
}

std::string TEdit::SelText() const { return Chars(SelStart(), SelStart() + SelLength()); }

void TEdit::SetSelText(const std::string& text) {
  const std::vector<std::string> chars = AcceptedChars(text);
  if (!chars.empty() || SelLength() > 0) ReplaceSelection(chars);
}

void TEdit::Changed() {
  Invalidate();
  if (OnChange) OnChange(this);
}

void TEdit::ReplaceSelection(const std::vector<std::string>& chars) {
  const int from = SelStart(), to = from + SelLength();
  const int kept = static_cast<int>(chars_.size()) - (to - from);
  // What MaxLength leaves room for once the selection is gone.
  const int room = MaxLength > 0 ? std::max(MaxLength - kept, 0) : static_cast<int>(chars.size());
  const int taken = std::min(static_cast<int>(chars.size()), room);
  if (from == to && taken == 0) return;
  chars_.erase(chars_.begin() + from, chars_.begin() + to);
  chars_.insert(chars_.begin() + from, chars.begin(), chars.begin() + taken);
  anchor_ = caret_ = from + taken;
  Changed();
}

void TEdit::ClearSelection() {
  if (SelLength() > 0) ReplaceSelection({});
}

void TEdit::InsertText(const std::string& utf8) {
  std::vector<std::string> chars;
  for (auto& [cp, bytes] : CodePoints(utf8)) {
    if (IsControl(cp)) continue;
    auto cp932 = platform::Utf8ToCp932(bytes);
    if (!cp932 || cp932->empty()) continue;  // CP932 cannot hold it
    chars.push_back(std::move(*cp932));
  }
  // Refused text leaves the selection alone rather than deleting it.
  if (!chars.empty()) ReplaceSelection(chars);
}

void TEdit::PasteFromClipboard() {
  if (!Parent()) return;
  std::string text = Parent()->App().Platform().ClipboardText();
  // One line only: the edit holds a single line.
  text = text.substr(0, text.find_first_of("\r\n"));
  InsertText(text);
}

void TEdit::CopyToClipboard() {
  // Copying nothing leaves the clipboard as it was, as the desktop's own edits do.
  if (!Parent() || SelLength() == 0) return;
  Parent()->App().Platform().SetClipboardText(platform::Cp932ToUtf8(SelText()));
}

void TEdit::CutToClipboard() {
  if (SelLength() == 0) return;
  CopyToClipboard();
  ClearSelection();
}

void TEdit::KeyDown(std::uint16_t& Key, TShiftState Shift) {
  // While the input method composes, the keys are its own.
  if (!composition_.empty()) return;
  const int count = static_cast<int>(chars_.size());
  const bool shift = (Shift & ssShift) != 0;
  const bool ctrl = (Shift & ssCtrl) != 0;
  // Ctrl with a letter is a command; with Alt as well it is a character of some layouts.
  const bool command = ctrl && !(Shift & ssAlt);
  const bool selected = SelLength() > 0;
  switch (Key) {
    case kVkLeft:
    case kVkUp:
      // Without Shift a selection collapses to its edge; the caret does not move beyond it.
      if (selected && !shift)
        MoveCaret(SelStart(), false);
      else
        MoveCaret(caret_ - 1, shift);
      break;
    case kVkRight:
    case kVkDown:
      if (selected && !shift)
        MoveCaret(SelStart() + SelLength(), false);
      else
        MoveCaret(caret_ + 1, shift);
      break;
    case kVkHome:
      MoveCaret(0, shift);
      break;
    case kVkEnd:
      MoveCaret(count, shift);
      break;
    case kVkBack:
      if (selected) {
        ClearSelection();
      } else if (caret_ > 0) {
        chars_.erase(chars_.begin() + --caret_);
        anchor_ = caret_;
        Changed();
      }
      break;
    case kVkDelete:
      if (shift) {
        CutToClipboard();
      } else if (selected) {
        ClearSelection();
      } else if (caret_ < count) {
        chars_.erase(chars_.begin() + caret_);
        Changed();
      }
      break;
    case kVkA:
    case kVkC:
    case kVkX:
    case kVkV:
      if (!command) return;
      if (Key == kVkA)
        SelectAll();
      else if (Key == kVkC)
        CopyToClipboard();
      else if (Key == kVkX)
        CutToClipboard();
      else
        PasteFromClipboard();
      break;
    case kVkInsert:
      if (ctrl)
        CopyToClipboard();
      else if (shift)
        PasteFromClipboard();
      else
        return;
      break;
    default:
      return;
  }
  Key = 0;
}

void TEdit::TextInput(const std::string& utf8) {
  composition_.clear();
  InsertText(utf8);
  Invalidate();
}

void TEdit::TextEditing(const std::string& utf8, int cursor) {
  composition_ = utf8;
  composition_cursor_ = cursor;
  Invalidate();
}

namespace {
// The edit's frame is two pixels wide, and its text starts one pixel further in.
constexpr int kEditBorder = 2;
constexpr int kEditPadding = 1;
}  // namespace

int TEdit::TextX(int pos) { return Parent() ? Parent()->Canvas().TextWidth(Chars(0, pos)) : 0; }

int TEdit::CharAt(int x) {
  const int target = x - kEditBorder - kEditPadding + scroll_;
  int best = 0, best_distance = std::abs(target);
  for (int i = 1; i <= static_cast<int>(chars_.size()); ++i) {
    const int distance = std::abs(TextX(i) - target);
    if (distance < best_distance) {
      best = i;
      best_distance = distance;
    }
  }
  return best;
}

void TEdit::WordAt(int pos, int& from, int& to) const {
  const int count = static_cast<int>(chars_.size());
  from = to = std::clamp(pos, 0, count);
  if (count == 0) return;
  // The character right of the boundary, or left of it at the end and before a space.
  int at = from < count ? from : count - 1;
  if (at > 0 && IsSpace(chars_[at]) && !IsSpace(chars_[at - 1])) --at;
  const bool space = IsSpace(chars_[at]);
  from = at;
  to = at + 1;
  while (from > 0 && IsSpace(chars_[from - 1]) == space) --from;
  while (to < count && IsSpace(chars_[to]) == space) ++to;
}

void TEdit::MouseDown(int x, int, TShiftState Shift) {
  const int pos = CharAt(x);
  if (Shift & ssDouble) {
    // A double click selects the word under it; the drag that may follow moves nothing.
    WordAt(pos, anchor_, caret_);
    dragging_ = false;
    Invalidate();
    return;
  }
  // The caret goes to the character boundary nearest the click; Shift keeps the anchor.
  MoveCaret(pos, (Shift & ssShift) != 0);
  dragging_ = true;
}

void TEdit::MouseMove(int x, int) {
  if (dragging_) MoveCaret(CharAt(x), true);
}

void TEdit::MouseUp(int x, int y) {
  MouseMove(x, y);
  dragging_ = false;
}

void TEdit::DoEnter(bool by_keyboard) {
  // Tabbing into an edit selects its text, the caret at the end; a click places the caret itself.
  if (by_keyboard) {
    if (AutoSelect)
      SelectAll();
    else
      MoveCaret(static_cast<int>(chars_.size()), false);
  }
  Invalidate();
}

void TEdit::DoExit() {
  // The focus leaving during a composition commits it here, as the desktop's edits do, and the
  // input method is told to drop it, or it would go on into the next edit.
  if (!composition_.empty()) {
    const std::string composed = std::move(composition_);
    composition_.clear();
    InsertText(composed);
    if (Parent()) Parent()->EndComposition(composed);
  }
  dragging_ = false;
  Invalidate();
}

void TEdit::Paint(TBitmap& bitmap) {
  DrawEdges(bitmap, 0, 0, Width, Height, clBtnShadow, clBtnHighlight, cl3DDkShadow, cl3DLight);
  const TColor face = Enabled() ? clWindow : Parent()->Color;
  const int inner_width = std::max(Width - 2 * kEditBorder, 0);
  const int inner_height = std::max(Height - 2 * kEditBorder, 0);
  TBitmap inner(inner_width, inner_height);
  inner.Fill(0, 0, inner_width, inner_height, face);
  TCanvas& canvas = PrepareCanvas(inner);
  const TColor text_color = Enabled() ? clWindowText : clGrayText;
  canvas.Font.Color = text_color;
  const int line_height = LineHeight(canvas);
  const int text_top = std::max((inner_height - line_height) / 2, 0);
  const int area = std::max(inner_width - 2 * kEditPadding, 1);

  // The text in three parts: before the selection, the selection, after it. The input method's
  // composition stands in the selection's place (the caret's, when nothing is selected) until it
  // is committed there, the caret inside it where the input method says.
  const int count = static_cast<int>(chars_.size());
  const int sel_from = SelStart(), sel_to = SelStart() + SelLength();
  const bool composing = !composition_.empty();
  const std::string before = Chars(0, sel_from);
  const std::string middle = composing ? Cp932ForDisplay(composition_) : Chars(sel_from, sel_to);
  const std::string after = Chars(sel_to, count);
  const int middle_x = canvas.TextWidth(before);
  const int after_x = canvas.TextWidth(before + middle);
  int caret_x = caret_ == sel_from ? middle_x : after_x;
  if (composing) {
    auto points = CodePoints(composition_);
    std::string head_utf8;
    for (int i = 0; i < composition_cursor_ && i < static_cast<int>(points.size()); ++i) head_utf8 += points[i].second;
    caret_x = canvas.TextWidth(before + Cp932ForDisplay(head_utf8));
  }
  const int total = canvas.TextWidth(before + middle + after);

  // Keep the caret in view, and no empty space on the right while text is scrolled out.
  if (caret_x - scroll_ > area - 1) scroll_ = caret_x - (area - 1);
  if (caret_x < scroll_) scroll_ = caret_x;
  if (scroll_ > 0 && total - scroll_ < area - 1) scroll_ = std::max(total - (area - 1), 0);

  const int x0 = kEditPadding - scroll_;
  canvas.TextOut(x0, text_top, before + middle + after);
  // The selection shows only while the edit has the focus, as the desktop's edits hide theirs.
  const bool highlighted = !composing && sel_to > sel_from && Focused();
  if (highlighted) {
    inner.Fill(x0 + middle_x, text_top, x0 + after_x, text_top + line_height, clHighlight);
    canvas.Font.Color = Enabled() ? clHighlightText : text_color;
    canvas.TextOut(x0 + middle_x, text_top, middle);
  }
  if (composing)
    inner.Fill(x0 + middle_x, text_top + line_height, x0 + after_x, text_top + line_height + 1, clWindowText);
  if (Focused() && Enabled()) {
    const bool on_highlight = highlighted && caret_x >= middle_x && caret_x < after_x;
    inner.Fill(x0 + caret_x, text_top, x0 + caret_x + 1, text_top + line_height,
               on_highlight ? clHighlightText : clWindowText);
  }
  inner.DrawOn(bitmap, kEditBorder, kEditBorder);
  const int caret_left = std::clamp(x0 + caret_x, 0, std::max(inner_width - 1, 0));
  caret_area_[0] = kEditBorder + caret_left;
  caret_area_[1] = kEditBorder + text_top;
  caret_area_[2] = 1;
  caret_area_[3] = line_height;
}

bool TEdit::CaretArea(int& x, int& y, int& width, int& height) const {
  if (caret_area_[3] <= 0) return false;
  x = caret_area_[0];
  y = caret_area_[1];
  width = caret_area_[2];
  height = caret_area_[3];
  return true;
}

// --- TButton ---

TButton::TButton(TComponent* AOwner) : TControl(AOwner) {
  TabStop = true;
  Width = 75;
  Height = 25;
}

void TButton::SetCaption(const std::string& caption) {
  caption_ = caption;
  Invalidate();
}

void TButton::Click() {
  if (ModalResult != 0 && Parent()) Parent()->ModalResult = ModalResult;
  TControl::Click();
}

void TButton::SetPressed(bool pressed) {
  if (pressed == pressed_) return;
  pressed_ = pressed;
  Invalidate();
}

void TButton::KeyDown(std::uint16_t& Key, TShiftState) {
  if (Key != kVkSpace) return;
  space_down_ = true;
  SetPressed(true);
  Key = 0;
}

void TButton::KeyUp(std::uint16_t& Key, TShiftState) {
  if (Key != kVkSpace || !space_down_) return;
  space_down_ = false;
  Key = 0;
  if (mouse_down_) return;
  SetPressed(false);
  Click();
}

void TButton::MouseDown(int, int, TShiftState) {
  mouse_down_ = true;
  SetPressed(true);
}

void TButton::MouseMove(int x, int y) {
  if (mouse_down_) SetPressed(x >= 0 && y >= 0 && x < Width && y < Height);
}

void TButton::MouseUp(int x, int y) {
  if (!mouse_down_) return;
  mouse_down_ = false;
  const bool inside = x >= 0 && y >= 0 && x < Width && y < Height;
  SetPressed(false);
  if (inside) Click();
}

void TButton::DoExit() {
  mouse_down_ = false;
  space_down_ = false;
  SetPressed(false);
}

void TButton::Paint(TBitmap& bitmap) {
  bitmap.Fill(0, 0, Width, Height, clBtnFace);
  // The focused button, or the default one while no button has the focus, wears a black frame.
  const TForm* form = Parent();
  const bool framed =
      Enabled() && (Focused() || (Default && !dynamic_cast<const TButton*>(form ? form->ActiveControl() : nullptr)));
  int x1 = 0, y1 = 0, x2 = Width, y2 = Height;
  if (framed) {
    DrawFrame(bitmap, x1, y1, x2, y2, cl3DDkShadow, cl3DDkShadow);
    ++x1, ++y1, --x2, --y2;
  }
  if (pressed_)
    DrawFrame(bitmap, x1, y1, x2, y2, clBtnShadow, clBtnShadow);
  else
    DrawEdges(bitmap, x1, y1, x2, y2, clBtnHighlight, cl3DDkShadow, cl3DLight, clBtnShadow);

  TCanvas& canvas = PrepareCanvas(bitmap);
  const int offset = pressed_ ? 1 : 0;
  const int x = (Width - canvas.TextWidth(caption_)) / 2 + offset;
  const int y = (Height - LineHeight(canvas)) / 2 + offset;
  canvas.Font.Color = clBtnText;
  DrawCaption(canvas, x, y, caption_, Enabled());
  if (Focused() && Enabled()) DrawFocusRect(bitmap, 4, 4, Width - 4, Height - 4);
}

}  // namespace app
