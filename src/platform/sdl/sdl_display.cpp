#include "platform/sdl/sdl_display.h"

#include <algorithm>
#include <cstring>

#include "platform/sdl/sdl_platform.h"

namespace platform {

namespace {

// True when the renderer draws through OpenGL rasterised by the processor (a virtual X server,
// a machine without a graphics driver). Scaling the picture there costs far more than SDL's
// own software renderer does.
bool RasterisedInSoftware(SDL_Renderer* renderer) {
  SDL_RendererInfo info;
  if (SDL_GetRendererInfo(renderer, &info) != 0 || !info.name || std::strncmp(info.name, "opengl", 6) != 0)
    return false;
  using GetString = const unsigned char* (*)(unsigned int);
  auto get_string = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"));
  if (!get_string) return false;
  constexpr unsigned int kGlRenderer = 0x1F01;
  const char* name = reinterpret_cast<const char*>(get_string(kGlRenderer));
  if (!name) return false;
  for (const char* soft : {"llvmpipe", "softpipe", "Software Rasterizer", "SWR"})
    if (std::strstr(name, soft)) return true;
  return false;
}

}  // namespace

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
  SDL_Window* w = static_cast<SdlWindow&>(window).Handle();
  SDL_Rect before;
  SDL_GetWindowPosition(w, &before.x, &before.y);
  SDL_GetWindowSize(w, &before.w, &before.h);
  // Cover the screen by hand too: without a window manager to honour the full-screen state
  // (a bare X server) the window would otherwise stay where it was.
  SDL_Rect screen;
  if (SDL_GetDisplayBounds(std::max(SDL_GetWindowDisplayIndex(w), 0), &screen) == 0) {
    SDL_SetWindowPosition(w, screen.x, screen.y);
    SDL_SetWindowSize(w, screen.w, screen.h);
  }
  if (SDL_SetWindowFullscreen(w, SDL_WINDOW_FULLSCREEN_DESKTOP) != 0) {
    SDL_SetWindowSize(w, before.w, before.h);
    SDL_SetWindowPosition(w, before.x, before.y);
    return false;
  }
  windowed_[window.Id()] = before;
  return true;
}

void SdlDisplay::LeaveFullScreen(Window& window) {
  SDL_Window* w = static_cast<SdlWindow&>(window).Handle();
  SDL_SetWindowFullscreen(w, 0);
  auto it = windowed_.find(window.Id());
  if (it == windowed_.end()) return;
  SDL_SetWindowSize(w, it->second.w, it->second.h);
  SDL_SetWindowPosition(w, it->second.x, it->second.y);
  windowed_.erase(it);
}

void SdlDisplay::Show(Window& window, const PixelBuffer& primary) {
  static_cast<SdlWindow&>(window).Presenter().Show(primary);
}

void SdlDisplay::WaitForVerticalBlank() { platform_.WaitForVerticalBlank(); }

void SdlDisplay::RenderReset(bool device_reset) {
  if (device_reset) platform_.DropPresenters();
  LoseSurfaces();
}

SdlPresenter::~SdlPresenter() { Drop(); }

void SdlPresenter::Drop() {
  if (texture_) SDL_DestroyTexture(texture_);
  if (renderer_) SDL_DestroyRenderer(renderer_);
  texture_ = nullptr;
  renderer_ = nullptr;
  texture_width_ = texture_height_ = 0;
}

void SdlPresenter::Show(const PixelBuffer& picture) {
  if (!renderer_) {
    renderer_ = SDL_CreateRenderer(window_, -1, 0);
    if (renderer_ && RasterisedInSoftware(renderer_)) {
      SDL_DestroyRenderer(renderer_);
      renderer_ = nullptr;
    }
    if (!renderer_) renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_SOFTWARE);
    if (!renderer_) return;
  }
  if (!texture_ || texture_width_ != picture.width || texture_height_ != picture.height) {
    if (texture_) SDL_DestroyTexture(texture_);
    texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING, picture.width,
                                 picture.height);
    if (!texture_) return;
    SDL_SetTextureScaleMode(texture_, SDL_ScaleModeNearest);
    texture_width_ = picture.width;
    texture_height_ = picture.height;
  }
  if (picture.bits_per_pixel == 8) {
    ExpandToRgb(picture, staging_);
    SDL_UpdateTexture(texture_, nullptr, staging_.data(), picture.width * 4);
  } else {
    SDL_UpdateTexture(texture_, nullptr, picture.pixels, picture.pitch);
  }
  int out_w = 0, out_h = 0;
  SDL_GetRendererOutputSize(renderer_, &out_w, &out_h);
  Rect r = FitPicture(picture.width, picture.height, out_w, out_h);
  // Black bars where the picture does not reach (not needed in a window of the picture's shape).
  if (r.Width() != out_w || r.Height() != out_h) {
    SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
    SDL_RenderClear(renderer_);
  }
  SDL_Rect dst{r.left, r.top, r.Width(), r.Height()};
  SDL_RenderCopy(renderer_, texture_, nullptr, &dst);
  SDL_RenderPresent(renderer_);
}

}  // namespace platform
