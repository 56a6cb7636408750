#include <windows.h>

#include <SDL.h>

#include <functional>

#include "platform/session.h"

namespace platform {
namespace {

void PostQuit() {
  SDL_Event e{};
  e.type = SDL_QUIT;
  SDL_PushEvent(&e);
}

// Runs on a thread of the system's own.
BOOL WINAPI OnConsoleEvent(DWORD type) {
  PostQuit();
  if (type == CTRL_C_EVENT || type == CTRL_BREAK_EVENT) return TRUE;
  // The console closes or the session ends: the system ends the process as soon as this returns,
  // so wait here while the program saves and exits, which ends this thread too.
  Sleep(10000);
  return TRUE;
}

std::function<void()> save_now;

// Windows sends the session's end to every top-level window, hidden ones too, and ends the
// program as soon as WM_ENDSESSION has been answered: the table is saved before answering.
// SDL's message hook never sees these, as they are sent, not posted.
LRESULT CALLBACK SessionWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_QUERYENDSESSION:
      PostQuit();
      return TRUE;
    case WM_ENDSESSION:
      if (wparam && save_now) save_now();
      return 0;
    default:
      return DefWindowProcW(window, message, wparam, lparam);
  }
}

}  // namespace

void WatchSessionEnd(std::function<void()> save) {
  save_now = std::move(save);
  // Started from a command prompt, the window program takes that console's Ctrl+C and its
  // standard error, where the missing-font advice goes.
  if (GetStdHandle(STD_ERROR_HANDLE) == nullptr && AttachConsole(ATTACH_PARENT_PROCESS)) {
    HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
    if (console != INVALID_HANDLE_VALUE) SetStdHandle(STD_ERROR_HANDLE, console);
  }
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
  // A hidden top-level window of this thread's own; its messages arrive while SDL pumps events.
  WNDCLASSW session_class{};
  session_class.lpfnWndProc = SessionWindowProc;
  session_class.hInstance = GetModuleHandleW(nullptr);
  session_class.lpszClassName = L"VelkorSession";
  if (RegisterClassW(&session_class) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS)
    CreateWindowExW(WS_EX_TOOLWINDOW, L"VelkorSession", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                    session_class.hInstance, nullptr);
}

}  // namespace platform
