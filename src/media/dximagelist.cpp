#include "media/dximagelist.h"

#include <array>

#include "app/sjis.h"

namespace media {

// --- TPictureCollectionItem ---

TPictureCollectionItem::TPictureCollectionItem(TPictureCollection* Collection) : THashCollectionItem(Collection) {}

TPictureCollectionItem::~TPictureCollectionItem() { ClearSurfaces(); }

TPictureCollection* TPictureCollectionItem::Pictures() const { return static_cast<TPictureCollection*>(Collection()); }

void TPictureCollectionItem::SetTransparentColor(app::TColor Value) {
  transparent_color_ = Value;
  for (auto& surface : surfaces_) {
    try {
      surface->SetTransparentColor(surface->DeviceColorOf(Value));
    } catch (const std::exception&) {
      // A surface that cannot take the key keeps its old one; the others still change.
    }
  }
}

void TPictureCollectionItem::Draw(TDirectDrawSurface* Dest, int X, int Y, int PatternIndex) {
  if (!Dest || !initialized_ || PatternIndex < 0 || PatternIndex >= PatternCount()) return;
  const TPictureCollectionItemPattern& p = patterns_[static_cast<std::size_t>(PatternIndex)];
  Dest->Draw(X, Y, p.Rect, p.Surface, Transparent);
}

void TPictureCollectionItem::Assign(const TPictureCollectionItem& Source) {
  if (&Source == this) return;
  PatternHeight = Source.PatternHeight;
  PatternWidth = Source.PatternWidth;
  SkipHeight = Source.SkipHeight;
  SkipWidth = Source.SkipWidth;
  SystemMemory = Source.SystemMemory;
  Transparent = Source.Transparent;
  transparent_color_ = Source.transparent_color_;
  Picture = Source.Picture;
  if (initialized_) Restore();
}

void TPictureCollectionItem::Initialize() {
  Finalize();
  TCustomDXDraw* dxdraw = Pictures() ? Pictures()->DXDraw() : nullptr;
  initialized_ = dxdraw && dxdraw->Initialized();
}

void TPictureCollectionItem::Finalize() {
  ClearSurfaces();
  initialized_ = false;
}

void TPictureCollectionItem::ClearSurfaces() {
  patterns_.clear();
  surfaces_.clear();
}

TDirectDrawSurface* TPictureCollectionItem::MakeSurface(const TGraphic& graphic, const TRect& rect) {
  surfaces_.push_back(std::make_unique<TDirectDrawSurface>(Pictures()->DXDraw()->DDraw()));
  TDirectDrawSurface* s = surfaces_.back().get();
  s->SystemMemory = SystemMemory;
  s->LoadPictureRect(graphic, 0, 0, rect);
  // The key is what the transparent colour became on this surface, so a background of that
  // colour drops out whatever the screen's format.
  s->SetTransparentColor(s->DeviceColorOf(transparent_color_));
  return s;
}

void TPictureCollectionItem::Restore() {
  const TGraphic* graphic = Picture.Graphic();
  if (!graphic) return;
  if (!initialized_) {
    TCustomDXDraw* dxdraw = Pictures() ? Pictures()->DXDraw() : nullptr;
    if (dxdraw && dxdraw->Initialized()) Initialize();
    if (!initialized_) return;
  }
  ClearSurfaces();
  const int pw = graphic->Width(), ph = graphic->Height();
  const int w = PatternWidth > 0 ? PatternWidth : pw;
  const int h = PatternHeight > 0 ? PatternHeight : ph;
  if (w == pw && h == ph) {
    const TRect whole{0, 0, pw, ph};
    patterns_.push_back({whole, MakeSurface(*graphic, whole)});
    return;
  }
  // A grid of patterns, row by row from the top left, all on one surface of the picture.
  const int step_x = w + SkipWidth, step_y = h + SkipHeight;
  if (w > pw || h > ph || step_x <= 0 || step_y <= 0) return;
  const int columns = (pw + SkipWidth) / step_x;
  const int rows = (ph + SkipHeight) / step_y;
  TDirectDrawSurface* surface = MakeSurface(*graphic, {0, 0, pw, ph});
  for (int row = 0; row < rows; ++row)
    for (int column = 0; column < columns; ++column) {
      const int x = column * step_x, y = row * step_y;
      patterns_.push_back({{x, y, x + w, y + h}, surface});
    }
}

// --- TPictureCollection ---

TPictureCollection::~TPictureCollection() { Clear(); }

int TPictureCollection::BuildColorTable() {
  std::array<bool, 256> used{};
  ColorTable = {};
  int count = 0;
  struct Fixed {
    int index;
    std::uint8_t r, g, b;
  };
  static constexpr Fixed kFixed[16] = {
      {0, 0, 0, 0},         {1, 128, 0, 0},     {2, 0, 128, 0},     {3, 128, 128, 0},
      {4, 0, 0, 128},       {5, 128, 0, 128},   {6, 0, 128, 128},   {7, 192, 192, 192},
      {248, 128, 128, 128}, {249, 255, 0, 0},   {250, 0, 255, 0},   {251, 255, 255, 0},
      {252, 0, 0, 255},     {253, 255, 0, 255}, {254, 0, 255, 255}, {255, 255, 255, 255},
  };
  for (const Fixed& f : kFixed) {
    ColorTable[static_cast<std::size_t>(f.index)] = {f.b, f.g, f.r, 0};
    used[static_cast<std::size_t>(f.index)] = true;
    ++count;
  }
  auto add = [&](const TRGBQuad& c) {
    for (std::size_t i = 0; i < 256; ++i)
      if (used[i] && ColorTable[i] == c) return;
    for (std::size_t i = 0; i < 256; ++i)
      if (!used[i]) {
        ColorTable[i] = c;
        used[i] = true;
        ++count;
        return;
      }
  };
  for (int i = 0; i < Count(); ++i) {
    // Pictures of more than 8 bits have no palette to give; no other graphic kind exists here.
    if (const auto* dib = dynamic_cast<const TDIB*>(Items(i)->Picture.Graphic()); dib && dib->BitCount() <= 8)
      for (const TRGBQuad& c : dib->ColorTable) add(c);
    if (count >= 256) break;
  }
  return count;
}

void TPictureCollection::Initialize(TCustomDXDraw* DXDraw) {
  Finalize();
  dxdraw_ = DXDraw;
  if (!dxdraw_ || !dxdraw_->Initialized())
    throw EPictureCollectionError(DXMessage(u8"%s を初期化できません", "TPictureCollection"));
  for (int i = 0; i < Count(); ++i) Items(i)->Initialize();
}

void TPictureCollection::Finalize() {
  try {
    for (int i = 0; i < Count(); ++i) Items(i)->Finalize();
  } catch (...) {
    dxdraw_ = nullptr;
    throw;
  }
  dxdraw_ = nullptr;
}

void TPictureCollection::Restore() {
  for (int i = 0; i < Count(); ++i) Items(i)->Restore();
}

// --- TCustomDXImageList ---

TCustomDXImageList::TCustomDXImageList(app::TComponent* AOwner) : app::TComponent(AOwner), Items(this) {}

TCustomDXImageList::~TCustomDXImageList() { SetDXDraw(nullptr); }

void TCustomDXImageList::SetDXDraw(TCustomDXDraw* Value) {
  if (dxdraw_) dxdraw_->UnregisterNotify(&TCustomDXImageList::DXDrawNotify, this);
  dxdraw_ = Value;
  if (dxdraw_) {
    FreeNotification(dxdraw_);
    dxdraw_->RegisterNotify(&TCustomDXImageList::DXDrawNotify, this);
  }
}

void TCustomDXImageList::Notification(app::TComponent* AComponent, app::TOperation Operation) {
  app::TComponent::Notification(AComponent, Operation);
  if (Operation == app::TOperation::opRemove && AComponent == dxdraw_) SetDXDraw(nullptr);
}

void TCustomDXImageList::DXDrawNotify(void* Data, TCustomDXDraw* Sender, TDXDrawNotifyType NotifyType) {
  auto* self = static_cast<TCustomDXImageList*>(Data);
  switch (NotifyType) {
    case dnDestroying: self->SetDXDraw(nullptr); break;
    case dnInitialize: self->Items.Initialize(Sender); break;
    case dnFinalize: self->Items.Finalize(); break;
    case dnRestore: self->Items.Restore(); break;
    default: break;
  }
}

}  // namespace media
