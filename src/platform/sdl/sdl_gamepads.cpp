#include "platform/sdl/sdl_gamepads.h"

#include <optional>

namespace platform {

namespace {

struct ButtonOf {
  SDL_GameControllerButton sdl;
  PadButton pad;
};

// SDL names the face buttons by where they sit on its reference pad: A at the bottom, B on the
// right, X on the left, Y at the top.
constexpr ButtonOf kButtons[] = {
    {SDL_CONTROLLER_BUTTON_Y, PadButton::FaceUp},       {SDL_CONTROLLER_BUTTON_A, PadButton::FaceDown},
    {SDL_CONTROLLER_BUTTON_X, PadButton::FaceLeft},     {SDL_CONTROLLER_BUTTON_B, PadButton::FaceRight},
    {SDL_CONTROLLER_BUTTON_DPAD_UP, PadButton::DpadUp}, {SDL_CONTROLLER_BUTTON_DPAD_DOWN, PadButton::DpadDown},
    {SDL_CONTROLLER_BUTTON_DPAD_LEFT, PadButton::DpadLeft},
    {SDL_CONTROLLER_BUTTON_DPAD_RIGHT, PadButton::DpadRight},
    {SDL_CONTROLLER_BUTTON_START, PadButton::Start},    {SDL_CONTROLLER_BUTTON_BACK, PadButton::Back},
};

std::optional<PadButton> PadButtonOf(Uint8 sdl_button) {
  for (const ButtonOf& b : kButtons)
    if (b.sdl == sdl_button) return b.pad;
  return std::nullopt;
}

}  // namespace

SdlGamepads::SdlGamepads() {
  // By position, not by label: the top button always chooses the up arm, whichever letter a
  // maker prints on it.
  SDL_SetHint(SDL_HINT_GAMECONTROLLER_USE_BUTTON_LABELS, "0");
  // SDL keeps the buttons' state true even while another program is in front, so a button let
  // go meanwhile is not still held when the game is back; the input component ignores pads
  // while the game is behind, and so do the commands.
  SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
  started_ = SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) == 0;
}

SdlGamepads::~SdlGamepads() {
  for (auto& [instance, controller] : open_) SDL_GameControllerClose(controller);
  open_.clear();
  if (started_) SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
}

void SdlGamepads::Open(int device_index) {
  if (open_.count(SDL_JoystickGetDeviceInstanceID(device_index))) return;
  SDL_GameController* controller = SDL_GameControllerOpen(device_index);
  if (!controller) return;  // gone again already, or not a pad after all
  open_[SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(controller))] = controller;
}

void SdlGamepads::Close(SDL_JoystickID instance) {
  auto it = open_.find(instance);
  if (it == open_.end()) return;
  SDL_GameControllerClose(it->second);
  open_.erase(it);
}

PadButtons SdlGamepads::ButtonsDown() {
  PadButtons down = 0;
  for (auto& [instance, controller] : open_)
    for (const ButtonOf& b : kButtons)
      if (SDL_GameControllerGetButton(controller, b.sdl)) down |= PadBit(b.pad);
  return down;
}

bool SdlGamepads::Translate(const SDL_Event& in, Event& out) {
  switch (in.type) {
    case SDL_CONTROLLERDEVICEADDED:
      Open(in.cdevice.which);
      return false;
    case SDL_CONTROLLERDEVICEREMOVED:
      Close(in.cdevice.which);
      return false;
    case SDL_CONTROLLERBUTTONDOWN: {
      if (!open_.count(in.cbutton.which)) return false;
      std::optional<PadButton> button = PadButtonOf(in.cbutton.button);
      if (!button) return false;
      out.type = EventType::PadButtonDown;
      out.button = static_cast<int>(*button);
      return true;
    }
    default:
      return false;
  }
}

}  // namespace platform
