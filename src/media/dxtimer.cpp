#include "media/dxtimer.h"

#include <algorithm>
#include <cmath>

namespace media {

TCustomDXTimer::TCustomDXTimer(app::TComponent* AOwner)
    : app::TComponent(AOwner), app_(*app::Application) {
  hook_id_ = app_.HookMainWindow([this](app::TMessage& m) { return AppHook(m); });
}

TCustomDXTimer::~TCustomDXTimer() {
  Stop();
  app_.UnhookMainWindow(hook_id_);
}

void TCustomDXTimer::SetEnabled(bool value) {
  if (enabled_ == value) return;
  enabled_ = value;
  if (ComponentState() & app::csLoading) return;
  if (value)
    Start();
  else
    Stop();
}

void TCustomDXTimer::SetInterval(std::int64_t value) {
  std::uint32_t v = static_cast<std::uint32_t>(std::clamp<std::int64_t>(value, 0, UINT32_MAX));
  if (v == interval_) return;
  interval_ = v;
  interval_divisor_ = std::max<std::uint32_t>(v, 1);
}

void TCustomDXTimer::Loaded() {
  app::TComponent::Loaded();
  if (!(ComponentState() & app::csDesigning) && enabled_) Start();
}

void TCustomDXTimer::Start() {
  Stop();
  if (!ActiveOnly || app_.Active()) Resume();
  initialized_ = true;
}

void TCustomDXTimer::Stop() {
  if (!initialized_) return;
  Suspend();
  initialized_ = false;
}

void TCustomDXTimer::Resume() {
  old_time_ = app_.Platform().Milliseconds();
  old_time_fps_ = app_.Platform().Milliseconds();
  app_.OnIdle = [this](app::TObject*, bool& Done) { AppIdle(Done); };
}

void TCustomDXTimer::Suspend() { app_.OnIdle = nullptr; }

bool TCustomDXTimer::AppHook(app::TMessage& m) {
  if (m.Msg == app::CM_ACTIVATE) {
    if (OnActivate) OnActivate(this);
    if (initialized_ && ActiveOnly) Resume();
  } else if (m.Msg == app::CM_DEACTIVATE) {
    if (OnDeactivate) OnDeactivate(this);
    if (initialized_ && ActiveOnly) Suspend();
  }
  return false;
}

void TCustomDXTimer::AppIdle(bool& Done) {
  Done = false;
  std::uint32_t now = app_.Platform().Milliseconds();
  std::uint32_t elapsed = now - old_time_;
  if (elapsed < interval_) return;
  std::uint32_t lag = elapsed / interval_divisor_;
  old_time_ = now;

  ++frame_count_;
  std::int32_t window = std::max<std::int32_t>(static_cast<std::int32_t>(now - old_time_fps_), 1);
  if (window >= 1000) {
    frame_rate_ = static_cast<std::int32_t>(std::nearbyint(frame_count_ * 1000.0 / window));
    frame_count_ = 0;
    old_time_fps_ = now;
  }

  if (OnTimer) OnTimer(this, std::max<std::int32_t>(static_cast<std::int32_t>(lag), 1));
}

}  // namespace media
