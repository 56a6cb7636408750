#include "support/virtual_gamepad.h"

#include <stdexcept>
#include <string>

namespace testing_support {

void VirtualGamepad::StartJoysticks() {
  if (SDL_InitSubSystem(SDL_INIT_JOYSTICK) != 0)
    throw std::runtime_error(std::string("cannot start SDL's joysticks: ") + SDL_GetError());
}

VirtualGamepad::VirtualGamepad() {
  SDL_VirtualJoystickDesc desc{};
  desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
  desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
  desc.naxes = SDL_CONTROLLER_AXIS_MAX;
  desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
  desc.name = "virtual pad";
  const int index = SDL_JoystickAttachVirtualEx(&desc);
  if (index < 0) throw std::runtime_error(std::string("cannot attach a virtual pad: ") + SDL_GetError());
  joystick_ = SDL_JoystickOpen(index);
  if (!joystick_) throw std::runtime_error(std::string("cannot open the virtual pad: ") + SDL_GetError());
  instance_ = SDL_JoystickInstanceID(joystick_);
}

VirtualGamepad::~VirtualGamepad() { Unplug(); }

void VirtualGamepad::Set(SDL_GameControllerButton button, bool down) {
  if (joystick_) SDL_JoystickSetVirtualButton(joystick_, button, down ? 1 : 0);
}

void VirtualGamepad::Unplug() {
  if (!joystick_) return;
  SDL_JoystickClose(joystick_);
  joystick_ = nullptr;
  for (int i = 0; i < SDL_NumJoysticks(); ++i) {
    if (SDL_JoystickGetDeviceInstanceID(i) == instance_) {
      SDL_JoystickDetachVirtual(i);
      break;
    }
  }
}

}  // namespace testing_support
