#pragma once
// The frame timer: fires OnTimer once per idle pass of the message loop, with the milliseconds
// since the previous tick, and counts frames per second.
#include <cstdint>
#include <functional>

#include "app/application.h"
#include "app/classes.h"

namespace media {

using TDXTimerEvent = std::function<void(app::TObject* Sender, std::int32_t LagCount)>;

class TCustomDXTimer : public app::TComponent {
 public:
  explicit TCustomDXTimer(app::TComponent* AOwner);
  ~TCustomDXTimer() override;

  bool ActiveOnly = true;
  app::TNotifyEvent OnActivate;
  app::TNotifyEvent OnDeactivate;
  TDXTimerEvent OnTimer;

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value);
  std::uint32_t Interval() const { return interval_; }
  void SetInterval(std::int64_t value);
  std::int32_t FrameRate() const { return frame_rate_; }
  bool Initialized() const { return initialized_; }

  void Loaded() override;

 private:
  void Start();
  void Stop();
  void Resume();
  void Suspend();
  bool AppHook(app::TMessage& m);
  void AppIdle(bool& Done);

  app::TApplication& app_;
  int hook_id_ = 0;
  bool enabled_ = true;
  std::uint32_t interval_ = 1000;
  std::uint32_t interval_divisor_ = 1000;
  bool initialized_ = false;
  std::uint32_t old_time_ = 0;
  std::uint32_t old_time_fps_ = 0;
  std::int32_t frame_count_ = 0;
  std::int32_t frame_rate_ = 0;
};

class TDXTimer : public TCustomDXTimer {
 public:
  using TCustomDXTimer::TCustomDXTimer;
};

}  // namespace media
