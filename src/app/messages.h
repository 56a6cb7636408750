#pragma once
// Window messages as the components see them. The numbers are the classic ones, so hooks read
// as the component designs describe them.
#include <cstdint>

namespace app {

struct TMessage {
  std::uint32_t Msg = 0;
  std::intptr_t WParam = 0;
  std::intptr_t LParam = 0;
  std::intptr_t Result = 0;
};

inline constexpr std::uint32_t WM_CREATE = 0x0001;
inline constexpr std::uint32_t WM_DESTROY = 0x0002;
inline constexpr std::uint32_t WM_ACTIVATE = 0x0006;
inline constexpr std::uint32_t WM_PAINT = 0x000F;
inline constexpr std::uint32_t WM_CLOSE = 0x0010;
inline constexpr std::uint32_t WM_ACTIVATEAPP = 0x001C;
inline constexpr std::uint32_t WM_WINDOWPOSCHANGED = 0x0047;
inline constexpr std::uint32_t WM_KEYDOWN = 0x0100;
inline constexpr std::uint32_t WM_KEYUP = 0x0101;
inline constexpr std::uint32_t WM_SYSKEYDOWN = 0x0104;
inline constexpr std::uint32_t WM_SYSKEYUP = 0x0105;
inline constexpr std::uint32_t WM_SYSCOMMAND = 0x0112;
inline constexpr std::uint32_t WM_TIMER = 0x0113;
inline constexpr std::uint32_t WM_PALETTECHANGED = 0x0311;

// The application's own notifications to its main window.
inline constexpr std::uint32_t CM_ACTIVATE = 0xB000;
inline constexpr std::uint32_t CM_DEACTIVATE = 0xB001;
inline constexpr std::uint32_t CM_RELEASE = 0xB021;

inline constexpr std::intptr_t WA_INACTIVE = 0;
inline constexpr std::intptr_t WA_ACTIVE = 1;
inline constexpr std::intptr_t SWP_SHOWWINDOW = 0x40;
inline constexpr std::intptr_t SC_MINIMIZE = 0xF020;

// Key messages: WParam is the virtual-key code; LParam holds the scan code in bits 16 to 23,
// the Alt state in bit 29 and the auto-repeat flag in bit 30.
inline constexpr std::intptr_t KF_ALTDOWN_BIT = std::intptr_t(1) << 29;
inline constexpr std::intptr_t KF_REPEAT_BIT = std::intptr_t(1) << 30;

}  // namespace app
