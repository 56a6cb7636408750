#include "platform/sdl/sdl_display.h"

#include <algorithm>

#include "platform/sdl/sdl_platform.h"

namespace platform {

SdlDisplay::SdlDisplay(SdlPlatform& platform) : platform_(platform) {}

std::vector<DisplayMode> SdlDisplay::Modes() {
  std::vector<DisplayMode> modes;
  auto add = [&modes](DisplayMode m) {
    if (m.width > 0 && m.height > 0 && std::find(modes.begin(), modes.end(), m) == modes.end())
      modes.push_back(m);
  };
  // The real modes, at the 32 bits surfaces have on the desktop.
  int count = SDL_GetNumDisplayModes(0);
  for (int i = 0; i < count; ++i) {
    SDL_DisplayMode m;
    if (SDL_GetDisplayMode(0, i, &m) == 0) add({m.w, m.h, 32});
  }
  SDL_DisplayMode desktop{};
  if (SDL_GetDesktopDisplayMode(0, &desktop) == 0) add({desktop.w, desktop.h, 32});
  // Emulated 8-bit modes: shown through the palette, full screen on the desktop.
  for (DisplayMode m : {DisplayMode{320, 240, 8}, DisplayMode{640, 480, 8}, DisplayMode{800, 600, 8}})
    add(m);
  if (desktop.w > 0) add({desktop.w, desktop.h, 8});
  return modes;
}

void SdlDisplay::WindowClientSize(Window& window, int& width, int& height) {
  auto& w = static_cast<SdlWindow&>(window);
  width = w.ClientWidth();
  height = w.ClientHeight();
}

bool SdlDisplay::EnterFullScreen(Window& window, const DisplayMode&) {
  auto& sdl_window = static_cast<SdlWindow&>(window);
  SDL_Window* w = sdl_window.Handle();
  SDL_Rect before;
  SDL_GetWindowPosition(w, &before.x, &before.y);
  SDL_GetWindowSize(w, &before.w, &before.h);
  // Cover the screen by hand too: without a window manager to honour the full-screen state
  // (a bare X server) the window would otherwise stay where it was.
  SDL_Rect screen;
  sdl_window.FreeSize();
  if (SDL_GetDisplayBounds(std::max(SDL_GetWindowDisplayIndex(w), 0), &screen) == 0) {
    SDL_SetWindowPosition(w, screen.x, screen.y);
    SDL_SetWindowSize(w, screen.w, screen.h);
  }
  if (SDL_SetWindowFullscreen(w, SDL_WINDOW_FULLSCREEN_DESKTOP) != 0) {
    sdl_window.SetSize(before.w, before.h);
    SDL_SetWindowPosition(w, before.x, before.y);
    return false;
  }
  windowed_[window.Id()] = before;
  return true;
}

void SdlDisplay::LeaveFullScreen(Window& window) {
  auto& sdl_window = static_cast<SdlWindow&>(window);
  SDL_Window* w = sdl_window.Handle();
  SDL_SetWindowFullscreen(w, 0);
  auto it = windowed_.find(window.Id());
  if (it == windowed_.end()) return;
  sdl_window.SetSize(it->second.w, it->second.h);
  SDL_SetWindowPosition(w, it->second.x, it->second.y);
  windowed_.erase(it);
}

void SdlDisplay::Show(Window& window, const PixelBuffer& primary) {
  ShowInWindowSurface(static_cast<SdlWindow&>(window).Handle(), primary, columns_, staging_, &shown_);
}

void ShowInWindowSurface(SDL_Window* w, const PixelBuffer& primary, std::vector<int>& columns,
                         std::vector<Rgb>& staging, ShownPicture* shown) {
  SDL_Surface* surface = SDL_GetWindowSurface(w);
  if (!surface) return;
  // A surface SDL made anew (after a resize, or for another window) holds none of the last
  // picture, even where it sits at the same address: it is marked once it has one.
  if (shown && surface->userdata != shown) {
    shown->Forget();
    surface->userdata = shown;
  }
  const Rect r = FitPicture(primary.width, primary.height, surface->w, surface->h);
  if (r.Empty()) return;
  // Black bars where the picture does not reach (none in a window of the picture's shape).
  const SDL_Rect bars[4] = {{0, 0, surface->w, r.top},
                            {0, r.bottom, surface->w, surface->h - r.bottom},
                            {0, r.top, r.left, r.Height()},
                            {r.right, r.top, surface->w - r.right, r.Height()}};
  for (const SDL_Rect& bar : bars)
    if (bar.w > 0 && bar.h > 0) SDL_FillRect(surface, &bar, SDL_MapRGB(surface->format, 0, 0, 0));
  const Uint32 format = surface->format->format;
  if (format == SDL_PIXELFORMAT_RGB888 || format == SDL_PIXELFORMAT_ARGB8888) {
    if (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) != 0) return;
    const PixelBuffer target{static_cast<std::uint8_t*>(surface->pixels), surface->w, surface->h, surface->pitch, 32,
                             nullptr};
    ScaleNearest(primary, target, r, format == SDL_PIXELFORMAT_ARGB8888 ? 0xFF000000u : 0u, columns, shown);
    if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
  } else {
    // A window surface of another format: SDL converts the colours while it enlarges.
    ExpandToRgb(primary, staging);
    SDL_Surface* source = SDL_CreateRGBSurfaceWithFormatFrom(staging.data(), primary.width, primary.height, 32,
                                                             primary.width * 4, SDL_PIXELFORMAT_RGB888);
    if (!source) return;
    SDL_Rect dst{r.left, r.top, r.Width(), r.Height()};
    SDL_BlitScaled(source, nullptr, surface, &dst);
    if (shown) shown->Forget();
    SDL_FreeSurface(source);
  }
  SDL_UpdateWindowSurface(w);
}

void SdlDisplay::WaitForVerticalBlank() { platform_.WaitForVerticalBlank(); }

void SdlDisplay::WindowMinimized(std::uint32_t window_id) {
  if (windowed_.count(window_id)) LoseSurfaces();
}

}  // namespace platform
