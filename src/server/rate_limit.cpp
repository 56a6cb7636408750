#include "server/rate_limit.h"

namespace server {
namespace {
constexpr auto kWindow = std::chrono::minutes(1);
}

void RateLimiter::Prune(Clock::time_point now) {
  // A full table of busy addresses would make every new address scan it; once a second is enough.
  if (now - last_prune_ < std::chrono::seconds(1) && last_prune_ != Clock::time_point{}) return;
  last_prune_ = now;
  std::erase_if(windows_, [now](const auto& item) { return now - item.second.Newest() >= kWindow; });
}

RateLimiter::Decision RateLimiter::Admit(const std::string& address, Clock::time_point now) {
  auto it = windows_.find(address);
  if (it == windows_.end()) {
    if (windows_.size() >= max_addresses_) {
      Prune(now);
      if (windows_.size() >= max_addresses_) return {Verdict::kFull};
    }
    it = windows_.emplace(address, Window{}).first;
  }
  Window& w = it->second;
  if (w.count == kPerMinute) {
    Clock::time_point oldest = w.times[w.next];
    if (now - oldest < kWindow) {
      auto wait = std::chrono::ceil<std::chrono::seconds>(oldest + kWindow - now);
      return {Verdict::kLimited, static_cast<int>(wait.count())};
    }
  } else {
    ++w.count;
  }
  w.times[w.next] = now;
  w.next = (w.next + 1) % kPerMinute;
  return {Verdict::kAdmitted};
}

}  // namespace server
