// The real program on its SDL backend under a virtual X server, played with SDL's virtual pad:
// the game runs in this process, so that the pad SDL reports is one this test holds.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>

#include "app/application.h"
#include "app/forms.h"
#include "game/unit1.h"
#include "platform/gamepad.h"
#include "platform/platform.h"
#include "support/harness.h"
#include "support/process.h"
#include "support/virtual_gamepad.h"

namespace {

using namespace std::chrono_literals;
using testing_support::ScopedTempDir;
using testing_support::VirtualGamepad;
using testing_support::VirtualX;

constexpr SDL_GameControllerButton kArmButton[4] = {SDL_CONTROLLER_BUTTON_Y, SDL_CONTROLLER_BUTTON_A,
                                                    SDL_CONTROLLER_BUTTON_X, SDL_CONTROLLER_BUTTON_B};
constexpr const char* kArmKey[4] = {"Up", "Down", "Left", "Right"};

class PlayWithGamepad : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("DISPLAY", x.Display().c_str(), 1);
    setenv("SDL_VIDEODRIVER", "x11", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    // The pad is in before the program starts.
    VirtualGamepad::StartJoysticks();
    pad.emplace();
    sdl = platform::CreateSdlPlatform();
    application = std::make_unique<app::TApplication>(*sdl);
    form = app::CreateForm<game::TForm1>(application.get());
    application->MainForm = form;
    form->Show();
  }
  void TearDown() override {
    pad.reset();
    application.reset();  // the form with it, which writes hisc.dat
    sdl.reset();
    unsetenv("SDL_VIDEODRIVER");
    unsetenv("SDL_AUDIODRIVER");
  }

  // Runs the program's message loop until `done` holds; false if it does not within the time.
  bool RunUntil(const std::function<bool()>& done, std::chrono::seconds time = 10s) {
    auto until = std::chrono::steady_clock::now() + time;
    while (!done()) {
      if (std::chrono::steady_clock::now() > until || application->Terminated()) return false;
      application->HandleMessage();
    }
    return true;
  }
  // Presses the button until the game has seen it, then lets it go until SDL has seen that: a
  // press and release between two of SDL's reads would never be seen.
  void Tap(SDL_GameControllerButton button, const std::function<bool()>& seen) {
    pad->Set(button, true);
    EXPECT_TRUE(RunUntil(seen)) << "button " << int(button);
    pad->Set(button, false);
    EXPECT_TRUE(RunUntil([&] { return sdl->GetGamepads().ButtonsDown() == 0; }));
  }
  void Keys(const std::vector<std::string>& args) {
    int status = -1;
    x.Xdotool(args, &status);
    ASSERT_EQ(status, 0) << "xdotool " << args.front();
  }

  struct Turn {
    std::string text;
    std::int32_t gained;
    bool operator==(const Turn&) const = default;
  };
  // Deals `digits`, then chooses `arms` one after another (each pressed until the game has it,
  // all held together) and lets them go one by one; what the turn gave.
  Turn Choose(const std::array<std::int32_t, 4>& digits, const std::vector<int>& arms,
              const std::function<void(int arm, bool down)>& hold) {
    form->ArmDigits = digits;
    const std::int32_t total = form->TotalScore;
    for (int arm : arms) {
      hold(arm, true);
      EXPECT_TRUE(RunUntil([&] { return form->ArmSelected[arm]; })) << "arm " << arm;
    }
    for (int arm : arms) {
      EXPECT_EQ(form->SelectPhase, game::spHolding) << "scored before every arm was let go";
      hold(arm, false);
    }
    EXPECT_TRUE(RunUntil([&] { return form->SelectPhase == game::spIdle; }));
    return Turn{form->TurnText, form->TotalScore - total};
  }

  VirtualX x;
  ScopedTempDir dir;
  std::optional<VirtualGamepad> pad;
  std::unique_ptr<platform::Platform> sdl;
  std::unique_ptr<app::TApplication> application;
  game::TForm1* form = nullptr;
};

TEST_F(PlayWithGamepad, AWholeGameWithThePadOnlyAndAPadPulledOutMidChoice) {
  ASSERT_TRUE(RunUntil([&] { return form->GameState == game::gsLogo; }));
  ASSERT_TRUE(RunUntil([&] { return sdl->GetGamepads().Count() == 1; }));

  // Start skips the logo; Back goes to the ranking and back; Start starts a game.
  Tap(SDL_CONTROLLER_BUTTON_START, [&] { return form->GameState == game::gsTitle; });
  Tap(SDL_CONTROLLER_BUTTON_BACK, [&] { return form->GameState == game::gsRanking; });
  Tap(SDL_CONTROLLER_BUTTON_BACK, [&] { return form->GameState == game::gsTitle; });
  Tap(SDL_CONTROLLER_BUTTON_START, [&] { return form->GameState == game::gsPlay; });
  ASSERT_EQ(form->PlayPhase, game::ppPlaying);

  // Three arms held and let go score as the same keys do: a ten and a miss.
  auto by_pad = [&](int arm, bool down) {
    // The D-pad for the down arm, the face buttons for the others.
    pad->Set(arm == game::armDown ? SDL_CONTROLLER_BUTTON_DPAD_DOWN : kArmButton[arm], down);
  };
  auto by_keys = [&](int arm, bool down) { Keys({down ? "keydown" : "keyup", kArmKey[arm]}); };
  const std::vector<int> three = {game::armUp, game::armDown, game::armLeft};
  for (const std::array<std::int32_t, 4>& digits : {std::array<std::int32_t, 4>{2, 3, 5, 9}, {1, 2, 4, 9}}) {
    SCOPED_TRACE(digits[0] * 1000 + digits[1] * 100 + digits[2] * 10 + digits[3]);
    const Turn pad_turn = Choose(digits, three, by_pad);
    const Turn key_turn = Choose(digits, three, by_keys);
    EXPECT_EQ(pad_turn, key_turn);
    EXPECT_EQ(pad_turn.text, digits[0] == 2 ? "15" : "Miss");
  }

  // Pulled out in the middle of a choice: the held buttons are let go, the turn is scored and
  // the game goes on.
  form->ArmDigits = {4, 1, 2, 6};
  const std::int32_t total = form->TotalScore;
  pad->Set(SDL_CONTROLLER_BUTTON_Y, true);
  pad->Set(SDL_CONTROLLER_BUTTON_B, true);
  ASSERT_TRUE(RunUntil([&] { return form->ArmSelected[game::armUp] && form->ArmSelected[game::armRight]; }));
  pad->Unplug();
  ASSERT_TRUE(RunUntil([&] { return form->SelectPhase == game::spIdle; }));
  EXPECT_EQ(form->TurnText, "10");
  EXPECT_EQ(form->TotalScore, total + 10);
  EXPECT_EQ(sdl->GetGamepads().Count(), 0);
  EXPECT_EQ(form->GameState, game::gsPlay);
  EXPECT_EQ(form->PlayPhase, game::ppPlaying);
  const std::int32_t time_left = form->TimeLeft;
  ASSERT_TRUE(RunUntil([&] { return form->TimeLeft < time_left; })) << "the clock of the game stopped";

  // Another pad plugged in during the game plays it to its end: a miss (one arm that is not the
  // largest digit) costs five seconds.
  pad.emplace();
  ASSERT_TRUE(RunUntil([&] { return sdl->GetGamepads().Count() == 1; }));
  for (int turn = 0; turn < 40 && form->PlayPhase == game::ppPlaying; ++turn) {
    int arm = game::armUp;
    const int top = *std::max_element(form->ArmDigits.begin(), form->ArmDigits.end());
    for (int a = game::armUp; a <= game::armRight; ++a)
      if (form->ArmDigits[a] < top) arm = a;
    pad->Set(kArmButton[arm], true);
    RunUntil([&] { return form->ArmSelected[arm] || form->PlayPhase != game::ppPlaying; });
    pad->Set(kArmButton[arm], false);
    RunUntil([&] { return form->SelectPhase == game::spIdle || form->PlayPhase != game::ppPlaying; });
  }
  ASSERT_TRUE(RunUntil([&] { return form->PlayPhase == game::ppGameOver; }, 70s));
  EXPECT_EQ(form->GameState, game::gsPlay);

  // Back leaves the game-over screen for the logo.
  Tap(SDL_CONTROLLER_BUTTON_BACK, [&] { return form->GameState != game::gsPlay; });
  EXPECT_TRUE(RunUntil([&] { return form->GameState == game::gsLogo; }));
  EXPECT_FALSE(application->Terminated());
}

}  // namespace
