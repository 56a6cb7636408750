// The main form's key commands: moving between screens, starting a game, the frame-rate
// display, quitting, full screen and the submission dialog; and the two a gamepad has.
#include "app/application.h"
#include "game/unit1.h"
#include "ranking/unit2.h"

namespace game {

void TForm1::FormKeyDown(app::TObject*, std::uint16_t& Key, app::TShiftState Shift) {
  const bool alt = (Shift & app::ssAlt) != 0;
  bool open_dialog = false;
  bool leave_full_screen = false;

  if (GameState == gsLogo && Key == VK_SPACE) LogoAngle = -260;
  if (GameState == gsTitle) {
    if (Key == VK_SPACE) {
      GameState = gsGameStart;
      Key = 0;
    }
    if (Key == VK_RETURN) {
      GameState = gsRanking;
      Key = 0;
    }
    // F9 alone opens the dialog too: some desktops keep Alt+F9 for themselves.
    if (Key == VK_F9) {
      open_dialog = true;
      if (DXDraw1->Options() & media::Opt(media::doFullScreen)) {
        Key = VK_F8;
        leave_full_screen = true;
      }
    }
  }
  if (GameState == gsPlay && PlayPhase == ppGameOver && Key == VK_RETURN) GameState = gsLogoStart;
  if (GameState == gsRanking && Key == VK_RETURN) GameState = gsTitle;
  if (Key == VK_F1) ShowFrameRate = !ShowFrameRate;
  if (alt && Key == VK_SPACE) GameState = gsGameStart;
  if (Key == VK_ESCAPE) {
    App().Terminate();
    Key = 0;
  }
  // Many desktops keep Alt+F8 for themselves, so F11 switches as well.
  if ((((alt || leave_full_screen) && Key == VK_F8) || Key == VK_F11) && DXTimer1->Enabled()) {
    ToggleFullScreen();
    Key = 0;
  }
  if (open_dialog) OpenSubmitDialog();
}

// A pad has two commands: Start does what Space does and Back what Enter does. Quitting, full
// screen, the frame rate and the dialog stay with the keyboard.
void TForm1::FormPadButtonDown(app::TObject* Sender, platform::PadButton Button) {
  std::uint16_t key = 0;
  if (Button == platform::PadButton::Start) key = VK_SPACE;
  if (Button == platform::PadButton::Back) key = VK_RETURN;
  if (key != 0) FormKeyDown(Sender, key, 0);
}

void TForm1::ToggleFullScreen() {
  DXDraw1->Finalize();
  if (DXDraw1->Options() & media::Opt(media::doFullScreen)) {
    RestoreWindowPlacement();
    Handle().SetCursorVisible(false);
    SetBorderStyle(app::bsSingle);
    DXDraw1->SetOptions(DXDraw1->Options() & ~media::Opt(media::doFullScreen));
    SetClientSize(320, 240);
  } else {
    StoreWindowPlacement();
    Handle().SetCursorVisible(false);
    SetBorderStyle(app::bsNone);
    DXDraw1->SetOptions(DXDraw1->Options() | media::Opt(media::doFullScreen));
  }
  DXDraw1->Initialize();
}

void TForm1::OpenSubmitDialog() {
  DXTimer1->SetEnabled(false);
  // The timer runs again however the dialog ends; an error then goes on to the error box.
  struct Restart {
    TForm1& form;
    ranking::TForm2* dialog = nullptr;
    ~Restart() {
      if (dialog) dialog->Release();
      form.DXTimer1->SetEnabled(true);
    }
  } restart{*this};
  SubmitScore = HighScores.HiScores[1];
  restart.dialog = ranking::Form2 = app::CreateForm<ranking::TForm2>(this);
  restart.dialog->ShowModal();
}

}  // namespace game
