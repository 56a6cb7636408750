// What each game state draws on the back surface.
//
// The first display has no canvas or image list yet, so the screens draw nothing beyond the
// black fill of the frame handler; they are built with the display.
#include "game/unit1.h"

namespace game {

void TForm1::DrawLogo() {}
void TForm1::DrawTitle() {}
void TForm1::DrawRanking() {}
void TForm1::DrawPlay() {}

}  // namespace game
