// The display component: its life cycle, presents, full-screen modes, notifications, palette
// and the recovery of lost surfaces, on the headless screen.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/sjis.h"
#include "media/dxdraw.h"
#include "support/display_rig.h"

namespace {

using media::Opt;
using testing_support::DisplayRig;

void Record(void* data, media::TCustomDXDraw*, media::TDXDrawNotifyType type) {
  static_cast<std::vector<int>*>(data)->push_back(type);
}

TEST(DXDraw, DrawsAndPresentsOnlyWhileInitialisedAndOutsideItsOwnInitialisation) {
  DisplayRig rig;
  EXPECT_FALSE(rig.draw->ReadyToDraw());
  rig.draw->Present();
  EXPECT_EQ(rig.Screen().Shows(), 0);

  bool ready_inside = true;
  int shows_inside = -1;
  rig.draw->OnInitialize = [&](app::TObject*) {
    ready_inside = rig.draw->ReadyToDraw();
    const int before = rig.Screen().Shows();
    rig.draw->Present();
    shows_inside = rig.Screen().Shows() - before;
  };
  rig.form->Show();  // the first showing initialises the display
  ASSERT_TRUE(rig.draw->Initialized());
  EXPECT_FALSE(ready_inside);
  EXPECT_EQ(shows_inside, 0);

  EXPECT_TRUE(rig.draw->ReadyToDraw());
  const int before = rig.Screen().Shows();
  rig.draw->Present();
  EXPECT_EQ(rig.Screen().Shows(), before + 1);
  EXPECT_EQ(rig.platform.VerticalBlankWaits(), 1);

  rig.draw->Finalize();
  EXPECT_FALSE(rig.draw->ReadyToDraw());
  rig.draw->Present();
  EXPECT_EQ(rig.Screen().Shows(), before + 1);
}

TEST(DXDraw, FinaliseFiresOnlyWhatInitialisationFired) {
  DisplayRig rig;
  int finalized = 0;
  rig.draw->OnFinalize = [&](app::TObject*) { ++finalized; };
  rig.draw->Finalize();  // never initialised
  EXPECT_EQ(finalized, 0);

  // A failure before OnInitialize: the display is taken down again, without OnFinalize.
  rig.draw->OnInitializing = [](app::TObject*) { throw app::Exception("no"); };
  EXPECT_THROW(rig.draw->Initialize(), app::Exception);
  EXPECT_FALSE(rig.draw->Initialized());
  EXPECT_EQ(rig.draw->DDraw(), nullptr);
  EXPECT_EQ(finalized, 0);

  rig.draw->OnInitializing = nullptr;
  rig.draw->Initialize();
  rig.draw->Finalize();
  rig.draw->Finalize();
  EXPECT_EQ(finalized, 1);
}

TEST(DXDraw, EffectiveOptionsFollowTheRules) {
  DisplayRig rig;
  // Windowed: the full-screen and 3D options drop out, so do hardware and flipping.
  EXPECT_EQ(rig.draw->NowOptions(), Opt(media::doWaitVBlank) | Opt(media::doStretch) | Opt(media::doCenter));
  rig.FullScreen(true);
  EXPECT_EQ(rig.draw->NowOptions(), Opt(media::doFullScreen) | Opt(media::doAllowReboot) | Opt(media::doWaitVBlank) |
                                        Opt(media::doStretch) | Opt(media::doCenter));
  rig.FullScreen(false);
  rig.draw->Initialize();
  // While initialised only the vertical-blank wait, stretch and centre change at once.
  rig.draw->SetOptions(Opt(media::doFullScreen) | Opt(media::doCenter) | Opt(media::doFlip));
  EXPECT_EQ(rig.draw->NowOptions(), Opt(media::doCenter));
  EXPECT_EQ(rig.Screen().FullScreenWindow(), 0u);
  rig.draw->Initialize();
  EXPECT_TRUE(rig.draw->NowOptions() & Opt(media::doFullScreen));
  EXPECT_NE(rig.Screen().FullScreenWindow(), 0u);
}

// Each back-surface pixel holds its own position, so a shown pixel tells where it came from.
void MarkBackSurface(media::TDXDraw* draw) {
  platform::PixelBuffer b;
  ASSERT_TRUE(draw->Surface()->Lock(b));
  for (int y = 0; y < b.height; ++y)
    for (int x = 0; x < b.width; ++x)
      reinterpret_cast<std::uint32_t*>(b.pixels + y * b.pitch)[x] = 0x800000u | static_cast<std::uint32_t>(y << 9 | x);
  draw->Surface()->Unlock();
}

std::uint32_t Mark(int x, int y) { return 0x800000u | static_cast<std::uint32_t>(y << 9 | x); }

TEST(DXDraw, PresentStretchesOrCentresTheBackSurfaceInTheWindow) {
  struct Case {
    const char* name;
    media::TDXDrawOptions options;
    int client_width, client_height;
    int shown_x, shown_y;  // a window pixel
    std::uint32_t expected;  // what it shows
  };
  const Case cases[] = {
      {"stretch fills a larger window", Opt(media::doStretch) | Opt(media::doCenter), 330, 250, 329, 249, Mark(319, 239)},
      {"stretch at the same size", Opt(media::doStretch), 320, 240, 17, 33, Mark(17, 33)},
      {"centred in a larger window", Opt(media::doCenter), 330, 250, 5, 5, Mark(0, 0)},
      {"centred leaves a border", Opt(media::doCenter), 330, 250, 4, 4, 0},
      {"centred in a smaller window", Opt(media::doCenter), 300, 200, 0, 0, Mark(10, 20)},
      {"neither: top left", 0, 330, 250, 0, 0, Mark(0, 0)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DisplayRig rig;
    rig.form->SetClientSize(c.client_width, c.client_height);
    rig.draw->SetOptions(c.options);
    rig.form->Show();
    ASSERT_TRUE(rig.draw->ReadyToDraw());
    MarkBackSurface(rig.draw);
    rig.draw->Present();
    EXPECT_EQ(rig.Screen().ShownWidth(), c.client_width);
    EXPECT_EQ(rig.Screen().ShownPixel(c.shown_x, c.shown_y), c.expected);
  }
}

TEST(DXDraw, FullScreenTakesTheAskedModeAndLeavingItRestoresTheDesktop) {
  DisplayRig rig;
  rig.FullScreen(true);
  rig.form->Show();
  ASSERT_TRUE(rig.draw->ReadyToDraw());
  EXPECT_EQ(rig.Screen().FullScreenWindow(), rig.form->Handle().Id());
  EXPECT_EQ(rig.Screen().FullScreenMode(), (platform::DisplayMode{320, 240, 8}));
  EXPECT_EQ(rig.draw->Surface()->BitCount(), 8);
  // Fill with 0 is palette index 0.
  rig.draw->Surface()->Fill(0);
  EXPECT_EQ(rig.draw->Surface()->Pixels(100, 100), 0u);
  rig.draw->Finalize();
  EXPECT_EQ(rig.Screen().FullScreenWindow(), 0u);
}

TEST(DXDraw, ModeSearchFallsBackAndWritesTheModeBack) {
  struct Case {
    const char* name;
    std::vector<platform::DisplayMode> modes;
    platform::DisplayMode expected;
  };
  const Case cases[] = {
      {"the smallest 4:3 mode at 8 bits",
       {{1024, 768, 8}, {640, 480, 8}, {640, 400, 8}, {800, 600, 8}, {320, 240, 32}, {1024, 768, 32}},
       {640, 480, 8}},
      {"any mode of at least that size when none is 4:3",
       {{1024, 768, 32}, {720, 400, 8}, {640, 400, 8}, {320, 200, 8}},
       {640, 400, 8}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DisplayRig rig;
    rig.Screen().SetModes(c.modes);
    rig.FullScreen(true);
    rig.draw->Initialize();
    EXPECT_EQ(rig.Screen().FullScreenMode(), c.expected);
    EXPECT_EQ(rig.draw->Display.Width, c.expected.width);
    EXPECT_EQ(rig.draw->Display.Height, c.expected.height);
    EXPECT_EQ(rig.draw->Display.BitCount(), c.expected.bits_per_pixel);

    // The next switch asks for the mode it got, even where the first choice is back.
    rig.draw->Finalize();
    std::vector<platform::DisplayMode> all = c.modes;
    all.push_back({320, 240, 8});
    rig.Screen().SetModes(all);
    rig.draw->Initialize();
    EXPECT_EQ(rig.Screen().FullScreenMode(), c.expected);
  }
}

TEST(DXDraw, NoFittingModeFailsWithTheRequestedModeNamed) {
  DisplayRig rig;
  rig.Screen().SetModes({{1024, 768, 32}, {640, 480, 16}});
  rig.FullScreen(true);
  try {
    rig.draw->Initialize();
    FAIL() << "no error";
  } catch (const media::EDXDrawError& e) {
    EXPECT_EQ(e.Message(), app::Sjis(u8"ディスプレイモードを変更できません (320x240 8bit)"));
  }
  EXPECT_FALSE(rig.draw->Initialized());
  EXPECT_EQ(rig.draw->DDraw(), nullptr);
}

TEST(DXDraw, InitialisationFailuresNameTheirCause) {
  {
    DisplayRig rig;
    rig.platform.SetLibraryMissing("ddraw.dll");
    try {
      rig.draw->Initialize();
      FAIL() << "no error";
    } catch (const app::Exception& e) {
      EXPECT_EQ(e.Message(), app::Sjis(u8"DDraw.dll を読み込めません"));
    }
    EXPECT_FALSE(rig.draw->Initialized());
  }
  {
    platform::HeadlessPlatform platform;
    app::TApplication app(platform);
    media::TDXDraw lonely(&app);  // not on a form
    try {
      lonely.Initialize();
      FAIL() << "no error";
    } catch (const media::EDXDrawError& e) {
      EXPECT_EQ(e.Message(), app::Sjis(u8"フォームが見つかりません"));
    }
  }
  {
    DisplayRig rig;
    try {
      rig.draw->Display.SetBitCount(12);
      FAIL() << "no error";
    } catch (const media::EDirectDrawError& e) {
      EXPECT_EQ(e.Message(), app::Sjis(u8"8, 16, 24, 32 のいずれかの値でなければなりません"));
    }
    EXPECT_EQ(rig.draw->Display.BitCount(), 8);
  }
}

// A dependent that notes what it is told, and in which turn among its peers.
struct Dependent {
  std::vector<int> types;
  int id;
  std::vector<int>* turns;
  static void Notify(void* data, media::TCustomDXDraw*, media::TDXDrawNotifyType t) {
    auto* d = static_cast<Dependent*>(data);
    d->types.push_back(t);
    d->turns->push_back(d->id);
  }
};

TEST(DXDraw, NotifiesDependentsInOrderLastRegisteredFirst) {
  std::vector<int> turns;
  Dependent first{{}, 1, &turns}, second{{}, 2, &turns};
  DisplayRig rig;  // after the dependents: it tells them of its end
  rig.draw->RegisterNotify(Dependent::Notify, &first);
  rig.draw->RegisterNotify(Dependent::Notify, &second);
  EXPECT_EQ(first.types, (std::vector<int>{media::dnSetSurfaceSize}));
  first.types.clear(), second.types.clear(), turns.clear();

  rig.draw->Initialize();
  const std::vector<int> init = {media::dnInitializing, media::dnSetSurfaceSize, media::dnInitialize,
                                 media::dnInitializeSurface, media::dnRestore};
  EXPECT_EQ(first.types, init);
  EXPECT_EQ(second.types, init);
  EXPECT_EQ(turns[0], 2);
  EXPECT_EQ(turns[1], 1);
  first.types.clear();

  rig.draw->Finalize();
  EXPECT_EQ(first.types, (std::vector<int>{media::dnFinalizeSurface, media::dnFinalize}));

  // Unregistering twice is harmless; an initialised display says goodbye with dnFinalize.
  rig.draw->Initialize();
  first.types.clear();
  rig.draw->UnregisterNotify(Dependent::Notify, &first);
  rig.draw->UnregisterNotify(Dependent::Notify, &first);
  EXPECT_EQ(first.types, (std::vector<int>{media::dnFinalize}));
}

TEST(DXDraw, ADependentJoiningLateIsBroughtUpToDate) {
  std::vector<int> late, during;
  DisplayRig rig;
  rig.draw->Initialize();
  rig.draw->RegisterNotify(Record, &late);
  EXPECT_EQ(late, (std::vector<int>{media::dnSetSurfaceSize, media::dnInitialize, media::dnRestore}));

  // Joining from inside the initialisation: the restore that follows brings dnRestore.
  rig.draw->OnInitialize = [&](app::TObject*) {
    rig.draw->RegisterNotify(Record, &during);
    EXPECT_EQ(during, (std::vector<int>{media::dnSetSurfaceSize, media::dnInitialize}));
  };
  rig.draw->Initialize();
  EXPECT_EQ(during.back(), media::dnRestore);
}

TEST(DXDraw, DestroyingTheDisplayTellsItsDependents) {
  std::vector<int> log;
  platform::HeadlessPlatform platform;
  app::TApplication app(platform);
  auto* form = new media::TDXForm(&app);
  auto* draw = new media::TDXDraw(form);
  draw->RegisterNotify(Record, &log);
  app::Free(draw);
  EXPECT_EQ(log.back(), media::dnDestroying);
}

media::TColorTable Gradient() {
  media::TColorTable t{};
  for (int i = 0; i < 256; ++i)
    t[static_cast<std::size_t>(i)] = {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i), 7, 0};
  return t;
}

TEST(DXDraw, PaletteKeepsTheTwentyStaticColoursUnlessAll256AreAllowed) {
  for (bool allow256 : {false, true}) {
    SCOPED_TRACE(allow256 ? "all 256" : "static colours kept");
    DisplayRig rig;
    rig.draw->ColorTable = Gradient();
    rig.draw->RestoreColorTable = rig.draw->ColorTable;
    rig.FullScreen(true);
    if (allow256) rig.draw->SetOptions(rig.draw->Options() | Opt(media::doAllowPalette256));
    rig.draw->Initialize();
    const auto& entries = rig.draw->Palette()->IPalette()->Entries();
    const auto& system = platform::StaticSystemPalette();
    for (int i : {0, 5, 9, 10, 128, 245, 246, 250, 255}) {
      const auto& q = rig.draw->ColorTable[static_cast<std::size_t>(i)];
      const bool reserved = !allow256 && (i < 10 || i >= 246);
      EXPECT_EQ(entries[static_cast<std::size_t>(i)], reserved ? system[static_cast<std::size_t>(i)] : media::RgbOf(q))
          << "entry " << i;
    }
  }
}

TEST(DXDraw, LostPrimaryIsRestoredWithTheRestorePaletteThenTheColourTable) {
  DisplayRig rig;
  // The restore palette has pure red at 100, the game's palette at 200.
  media::TColorTable restore{}, game{};
  restore[100] = {0, 0, 255, 0};
  game[200] = {0, 0, 255, 0};
  rig.draw->RestoreColorTable = restore;
  rig.draw->ColorTable = game;
  rig.FullScreen(true);

  std::vector<int> palette_seen;  // the red entry in force while dependents rebuild
  int restores = 0;
  rig.draw->OnRestoreSurface = [&](app::TObject*) {
    ++restores;
    const auto& entries = rig.draw->Palette()->IPalette()->Entries();
    palette_seen.push_back(entries[100] == 0xFF0000 ? 100 : entries[200] == 0xFF0000 ? 200 : -1);
  };
  rig.form->Show();
  ASSERT_TRUE(rig.draw->ReadyToDraw());
  EXPECT_EQ(restores, 1);

  rig.Screen().LoseSurfaces();
  EXPECT_TRUE(rig.draw->Primary()->IsLost());
  EXPECT_TRUE(rig.draw->ReadyToDraw());  // restores on the way
  EXPECT_FALSE(rig.draw->Primary()->IsLost());
  EXPECT_EQ(restores, 2);
  EXPECT_EQ(palette_seen, (std::vector<int>{100, 100}));
  EXPECT_EQ(rig.draw->Palette()->IPalette()->Entries()[200], 0xFF0000u);
}

TEST(DXDraw, PaintPresentsWithoutWaitingForTheVerticalBlank) {
  DisplayRig rig;
  rig.form->Show();
  const int shows = rig.Screen().Shows();
  platform::Event e;
  e.type = platform::EventType::Exposed;
  e.window = rig.form->Handle().Id();
  rig.platform.PostEvent(e);
  rig.app.ProcessMessages();
  EXPECT_EQ(rig.Screen().Shows(), shows + 1);
  EXPECT_EQ(rig.platform.VerticalBlankWaits(), 0);
}

TEST(DXForm, RestoresOnlyAStoredPlacementAndOnlyOnce) {
  DisplayRig rig;
  rig.form->Show();
  platform::Window& w = rig.form->Handle();
  rig.form->RestoreWindowPlacement();  // nothing stored: nothing happens
  const platform::WindowPlacement start = w.Placement();
  rig.form->StoreWindowPlacement();
  w.SetPlacement({0, 0, 1024, 768, false});
  rig.form->RestoreWindowPlacement();
  EXPECT_EQ(w.Placement().x, start.x);
  EXPECT_EQ(w.Placement().width, start.width);
  EXPECT_TRUE(w.Placement().bordered);
  w.SetPlacement({1, 2, 3, 4, false});
  rig.form->RestoreWindowPlacement();
  EXPECT_EQ(w.Placement().x, 1);
}

}  // namespace
