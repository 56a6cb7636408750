#include "platform/headless/headless_keyboard.h"

#include "platform/headless/headless_platform.h"

namespace platform {

std::uint32_t HeadlessKeyboard::ForegroundWindow() { return platform_.FocusedWindow(); }

// Like a desktop's, the keys held are seen only while one of the program's windows has the
// keyboard.
void HeadlessKeyboard::ScanCodesDown(KeyTable& out) {
  out.fill(0);
  if (ForegroundWindow() == 0) return;
  for (int sc = 1; sc < 256; ++sc)
    if (scan_down_[sc]) out[sc] = kKeyDown;
}

void HeadlessKeyboard::KeyStates(KeyTable& out) {
  out.fill(0);
  if (ForegroundWindow() == 0) return;
  for (int sc = 1; sc < 256; ++sc)
    if (scan_down_[sc] && vk_of_scan_[sc] < 256) out[vk_of_scan_[sc]] = kKeyDown;
}

void HeadlessKeyboard::Press(KeyCode key) {
  bool repeat = scan_down_[key.scancode];
  scan_down_[key.scancode] = true;
  vk_of_scan_[key.scancode] = key.vk;
  Send(key, true, repeat);
}

void HeadlessKeyboard::Release(KeyCode key) {
  if (!scan_down_[key.scancode]) return;
  scan_down_[key.scancode] = false;
  Send(key, false, false);
}

void HeadlessKeyboard::ReleaseAll() {
  for (int sc = 1; sc < 256; ++sc)
    if (scan_down_[sc]) Release(KeyCode{static_cast<std::uint8_t>(sc), vk_of_scan_[sc]});
}

void HeadlessKeyboard::Send(KeyCode key, bool down, bool repeat) {
  std::uint32_t window = ForegroundWindow();
  if (window == 0) return;
  Event e;
  e.type = down ? EventType::KeyDown : EventType::KeyUp;
  e.window = window;
  e.vk = key.vk;
  e.scancode = key.scancode;
  e.alt = AnyDown(keys::LeftAlt.scancode, keys::RightAlt.scancode);
  e.shift = AnyDown(keys::LeftShift.scancode, 0x36);
  e.ctrl = AnyDown(0x1D, 0x9D);
  e.repeat = repeat;
  platform_.PostEvent(e);
}

}  // namespace platform
