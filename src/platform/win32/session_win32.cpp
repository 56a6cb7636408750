#include <windows.h>

#include <SDL.h>

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

void SDLCALL OnWindowMessage(void*, void*, unsigned int message, Uint64, Sint64) {
  // Agreeing to end the session is Windows' default answer; the program ends the normal way.
  if (message == WM_QUERYENDSESSION) PostQuit();
}

}  // namespace

void WatchSessionEnd() {
  // Started from a command prompt, the window program takes that console's Ctrl+C and its
  // standard error, where the missing-font advice goes.
  if (GetStdHandle(STD_ERROR_HANDLE) == nullptr && AttachConsole(ATTACH_PARENT_PROCESS)) {
    HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
    if (console != INVALID_HANDLE_VALUE) SetStdHandle(STD_ERROR_HANDLE, console);
  }
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
  SDL_SetWindowsMessageHook(OnWindowMessage, nullptr);
}

}  // namespace platform
