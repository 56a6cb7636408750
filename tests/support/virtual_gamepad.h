#pragma once
// A gamepad with SDL's standard layout that exists only inside this process: SDL's virtual
// joystick, reported by SDL as any pad with a game-controller mapping is. The program's SDL
// platform must be running, or SDL's joysticks started with StartJoysticks.
#include <SDL.h>

namespace testing_support {

class VirtualGamepad {
 public:
  // Starts SDL's joysticks before the program's platform does, so that a pad can be plugged in
  // before the program starts. The platform's end stops them again.
  static void StartJoysticks();

  // Plugs the pad in.
  VirtualGamepad();
  // Pulls it out, if it is still in.
  ~VirtualGamepad();
  VirtualGamepad(const VirtualGamepad&) = delete;
  VirtualGamepad& operator=(const VirtualGamepad&) = delete;

  // Holds or lets go a button; SDL sees it when it next reads its joysticks.
  void Set(SDL_GameControllerButton button, bool down);
  void Unplug();
  bool Plugged() const { return joystick_ != nullptr; }

 private:
  SDL_Joystick* joystick_ = nullptr;
  SDL_JoystickID instance_ = -1;
};

}  // namespace testing_support
