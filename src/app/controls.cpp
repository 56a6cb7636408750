#include "app/controls.h"

#include "app/forms.h"

namespace app {

TControl::TControl(TComponent* AOwner) : TComponent(AOwner) {}

TControl::~TControl() { SetParent(nullptr); }

void TControl::SetParent(TForm* parent) {
  if (parent == parent_) return;
  if (parent_) parent_->RemoveControl(this);
  parent_ = parent;
  if (parent_) parent_->InsertControl(this);
}

void TControl::SetBounds(int left, int top, int width, int height) {
  Left = left;
  Top = top;
  Width = width;
  Height = height;
  Invalidate();
}

void TControl::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  if (parent_) parent_->ControlStateChanged(this);
  Invalidate();
}

void TControl::SetVisible(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  if (parent_) parent_->ControlStateChanged(this);
  Invalidate();
}

bool TControl::Focused() const { return parent_ && parent_->ActiveControl() == this; }

void TControl::SetFocus() {
  if (parent_) parent_->SetActiveControl(this, true);
}

void TControl::Click() {
  if (OnClick) OnClick(this);
}

void TControl::Invalidate() {
  if (parent_) parent_->Invalidate();
}

void TControl::PaintOn(TBitmap& form_picture) {
  if (Width <= 0 || Height <= 0) return;
  picture_.SetSize(Width, Height);
  Paint(picture_);
  picture_.DrawOn(form_picture, Left, Top);
}

TCanvas& TControl::PrepareCanvas(TBitmap& bitmap) const {
  TCanvas& canvas = bitmap.Canvas();
  if (parent_) canvas.Font = parent_->Font;
  canvas.Brush.Style = bsClear;
  return canvas;
}

void TControl::KeyDown(std::uint16_t&, TShiftState) {}
void TControl::KeyUp(std::uint16_t&, TShiftState) {}
void TControl::TextInput(const std::string&) {}
void TControl::TextEditing(const std::string&, int) {}
void TControl::MouseDown(int, int, TShiftState) {}
void TControl::MouseMove(int, int) {}
void TControl::MouseUp(int, int) {}
void TControl::DoEnter(bool) {}
void TControl::DoExit() {}

void DrawFrame(TBitmap& bitmap, int x1, int y1, int x2, int y2, TColor top_left, TColor bottom_right) {
  if (x2 - x1 < 1 || y2 - y1 < 1) return;
  bitmap.Fill(x1, y1, x2, y1 + 1, top_left);
  bitmap.Fill(x1, y1, x1 + 1, y2, top_left);
  bitmap.Fill(x1, y2 - 1, x2, y2, bottom_right);
  bitmap.Fill(x2 - 1, y1, x2, y2, bottom_right);
}

void DrawEdges(TBitmap& bitmap, int x1, int y1, int x2, int y2, TColor outer_top_left, TColor outer_bottom_right,
               TColor inner_top_left, TColor inner_bottom_right) {
  DrawFrame(bitmap, x1, y1, x2, y2, outer_top_left, outer_bottom_right);
  DrawFrame(bitmap, x1 + 1, y1 + 1, x2 - 1, y2 - 1, inner_top_left, inner_bottom_right);
}

void DrawFocusRect(TBitmap& bitmap, int x1, int y1, int x2, int y2) {
  // Every other pixel black, as the desktop's focus rectangle.
  for (int x = x1; x < x2; ++x)
    if ((x - x1) % 2 == 0) {
      bitmap.Fill(x, y1, x + 1, y1 + 1, clBlack);
      bitmap.Fill(x, y2 - 1, x + 1, y2, clBlack);
    }
  for (int y = y1; y < y2; ++y)
    if ((y - y1) % 2 == 0) {
      bitmap.Fill(x1, y, x1 + 1, y + 1, clBlack);
      bitmap.Fill(x2 - 1, y, x2, y + 1, clBlack);
    }
}

bool TControl::CaretArea(int&, int&, int&, int&) const { return false; }

}  // namespace app
