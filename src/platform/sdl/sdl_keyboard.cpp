#include "platform/sdl/sdl_keyboard.h"

#include "platform/sdl/sdl_platform.h"

namespace platform {

namespace {

template <class F>
void ForEachKeyDown(F&& f) {
  int count = 0;
  const Uint8* down = SDL_GetKeyboardState(&count);
  for (int sc = 0; sc < count; ++sc)
    if (down[sc]) f(static_cast<SDL_Scancode>(sc));
}

}  // namespace

void SdlKeyboard::ScanCodesDown(KeyTable& out) {
  out.fill(0);
  ForEachKeyDown([&](SDL_Scancode sc) {
    if (std::uint8_t code = Set1ScanCodeOf(sc)) out[code] = kKeyDown;
  });
}

void SdlKeyboard::KeyStates(KeyTable& out) {
  out.fill(0);
  ForEachKeyDown([&](SDL_Scancode sc) {
    if (std::uint8_t vk = VirtualKeyOf(sc, SDL_GetKeyFromScancode(sc))) out[vk] = kKeyDown;
  });
}

std::uint32_t SdlKeyboard::ForegroundWindow() {
  SDL_Window* focus = SDL_GetKeyboardFocus();
  return focus ? SDL_GetWindowID(focus) : 0;
}

}  // namespace platform
