#include "game/unit1.h"

#include "app/application.h"
#include "app/assets.h"
#include "app/sjis.h"
#include "app/streams.h"
#include "app/sysutils.h"
#include "platform/files.h"

namespace game {

TForm1* Form1 = nullptr;

const StoredWave kStoredWaves[7] = {
    {u8"タイトル", "wave_title.wav"}, {u8"ソフト", "wave_soft.wav"},   {u8"ZAVAOVER", "wave_zavaover.wav"},
    {u8"1-9", "wave_1-9.wav"},       {u8"10-29", "wave_10-29.wav"}, {u8"30up", "wave_30up.wav"},
    {u8"miss", "wave_miss.wav"},
};

namespace {

// DXInput1.Keyboard.Assigns as the form stores it: for each of the 36 states (Up, Down, Left,
// Right, Button1 to Button32) three 32-bit little-endian virtual-key codes, 0 for none.
constexpr std::string_view kDXInput1Assigns =
    "490000002600000068000000"  // Up: I, up arrow, keypad 8
    "4B0000002800000062000000"  // Down: K, down arrow, keypad 2
    "4A0000002500000064000000"  // Left: J, left arrow, keypad 4
    "4C0000002700000066000000"  // Right: L, right arrow, keypad 6
    "000000000000000000000000"  // Button1
    "580000000D00000000000000"  // Button2: X, Enter
    "000000000000000000000000" "000000000000000000000000"  // Button3, Button4
    "000000000000000000000000" "000000000000000000000000"  // Button5, Button6
    "000000000000000000000000" "000000000000000000000000"  // Button7, Button8
    "710000000000000000000000"  // Button9: F2
    "000000000000000000000000" "000000000000000000000000" "000000000000000000000000"
    "000000000000000000000000" "000000000000000000000000" "000000000000000000000000"
    "000000000000000000000000" "000000000000000000000000" "000000000000000000000000"
    "000000000000000000000000" "000000000000000000000000" "000000000000000000000000"
    "000000000000000000000000" "000000000000000000000000" "000000000000000000000000"
    "000000000000000000000000" "000000000000000000000000" "000000000000000000000000"
    "000000000000000000000000" "000000000000000000000000" "000000000000000000000000"
    "000000000000000000000000" "000000000000000000000000";  // Button10 to Button32

}  // namespace

TForm1::TForm1(app::TComponent* AOwner) : media::TDXForm(AOwner) {
  Form1 = this;
  // The form's stored description.
  Name = "Form1";
  Caption = "Velkor Ver 1.12";
  ClientWidth = 320;
  ClientHeight = 240;
  SetBorderStyle(app::bsSingle);
  ScreenCenter = true;
  ScaledPixels = true;
  OnCreate = [this](app::TObject* s) { FormCreate(s); };
  OnDestroy = [this](app::TObject* s) { FormDestroy(s); };
  // Windows ends a program at log-off once it has answered: the table is saved then.
  if (app::Application) app::Application->OnEndSession = [this](app::TObject*) { SaveHighScores(); };
  OnKeyDown = [this](app::TObject* s, std::uint16_t& k, app::TShiftState sh) { FormKeyDown(s, k, sh); };
  OnPadButtonDown = [this](app::TObject* s, platform::PadButton b) { FormPadButtonDown(s, b); };

  DXDraw1 = new media::TDXDraw(this);
  DXTimer1 = new media::TDXTimer(this);
  DXImageList1 = new media::TDXImageList(this);
  DXSound1 = new media::TDXSound(this);
  DXWaveList1 = new media::TDXWaveList(this);
  DXInput1 = new media::TDXInput(this);
  for (app::TComponent* c : Components()) c->BeginLoading();

  DXDraw1->Name = "DXDraw1";
  DXDraw1->Align = media::alClient;
  DXDraw1->Width = 320;
  DXDraw1->Height = 240;
  DXDraw1->AutoInitialize = true;
  DXDraw1->AutoSize = false;
  DXDraw1->Display.Width = 320;
  DXDraw1->Display.Height = 240;
  DXDraw1->Display.FixedBitCount = true;
  DXDraw1->Display.FixedRatio = true;
  DXDraw1->SetSurfaceSize(320, 240);
  DXDraw1->SetOptions(media::Opt(media::doAllowReboot) | media::Opt(media::doWaitVBlank) |
                      media::Opt(media::doStretch) | media::Opt(media::doCenter) |
                      media::Opt(media::doRetainedMode) | media::Opt(media::doHardware) |
                      media::Opt(media::doSelectDriver));
  DXDraw1->OnInitialize = [this](app::TObject* s) { DXDraw1Initialize(s); };
  DXDraw1->OnFinalize = [this](app::TObject* s) { DXDraw1Finalize(s); };

  DXTimer1->Name = "DXTimer1";
  DXTimer1->ActiveOnly = true;
  DXTimer1->SetEnabled(false);
  DXTimer1->SetInterval(0);
  DXTimer1->OnTimer = [this](app::TObject* s, std::int32_t lag) { DXTimer1Timer(s, lag); };

  DXImageList1->Name = "DXImageList1";
  media::TPictureCollectionItem* logo = DXImageList1->Items.Add();
  logo->SetName(app::Sjis(u8"ロゴ"));
  logo->PatternHeight = 0;
  logo->PatternWidth = 0;
  logo->Picture.LoadFromData(app::FindAsset("logo.dib"));
  logo->SystemMemory = false;
  logo->Transparent = true;
  logo->SetTransparentColor(app::clBlack);

  DXSound1->Name = "DXSound1";
  DXSound1->AutoInitialize = true;

  DXWaveList1->Name = "DXWaveList1";
  DXWaveList1->SetDXSound(DXSound1);
  for (const StoredWave& stored : kStoredWaves) {
    media::TWaveCollectionItem* item = DXWaveList1->Items().Add();
    item->SetName(app::Sjis(stored.name));
    item->SetLooped(false);
    item->SetMaxPlayingCount(0);
    app::TMemoryStream data(app::FindAsset(stored.asset));
    item->Wave().LoadFromStream(data);
  }

  DXInput1->Name = "DXInput1";
  DXInput1->SetActiveOnly(true);
  DXInput1->SetUseDirectInput(true);
  DXInput1->Keyboard->SetEnabled(true);
  DXInput1->Keyboard->BindInputStates = true;
  DXInput1->Keyboard->ForceFeedback = false;
  DXInput1->Keyboard->ReadBinaryProperty("Assigns", app::HexToBytes(kDXInput1Assigns));
  for (media::TCustomInput* device : {static_cast<media::TCustomInput*>(DXInput1->Mouse),
                                      static_cast<media::TCustomInput*>(DXInput1->Joystick)}) {
    device->SetEnabled(false);
    device->BindInputStates = false;
    device->ForceFeedback = false;
  }
  DXInput1->Joystick->AutoCenter = true;
  DXInput1->Joystick->ID = 0;

  // References between components are resolved once all are read.
  DXImageList1->SetDXDraw(DXDraw1);

  for (app::TComponent* c : Components()) c->Loaded();
}

void TForm1::FormCreate(app::TObject*) {
  // A hisc.dat that cannot be read is reported, but only after the rest of start-up has run:
  // the random generator must still be seeded, or every game would deal the same digits.
  std::exception_ptr load_error;
  try {
    LoadHighScores();
  } catch (...) {
    load_error = std::current_exception();
  }
  app::Randomize(App().Platform());
  ShowFrameRate = false;
  GameState = gsLogoStart;
  // The palette: the pictures' colours, in force from the display's first initialisation.
  DXImageList1->Items.BuildColorTable();
  DXDraw1->RestoreColorTable = DXImageList1->Items.ColorTable;
  DXDraw1->ColorTable = DXDraw1->RestoreColorTable;
  DXDraw1->UpdatePalette();
  if (load_error) std::rethrow_exception(load_error);
}

void TForm1::FormDestroy(app::TObject*) {
  if (app::Application) app::Application->OnEndSession = nullptr;
  SaveHighScores();
}

void TForm1::DXDraw1Initialize(app::TObject*) {
  if (HighScores.HiScores[10] == 0) HighScores.FillDefaults();
  DXTimer1->SetEnabled(true);
}

void TForm1::DXDraw1Finalize(app::TObject*) { DXTimer1->SetEnabled(false); }

void TForm1::DXTimer1Timer(app::TObject*, std::int32_t LagCount) {
  if (!DXDraw1->ReadyToDraw()) return;
  DXDraw1->Surface()->Fill(0);
  if (PendingWave > 0 && DXSound1->Initialized()) {
    DXWaveList1->Items().Items(PendingWave - 1)->Play(false);
    PendingWave = 0;
  }
  RunState(LagCount);
  DXDraw1->Present();
}

void TForm1::RunState(std::int32_t LagCount) {
  switch (GameState) {
    case gsLogoStart:
      LogoJinglePending = true;
      GameState = gsLogo;
      LogoAngle = 240;
      TitleScatterCount = 10;
      break;

    case gsLogo:
      DrawLogo();
      LogoAngle -= LagCount / 10;
      if (LogoAngle < 0 && LogoJinglePending) {
        PendingWave = wvSoft;
        LogoJinglePending = false;
      }
      if (LogoAngle < -200) {
        GameState = gsTitle;
        LogoAngle = 0;
        PendingWave = wvTitle;
      }
      break;

    case gsTitle:
      DrawTitle();
      if (LagCount >= 35)
        --TitleScatterCount;
      else if (TitleScatterCount < kTitleScatterLimit)
        ++TitleScatterCount;
      break;

    case gsRanking:
      DrawRanking();
      break;

    case gsGameStart:
      GameState = gsPlay;
      PlayPhase = ppPlaying;
      TimeLeft = 60000;
      NewTurn();
      TotalScore = 0;
      TurnScore = 0;
      TurnText.clear();
      break;

    case gsPlay:
      if (PlayPhase == ppPlaying) {
        DXInput1->Update();
        const media::TDXInputStates& states = DXInput1->States;
        if (states.Empty() && SelectPhase == spHolding) SelectPhase = spReleased;
        static constexpr media::TDXInputState kArmStates[4] = {media::isUp, media::isDown, media::isLeft,
                                                               media::isRight};
        for (int arm = armUp; arm <= armRight; ++arm) {
          if (states.Contains(kArmStates[arm])) {
            ArmSelected[arm] = true;
            SelectPhase = spHolding;
          }
        }
        if (SelectPhase == spReleased) ScoreTurn();
        TimeLeft -= LagCount;
        if (TimeLeft < 0) {
          TimeLeft = 0;
          PlayPhase = ppTimeUp;
        }
        if (PlayPhase == ppTimeUp) EndGame();
      }
      DrawPlay();
      break;
  }
}

void TForm1::NewTurn() {
  SelectPhase = spIdle;
  for (int arm = armUp; arm <= armRight; ++arm) {
    ArmDigits[arm] = app::Random(10);
    ArmSelected[arm] = false;
  }
}

void TForm1::ScoreTurn() {
  TurnScore = 0;
  std::int32_t sum = 0, count = 0;
  for (int arm = armUp; arm <= armRight; ++arm) {
    if (ArmSelected[arm]) {
      sum += ArmDigits[arm];
      ++count;
    }
  }
  if (sum % 10 == 0) {
    TurnScore = (sum * count) / 2;
  } else {
    for (int arm = armUp; arm <= armRight; ++arm) {
      if (!ArmSelected[arm]) continue;
      bool top = true;
      for (int other = armUp; other <= armRight; ++other) {
        if (ArmDigits[arm] < ArmDigits[other]) {
          top = false;
          TurnScore -= 1000;
        }
      }
      if (top) TurnScore = 2 * TurnScore + 1;
    }
  }
  PendingWave = wvMiss;
  if (TurnScore > 0) PendingWave = wv1to9;
  if (TurnScore > 9) PendingWave = wv10to29;
  if (TurnScore > 29) PendingWave = wv30up;
  TurnText = app::IntToStr(TurnScore);
  if (TurnScore < 1) {
    TimeLeft -= 5000;
    TurnScore = 0;
    TurnText = "Miss";
  }
  TotalScore += TurnScore;
  NewTurn();
  SelectPhase = spIdle;
}

void TForm1::EndGame() {
  PlayPhase = ppGameOver;
  NewRank = 0;
  PendingWave = wvZavaOver;
  NewRank = HighScores.Enter(TotalScore, app::DateTimeText(App().Platform().Now()));
  if (NewRank == 1) StoredCheckValue = CheckValueOf(TotalScore);
}

void TForm1::LoadHighScores() {
  if (!platform::NameTaken(kHiscFileName)) return;
  std::string error;
  auto bytes = platform::ReadWholeFile(kHiscFileName, error);
  if (!bytes) throw app::EInOutError(5, error + "\r" + KeepUnreadHiscFile(nullptr));
  HiscData data;
  bool whole = false;
  std::string read_error;
  try {
    whole = ParseHiscFile(*bytes, data);
  } catch (const app::Exception& e) {
    read_error = e.Message();
  }
  // What was read before a failure stays.
  HighScores = data.table;
  StoredCheckValue = data.StoredCheckValue;
  PlayerName = data.PlayerName;
  if (read_error.empty() && whole) return;
  const std::string note = KeepUnreadHiscFile(&*bytes);
  if (!read_error.empty()) throw app::EInOutError(106, read_error + "\r" + note);
  platform::ReportToStderr("hisc.dat: " + note);
}

std::string TForm1::KeepUnreadHiscFile(const std::string* bytes) {
  // The next save would replace a file that was not read whole: keep it beside the new one, as
  // a copy of what was read or, failing that or when nothing could be read, by moving it.
  std::string why;
  bool kept = bytes && platform::ReplaceFileAtomically(kHiscBackupName, *bytes, why);
  if (!kept) kept = platform::RenameFile(kHiscFileName, kHiscBackupName, why);
  hisc_unkept_ = !kept;
  return kept ? app::Sjis(u8"読めなかった hisc.dat は hisc.dat.bak として残しました")
              : app::Sjis(u8"hisc.dat.bak を作れません: ") + why;
}

void TForm1::SaveHighScores() {
  if (hisc_unkept_) {
    // Replacing it would lose a table that may be whole on disk.
    platform::ReportToStderr("hisc.dat: " + app::Sjis(u8"読めなかった hisc.dat を残せないため、書き換えずにそのままにしました"));
    return;
  }
  HiscData data{HighScores, StoredCheckValue, PlayerName};
  std::string error;
  if (!platform::ReplaceFileAtomically(kHiscFileName, FormatHiscFile(data), error))
    throw app::EInOutError(5, error);
}

}  // namespace game
