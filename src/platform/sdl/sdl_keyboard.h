#pragma once
// The SDL keyboard: SDL's table of keys down, which it keeps from the key events it has taken
// in and clears when the program loses the keyboard.
#include "platform/keyboard.h"

namespace platform {

class SdlKeyboard : public Keyboard {
 public:
  bool HasScanCodes() const override { return true; }
  void ScanCodesDown(KeyTable& out) override;
  void KeyStates(KeyTable& out) override;
  std::uint32_t ForegroundWindow() override;
  std::uint32_t FocusSerial() override { return focus_serial_; }

  // Called by the platform for every focus event it hands on.
  void FocusChanged() { ++focus_serial_; }

 private:
  std::uint32_t focus_serial_ = 0;
};

}  // namespace platform
