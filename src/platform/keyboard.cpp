#include "platform/keyboard.h"

namespace platform {

void KeyboardDevice::SetCooperativeLevel(std::uint32_t window, bool foreground_only) {
  if (window != window_ || foreground_only != foreground_only_) acquired_ = false;
  window_ = window;
  foreground_only_ = foreground_only;
}

bool KeyboardDevice::WindowInFront() const {
  return window_ != 0 && keyboard_.ForegroundWindow() == window_;
}

InputResult KeyboardDevice::Acquire() {
  if (foreground_only_ && !WindowInFront()) {
    acquired_ = false;
    return InputResult::OtherHasPriority;
  }
  acquired_ = true;
  acquired_serial_ = keyboard_.FocusSerial();
  return InputResult::Ok;
}

InputResult KeyboardDevice::GetDeviceState(KeyTable& out) {
  out.fill(0);
  if (!acquired_) return InputResult::NotAcquired;
  // Any change of focus since the acquisition ends it, even when the window is back in front:
  // the keys seen meanwhile belonged to another window.
  if (foreground_only_ && keyboard_.FocusSerial() != acquired_serial_) {
    acquired_ = false;
    return InputResult::InputLost;
  }
  keyboard_.ScanCodesDown(out);
  return InputResult::Ok;
}

}  // namespace platform
