#pragma once
// The headless gamepads: tests plug pads in, press and release their buttons and pull them out.
// Each press is posted as an event, as a desktop delivers it; the buttons held are what a read
// sees.
#include <map>

#include "platform/gamepad.h"

namespace platform {

class HeadlessPlatform;

class HeadlessGamepads : public Gamepads {
 public:
  explicit HeadlessGamepads(HeadlessPlatform& platform) : platform_(platform) {}

  PadButtons ButtonsDown() override;
  int Count() override { return static_cast<int>(held_.size()); }

  // --- Controls for tests ---
  // Plugs a pad in; returns its id.
  int Plug();
  // Pulls the pad out, with whatever it held.
  void Unplug(int pad);
  // Holds the button down, posting its press. Does nothing for a pad that is not plugged in.
  void Press(int pad, PadButton button);
  void Release(int pad, PadButton button);

 private:
  HeadlessPlatform& platform_;
  std::map<int, PadButtons> held_;
  int last_id_ = 0;
};

}  // namespace platform
