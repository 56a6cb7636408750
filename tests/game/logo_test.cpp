// The maker logo: its stored picture, the palette the form hands to the display, and the
// animation drawn frame by frame on the back surface, windowed and full screen.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "app/assets.h"
#include "game/unit1.h"
#include "media/dib.h"
#include "support/harness.h"

namespace {

using testing_support::GameHarness;

TEST(Logo, TheToolMakesTheCommittedPicture) {
  testing_support::ScopedTempDir dir;
  const std::filesystem::path out = dir.Path() / "logo.dib";
  const std::string command = std::string(VELKOR_TOOLS_DIR) + "/make_logo " + out.string();
  ASSERT_EQ(std::system(command.c_str()), 0);
  const std::string made = testing_support::ReadFile(out);
  const std::string committed = testing_support::ReadFile(std::string(VELKOR_SOURCE_DIR) + "/assets/logo.dib");
  EXPECT_EQ(made.size(), 5933u);
  EXPECT_TRUE(made == committed);
}

TEST(Logo, RoundsHalvesToEven) {
  const std::pair<double, std::int64_t> cases[] = {
      {0.5, 0}, {1.5, 2}, {2.5, 2}, {-0.5, 0}, {-1.5, -2}, {-2.5, -2}, {2.4999, 2}, {2.5001, 3}, {-7.6, -8}, {3.0, 3},
  };
  for (auto [value, expected] : cases) EXPECT_EQ(game::RoundHalfEven(value), expected) << value;
}

TEST(Logo, CopiesLieOnATurningRay) {
  struct Case {
    std::int32_t angle;
    int copy, x, y;
  };
  const Case cases[] = {
      {0, 1, 85, 80},   {0, 11, 85, 80},     {-5, 3, 85, 80},  {-1, 1, 85, 80},   {64, 1, 149, 80},
      {64, 11, 789, 80}, {8, 1, 87, 88},      {8, 11, 102, 166}, {20, 5, 132, 168}, {128, 1, 85, -48},
      {192, 1, -107, 80}, {240, 1, -7, 302}, {300, 1, 350, 221}, {100, 7, 529, -461},
  };
  for (const Case& c : cases) {
    const game::LogoPosition p = game::LogoCopyPosition(c.angle, c.copy);
    EXPECT_EQ(p.x, c.x) << "angle " << c.angle << " copy " << c.copy;
    EXPECT_EQ(p.y, c.y) << "angle " << c.angle << " copy " << c.copy;
  }
}

// The back surface a logo frame should leave: black, with the eleven copies drawn in order and
// their black left out.
std::vector<platform::Rgb> ExpectedFrame(std::int32_t angle) {
  media::TPicture picture;
  picture.LoadFromData(app::FindAsset("logo.dib"));
  const auto& logo = static_cast<const media::TDIB&>(*picture.Graphic());
  std::vector<platform::Rgb> frame(320 * 240, 0);
  for (int i = 1; i <= 11; ++i) {
    const game::LogoPosition p = game::LogoCopyPosition(angle, i);
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 150; ++x) {
        const int fx = p.x + x, fy = p.y + y;
        const platform::Rgb c = logo.ColorAt(x, y);
        if (c != 0 && fx >= 0 && fy >= 0 && fx < 320 && fy < 240) frame[static_cast<std::size_t>(fy * 320 + fx)] = c;
      }
  }
  return frame;
}

struct LogoRun {
  LogoRun() {
    h.Start();
    h.Frame();  // gsLogoStart becomes gsLogo
    form = h.form;
  }
  // Draws one logo frame at `angle`.
  void FrameAt(std::int32_t angle, std::uint32_t lag = 17) {
    form->GameState = game::gsLogo;
    form->LogoAngle = angle;
    h.Frame(lag);
  }
  platform::HeadlessDisplay& Screen() { return h.platform.Screen(); }

  testing_support::ScopedTempDir dir;  // hisc.dat goes here
  GameHarness h;
  game::TForm1* form = nullptr;
};

TEST(Logo, FrameShowsElevenKeyedCopiesAndTurns) {
  LogoRun run;
  ASSERT_EQ(run.form->GameState, game::gsLogo);
  ASSERT_EQ(run.form->LogoAngle, 240);
  for (std::int32_t angle : {240, 20, 3, 0, -150}) {
    SCOPED_TRACE(angle);
    run.FrameAt(angle);
    EXPECT_EQ(run.form->LogoAngle, angle - 1);
    const std::vector<platform::Rgb> expected = ExpectedFrame(angle);
    media::TDirectDrawSurface* back = run.form->DXDraw1->Surface();
    int wrong = 0;
    for (int y = 0; y < 240; ++y)
      for (int x = 0; x < 320; ++x) wrong += back->Pixels(x, y) != expected[static_cast<std::size_t>(y * 320 + x)];
    EXPECT_EQ(wrong, 0);
    // What the window shows is that back surface.
    EXPECT_EQ(run.Screen().ShownPixel(160, 90), expected[90 * 320 + 160]);
  }
}

TEST(Logo, ShortFramesDoNotMoveIt) {
  LogoRun run;
  run.FrameAt(100, 9);
  EXPECT_EQ(run.form->LogoAngle, 100);
  run.FrameAt(100, 35);
  EXPECT_EQ(run.form->LogoAngle, 97);
}

TEST(Logo, FullScreenShowsItThroughTheGamesPalette) {
  LogoRun run;
  run.h.KeyDown(game::VK_F8, true);
  ASSERT_TRUE(run.form->DXDraw1->Options() & media::Opt(media::doFullScreen));
  ASSERT_EQ(run.form->DXDraw1->Surface()->BitCount(), 8);
  EXPECT_EQ(run.Screen().FullScreenMode(), (platform::DisplayMode{320, 240, 8}));
  run.FrameAt(5);
  // The logo's colours all have entries of their own, so the screen shows them exactly.
  const std::vector<platform::Rgb> expected = ExpectedFrame(5);
  int wrong = 0;
  for (int y = 0; y < 240; ++y)
    for (int x = 0; x < 320; ++x)
      wrong += run.Screen().ShownPixel(x, y) != expected[static_cast<std::size_t>(y * 320 + x)];
  EXPECT_EQ(wrong, 0);
  // Back to the window: the desktop is restored and the frames go on there.
  run.h.KeyDown(game::VK_F8, true);
  EXPECT_EQ(run.Screen().FullScreenWindow(), 0u);
  EXPECT_EQ(run.form->DXDraw1->Surface()->BitCount(), 32);
  run.FrameAt(5);
  wrong = 0;
  for (int y = 0; y < 240; ++y)
    for (int x = 0; x < 320; ++x)
      wrong += run.Screen().ShownPixel(x, y) != expected[static_cast<std::size_t>(y * 320 + x)];
  EXPECT_EQ(wrong, 0);
}

TEST(Logo, TheFormHandsThePicturesPaletteToTheDisplay) {
  for (bool damaged_hisc : {false, true}) {
    SCOPED_TRACE(damaged_hisc ? "after a damaged hisc.dat" : "plain start");
    testing_support::ScopedTempDir dir;
    if (damaged_hisc) testing_support::WriteFile(dir.Path() / "hisc.dat", "abc\r\n");
    GameHarness h;
    std::vector<std::string> reports;
    h.application->ShowExceptionHandler = [&](const std::string& m) { reports.push_back(m); };
    h.Start();
    EXPECT_EQ(reports.size(), damaged_hisc ? 1u : 0u);
    const media::TColorTable& pictures = h.form->DXImageList1->Items.ColorTable;
    EXPECT_EQ(media::RgbOf(pictures[255]), 0xFFFFFFu);
    EXPECT_EQ(h.form->DXDraw1->RestoreColorTable, pictures);
    EXPECT_EQ(h.form->DXDraw1->ColorTable, pictures);
  }
}

}  // namespace
