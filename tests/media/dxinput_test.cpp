// The keyboard as input states: the stored key table, both ways of reading keys, the foreground
// rule and sampling.
#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "app/sjis.h"
#include "media/dxinput.h"
#include "support/harness.h"

namespace {

using media::TDXInputState;
using media::TDXInputStates;
using testing_support::GameHarness;
using testing_support::ScopedTempDir;
namespace keys = platform::keys;

TDXInputStates SetOf(std::initializer_list<TDXInputState> states) {
  TDXInputStates set;
  for (TDXInputState s : states) set.Include(s);
  return set;
}

TEST(ScanCodeToVirtualKey, MapsEveryScanCodeByTheTable) {
  std::map<int, int> expected;
  auto run = [&](int first_scan, std::vector<int> vks) {
    for (std::size_t i = 0; i < vks.size(); ++i) expected[first_scan + int(i)] = vks[i];
  };
  run(0x01, {0x1B, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x30});
  run(0x0D, {0x3D, 0x08, 0x09});
  run(0x10, {0x51, 0x57, 0x45, 0x52, 0x54, 0x59, 0x55, 0x49, 0x4F, 0x50, 0x5B, 0x5D, 0x0D, 0x11});
  run(0x1E, {0x41, 0x53, 0x44, 0x46, 0x47, 0x48, 0x4A, 0x4B, 0x4C, 0x3B, 0x27});
  run(0x2A, {0x10, 0x5C, 0x5A, 0x58, 0x43, 0x56, 0x42, 0x4E, 0x4D, 0x2C, 0x2E, 0x2F, 0x10, 0x2A, 0x12, 0x20, 0x14});
  run(0x3B, {0x70, 0x71, 0x72, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x90, 0x91});
  run(0x47, {0x67, 0x68, 0x69, 0x6D, 0x64, 0x65, 0x66, 0x6B, 0x61, 0x62, 0x63, 0x60, 0x6E});
  run(0x57, {0x7A, 0x7B});
  run(0x9C, {0x0D, 0x11});
  run(0xB5, {0x6F});
  run(0xB8, {0x12});
  run(0xC7, {0x24, 0x26, 0x21});
  run(0xCB, {0x25});
  run(0xCD, {0x27});
  run(0xCF, {0x23, 0x28, 0x22, 0x2D, 0x2E});
  run(0xDB, {0x5B, 0x5C, 0x5D});
  for (int sc = 0; sc < 256; ++sc) {
    auto it = expected.find(sc);
    EXPECT_EQ(media::ScanCodeToVirtualKey(std::uint8_t(sc)), it == expected.end() ? 0 : it->second)
        << "scan code " << std::hex << sc;
  }
  // Keys the table leaves out: minus, grave accent, the extra key of European keyboards, and
  // the Japanese keys (ro, yen, henkan, muhenkan, katakana/hiragana).
  for (int sc : {0x0C, 0x29, 0x56, 0x73, 0x7D, 0x79, 0x7B, 0x70}) EXPECT_EQ(media::ScanCodeToVirtualKey(sc), 0);
}

TEST(StoredAssigns, ReadsAndWritesTheStoredBlock) {
  ScopedTempDir dir;
  GameHarness h;
  h.Start();
  media::TKeyboard& kb = *h.form->DXInput1->Keyboard;

  // The form's stored table.
  media::TKeyboard::TAssigns stored{};
  stored[media::isUp] = {0x49, 0x26, 0x68};
  stored[media::isDown] = {0x4B, 0x28, 0x62};
  stored[media::isLeft] = {0x4A, 0x25, 0x64};
  stored[media::isRight] = {0x4C, 0x27, 0x66};
  stored[media::isButton2] = {0x58, 0x0D, 0};
  stored[media::isButton9] = {0x71, 0, 0};
  EXPECT_EQ(kb.Assigns, stored);

  // A block with codes of every width, under the misspelt name, and written back byte for byte.
  std::vector<std::uint8_t> block(432, 0);
  const std::uint8_t up_slot2[4] = {0x78, 0x56, 0x34, 0x12};     // 0x12345678
  const std::uint8_t b32_slot0[4] = {0xFE, 0xFF, 0xFF, 0xFF};    // -2
  std::copy(std::begin(up_slot2), std::end(up_slot2), block.begin() + 2 * 4);
  std::copy(std::begin(b32_slot0), std::end(b32_slot0), block.begin() + 35 * 12);
  block[12] = 0x41;  // Down, slot 0: A
  ASSERT_TRUE(kb.ReadBinaryProperty("Aissgns", block));
  EXPECT_EQ(kb.Assigns[media::isUp][2], 0x12345678);
  EXPECT_EQ(kb.Assigns[media::isDown][0], 0x41);
  EXPECT_EQ(kb.Assigns[media::isButton32][0], -2);
  EXPECT_EQ(kb.Assigns[media::isUp][0], 0);
  auto written = kb.AssignsData();
  EXPECT_EQ(std::vector<std::uint8_t>(written.begin(), written.end()), block);

  // Other names are not the table's; a block of the wrong size leaves the table alone.
  EXPECT_FALSE(kb.ReadBinaryProperty("Effects", block));
  const media::TKeyboard::TAssigns before = kb.Assigns;
  std::vector<std::uint8_t> short_block(431, 0xFF);
  EXPECT_THROW(kb.ReadBinaryProperty("Assigns", short_block), media::EDXInputError);
  EXPECT_EQ(kb.Assigns, before);
}

TEST(TDXInput, NeedsAFormAmongItsOwners) {
  try {
    media::TDXInput orphan(nullptr);
    FAIL() << "created without a form";
  } catch (const media::EDXInputError& e) {
    EXPECT_EQ(e.Message(), app::Sjis(u8"フォームが見つかりません"));
  }
}

// Both ways of reading the keyboard: by scan code, and through the key-state table.
class InputStates : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    h.Start();
    if (!GetParam()) h.form->DXInput1->SetUseDirectInput(false);
  }
  const TDXInputStates& Update() {
    input().Update();
    return input().States;
  }
  media::TDXInput& input() { return *h.form->DXInput1; }
  bool ByScanCode() const { return GetParam(); }

  ScopedTempDir dir;
  GameHarness h;
};

TEST_P(InputStates, StoredKeysGiveTheirStates) {
  struct Case {
    const char* name;
    platform::KeyCode key;
    TDXInputStates scan_path, key_state_path;
  };
  const Case cases[] = {
      {"I", keys::I, SetOf({media::isUp}), SetOf({media::isUp})},
      {"up arrow", keys::Up, SetOf({media::isUp}), SetOf({media::isUp})},
      {"keypad 8", keys::Numpad8, SetOf({media::isUp}), SetOf({media::isUp})},
      {"K", keys::K, SetOf({media::isDown}), SetOf({media::isDown})},
      {"down arrow", keys::Down, SetOf({media::isDown}), SetOf({media::isDown})},
      {"keypad 2", keys::Numpad2, SetOf({media::isDown}), SetOf({media::isDown})},
      {"J", keys::J, SetOf({media::isLeft}), SetOf({media::isLeft})},
      {"left arrow", keys::Left, SetOf({media::isLeft}), SetOf({media::isLeft})},
      {"keypad 4", keys::Numpad4, SetOf({media::isLeft}), SetOf({media::isLeft})},
      {"L", keys::L, SetOf({media::isRight}), SetOf({media::isRight})},
      {"right arrow", keys::Right, SetOf({media::isRight}), SetOf({media::isRight})},
      {"keypad 6", keys::Numpad6, SetOf({media::isRight}), SetOf({media::isRight})},
      {"Enter", keys::Enter, SetOf({media::isButton2}), SetOf({media::isButton2})},
      {"keypad Enter", keys::NumpadEnter, SetOf({media::isButton2}), SetOf({media::isButton2})},
      {"X", keys::X, SetOf({media::isButton2}), SetOf({media::isButton2})},
      {"F2", keys::F2, SetOf({media::isButton9}), SetOf({media::isButton9})},
      {"Space", keys::Space, {}, {}},
      {"Z", keys::Z, {}, {}},
      {"H", keys::H, {}, {}},
      // By scan code the apostrophe key maps to the code of "'", which is VK_RIGHT's.
      {"apostrophe", keys::Apostrophe, SetOf({media::isRight}), {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    h.Press(c.key);
    EXPECT_EQ(Update(), ByScanCode() ? c.scan_path : c.key_state_path);
    h.Release(c.key);
    EXPECT_TRUE(Update().Empty());
  }
}

TEST_P(InputStates, HeldKeysCombineAndLeaveOneByOne) {
  h.Press(keys::I);
  h.Press(keys::Up);
  h.Press(keys::Left);
  EXPECT_EQ(Update(), SetOf({media::isUp, media::isLeft}));
  h.Release(keys::I);
  EXPECT_EQ(Update(), SetOf({media::isUp, media::isLeft}));
  h.Release(keys::Up);
  EXPECT_EQ(Update(), SetOf({media::isLeft}));
  h.Release(keys::Left);
  EXPECT_TRUE(Update().Empty());
}

TEST_P(InputStates, KeysAreSampledNotBuffered) {
  h.Press(keys::Up);
  h.Release(keys::Up);
  EXPECT_TRUE(Update().Empty());
  EXPECT_TRUE(input().OldStates.Empty());
}

TEST_P(InputStates, NothingWhileAnotherWindowIsInFront) {
  h.Press(keys::Up);
  EXPECT_EQ(Update(), SetOf({media::isUp}));
  h.platform.FocusElsewhere();
  h.application->ProcessMessages();
  EXPECT_TRUE(Update().Empty());
  h.Press(keys::Left);  // held, but typed into the other program
  EXPECT_TRUE(Update().Empty());
  EXPECT_TRUE(input().Keyboard->Keys == platform::KeyTable{});

  // Back in front, the keys still held count again.
  h.platform.Focus(h.form->Handle().Id());
  h.application->ProcessMessages();
  EXPECT_EQ(Update(), SetOf({media::isUp, media::isLeft}));
}

TEST_P(InputStates, AWindowOfTheProgramItselfInFrontAlsoHidesTheKeys) {
  auto other = h.platform.CreateWindow(platform::WindowDesc{});
  h.Press(keys::Up);
  h.platform.Focus(other->Id());
  h.application->ProcessMessages();
  EXPECT_TRUE(Update().Empty());
}

TEST_P(InputStates, FocusLostAndRegainedBetweenTwoUpdatesStillReads) {
  h.Press(keys::Down);
  EXPECT_EQ(Update(), SetOf({media::isDown}));
  h.platform.FocusElsewhere();
  h.platform.Focus(h.form->Handle().Id());
  h.application->ProcessMessages();
  EXPECT_EQ(Update(), SetOf({media::isDown}));
}

TEST_P(InputStates, CodesOutsideOneTo255NeverMatch) {
  auto& assigns = input().Keyboard->Assigns;
  // 0x126 and -218 share their low byte with VK_UP.
  assigns[media::isButton1] = {0, 0x26 + 256, 0x26 - 256};
  assigns[media::isButton3] = {0, 0, 0x26};
  h.Press(keys::Up);
  EXPECT_EQ(Update(), SetOf({media::isUp, media::isButton3}));
}

TEST_P(InputStates, OnlyTheKeyboardAndTheGamepadsReport) {
  EXPECT_FALSE(input().Mouse->Enabled());
  EXPECT_FALSE(input().Joystick->Enabled());
  EXPECT_FALSE(input().Mouse->Initialized());
  EXPECT_FALSE(input().Joystick->Initialized());
  EXPECT_TRUE(input().Gamepad->Initialized());
  ASSERT_EQ(input().DeviceList().size(), 4u);
  EXPECT_EQ(input().DeviceList()[0], input().Joystick);
  EXPECT_EQ(input().DeviceList()[1], input().Keyboard);
  EXPECT_EQ(input().DeviceList()[2], input().Mouse);
  EXPECT_EQ(input().DeviceList()[3], input().Gamepad);

  // A disabled keyboard reports nothing; enabled again it reads at once.
  h.Press(keys::Up);
  input().Keyboard->SetEnabled(false);
  EXPECT_TRUE(Update().Empty());
  input().Keyboard->SetEnabled(true);
  EXPECT_EQ(Update(), SetOf({media::isUp}));
}

INSTANTIATE_TEST_SUITE_P(ByScanCodeAndByKeyState, InputStates, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "ScanCodes" : "KeyStates"; });

TEST(InputStatesFallback, APlatformWithoutScanCodesReadsTheKeyStateTable) {
  ScopedTempDir dir;
  GameHarness h;
  h.keyboard().SetScanCodesAvailable(false);
  h.Start();
  EXPECT_EQ(h.form->DXInput1->DirectInput(), nullptr);
  h.Press(keys::Apostrophe);  // by scan code this would be Right
  h.Press(keys::Numpad8);
  h.form->DXInput1->Update();
  EXPECT_EQ(h.form->DXInput1->States, SetOf({media::isUp}));
}

}  // namespace
