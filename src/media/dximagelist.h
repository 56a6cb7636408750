#pragma once
// The image list: named pictures kept with the form, turned into surfaces of the display while
// it is initialised and drawn onto the back surface with their transparent colour left out.
// Its picture collection also builds the colour table from which the display's palette comes.
#include <memory>
#include <string>
#include <vector>

#include "app/classes.h"
#include "app/graphics.h"
#include "media/dib.h"
#include "media/directdraw.h"
#include "media/dxdraw.h"
#include "media/hash_collection.h"

namespace media {

class TPictureCollection;
class TCustomDXImageList;

class EPictureCollectionError : public app::Exception {
 public:
  using app::Exception::Exception;
};

struct TPictureCollectionItemPattern {
  TRect Rect;
  TDirectDrawSurface* Surface = nullptr;  // owned by the item
};

class TPictureCollectionItem : public THashCollectionItem {
 public:
  explicit TPictureCollectionItem(TPictureCollection* Collection);
  ~TPictureCollectionItem() override;

  int PatternHeight = 0;
  int PatternWidth = 0;
  int SkipHeight = 0;
  int SkipWidth = 0;
  bool SystemMemory = false;
  bool Transparent = true;
  TPicture Picture;

  app::TColor TransparentColor() const { return transparent_color_; }
  // Sets the colour and the colour key of every surface already made from it.
  void SetTransparentColor(app::TColor Value);

  TPictureCollection* Pictures() const;
  bool Initialized() const { return initialized_; }
  int PatternCount() const { return static_cast<int>(patterns_.size()); }
  const TPictureCollectionItemPattern& Pattern(int index) const { return patterns_.at(static_cast<std::size_t>(index)); }

  // Draws a pattern onto a surface at (X, Y); nothing before the item is initialised or for a
  // pattern it does not have.
  void Draw(TDirectDrawSurface* Dest, int X, int Y, int PatternIndex);

  // Copies the patterns' and transparency settings and the picture; rebuilds the surfaces of
  // an initialised item.
  void Assign(const TPictureCollectionItem& Source);

  void Initialize();
  void Finalize();
  // Rebuilds the item's surfaces from its picture.
  void Restore();

 private:
  void ClearSurfaces();
  TDirectDrawSurface* MakeSurface(const TGraphic& graphic, const TRect& rect);

  app::TColor transparent_color_ = app::clBlack;
  bool initialized_ = false;
  std::vector<TPictureCollectionItemPattern> patterns_;
  std::vector<std::unique_ptr<TDirectDrawSurface>> surfaces_;
};

class TPictureCollection : public THashCollection {
 public:
  explicit TPictureCollection(TCustomDXImageList* AOwner) : owner_(AOwner) {}
  ~TPictureCollection() override;

  TCustomDXImageList* Owner() const { return owner_; }
  TCustomDXDraw* DXDraw() const { return dxdraw_; }
  TPictureCollectionItem* Items(int Index) const { return static_cast<TPictureCollectionItem*>(GetItem(Index)); }
  TPictureCollectionItem* Add() { return new TPictureCollectionItem(this); }

  TColorTable ColorTable{};
  // Builds ColorTable from the 16 fixed colours and the pictures' colours; returns how many
  // entries are in use.
  int BuildColorTable();

  // Display notifications.
  void Initialize(TCustomDXDraw* DXDraw);
  void Finalize();
  void Restore();

 private:
  TCustomDXImageList* owner_;
  TCustomDXDraw* dxdraw_ = nullptr;
};

class TCustomDXImageList : public app::TComponent {
 public:
  explicit TCustomDXImageList(app::TComponent* AOwner);
  ~TCustomDXImageList() override;

  TCustomDXDraw* DXDraw() const { return dxdraw_; }
  // Leaves the old display's notifications and joins the new one's.
  void SetDXDraw(TCustomDXDraw* Value);
  TPictureCollection Items;

  void Notification(app::TComponent* AComponent, app::TOperation Operation) override;

 private:
  static void DXDrawNotify(void* Data, TCustomDXDraw* Sender, TDXDrawNotifyType NotifyType);

  TCustomDXDraw* dxdraw_ = nullptr;
};

class TDXImageList : public TCustomDXImageList {
 public:
  using TCustomDXImageList::TCustomDXImageList;
};

}  // namespace media
