// What the framework's own dialogs need of the desktop: their pixels shown in a window, the
// clipboard, and the user's browser.
#include "platform/sdl/sdl_platform.h"

namespace platform {

std::string SdlPlatform::ClipboardText() {
  char* text = SDL_GetClipboardText();
  if (!text) return {};
  std::string out(text);
  SDL_free(text);
  return out;
}

bool SdlPlatform::OpenUrl(const std::string& url) { return SDL_OpenURL(url.c_str()) == 0; }

void SdlWindow::ShowPixels(const PixelBuffer& pixels) {
  // Dialog windows have no renderer: their pixels go straight to the window's own surface.
  SDL_Surface* target = SDL_GetWindowSurface(window_);
  if (!target || pixels.bits_per_pixel != 32) return;
  SDL_Surface* source = SDL_CreateRGBSurfaceWithFormatFrom(pixels.pixels, pixels.width, pixels.height, 32,
                                                           pixels.pitch, SDL_PIXELFORMAT_RGB888);
  if (!source) return;
  SDL_BlitSurface(source, nullptr, target, nullptr);
  SDL_FreeSurface(source);
  SDL_UpdateWindowSurface(window_);
}

}  // namespace platform
