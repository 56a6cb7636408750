// What each game state draws on the back surface.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

#include "game/unit1.h"

namespace game {

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

void TForm1::DrawTitle() {}
void TForm1::DrawRanking() {}
void TForm1::DrawPlay() {}

}  // namespace game
