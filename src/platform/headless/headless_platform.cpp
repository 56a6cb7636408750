#include "platform/headless/headless_platform.h"

#include "platform/headless/headless_audio.h"

namespace platform {

// The headless desktop is 1024 x 768, with windows placed as a window manager would.
namespace {
constexpr int kDesktopWidth = 1024;
constexpr int kDesktopHeight = 768;
}  // namespace

HeadlessPlatform::HeadlessPlatform() = default;
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
    return;
  }
  FollowRealTime();
  // Socket activity ends the sleep early; the caller then looks at its messages sooner.
  net_.WaitActivity(ms);
  FollowRealTime();
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
  if (!net_.Busy()) return;
  {
    std::lock_guard lock(queue_mutex_);
    if (!queue_.empty()) return;
  }
  FollowRealTime();
  net_.WaitActivity(timeout_ms);
  FollowRealTime();
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
  if (focused_ == window->Id()) focused_ = 0;
}

HeadlessWindow::HeadlessWindow(HeadlessPlatform& platform, const WindowDesc& desc)
    : platform_(platform), id_(platform.NextWindowId()), title_(desc.title) {
  placement_.width = desc.client_width;
  placement_.height = desc.client_height;
  placement_.bordered = desc.bordered;
  if (desc.centered) {
    placement_.x = (kDesktopWidth - desc.client_width) / 2;
    placement_.y = (kDesktopHeight - desc.client_height) / 2;
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

void HeadlessWindow::Show() {
  if (visible_) return;
  visible_ = true;
  // A desktop gives a newly shown window the focus.
  platform_.Focus(id_);
}

}  // namespace platform
