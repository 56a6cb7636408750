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
  kVkRight = 0x27, kVkDown = 0x28, kVkInsert = 0x2D, kVkDelete = 0x2E, kVkV = 0x56,
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

TEdit::TEdit(TComponent* AOwner) : TControl(AOwner) {
  TabStop = true;
  Width = 121;
  Height = 21;
}

std::string TEdit::Text() const {
  std::string text;
  for (const std::string& c : chars_) text += c;
  return text;
}

void TEdit::SetText(const std::string& text) {
  // Text set from a file or by the program follows the rule for typed text, or a control byte of
  // a hand-edited hisc.dat would reach the wire.
  chars_.clear();
  for (std::string& c : Cp932Chars(text)) {
    if (MaxLength > 0 && static_cast<int>(chars_.size()) >= MaxLength) break;
    auto utf8 = platform::Cp932ToUtf8Checked(c);
    if (!utf8 || utf8->empty()) continue;  // not a CP932 character
    auto points = CodePoints(*utf8);
    if (points.size() != 1 || IsControl(points[0].first)) continue;
    chars_.push_back(std::move(c));
  }
  caret_ = 0;
  scroll_ = 0;
  Changed();
}

void TEdit::SetSelStart(int pos) {
  caret_ = std::clamp(pos, 0, static_cast<int>(chars_.size()));
  Invalidate();
}

void TEdit::Changed() {
  Invalidate();
  if (OnChange) OnChange(this);
}

void TEdit::InsertText(const std::string& utf8) {
  bool changed = false;
  for (auto& [cp, bytes] : CodePoints(utf8)) {
    if (IsControl(cp)) continue;
    auto cp932 = platform::Utf8ToCp932(bytes);
    if (!cp932 || cp932->empty()) continue;  // CP932 cannot hold it
    if (MaxLength > 0 && static_cast<int>(chars_.size()) >= MaxLength) break;
    chars_.insert(chars_.begin() + caret_, *cp932);
    ++caret_;
    changed = true;
  }
  if (changed) Changed();
}

void TEdit::PasteFromClipboard() {
  if (!Parent()) return;
  std::string text = Parent()->App().Platform().ClipboardText();
  // One line only: the edit holds a single line.
  text = text.substr(0, text.find_first_of("\r\n"));
  InsertText(text);
}

void TEdit::KeyDown(std::uint16_t& Key, TShiftState Shift) {
  // While the input method composes, the keys are its own.
  if (!composition_.empty()) return;
  const int count = static_cast<int>(chars_.size());
  const bool ctrl = (Shift & ssCtrl) != 0;
  switch (Key) {
    case kVkLeft:
    case kVkUp:
      SetSelStart(caret_ - 1);
      break;
    case kVkRight:
    case kVkDown:
      SetSelStart(caret_ + 1);
      break;
    case kVkHome:
      SetSelStart(0);
      break;
    case kVkEnd:
      SetSelStart(count);
      break;
    case kVkBack:
      if (caret_ > 0) {
        chars_.erase(chars_.begin() + --caret_);
        Changed();
      }
      break;
    case kVkDelete:
      if (Shift & ssShift) return;  // cut, and there is no selection to cut
      if (caret_ < count) {
        chars_.erase(chars_.begin() + caret_);
        Changed();
      }
      break;
    case kVkV:
      if (!ctrl) return;
      PasteFromClipboard();
      break;
    case kVkInsert:
      if (!(Shift & ssShift)) return;
      PasteFromClipboard();
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

int TEdit::TextX(int pos) {
  std::string before;
  for (int i = 0; i < pos && i < static_cast<int>(chars_.size()); ++i) before += chars_[i];
  return Parent() ? Parent()->Canvas().TextWidth(before) : 0;
}

void TEdit::MouseDown(int x, int) {
  // The caret goes to the character boundary nearest the click.
  const int target = x - kEditBorder - kEditPadding + scroll_;
  int best = 0, best_distance = std::abs(target);
  for (int i = 1; i <= static_cast<int>(chars_.size()); ++i) {
    const int distance = std::abs(TextX(i) - target);
    if (distance < best_distance) {
      best = i;
      best_distance = distance;
    }
  }
  SetSelStart(best);
}

void TEdit::DoEnter(bool by_keyboard) {
  if (by_keyboard) caret_ = static_cast<int>(chars_.size());
  Invalidate();
}

void TEdit::DoExit() {
  composition_.clear();
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
  canvas.Font.Color = Enabled() ? clWindowText : clGrayText;
  const int line_height = LineHeight(canvas);
  const int text_top = std::max((inner_height - line_height) / 2, 0);
  const int area = std::max(inner_width - 2 * kEditPadding, 1);

  // The composition shows where the caret is, the caret inside it where the input method says.
  const std::string before = [&] {
    std::string s;
    for (int i = 0; i < caret_; ++i) s += chars_[i];
    return s;
  }();
  std::string after;
  for (int i = caret_; i < static_cast<int>(chars_.size()); ++i) after += chars_[i];
  const std::string composed = Cp932ForDisplay(composition_);
  std::string composed_head;
  {
    auto points = CodePoints(composition_);
    std::string head_utf8;
    for (int i = 0; i < composition_cursor_ && i < static_cast<int>(points.size()); ++i) head_utf8 += points[i].second;
    composed_head = Cp932ForDisplay(head_utf8);
  }
  const int before_width = canvas.TextWidth(before);
  const int composed_width = canvas.TextWidth(composed);
  const int caret_x = before_width + (composition_.empty() ? 0 : canvas.TextWidth(composed_head));
  const int total = before_width + composed_width + canvas.TextWidth(after);

  // Keep the caret in view, and no empty space on the right while text is scrolled out.
  if (caret_x - scroll_ > area - 1) scroll_ = caret_x - (area - 1);
  if (caret_x < scroll_) scroll_ = caret_x;
  if (scroll_ > 0 && total - scroll_ < area - 1) scroll_ = std::max(total - (area - 1), 0);

  const int x0 = kEditPadding - scroll_;
  canvas.TextOut(x0, text_top, before + composed + after);
  if (!composition_.empty())
    inner.Fill(x0 + before_width, text_top + line_height, x0 + before_width + composed_width,
               text_top + line_height + 1, clWindowText);
  if (Focused() && Enabled()) inner.Fill(x0 + caret_x, text_top, x0 + caret_x + 1, text_top + line_height, clWindowText);
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

void TButton::MouseDown(int, int) {
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
