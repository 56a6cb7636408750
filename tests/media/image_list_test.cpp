// The image list: the colour table it builds, its pictures' surfaces over the display's life,
// and drawing them.
#include <gtest/gtest.h>

#include "app/assets.h"
#include "app/sjis.h"
#include "media/dximagelist.h"
#include "support/display_rig.h"

namespace {

using testing_support::DisplayRig;

struct ImageListRig : DisplayRig {
  ImageListRig() {
    list = new media::TDXImageList(form);
    logo = list->Items.Add();
    logo->SetName(app::Sjis(u8"ロゴ"));
    logo->Picture.LoadFromData(app::FindAsset("logo.dib"));
    list->SetDXDraw(draw);
  }
  media::TDXImageList* list;
  media::TPictureCollectionItem* logo;
};

TEST(ImageList, ColourTableOfTheLogo) {
  ImageListRig rig;
  EXPECT_EQ(rig.list->Items.BuildColorTable(), 224);
  const media::TColorTable& t = rig.list->Items.ColorTable;
  EXPECT_EQ(media::RgbOf(t[0]), 0x000000u);
  EXPECT_EQ(media::RgbOf(t[7]), 0xC0C0C0u);
  EXPECT_EQ(media::RgbOf(t[8]), 0x000033u);  // the first cube colour not among the fixed ones
  EXPECT_EQ(media::RgbOf(t[248]), 0x808080u);
  EXPECT_EQ(media::RgbOf(t[255]), 0xFFFFFFu);
  for (std::size_t i = 216; i < 248; ++i) EXPECT_EQ(media::RgbOf(t[i]), 0u) << i;
}

TEST(ImageList, ColourTableWithoutPicturesOrWithOnlyFixedColours) {
  ImageListRig rig;
  rig.logo->Picture.LoadFromData({});
  EXPECT_EQ(rig.list->Items.BuildColorTable(), 16);
  const media::TColorTable fixed = rig.list->Items.ColorTable;
  for (std::size_t i = 8; i < 248; ++i) EXPECT_EQ(fixed[i], media::TRGBQuad{}) << i;
  EXPECT_EQ(media::RgbOf(fixed[249]), 0xFF0000u);

  auto dib = std::make_unique<media::TDIB>();
  dib->SetSize(1, 1, 8);
  dib->ColorTable[3] = {255, 255, 255, 0};
  dib->ColorTable[4] = {0, 128, 0, 0};
  rig.logo->Picture.SetGraphic(std::move(dib));
  EXPECT_EQ(rig.list->Items.BuildColorTable(), 16);
  EXPECT_EQ(rig.list->Items.ColorTable, fixed);
}

bool LogoDrawnAt(media::TDirectDrawSurface* s, int x, int y) {
  // The first row of the name's white top edge.
  for (int i = 0; i < 150; ++i)
    if (s->Pixels(x + i, y + 1) == 0xFFFFFFu) return true;
  return false;
}

TEST(ImageList, DrawsOnlyWhenInitialisedAndOnlyPatternsItHas) {
  ImageListRig rig;
  media::TDirectDrawSurface* back = nullptr;
  rig.logo->Draw(back, 0, 0, 0);  // no surface, no display: nothing
  EXPECT_FALSE(rig.logo->Initialized());

  rig.form->Show();
  ASSERT_TRUE(rig.draw->ReadyToDraw());
  EXPECT_TRUE(rig.logo->Initialized());
  EXPECT_EQ(rig.logo->PatternCount(), 1);
  back = rig.draw->Surface();
  rig.logo->Draw(back, 10, 20, 1);
  EXPECT_FALSE(LogoDrawnAt(back, 10, 20));
  rig.logo->Draw(back, 10, 20, 0);
  EXPECT_TRUE(LogoDrawnAt(back, 10, 20));
  // Black is left out: the background stays.
  back->Fill(0x123456);
  rig.logo->Draw(back, 10, 20, 0);
  EXPECT_EQ(back->Pixels(10, 20), 0x123456u);

  rig.draw->Finalize();
  EXPECT_FALSE(rig.logo->Initialized());
  EXPECT_EQ(rig.logo->PatternCount(), 0);
}

TEST(ImageList, SurfacesComeBackAfterTheScreenLostThem) {
  ImageListRig rig;
  rig.FullScreen(true);
  rig.list->Items.BuildColorTable();
  rig.draw->RestoreColorTable = rig.list->Items.ColorTable;
  rig.draw->ColorTable = rig.draw->RestoreColorTable;
  rig.form->Show();
  ASSERT_TRUE(rig.draw->ReadyToDraw());

  rig.Screen().LoseSurfaces();
  EXPECT_TRUE(rig.logo->Pattern(0).Surface->IsLost());
  ASSERT_TRUE(rig.draw->ReadyToDraw());
  EXPECT_FALSE(rig.logo->Pattern(0).Surface->IsLost());  // rebuilt
  media::TDirectDrawSurface* back = rig.draw->Surface();
  back->Fill(0);
  rig.logo->Draw(back, 0, 0, 0);
  // At 8 bits the picture's colours became the palette's own entries.
  const auto& palette = rig.draw->Palette()->IPalette()->Entries();
  bool white_edge = false;
  for (int x = 0; x < 150; ++x) white_edge |= palette[back->Pixels(x, 1)] == 0xFFFFFFu;
  EXPECT_TRUE(white_edge);
}

TEST(ImageList, PatternGridAndTransparentColour) {
  ImageListRig rig;
  rig.logo->PatternWidth = 40;
  rig.logo->PatternHeight = 10;
  rig.logo->SkipWidth = 5;
  rig.logo->SkipHeight = 1;
  rig.form->Show();
  // 150 holds 3 cells of 40 with 2 gaps of 5; 32 holds 3 rows of 10 with 2 gaps of 1.
  EXPECT_EQ(rig.logo->PatternCount(), 3 * 3);
  EXPECT_EQ(rig.logo->Pattern(4).Rect, (media::TRect{45, 11, 85, 21}));

  // A new transparent colour re-keys the surfaces already made.
  media::TDirectDrawSurface* back = rig.draw->Surface();
  back->Fill(0x123456);
  rig.logo->SetTransparentColor(app::clWhite);
  rig.logo->Draw(back, 0, 0, 0);
  EXPECT_EQ(back->Pixels(0, 0), 0u);  // black is drawn now
}

TEST(ImageList, FollowsItsDisplay) {
  ImageListRig rig;
  rig.form->Show();
  EXPECT_EQ(rig.list->Items.DXDraw(), rig.draw);
  // A collection cannot start on a display that is not initialised.
  media::TDXImageList other(nullptr);
  try {
    other.Items.Initialize(nullptr);
    FAIL() << "no error";
  } catch (const media::EPictureCollectionError& e) {
    EXPECT_EQ(e.Message(), app::Sjis(u8"TPictureCollection を初期化できません"));
  }
  app::Free(rig.draw);
  EXPECT_EQ(rig.list->DXDraw(), nullptr);
  EXPECT_FALSE(rig.logo->Initialized());
}

TEST(HashCollection, NamesHashAlikeWhateverTheirCase) {
  EXPECT_EQ(media::THashCollection::HashOf("Logo"), media::THashCollection::HashOf("LOGO"));
  // L = 4: 4 * 16 + 'g' + 'l'.
  EXPECT_EQ(media::THashCollection::HashOf("logo"), (64 + 'g' + 'l') % 256);
  ImageListRig rig;
  media::TPictureCollectionItem* second = rig.list->Items.Add();
  second->SetName("LOGO2");
  EXPECT_EQ(rig.list->Items.IndexOf("logo2"), 1);
  second->SetName(app::Sjis(u8"ロゴ"));
  EXPECT_EQ(rig.list->Items.IndexOf(app::Sjis(u8"ロゴ")), 0);  // the first of that name
  delete rig.list->Items.Items(0);
  EXPECT_EQ(second->Index(), 0);
  EXPECT_EQ(rig.list->Items.IndexOf(app::Sjis(u8"ロゴ")), 0);
}

}  // namespace
