// What each game state draws on the back surface. Everything is redrawn every frame; only the
// canvas settings carry over from one frame to the next, so each screen sets just what it
// needs and relies on what earlier drawing left.
#include "game/screens.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

#include "app/application.h"
#include "app/sjis.h"
#include "app/sysutils.h"
#include "game/unit1.h"
#include "ranking/ranking_host.h"

namespace game {
namespace {

// The back surface's canvas for one screen, given back before the frame is presented, also when
// drawing fails half-way.
class ScreenCanvas {
 public:
  explicit ScreenCanvas(media::TDXDraw& draw) : canvas_(*draw.Surface()->Canvas()) {}
  ~ScreenCanvas() { canvas_.Release(); }
  ScreenCanvas(const ScreenCanvas&) = delete;
  ScreenCanvas& operator=(const ScreenCanvas&) = delete;
  media::TDirectDrawSurfaceCanvas* operator->() { return &canvas_; }
  media::TDirectDrawSurfaceCanvas& operator*() { return canvas_; }

 private:
  media::TDirectDrawSurfaceCanvas& canvas_;
};

void TextCentered(app::TCanvas& c, int y, const std::string& text) {
  c.TextOut(160 - c.TextWidth(text) / 2, y, text);
}

void TextRightAligned(app::TCanvas& c, int right, int y, const std::string& text) {
  c.TextOut(right - c.TextWidth(text), y, text);
}

app::TColor RandomColor(std::int32_t range, std::int32_t factor) {
  return static_cast<app::TColor>(app::Random(range) * factor);
}

}  // namespace

std::string TimeText(std::int32_t time_left) { return app::FormatFloat("00.00", time_left / 1000.0); }

bool DatedToday(const std::string& date_text, const platform::LocalTime& now) {
  return date_text.substr(0, 8) == app::DateText(now);
}

std::string NewRankText(std::int32_t rank) {
  return app::Sjis(u8"歴代") + app::IntToStr(rank) + app::Sjis(u8"位ﾊｲｽｺｱ");
}

std::string MakerHomePage() { return "http://" + ranking::RankingHost() + "/~tobrin/"; }

std::int64_t RoundHalfEven(double value) {
  if (!std::isfinite(value)) return 0;
  value = std::clamp(value, -1e15, 1e15);
  double whole = std::floor(value);
  const double rest = value - whole;
  if (rest > 0.5 || (rest == 0.5 && std::fmod(whole, 2.0) != 0.0)) whole += 1.0;
  return static_cast<std::int64_t>(whole);
}

LogoPosition LogoCopyPosition(std::int32_t angle, int copy) {
  // The angle counts 256ths of a turn; only its low 8 bits give the direction.
  const double t = 2.0 * std::numbers::pi * static_cast<double>(angle & 0xFF) / 256.0;
  const double r = static_cast<double>(std::max<std::int64_t>(std::int64_t{copy} * angle, 0));
  auto place = [](std::int64_t v, int origin) {
    return static_cast<int>(std::clamp<std::int64_t>(v + origin, -(1 << 30), 1 << 30));
  };
  return {place(RoundHalfEven(std::sin(t) * r), 85), place(RoundHalfEven(std::cos(t) * r), 80)};
}

void TForm1::DrawLogo() {
  // Eleven copies on a ray that turns and shrinks as the angle falls, meeting at (85, 80).
  media::TPictureCollectionItem* logo = DXImageList1->Items.Items(0);
  for (int i = 1; i <= 11; ++i) {
    const LogoPosition p = LogoCopyPosition(LogoAngle, i);
    logo->Draw(DXDraw1->Surface(), p.x, p.y, 0);
  }
}

void TForm1::DrawTitle() {
  ScreenCanvas c(*DXDraw1);
  const std::string title = "Velkor";
  c->Font.Size = 10;
  for (std::int32_t i = 0; i < TitleScatterCount; ++i) {
    c->Font.Color = RandomColor(16777215, 1);
    const int y = app::Random(120);
    const int x = app::Random(320) - 20;
    c->TextOut(x, y, title);
  }
  // The big title keeps the colour of the last scattered text (or of whatever drew before).
  c->Font.Size = 80;
  TextCentered(*c, 10, title);
  c->Font.Size = 15;
  c->Font.Color = app::clWhite;
  c->TextOut(70, 130, "[SPACE] START");
  c->TextOut(70, 150, "[ENTER] RANKING");
  c->Font.Size = 9;
  c->Brush.Style = app::bsClear;
  c->TextOut(70, 180, app::Sjis(u8"[Alt]+[F8] ﾌﾙｽｸﾘｰﾝ切替"));
  c->TextOut(70, 193, app::Sjis(u8"[Alt]+[F9] ｲﾝﾀｰﾈｯﾄﾗﾝｷﾝｸﾞ申請"));
  c->TextOut(70, 210, app::Sjis(u8"[Esc] 終了"));
  c->Font.Color = app::clRed;
  TextCentered(*c, 226, kMakerNotice);
  if (ShowFrameRate) {
    c->Font.Size = 12;
    c->TextOut(0, 0, app::IntToStr(DXTimer1->FrameRate()));
  }
}

void TForm1::DrawRanking() {
  ScreenCanvas c(*DXDraw1);
  c->Brush.Style = app::bsClear;
  c->Font.Size = 16;
  const std::string& heading = app::Sjis(u8"歴代ランキングベスト１０");
  c->Font.Color = app::clBlue;
  c->TextOut(161 - c->TextWidth(heading) / 2, 6, heading);
  c->Font.Color = RandomColor(16777215, 1);
  TextCentered(*c, 5, heading);
  c->Font.Color = app::clWhite;
  const platform::LocalTime now = App().Platform().Now();
  for (int n = 1; n <= 10; ++n) {
    c->Font.Size = 14;
    c->Font.Color = app::clWhite;
    if (DatedToday(HighScores.HiDates[n], now)) c->Font.Color = app::clRed;
    if (n == NewRank) c->Font.Color = app::clAqua;
    const int y = 15 * n + 20;
    TextRightAligned(*c, 100, y, app::IntToStr(n) + ".");
    TextRightAligned(*c, 170, y, app::IntToStr(HighScores.HiScores[n]));
    c->Font.Size = 10;
    c->TextOut(180, 15 * n + 24, HighScores.HiDates[n]);
  }
  c->Font.Color = RandomColor(65535, 1);
  c->Font.Size = 16;
  TextCentered(*c, 210, "[Enter]");
}

void TForm1::DrawPlay() {
  ScreenCanvas c(*DXDraw1);
  c->Brush.Style = app::bsClear;
  c->Pen.Width = 2;
  // After the game ends the outline keeps its last colour.
  if (PlayPhase == ppPlaying) c->Pen.Color = RandomColor(255, 65535);
  c->Rectangle(120, 1, 200, 240);
  c->Rectangle(40, 80, 280, 160);
  if (ShowFrameRate) {
    c->Font.Size = 12;
    c->TextOut(0, 0, app::IntToStr(DXTimer1->FrameRate()));
  }

  c->Font.Size = 58;
  c->Font.Color = app::clYellow;
  c->Brush.Color = app::clRed;
  static constexpr int kArmX[4] = {140, 140, 60, 220}, kArmY[4] = {2, 160, 81, 81};
  for (int arm = armUp; arm <= armRight; ++arm) {
    if (ArmSelected[arm]) {
      c->Brush.Style = app::bsSolid;
      c->Brush.Color = app::clRed;
    } else {
      c->Brush.Style = app::bsClear;
    }
    c->TextOut(kArmX[arm], kArmY[arm], app::IntToStr(ArmDigits[arm]));
  }

  c->Brush.Style = app::bsClear;
  c->Font.Color = app::clWhite;
  c->Font.Size = 40;
  if (TurnScore == 0) {
    c->Font.Color = app::clRed;
    c->Font.Size = 30;
  }
  if (TurnScore > 1) c->Font.Color = app::clBlue;
  if (TurnScore > 9) c->Font.Color = app::clAqua;
  if (TurnScore > 14) c->Font.Color = app::clPurple;
  if (TurnScore > 29) c->Font.Color = app::clYellow;
  if (TurnScore == 60) c->Font.Color = RandomColor(255, 65535);
  TextCentered(*c, 100, TurnText);

  c->Font.Size = 22;
  c->Font.Color = app::clWhite;
  TextRightAligned(*c, 300, 40, app::IntToStr(TotalScore));
  if (TimeLeft < 5000) c->Font.Color = app::clRed;
  c->TextOut(40, 40, TimeText(TimeLeft));
  c->Font.Color = app::clRed;
  c->Font.Size = 18;
  c->TextOut(220, 20, "Score");
  c->TextOut(20, 20, "Time");

  if (PlayPhase == ppPlaying) return;
  c->Brush.Style = app::bsSolid;
  c->Brush.Color = app::clBlack;
  c->Font.Size = 20;
  if (NewRank > 0) {
    c->Font.Color = app::clRed;
    TextCentered(*c, 4, NewRankText(NewRank));
  }
  c->Font.Color = RandomColor(65535, 255);
  TextCentered(*c, 35, "ZAVA OVER");
  c->Font.Color = app::clAqua;
  c->TextOut(80, 80, "Score " + app::IntToStr(TotalScore));
  c->TextOut(80, 120, "Pass  " + app::IntToStr(CheckValueOf(TotalScore)));
  c->Font.Size = 10;
  c->Font.Color = RandomColor(255, 65535);
  TextCentered(*c, 160, app::Sjis(u8"ScoreとPassをﾒﾓしてｲﾝﾀｰﾈｯﾄﾗﾝｷﾝｸﾞにﾁｬﾚﾝｼﾞ"));
  TextCentered(*c, 180, MakerHomePage());
  c->Font.Size = 16;
  TextCentered(*c, 210, "PUSH ENTER");
}

}  // namespace game
