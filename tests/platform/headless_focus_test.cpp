// The headless desktop's focus, which the foreground rule of the game's input depends on.
#include <gtest/gtest.h>

#include "platform/headless/headless_platform.h"

namespace {

TEST(HeadlessFocus, EveryMoveOfTheKeyboardIsCountedAndAClosedWindowTakesItAway) {
  platform::HeadlessPlatform p;
  auto main = p.CreateWindow({});
  auto dialog = p.CreateWindow({});
  main->Show();
  dialog->Show();
  ASSERT_EQ(p.GetKeyboard().ForegroundWindow(), dialog->Id());
  std::uint32_t serial = p.GetKeyboard().FocusSerial();

  dialog->Hide();
  EXPECT_EQ(p.GetKeyboard().ForegroundWindow(), 0u);
  EXPECT_NE(p.GetKeyboard().FocusSerial(), serial);

  serial = p.GetKeyboard().FocusSerial();
  main->Raise();
  EXPECT_EQ(p.GetKeyboard().ForegroundWindow(), main->Id());
  EXPECT_NE(p.GetKeyboard().FocusSerial(), serial);

  serial = p.GetKeyboard().FocusSerial();
  main.reset();
  EXPECT_EQ(p.GetKeyboard().ForegroundWindow(), 0u);
  EXPECT_NE(p.GetKeyboard().FocusSerial(), serial);
}

}  // namespace
