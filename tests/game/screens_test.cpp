// The screens as the player sees them: the real form on the headless backend, its back surface
// read pixel by pixel after a frame.
#include <gtest/gtest.h>

#include <array>
#include <map>
#include <set>
#include <string>
#include <utility>

#include "app/sjis.h"
#include "app/sysutils.h"
#include "game/screens.h"
#include "support/harness.h"
#include "support/memory_canvas.h"

namespace {

using testing_support::GameHarness;
using testing_support::MemoryCanvas;
using testing_support::ScopedTempDir;

constexpr std::uint32_t kBlack = 0x000000, kWhite = 0xFFFFFF, kRed = 0xFF0000, kBlue = 0x0000FF,
                        kCyan = 0x00FFFF, kYellow = 0xFFFF00, kPurple = 0x800080;

struct Box {
  int x1, y1, x2, y2;  // right and bottom excluded
};

using Pixels = std::set<std::pair<int, int>>;

class Screens : public ::testing::Test {
 protected:
  void SetUp() override {
    game.platform.SetNow({2007, 3, 25, 14, 5, 0, 0});
    game.Start();
    form = game.form;
  }

  // Runs one frame of `state` and leaves its picture on the back surface.
  void Draw(game::TGameState state, std::uint32_t lag = 17) {
    form->GameState = state;
    game.Frame(lag);
  }

  std::uint32_t At(int x, int y) { return form->DXDraw1->Surface()->Pixels(x, y); }

  // The colours in a box, with how many pixels each.
  std::map<std::uint32_t, int> Colours(Box b) {
    std::map<std::uint32_t, int> out;
    for (int y = b.y1; y < b.y2; ++y)
      for (int x = b.x1; x < b.x2; ++x) ++out[At(x, y)];
    return out;
  }

  // Where the box is not black.
  Pixels Lit(Box b) {
    Pixels out;
    for (int y = b.y1; y < b.y2; ++y)
      for (int x = b.x1; x < b.x2; ++x)
        if (At(x, y) != kBlack) out.insert({x, y});
    return out;
  }

  // Where a text at that size and position would put its glyphs, within the box.
  static Pixels Glyphs(const std::string& text, int size, int x, int y, Box b) {
    MemoryCanvas c(320, 240, 32);
    c.Brush.Style = app::bsClear;
    c.Font.Size = size;
    c.Font.Color = app::clWhite;
    c.TextOut(x, y, text);
    Pixels out;
    for (int yy = b.y1; yy < b.y2; ++yy)
      for (int xx = b.x1; xx < b.x2; ++xx)
        if (c.At(xx, yy) != 0) out.insert({xx, yy});
    return out;
  }

  static int Width(const std::string& text, int size) {
    MemoryCanvas c(1, 1, 32);
    c.Font.Size = size;
    return c.TextWidth(text);
  }

  ScopedTempDir dir;
  GameHarness game;
  game::TForm1* form = nullptr;
};

// --- Play ---

class PlayScreen : public Screens {
 protected:
  void SetUp() override {
    Screens::SetUp();
    Draw(game::gsGameStart);
    form->ArmDigits = {1, 2, 3, 4};
  }
};

TEST_F(PlayScreen, CrossOutlineLiesOnItsExactRectangles) {
  app::RandSeed = 7;
  Draw(game::gsPlay);
  const std::uint32_t pen = app::ToRgb(form->DXDraw1->Surface()->Canvas()->Pen.Color);
  ASSERT_NE(pen, kBlack);
  // Across the lower arm, away from its digit: the two columns of each side.
  for (int x = 0; x < 320; ++x) {
    if (x >= 138 && x < 190) continue;
    EXPECT_EQ(At(x, 200) == pen, x == 119 || x == 120 || x == 198 || x == 199) << x;
  }
  // Down the right arm: the two rows of its top and bottom edges.
  for (int y = 70; y < 240; ++y) EXPECT_EQ(At(268, y) == pen, y == 79 || y == 80 || y == 158 || y == 159) << y;
  // The ends of the arms.
  for (int y : {0, 1, 238, 239})
    for (int x = 119; x < 200; ++x) ASSERT_EQ(At(x, y), pen) << x << "," << y;
  for (int x : {39, 40, 278, 279})
    for (int y = 79; y < 160; ++y) ASSERT_EQ(At(x, y), pen) << x << "," << y;
  EXPECT_EQ(At(121, 2), kBlack);
  EXPECT_EQ(At(38, 100), kBlack);
  EXPECT_EQ(At(280, 100), kBlack);
}

TEST_F(PlayScreen, ChosenDigitSitsOnARedCell) {
  form->ArmSelected = {false, true, false, false};
  Draw(game::gsPlay);
  const int w = Width("2", 58);
  // The down arm's cell: red, with the yellow digit on it.
  auto cell = Colours({140, 160, 140 + w, 160 + 77});
  EXPECT_EQ(cell.size(), 2u);
  EXPECT_GT(cell[kRed], 0);
  EXPECT_GT(cell[kYellow], 0);
  EXPECT_EQ(At(140 + w, 200), kBlack);
  // Unchosen digits have no cell.
  auto up = Colours({140, 2, 140 + w, 79});
  EXPECT_EQ(up.count(kRed), 0u);
  EXPECT_GT(up[kYellow], 0);
  EXPECT_EQ(Lit({60, 81, 60 + w, 158}), Glyphs("3", 58, 60, 81, {60, 81, 60 + w, 158}));
}

TEST_F(PlayScreen, TimeTurnsRedBelowFiveSeconds) {
  const Box time{40, 42, 118, 70};
  form->TimeLeft = 5000 + 17;
  Draw(game::gsPlay);
  auto white = Colours(time);
  const Pixels shown = Lit(time);
  EXPECT_EQ(shown, Glyphs("05.00", 22, 40, 40, time));
  EXPECT_EQ(white.count(kRed), 0u);

  form->TimeLeft = 4999 + 17;
  Draw(game::gsPlay);
  auto red = Colours(time);
  EXPECT_EQ(red.count(kWhite), 0u);
  EXPECT_EQ(red[kRed], white[kWhite]);
  EXPECT_EQ(Lit(time), shown);
}

TEST_F(PlayScreen, TurnTextColourAndSizeFollowTheTurnScore) {
  struct Case {
    std::int32_t score;
    std::uint32_t colour;  // 1 means the random colour of a full score
    int size;
  } cases[] = {{0, kRed, 30},     {1, kWhite, 40},  {2, kBlue, 40},  {10, kCyan, 40},
               {15, kPurple, 40}, {30, kYellow, 40}, {60, 1, 40}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.score);
    form->TurnScore = k.score;
    form->TurnText = k.score == 0 ? "Miss" : app::IntToStr(k.score);
    app::RandSeed = 12345;
    Draw(game::gsPlay);
    std::uint32_t expected = k.colour;
    if (expected == 1) {
      app::RandSeed = 12345;
      app::Random(255);  // the outline first
      expected = app::ToRgb(static_cast<app::TColor>(app::Random(255) * 65535));
    }
    const Box area{122, 96, 197, 158};
    const int x = 160 - Width(form->TurnText, k.size) / 2;
    EXPECT_EQ(Lit(area), Glyphs(form->TurnText, k.size, x, 100, area));
    auto colours = Colours(area);
    colours.erase(kBlack);
    ASSERT_EQ(colours.size(), 1u);
    EXPECT_EQ(colours.begin()->first, expected);
  }
}

TEST_F(PlayScreen, TotalIsRightAlignedAtThreeHundred) {
  form->TotalScore = 1234;
  Draw(game::gsPlay);
  const Box area{200, 45, 320, 70};
  EXPECT_EQ(Lit(area), Glyphs("1234", 22, 300 - Width("1234", 22), 40, area));
}

TEST_F(PlayScreen, GameOverOverlayShowsPlaceScorePassAndPrompt) {
  form->TimeLeft = 1;
  form->TotalScore = 60;
  form->HighScores.FillDefaults();
  Draw(game::gsPlay);
  ASSERT_EQ(form->PlayPhase, game::ppGameOver);
  ASSERT_EQ(form->NewRank, 6);
  const std::string place = game::NewRankText(6);
  EXPECT_EQ(place, app::Sjis(u8"歴代6位ﾊｲｽｺｱ"));
  // Every overlay text sits on a black cell.
  const int pw = Width(place, 20);
  auto first = Colours({160 - pw / 2, 4, 160 - pw / 2 + pw, 31});
  EXPECT_EQ(first.size(), 2u);
  EXPECT_GT(first[kRed], 0);
  const Box score{80, 80, 80 + Width("Score 60", 20), 107};
  EXPECT_EQ(Lit(score), Glyphs("Score 60", 20, 80, 80, score));
  EXPECT_EQ(Colours(score).count(kCyan), 1u);
  const Box pass{80, 120, 80 + Width("Pass  7321", 20), 147};
  EXPECT_EQ(Lit(pass), Glyphs("Pass  7321", 20, 80, 120, pass));
  const Box prompt{0, 210, 320, 231};
  EXPECT_EQ(Lit(prompt), Glyphs("PUSH ENTER", 16, 160 - Width("PUSH ENTER", 16) / 2, 210, prompt));
  const std::string home = game::MakerHomePage();
  const Box address{0, 180, 320, 193};
  EXPECT_EQ(Lit(address), Glyphs(home, 10, 160 - Width(home, 10) / 2, 180, address));

  // Without a place there is no first line: only the cross and the up digit show there.
  form->NewRank = 0;
  Draw(game::gsPlay);
  EXPECT_EQ(Colours({0, 4, 115, 19}), (std::map<std::uint32_t, int>{{kBlack, 115 * 15}}));
}

// --- Ranking ---

class RankingScreen : public Screens {
 protected:
  // The colour of row n's number and score (the date shares it).
  std::uint32_t RowColour(int n) {
    auto colours = Colours({0, 15 * n + 24, 175, 15 * n + 32});
    colours.erase(kBlack);
    EXPECT_EQ(colours.size(), 1u) << n;
    return colours.empty() ? kBlack : colours.begin()->first;
  }
};

TEST_F(RankingScreen, TodayIsRedTheNewRankCyanOthersWhite) {
  form->HighScores.HiDates[4] = "07/03/25 10:00";
  form->HighScores.HiDates[7] = "07/03/25 23:59";
  form->HighScores.HiDates[9] = "07/03/24 23:59";
  form->NewRank = 7;
  Draw(game::gsRanking);
  for (int n = 1; n <= 10; ++n) {
    EXPECT_EQ(RowColour(n), n == 4 ? kRed : n == 7 ? kCyan : kWhite) << n;
    const std::string number = app::IntToStr(n) + ".";
    const std::string score = app::IntToStr(form->HighScores.HiScores[n]);
    const Box row{0, 15 * n + 24, 175, 15 * n + 32};
    Pixels expected = Glyphs(number, 14, 100 - Width(number, 14), 15 * n + 20, row);
    for (auto p : Glyphs(score, 14, 170 - Width(score, 14), 15 * n + 20, row)) expected.insert(p);
    EXPECT_EQ(Lit(row), expected) << n;
  }
  const Box date{180, 15 * 4 + 24, 320, 15 * 4 + 37};
  EXPECT_EQ(Lit(date), Glyphs("07/03/25 10:00", 10, 180, 15 * 4 + 24, date));
}

TEST_F(RankingScreen, DefaultDatesAreTodayOnlyOnTheFirstOfJanuary2000) {
  game.platform.SetNow({2000, 1, 1, 9, 0, 0, 0});
  form->NewRank = 0;
  Draw(game::gsRanking);
  for (int n = 1; n <= 10; ++n) EXPECT_EQ(RowColour(n), kRed) << n;
  game.platform.SetNow({2100, 1, 1, 9, 0, 0, 0});  // reads 00/01/01 too
  Draw(game::gsRanking);
  EXPECT_EQ(RowColour(1), kRed);
  game.platform.SetNow({2000, 1, 2, 9, 0, 0, 0});
  Draw(game::gsRanking);
  EXPECT_EQ(RowColour(1), kWhite);
}

TEST_F(RankingScreen, HeadingAndPromptAreCentred) {
  app::RandSeed = 5;  // neither random colour comes out black
  Draw(game::gsRanking);
  const std::string& heading = app::Sjis(u8"歴代ランキングベスト１０");
  const int w = Width(heading, 16);
  const Box top{0, 0, 320, 28};
  Pixels expected = Glyphs(heading, 16, 161 - w / 2, 6, top);
  for (auto p : Glyphs(heading, 16, 160 - w / 2, 5, top)) expected.insert(p);
  EXPECT_EQ(Lit(top), expected);
  const Box prompt{0, 210, 320, 232};
  EXPECT_EQ(Lit(prompt), Glyphs("[Enter]", 16, 160 - Width("[Enter]", 16) / 2, 210, prompt));
}

TEST_F(RankingScreen, FullScreenDrawsInTheNearestColoursOfTheGamesPalette) {
  form->HighScores.HiDates[4] = "07/03/25 10:00";
  form->NewRank = 0;
  Draw(game::gsRanking);
  const Box row{0, 15 * 4 + 24, 175, 15 * 4 + 32};
  const Pixels glyphs = Lit(row);

  game.KeyDown(game::VK_F8, true);
  ASSERT_EQ(form->DXDraw1->Surface()->BitCount(), 8);
  Draw(game::gsRanking);
  std::array<platform::Rgb, 256> palette{};
  for (int i = 0; i < 256; ++i) {
    const media::TRGBQuad& q = form->DXDraw1->ColorTable[i];
    palette[i] = static_cast<platform::Rgb>(q.rgbRed << 16 | q.rgbGreen << 8 | q.rgbBlue);
  }
  const platform::Rgb red = palette[app::NearestPaletteIndex(palette, kRed)];
  const platform::Rgb white = palette[app::NearestPaletteIndex(palette, kWhite)];
  ASSERT_NE(red, white);
  platform::HeadlessDisplay& screen = game.platform.Screen();
  Pixels shown_red;
  for (int y = row.y1; y < row.y2; ++y)
    for (int x = row.x1; x < row.x2; ++x)
      if (screen.ShownPixel(x, y) == red) shown_red.insert({x, y});
  EXPECT_EQ(shown_red, glyphs);
  const Box row3{0, 15 * 3 + 24, 175, 15 * 3 + 32};
  int whites = 0;
  for (int y = row3.y1; y < row3.y2; ++y)
    for (int x = row3.x1; x < row3.x2; ++x) whites += screen.ShownPixel(x, y) == white;
  EXPECT_GT(whites, 20);
}

// --- Title ---

TEST_F(Screens, FirstTitleFrameDrawsOnTheBrushLeftFromBefore) {
  // A new canvas has a solid white brush; the title sets it clear only for its key help.
  form->TitleScatterCount = 0;
  Draw(game::gsTitle);
  const int w = Width("Velkor", 80);
  EXPECT_EQ(At(160 - w / 2, 10), kWhite);
  EXPECT_EQ(At(160 - w / 2 + w - 1, 10 + 106), kWhite);
  Draw(game::gsTitle);
  EXPECT_EQ(At(160 - w / 2, 10), kBlack);
}

TEST_F(Screens, TitleScattersInTheOrderColourYX) {
  Draw(game::gsRanking);  // leaves the brush clear
  form->TitleScatterCount = 3;
  app::RandSeed = 99;
  Draw(game::gsTitle);
  EXPECT_EQ(form->TitleScatterCount, 4);
  app::RandSeed = 99;
  MemoryCanvas expected(320, 240, 32);
  expected.Brush.Style = app::bsClear;
  expected.Font.Size = 10;
  for (int i = 0; i < 3; ++i) {
    expected.Font.Color = static_cast<app::TColor>(app::Random(16777215));
    const int y = app::Random(120);
    const int x = app::Random(320) - 20;
    expected.TextOut(x, y, "Velkor");
  }
  const std::uint32_t last = app::ToRgb(expected.Font.Color);
  // The big title goes over the scatter in the last scattered colour.
  expected.Font.Size = 80;
  expected.TextOut(160 - expected.TextWidth("Velkor") / 2, 10, "Velkor");
  for (int y = 0; y < 125; ++y)
    for (int x = 0; x < 320; ++x) ASSERT_EQ(At(x, y), expected.At(x, y)) << x << "," << y;
  EXPECT_NE(last, kBlack);
}

TEST_F(Screens, BigTitleKeepsTheColourLeftWhenNothingIsScattered) {
  for (std::int32_t count : {0, -5}) {
    SCOPED_TRACE(count);
    Draw(game::gsTitle);  // leaves the notice's red
    form->TitleScatterCount = count;
    Draw(game::gsTitle);
    const int w = Width("Velkor", 80);
    const Box big{0, 0, 320, 125};
    EXPECT_EQ(Lit(big), Glyphs("Velkor", 80, 160 - w / 2, 10, big));
    auto colours = Colours(big);
    colours.erase(kBlack);
    EXPECT_EQ(colours.size(), 1u);
    EXPECT_EQ(colours.begin()->first, kRed);
    EXPECT_EQ(form->TitleScatterCount, count + 1);
  }
}

TEST_F(Screens, TitleKeyHelpAndNoticeInPlace) {
  form->TitleScatterCount = 0;
  Draw(game::gsTitle);
  form->TitleScatterCount = 0;
  Draw(game::gsTitle);
  const Box help{0, 128, 320, 240};
  Pixels expected;
  auto add = [&](const std::string& t, int size, int x, int y) {
    for (auto p : Glyphs(t, size, x, y, help)) expected.insert(p);
  };
  add("[SPACE] START", 15, 70, 130);
  add("[ENTER] RANKING", 15, 70, 150);
  add(app::Sjis(u8"[Alt]+[F8] ﾌﾙｽｸﾘｰﾝ切替"), 9, 70, 180);
  add(app::Sjis(u8"[Alt]+[F9] ｲﾝﾀｰﾈｯﾄﾗﾝｷﾝｸﾞ申請"), 9, 70, 193);
  add(app::Sjis(u8"[Esc] 終了"), 9, 70, 210);
  add(game::kMakerNotice, 9, 160 - Width(game::kMakerNotice, 9) / 2, 226);
  EXPECT_EQ(Lit(help), expected);
  auto notice = Colours({0, 226, 320, 238});
  notice.erase(kBlack);
  EXPECT_EQ(notice.size(), 1u);
  EXPECT_EQ(notice.begin()->first, kRed);
}

// --- Texts ---

TEST(ScreenTexts, TimeTextAtTheBoundaries) {
  const std::pair<std::int32_t, const char*> cases[] = {
      {60000, "60.00"}, {5000, "05.00"}, {4999, "05.00"}, {4995, "05.00"}, {4994, "04.99"},
      {4990, "04.99"},  {145, "00.15"},  {5, "00.01"},    {4, "00.00"},    {0, "00.00"}};
  for (auto [ms, text] : cases) EXPECT_EQ(game::TimeText(ms), text) << ms;
}

TEST(ScreenTexts, TodayComparesTheFirstEightCharacters) {
  const platform::LocalTime now{2007, 3, 25, 0, 30, 0, 0};
  const std::pair<const char*, bool> cases[] = {
      {"07/03/25 14:05", true}, {"07/03/25", true},        {"07/03/2", false},       {"07/03/24 23:59", false},
      {"1907/03/25", false},    {"00/01/01 00:00", false}, {"", false},             {"07/03/25xx", true}};
  for (auto [date, today] : cases) EXPECT_EQ(game::DatedToday(date, now), today) << date;
  EXPECT_TRUE(game::DatedToday("00/01/01 00:00", {2000, 1, 1, 0, 0, 0, 0}));
}

TEST(ScreenTexts, PlaceLineAndHomePage) {
  EXPECT_EQ(game::NewRankText(1), "\x97\xF0\x91\xE3" "1" "\x88\xCA\xCA\xB2\xBD\xBA\xB1");
  EXPECT_EQ(game::NewRankText(10), app::Sjis(u8"歴代10位ﾊｲｽｺｱ"));
  EXPECT_EQ(game::MakerHomePage(), std::string("http://") + VELKOR_CONFIGURED_RANKING_HOST + "/~tobrin/");
}

}  // namespace
