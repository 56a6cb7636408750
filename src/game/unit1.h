#pragma once
// The game's main form: its components, the frame handler, the game states and rules, the
// screens and the key commands.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "game/hiscore.h"
#include "media/dxdraw.h"
#include "media/dximagelist.h"
#include "media/dxinput.h"
#include "media/dxsound.h"
#include "media/dxtimer.h"

namespace game {

enum TGameState : std::uint8_t { gsLogoStart, gsLogo, gsRanking, gsTitle, gsGameStart, gsPlay };
enum : std::int32_t { ppPlaying = 0, ppTimeUp = 1, ppGameOver = 2 };
enum : std::int32_t { spIdle = 0, spHolding = 1, spReleased = 2 };

// Waves by their number in PendingWave (position in the wave list plus one).
enum : std::int32_t {
  wvNone = 0, wvTitle = 1, wvSoft = 2, wvZavaOver = 3, wv1to9 = 4, wv10to29 = 5, wv30up = 6, wvMiss = 7,
};

// The waves of DXWaveList1 in their stored order: item names and the assets holding their data.
struct StoredWave {
  std::u8string_view name;
  const char* asset;
};
extern const StoredWave kStoredWaves[7];

// Arms of the cross, in the order the rules walk them.
enum : int { armUp = 0, armDown = 1, armLeft = 2, armRight = 3 };

// The most texts the title scatters, however fast the frames: past it the picture no longer
// changes, only the cost grows. Measured by bench_title_scatter, the share of the scatter band
// left black: 11.1% with 1000 texts, 5.0% with 2000, 3.9% with 3000, 3.2% with 5000, and 2.3%
// (what no text ever reaches) with 20000. So 2000 texts light 97% of what any number can, and
// more would cost as much again per thousand (0.2 ms of a frame) for a few dots.
inline constexpr std::int32_t kTitleScatterLimit = 2000;

// Virtual-key codes of the command keys.
enum : std::uint16_t {
  VK_RETURN = 13, VK_ESCAPE = 27, VK_SPACE = 32, VK_F1 = 112, VK_F8 = 119, VK_F9 = 120, VK_F11 = 122,
};

class TForm1 : public media::TDXForm {
 public:
  explicit TForm1(app::TComponent* AOwner);

  // Components, owned by the form.
  media::TDXDraw* DXDraw1;
  media::TDXTimer* DXTimer1;
  media::TDXImageList* DXImageList1;
  media::TDXSound* DXSound1;
  media::TDXWaveList* DXWaveList1;
  media::TDXInput* DXInput1;

  // Fields shared with the submission dialog.
  std::int32_t StoredCheckValue = 0;
  std::int32_t SubmitScore = 0;
  std::string PlayerName;  // CP932

  // The game's own data.
  HighScoreTable HighScores;
  TGameState GameState = gsLogoStart;
  std::int32_t PendingWave = 0;
  std::int32_t LogoAngle = 0;
  bool LogoJinglePending = false;
  std::int32_t TitleScatterCount = 0;
  std::int32_t TimeLeft = 0;
  std::int32_t PlayPhase = ppPlaying;
  std::array<std::int32_t, 4> ArmDigits{};
  std::array<bool, 4> ArmSelected{};
  std::int32_t SelectPhase = spIdle;
  std::int32_t TurnScore = 0;
  std::string TurnText;
  std::int32_t TotalScore = 0;
  std::int32_t NewRank = 0;
  bool ShowFrameRate = false;

  // Event handlers.
  void FormCreate(app::TObject* Sender);
  void FormDestroy(app::TObject* Sender);
  void DXDraw1Initialize(app::TObject* Sender);
  void DXDraw1Finalize(app::TObject* Sender);
  void DXTimer1Timer(app::TObject* Sender, std::int32_t LagCount);
  void FormKeyDown(app::TObject* Sender, std::uint16_t& Key, app::TShiftState Shift);
  void FormPadButtonDown(app::TObject* Sender, platform::PadButton Button);

  // Game rules.
  void NewTurn();
  void ScoreTurn();
  void EndGame();

  // hisc.dat.
  void LoadHighScores();
  void SaveHighScores();

 private:
  void RunState(std::int32_t LagCount);
  void ToggleFullScreen();
  void OpenSubmitDialog();
  // Keeps a hisc.dat that was not read whole as hisc.dat.bak; returns the note that says how.
  std::string KeepUnreadHiscFile(const std::string* bytes);
  // A hisc.dat that was not read whole could not be kept: the save leaves it alone.
  bool hisc_unkept_ = false;

  // Screens (one frame each, drawn on the back surface).
  void DrawLogo();
  void DrawTitle();
  void DrawRanking();
  void DrawPlay();
};

// The form the program runs.
extern TForm1* Form1;

// A real number to the nearest integer, halves to the even neighbour.
std::int64_t RoundHalfEven(double value);

// Where copy `copy` (1 to 11) of the logo animation lies at an angle.
struct LogoPosition {
  int x, y;
};
LogoPosition LogoCopyPosition(std::int32_t angle, int copy);

}  // namespace game
