#include "server/rate_limit.h"

namespace server {
namespace {
constexpr auto kWindow = std::chrono::minutes(1);
}

RateLimiter::Decision RateLimiter::Admit(const std::string& address, Clock::time_point now) {
  auto it = windows_.find(address);
  if (it == windows_.end()) {
    if (windows_.size() >= max_addresses_ && !heard_.empty()) {
      windows_.erase(heard_.front());
      heard_.pop_front();
    }
    it = windows_.emplace(address, Window{}).first;
    it->second.heard = heard_.insert(heard_.end(), address);
  } else {
    heard_.splice(heard_.end(), heard_, it->second.heard);
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
