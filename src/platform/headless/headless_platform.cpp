#include "platform/headless/headless_platform.h"

#include <cstring>

#include "platform/headless/headless_audio.h"
#include "platform/library.h"

namespace platform {

HeadlessPlatform::HeadlessPlatform() : display_(std::make_unique<HeadlessDisplay>(*this)) {}
HeadlessPlatform::~HeadlessPlatform() = default;

void HeadlessPlatform::FollowRealTime() {
  auto now = std::chrono::steady_clock::now();
  if (net_.Busy()) {
    real_carry_ += now - real_last_;
    auto whole = std::chrono::duration_cast<std::chrono::milliseconds>(real_carry_);
    clock_ += static_cast<std::uint32_t>(whole.count());
    real_carry_ -= whole;
  } else {
    real_carry_ = {};
  }
  real_last_ = now;
}

void HeadlessPlatform::Sleep(std::uint32_t ms) {
  if (!net_.Busy()) {
    clock_ += ms;
  } else {
    FollowRealTime();
    // Socket activity ends the sleep early; the caller then looks at its messages sooner.
    net_.WaitActivity(ms);
    FollowRealTime();
  }
  RunWaitHook();
}

bool HeadlessPlatform::LoadLibraryFunction(std::string_view file_name, std::string_view function) {
  const std::string name = LowerAscii(file_name);
  if (!loaded_libraries_.count(name)) {
    if (missing_libraries_.count(name)) return false;
    loaded_libraries_.insert(name);
  }
  return LibraryExports(name, function);
}

void HeadlessPlatform::SetLibraryMissing(const std::string& file_name) {
  missing_libraries_.insert(LowerAscii(file_name));
}

bool HeadlessPlatform::PollEvent(Event& event) {
  {
    std::lock_guard lock(queue_mutex_);
    if (!queue_.empty()) {
      event = std::move(queue_.front());
      queue_.pop_front();
      return true;
    }
  }
  return net_.NextNotice(event);
}

void HeadlessPlatform::WaitEvent(std::uint32_t timeout_ms) {
  // Without network activity it returns at once: time passes only when the test moves the clock.
  if (net_.Busy()) {
    bool pending;
    {
      std::lock_guard lock(queue_mutex_);
      pending = !queue_.empty();
    }
    if (!pending) {
      FollowRealTime();
      net_.WaitActivity(timeout_ms);
      FollowRealTime();
    }
  }
  RunWaitHook();
}

void HeadlessPlatform::RunWaitHook() {
  if (!OnWait || in_wait_hook_) return;
  in_wait_hook_ = true;
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{in_wait_hook_};
  OnWait();
}

bool HeadlessPlatform::OpenUrl(const std::string& url) {
  opened_urls_.push_back(url);
  return true;
}

void HeadlessPlatform::PostEvent(const Event& event) {
  {
    std::lock_guard lock(queue_mutex_);
    queue_.push_back(event);
  }
  net_.Wake();
}

std::unique_ptr<Window> HeadlessPlatform::CreateWindow(const WindowDesc& desc) {
  auto window = std::make_unique<HeadlessWindow>(*this, desc);
  windows_[window->Id()] = window.get();
  return window;
}

std::unique_ptr<AudioDevice> HeadlessPlatform::OpenAudioDevice() {
  if (!audio_available_) return nullptr;
  auto device = std::make_unique<HeadlessAudioDevice>(*this, audio_output_);
  audio_ = device.get();
  return device;
}

void HeadlessPlatform::Focus(std::uint32_t window_id) {
  if (focused_ == window_id) return;
  if (focused_ != 0) {
    Event lost;
    lost.type = EventType::FocusLost;
    lost.window = focused_;
    PostEvent(lost);
  }
  focused_ = window_id;
  keyboard_.FocusChanged();
  if (window_id != 0) {
    Event gained;
    gained.type = EventType::FocusGained;
    gained.window = window_id;
    PostEvent(gained);
  }
}

void HeadlessPlatform::FocusElsewhere() { Focus(0); }

HeadlessWindow* HeadlessPlatform::FindWindow(std::uint32_t id) const {
  auto it = windows_.find(id);
  return it == windows_.end() ? nullptr : it->second;
}

std::vector<HeadlessWindow*> HeadlessPlatform::Windows() const {
  std::vector<HeadlessWindow*> out;
  for (auto& [id, w] : windows_) out.push_back(w);
  return out;
}

void HeadlessPlatform::Forget(HeadlessWindow* window) {
  windows_.erase(window->Id());
  if (focused_ == window->Id()) Focus(0);
}

HeadlessWindow::HeadlessWindow(HeadlessPlatform& platform, const WindowDesc& desc)
    : platform_(platform), id_(platform.NextWindowId()), title_(desc.title) {
  placement_.width = desc.client_width;
  placement_.height = desc.client_height;
  placement_.bordered = desc.bordered;
  // Windows are placed on the desktop as a window manager would.
  if (desc.centered) {
    placement_.x = (HeadlessPlatform::kDesktopWidth - desc.client_width) / 2;
    placement_.y = (HeadlessPlatform::kDesktopHeight - desc.client_height) / 2;
  } else {
    placement_.x = desc.x;
    placement_.y = desc.y;
  }
}

HeadlessWindow::~HeadlessWindow() { platform_.Forget(this); }

void HeadlessWindow::SetClientSize(int width, int height) {
  placement_.width = width;
  placement_.height = height;
}

void HeadlessWindow::ShowPixels(const PixelBuffer& pixels) {
  shown_width_ = pixels.width;
  shown_height_ = pixels.height;
  shown_.assign(static_cast<std::size_t>(pixels.width) * pixels.height, 0);
  for (int y = 0; y < pixels.height; ++y) {
    const std::uint8_t* row = pixels.pixels + static_cast<std::ptrdiff_t>(y) * pixels.pitch;
    for (int x = 0; x < pixels.width; ++x) {
      Rgb value;
      if (pixels.bits_per_pixel == 8)
        value = pixels.palette ? (*pixels.palette)[row[x]] : 0;
      else
        std::memcpy(&value, row + 4 * x, 4);
      shown_[static_cast<std::size_t>(y) * pixels.width + x] = value & 0xFFFFFF;
    }
  }
  ++show_count_;
}

Rgb HeadlessWindow::ShownPixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= shown_width_ || y >= shown_height_) return 0;
  return shown_[static_cast<std::size_t>(y) * shown_width_ + x];
}

void HeadlessWindow::Hide() {
  visible_ = false;
  // A hidden window loses the focus, which goes nowhere in particular.
  if (platform_.FocusedWindow() == id_) platform_.FocusElsewhere();
}

void HeadlessWindow::Raise() {
  minimized_ = false;
  if (visible_) platform_.Focus(id_);
}

void HeadlessWindow::Show() {
  if (visible_) return;
  visible_ = true;
  // A desktop gives a newly shown window the focus.
  platform_.Focus(id_);
}

}  // namespace platform
