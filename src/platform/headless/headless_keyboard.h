#pragma once
// The headless keyboard: tests press and release keys; each press and release reaches the
// focused window as a key event, as on a desktop, and the keys held are what a read sees.
#include <cstdint>

#include "platform/keyboard.h"

namespace platform {

class HeadlessPlatform;

// A physical key: its set-1 scan code and the virtual-key code its messages carry.
struct KeyCode {
  std::uint8_t scancode;
  std::uint16_t vk;
};

// Keys by name, for tests.
namespace keys {
inline constexpr KeyCode Escape{0x01, 0x1B}, Enter{0x1C, 0x0D}, Space{0x39, 0x20};
inline constexpr KeyCode LeftAlt{0x38, 0x12}, RightAlt{0xB8, 0x12}, LeftShift{0x2A, 0x10};
inline constexpr KeyCode F1{0x3B, 0x70}, F2{0x3C, 0x71}, F8{0x42, 0x77}, F9{0x43, 0x78}, F11{0x57, 0x7A};
inline constexpr KeyCode Up{0xC8, 0x26}, Down{0xD0, 0x28}, Left{0xCB, 0x25}, Right{0xCD, 0x27};
inline constexpr KeyCode Numpad8{0x48, 0x68}, Numpad2{0x50, 0x62}, Numpad4{0x4B, 0x64}, Numpad6{0x4D, 0x66};
inline constexpr KeyCode NumpadEnter{0x9C, 0x0D};
inline constexpr KeyCode I{0x17, 0x49}, K{0x25, 0x4B}, J{0x24, 0x4A}, L{0x26, 0x4C};
inline constexpr KeyCode H{0x23, 0x48}, X{0x2D, 0x58}, Z{0x2C, 0x5A};
inline constexpr KeyCode Apostrophe{0x28, 0xDE};
}  // namespace keys

class HeadlessKeyboard : public Keyboard {
 public:
  explicit HeadlessKeyboard(HeadlessPlatform& platform) : platform_(platform) {}

  bool HasScanCodes() const override { return has_scan_codes_; }
  void ScanCodesDown(KeyTable& out) override;
  void KeyStates(KeyTable& out) override;
  std::uint32_t ForegroundWindow() override;
  std::uint32_t FocusSerial() override { return focus_serial_; }

  // --- Controls for tests ---
  // Holds the key down; the focused window gets a key-down event (an auto-repeat when the key is
  // already down). With no window of the program in front, the key is held but no event is sent.
  void Press(KeyCode key);
  // Lets the key go, with a key-up event to the focused window.
  void Release(KeyCode key);
  void ReleaseAll();
  bool IsDown(KeyCode key) const { return scan_down_[key.scancode]; }
  // A platform without the scan-code path: readers fall back to the key-state table.
  void SetScanCodesAvailable(bool available) { has_scan_codes_ = available; }

  // Called by the platform when the focus moves.
  void FocusChanged() { ++focus_serial_; }

 private:
  void Send(KeyCode key, bool down, bool repeat);
  bool AnyDown(std::uint8_t a, std::uint8_t b) const { return scan_down_[a] || scan_down_[b]; }

  HeadlessPlatform& platform_;
  bool scan_down_[256] = {};
  std::uint16_t vk_of_scan_[256] = {};
  bool has_scan_codes_ = true;
  std::uint32_t focus_serial_ = 0;
};

}  // namespace platform
