#pragma once
// Gamepads as the game reads them: the buttons held now on all pads together, and a press of each
// button as an event (EventType::PadButtonDown, `button` holding the PadButton). Face buttons are
// named by where they sit, whatever is printed on them.
#include <cstdint>

namespace platform {

enum class PadButton : std::uint8_t {
  FaceUp, FaceDown, FaceLeft, FaceRight,
  DpadUp, DpadDown, DpadLeft, DpadRight,
  Start, Back,
};

// A set of PadButton, one bit each.
using PadButtons = std::uint32_t;

constexpr PadButtons PadBit(PadButton button) { return PadButtons(1) << static_cast<unsigned>(button); }

class Gamepads {
 public:
  virtual ~Gamepads() = default;
  // The buttons held on any pad plugged in now. A pad unplugged holds nothing.
  virtual PadButtons ButtonsDown() = 0;
  // How many pads are plugged in.
  virtual int Count() = 0;
};

}  // namespace platform
