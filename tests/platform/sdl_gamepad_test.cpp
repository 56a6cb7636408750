// The SDL gamepads, with SDL's virtual pad: which buttons the program hears of and how, pads
// plugged in before the start and during the run, and a pad pulled out while held.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "platform/gamepad.h"
#include "platform/platform.h"
#include "support/virtual_gamepad.h"

namespace {

using namespace std::chrono_literals;
using platform::Event;
using platform::EventType;
using platform::PadBit;
using platform::PadButton;
using testing_support::VirtualGamepad;

class SdlGamepadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Pads do not need a screen: the dummy video driver will do.
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    VirtualGamepad::StartJoysticks();
    before_start = std::make_unique<VirtualGamepad>();
    sdl = platform::CreateSdlPlatform();
  }
  void TearDown() override {
    pads.clear();
    before_start.reset();
    sdl.reset();
    unsetenv("SDL_VIDEODRIVER");
  }

  platform::Gamepads& gamepads() { return sdl->GetGamepads(); }

  // Handles events (keeping the pad presses in `presses`) until `done` holds or the time is up.
  bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds time = 2s) {
    auto until = std::chrono::steady_clock::now() + time;
    for (;;) {
      Event e;
      while (sdl->PollEvent(e))
        if (e.type == EventType::PadButtonDown) presses.push_back(static_cast<PadButton>(e.button));
      if (done()) return true;
      if (std::chrono::steady_clock::now() > until) return false;
      std::this_thread::sleep_for(5ms);
    }
  }

  std::unique_ptr<VirtualGamepad> before_start;
  std::vector<std::unique_ptr<VirtualGamepad>> pads;
  std::unique_ptr<platform::Platform> sdl;
  std::vector<PadButton> presses;
};

TEST_F(SdlGamepadTest, EachButtonIsHeardByWhereItSits) {
  ASSERT_TRUE(PumpUntil([&] { return gamepads().Count() == 1; })) << "a pad plugged in before the start";
  struct Case {
    SDL_GameControllerButton sdl_button;
    PadButton pad;
  };
  const Case cases[] = {
      {SDL_CONTROLLER_BUTTON_Y, PadButton::FaceUp},          {SDL_CONTROLLER_BUTTON_A, PadButton::FaceDown},
      {SDL_CONTROLLER_BUTTON_X, PadButton::FaceLeft},        {SDL_CONTROLLER_BUTTON_B, PadButton::FaceRight},
      {SDL_CONTROLLER_BUTTON_DPAD_UP, PadButton::DpadUp},    {SDL_CONTROLLER_BUTTON_DPAD_DOWN, PadButton::DpadDown},
      {SDL_CONTROLLER_BUTTON_DPAD_LEFT, PadButton::DpadLeft}, {SDL_CONTROLLER_BUTTON_DPAD_RIGHT, PadButton::DpadRight},
      {SDL_CONTROLLER_BUTTON_START, PadButton::Start},       {SDL_CONTROLLER_BUTTON_BACK, PadButton::Back},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.sdl_button));
    presses.clear();
    before_start->Set(c.sdl_button, true);
    EXPECT_TRUE(PumpUntil([&] { return gamepads().ButtonsDown() == PadBit(c.pad); }));
    EXPECT_EQ(presses, std::vector<PadButton>{c.pad});
    before_start->Set(c.sdl_button, false);
    EXPECT_TRUE(PumpUntil([&] { return gamepads().ButtonsDown() == 0; }));
    EXPECT_EQ(presses.size(), 1u) << "a release is no press";
  }

  // The pad's other buttons mean nothing to the game.
  presses.clear();
  for (SDL_GameControllerButton b : {SDL_CONTROLLER_BUTTON_GUIDE, SDL_CONTROLLER_BUTTON_LEFTSHOULDER,
                                     SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, SDL_CONTROLLER_BUTTON_LEFTSTICK})
    before_start->Set(b, true);
  before_start->Set(SDL_CONTROLLER_BUTTON_START, true);  // a marker: once it is heard, so were the others
  ASSERT_TRUE(PumpUntil([&] { return !presses.empty(); }));
  EXPECT_EQ(presses, std::vector<PadButton>{PadButton::Start});
  EXPECT_EQ(gamepads().ButtonsDown(), PadBit(PadButton::Start));
}

TEST_F(SdlGamepadTest, PadsPluggedInLaterCountAndAPadPulledOutHoldsNothing) {
  ASSERT_TRUE(PumpUntil([&] { return gamepads().Count() == 1; }));
  pads.push_back(std::make_unique<VirtualGamepad>());
  ASSERT_TRUE(PumpUntil([&] { return gamepads().Count() == 2; }));

  // Two pads hold together.
  before_start->Set(SDL_CONTROLLER_BUTTON_Y, true);
  pads[0]->Set(SDL_CONTROLLER_BUTTON_DPAD_LEFT, true);
  const platform::PadButtons both = PadBit(PadButton::FaceUp) | PadBit(PadButton::DpadLeft);
  ASSERT_TRUE(PumpUntil([&] { return gamepads().ButtonsDown() == both; }));

  // Pulled out with its button still held: the button is let go with it.
  before_start->Unplug();
  EXPECT_TRUE(PumpUntil([&] { return gamepads().Count() == 1; }));
  EXPECT_EQ(gamepads().ButtonsDown(), PadBit(PadButton::DpadLeft));
  pads[0]->Unplug();
  EXPECT_TRUE(PumpUntil([&] { return gamepads().Count() == 0; }));
  EXPECT_EQ(gamepads().ButtonsDown(), 0u);
}

}  // namespace
