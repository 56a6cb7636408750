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

void SdlPlatform::SetClipboardText(const std::string& utf8) { SDL_SetClipboardText(utf8.c_str()); }

bool SdlPlatform::OpenUrl(const std::string& url) { return SDL_OpenURL(url.c_str()) == 0; }

void SdlWindow::ShowPixels(const PixelBuffer& pixels) {
  // Dialog windows have no renderer: their pixels go straight to the window's own surface,
  // enlarged as the game's are.
  if (pixels.bits_per_pixel != 32) return;
  ShowInWindowSurface(window_, pixels, columns_, staging_);
}

}  // namespace platform
