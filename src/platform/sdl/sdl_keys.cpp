// SDL key events to the Windows key numbering the program works in: virtual-key codes for key
// messages and the key-state table, set-1 scan codes for the scan-code path.
#include <array>

#include "platform/sdl/sdl_platform.h"

namespace platform {
namespace {

struct KeyCodes {
  std::uint8_t scancode;  // set 1; extended (E0-prefixed) keys have bit 7 set
  std::uint8_t vk;
};

std::array<KeyCodes, SDL_NUM_SCANCODES> BuildTable() {
  std::array<KeyCodes, SDL_NUM_SCANCODES> t{};
  auto set = [&](SDL_Scancode sc, int set1, int vk) {
    t[sc] = {static_cast<std::uint8_t>(set1), static_cast<std::uint8_t>(vk)};
  };
  const char* letters_row1 = "QWERTYUIOP";
  const SDL_Scancode row1[] = {SDL_SCANCODE_Q, SDL_SCANCODE_W, SDL_SCANCODE_E, SDL_SCANCODE_R,
                               SDL_SCANCODE_T, SDL_SCANCODE_Y, SDL_SCANCODE_U, SDL_SCANCODE_I,
                               SDL_SCANCODE_O, SDL_SCANCODE_P};
  for (int i = 0; i < 10; ++i) set(row1[i], 0x10 + i, letters_row1[i]);
  const char* letters_row2 = "ASDFGHJKL";
  const SDL_Scancode row2[] = {SDL_SCANCODE_A, SDL_SCANCODE_S, SDL_SCANCODE_D,
                               SDL_SCANCODE_F, SDL_SCANCODE_G, SDL_SCANCODE_H,
                               SDL_SCANCODE_J, SDL_SCANCODE_K, SDL_SCANCODE_L};
  for (int i = 0; i < 9; ++i) set(row2[i], 0x1E + i, letters_row2[i]);
  const char* letters_row3 = "ZXCVBNM";
  const SDL_Scancode row3[] = {SDL_SCANCODE_Z, SDL_SCANCODE_X, SDL_SCANCODE_C, SDL_SCANCODE_V,
                               SDL_SCANCODE_B, SDL_SCANCODE_N, SDL_SCANCODE_M};
  for (int i = 0; i < 7; ++i) set(row3[i], 0x2C + i, letters_row3[i]);
  for (int i = 0; i < 9; ++i) set(static_cast<SDL_Scancode>(SDL_SCANCODE_1 + i), 0x02 + i, '1' + i);
  set(SDL_SCANCODE_0, 0x0B, '0');
  set(SDL_SCANCODE_ESCAPE, 0x01, 0x1B);
  set(SDL_SCANCODE_MINUS, 0x0C, 0xBD);
  set(SDL_SCANCODE_EQUALS, 0x0D, 0xBB);
  set(SDL_SCANCODE_BACKSPACE, 0x0E, 0x08);
  set(SDL_SCANCODE_TAB, 0x0F, 0x09);
  set(SDL_SCANCODE_LEFTBRACKET, 0x1A, 0xDB);
  set(SDL_SCANCODE_RIGHTBRACKET, 0x1B, 0xDD);
  set(SDL_SCANCODE_RETURN, 0x1C, 0x0D);
  set(SDL_SCANCODE_KP_ENTER, 0x9C, 0x0D);
  set(SDL_SCANCODE_LCTRL, 0x1D, 0x11);
  set(SDL_SCANCODE_RCTRL, 0x9D, 0x11);
  set(SDL_SCANCODE_SEMICOLON, 0x27, 0xBA);
  set(SDL_SCANCODE_APOSTROPHE, 0x28, 0xDE);
  set(SDL_SCANCODE_GRAVE, 0x29, 0xC0);
  set(SDL_SCANCODE_LSHIFT, 0x2A, 0x10);
  set(SDL_SCANCODE_RSHIFT, 0x36, 0x10);
  set(SDL_SCANCODE_BACKSLASH, 0x2B, 0xDC);
  set(SDL_SCANCODE_COMMA, 0x33, 0xBC);
  set(SDL_SCANCODE_PERIOD, 0x34, 0xBE);
  set(SDL_SCANCODE_SLASH, 0x35, 0xBF);
  set(SDL_SCANCODE_KP_MULTIPLY, 0x37, 0x6A);
  set(SDL_SCANCODE_LALT, 0x38, 0x12);
  set(SDL_SCANCODE_RALT, 0xB8, 0x12);
  set(SDL_SCANCODE_SPACE, 0x39, 0x20);
  set(SDL_SCANCODE_CAPSLOCK, 0x3A, 0x14);
  for (int i = 0; i < 10; ++i) set(static_cast<SDL_Scancode>(SDL_SCANCODE_F1 + i), 0x3B + i, 0x70 + i);
  set(SDL_SCANCODE_F11, 0x57, 0x7A);
  set(SDL_SCANCODE_F12, 0x58, 0x7B);
  set(SDL_SCANCODE_NUMLOCKCLEAR, 0x45, 0x90);
  set(SDL_SCANCODE_SCROLLLOCK, 0x46, 0x91);
  set(SDL_SCANCODE_KP_7, 0x47, 0x67);
  set(SDL_SCANCODE_KP_8, 0x48, 0x68);
  set(SDL_SCANCODE_KP_9, 0x49, 0x69);
  set(SDL_SCANCODE_KP_MINUS, 0x4A, 0x6D);
  set(SDL_SCANCODE_KP_4, 0x4B, 0x64);
  set(SDL_SCANCODE_KP_5, 0x4C, 0x65);
  set(SDL_SCANCODE_KP_6, 0x4D, 0x66);
  set(SDL_SCANCODE_KP_PLUS, 0x4E, 0x6B);
  set(SDL_SCANCODE_KP_1, 0x4F, 0x61);
  set(SDL_SCANCODE_KP_2, 0x50, 0x62);
  set(SDL_SCANCODE_KP_3, 0x51, 0x63);
  set(SDL_SCANCODE_KP_0, 0x52, 0x60);
  set(SDL_SCANCODE_KP_PERIOD, 0x53, 0x6E);
  set(SDL_SCANCODE_NONUSBACKSLASH, 0x56, 0xE2);
  set(SDL_SCANCODE_NONUSHASH, 0x2B, 0xDC);
  set(SDL_SCANCODE_KP_EQUALS, 0x8D, 0x92);
  set(SDL_SCANCODE_PRINTSCREEN, 0xB7, 0x2C);
  set(SDL_SCANCODE_PAUSE, 0xC5, 0x13);
  // Japanese keyboards: ro, katakana/hiragana, yen, henkan, muhenkan.
  set(SDL_SCANCODE_INTERNATIONAL1, 0x73, 0xE2);
  set(SDL_SCANCODE_INTERNATIONAL2, 0x70, 0xF2);
  set(SDL_SCANCODE_INTERNATIONAL3, 0x7D, 0xDC);
  set(SDL_SCANCODE_INTERNATIONAL4, 0x79, 0x1C);
  set(SDL_SCANCODE_INTERNATIONAL5, 0x7B, 0x1D);
  set(SDL_SCANCODE_KP_DIVIDE, 0xB5, 0x6F);
  set(SDL_SCANCODE_HOME, 0xC7, 0x24);
  set(SDL_SCANCODE_UP, 0xC8, 0x26);
  set(SDL_SCANCODE_PAGEUP, 0xC9, 0x21);
  set(SDL_SCANCODE_LEFT, 0xCB, 0x25);
  set(SDL_SCANCODE_RIGHT, 0xCD, 0x27);
  set(SDL_SCANCODE_END, 0xCF, 0x23);
  set(SDL_SCANCODE_DOWN, 0xD0, 0x28);
  set(SDL_SCANCODE_PAGEDOWN, 0xD1, 0x22);
  set(SDL_SCANCODE_INSERT, 0xD2, 0x2D);
  set(SDL_SCANCODE_DELETE, 0xD3, 0x2E);
  set(SDL_SCANCODE_LGUI, 0xDB, 0x5B);
  set(SDL_SCANCODE_RGUI, 0xDC, 0x5C);
  set(SDL_SCANCODE_APPLICATION, 0xDD, 0x5D);
  return t;
}

const std::array<KeyCodes, SDL_NUM_SCANCODES>& Table() {
  static const std::array<KeyCodes, SDL_NUM_SCANCODES> table = BuildTable();
  return table;
}

}  // namespace

std::uint8_t Set1ScanCodeOf(SDL_Scancode sc) {
  return sc >= 0 && sc < SDL_NUM_SCANCODES ? Table()[sc].scancode : 0;
}

std::uint8_t VirtualKeyOf(SDL_Scancode sc, SDL_Keycode sym) {
  // Letter keys are named by the layout, as Windows names them (Z and Y swap on a German
  // keyboard); every other key by its place, so the keypad keeps its VK_NUMPAD codes whatever
  // the Num Lock state.
  if (sym >= SDLK_a && sym <= SDLK_z) return static_cast<std::uint8_t>('A' + (sym - SDLK_a));
  return sc >= 0 && sc < SDL_NUM_SCANCODES ? Table()[sc].vk : 0;
}

void TranslateKey(const SDL_KeyboardEvent& key, Event& out) {
  out.scancode = Set1ScanCodeOf(key.keysym.scancode);
  out.vk = VirtualKeyOf(key.keysym.scancode, key.keysym.sym);
}

}  // namespace platform
