#include "platform/headless/headless_gamepads.h"

#include "platform/headless/headless_platform.h"

namespace platform {

PadButtons HeadlessGamepads::ButtonsDown() {
  PadButtons down = 0;
  for (const auto& [pad, buttons] : held_) down |= buttons;
  return down;
}

int HeadlessGamepads::Plug() {
  held_[++last_id_] = 0;
  return last_id_;
}

void HeadlessGamepads::Unplug(int pad) { held_.erase(pad); }

void HeadlessGamepads::Press(int pad, PadButton button) {
  auto it = held_.find(pad);
  if (it == held_.end()) return;
  it->second |= PadBit(button);
  Event e;
  e.type = EventType::PadButtonDown;
  e.button = static_cast<int>(button);
  platform_.PostEvent(e);
}

void HeadlessGamepads::Release(int pad, PadButton button) {
  auto it = held_.find(pad);
  if (it != held_.end()) it->second &= ~PadBit(button);
}

}  // namespace platform
