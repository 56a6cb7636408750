#pragma once
// The SDL screen: surfaces in memory, shown through each window's renderer. In a window the
// picture is scaled by the window's whole factor; full screen takes the desktop without
// changing the video mode and letter-boxes the picture. Pixels are scaled nearest-neighbour.
#include <SDL.h>

#include <cstdint>
#include <map>
#include <vector>

#include "platform/display_memory.h"

namespace platform {

class SdlPlatform;

class SdlDisplay : public MemoryDisplay {
 public:
  explicit SdlDisplay(SdlPlatform& platform);

  std::vector<DisplayMode> Modes() override;
  void WindowClientSize(Window& window, int& width, int& height) override;
  bool EnterFullScreen(Window& window, const DisplayMode& mode) override;
  void LeaveFullScreen(Window& window) override;
  void Show(Window& window, const PixelBuffer& primary) override;
  void WaitForVerticalBlank() override;

  // The renderer's targets were reset, or its whole device (then every window's renderer is
  // made anew): the surfaces count as lost, so the program redraws them.
  void RenderReset(bool device_reset);

 private:
  SdlPlatform& platform_;
  // Where each full-screen window was before, to put it back.
  std::map<std::uint32_t, SDL_Rect> windowed_;
};

// What one window needs to show a picture: its renderer and a texture of the picture's size.
class SdlPresenter {
 public:
  explicit SdlPresenter(SDL_Window* window) : window_(window) {}
  ~SdlPresenter();
  SdlPresenter(const SdlPresenter&) = delete;
  SdlPresenter& operator=(const SdlPresenter&) = delete;

  void Show(const PixelBuffer& picture);
  void Drop();

 private:
  SDL_Window* window_;
  SDL_Renderer* renderer_ = nullptr;
  SDL_Texture* texture_ = nullptr;
  int texture_width_ = 0, texture_height_ = 0;
  std::vector<Rgb> staging_;
};

}  // namespace platform
