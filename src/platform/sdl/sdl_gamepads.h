#pragma once
// The SDL gamepads: every joystick that SDL has a game-controller mapping for, opened when it
// is plugged in (SDL reports those present at start the same way) and closed when it is pulled
// out.
#include <SDL.h>

#include <map>

#include "platform/gamepad.h"
#include "platform/platform.h"

namespace platform {

class SdlGamepads : public Gamepads {
 public:
  // Starts SDL's game-controller subsystem; without it there are simply no pads.
  SdlGamepads();
  ~SdlGamepads() override;
  SdlGamepads(const SdlGamepads&) = delete;
  SdlGamepads& operator=(const SdlGamepads&) = delete;

  PadButtons ButtonsDown() override;
  int Count() override { return static_cast<int>(open_.size()); }

  // Takes in a controller event; true when it becomes `out` for the program.
  bool Translate(const SDL_Event& in, Event& out);

 private:
  void Open(int device_index);
  void Close(SDL_JoystickID instance);

  bool started_ = false;
  std::map<SDL_JoystickID, SDL_GameController*> open_;
};

}  // namespace platform
