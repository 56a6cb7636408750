#pragma once
// The SDL screen: surfaces in memory, shown in each window's own surface. In a window the
// picture is enlarged by the window's whole factor; full screen takes the desktop without
// changing the video mode and letter-boxes the picture. Pixels are enlarged nearest-neighbour,
// by the program itself, so no graphics driver is needed and none is loaded.
#include <SDL.h>

#include <cstdint>
#include <map>
#include <vector>

#include "platform/display_memory.h"

namespace platform {

class SdlPlatform;

// Shows `picture` in the window's own surface, enlarged nearest-neighbour to the largest size of
// its shape that the window holds, centred between black bars. `columns` and `staging` are
// scratch space kept by the caller, so that showing allocates nothing; with `shown`, the rows of
// the picture that did not change since the last one are left as the surface has them.
void ShowInWindowSurface(SDL_Window* window, const PixelBuffer& picture, std::vector<int>& columns,
                         std::vector<Rgb>& staging, ShownPicture* shown = nullptr);

class SdlDisplay : public MemoryDisplay {
 public:
  explicit SdlDisplay(SdlPlatform& platform);

  std::vector<DisplayMode> Modes() override;
  void WindowClientSize(Window& window, int& width, int& height) override;
  bool EnterFullScreen(Window& window, const DisplayMode& mode) override;
  void LeaveFullScreen(Window& window) override;
  void Show(Window& window, const PixelBuffer& primary) override;
  void WaitForVerticalBlank() override;

  // A window was minimised. A full-screen one loses its surfaces, as an exclusive screen does
  // when the player switches away, and they are restored when it comes back.
  void WindowMinimized(std::uint32_t window_id);

 private:
  SdlPlatform& platform_;
  // Where each full-screen window was before, to put it back.
  std::map<std::uint32_t, SDL_Rect> windowed_;
  std::vector<int> columns_;   // the enlargement's source columns
  std::vector<Rgb> staging_;   // for window surfaces in another format
  ShownPicture shown_;         // what the window's surface holds
};

}  // namespace platform
