#pragma once
// At most so many entries a minute from one client address, with the memory for it bounded.
#include <array>
#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <unordered_map>

namespace server {

class RateLimiter {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr int kPerMinute = 10;

  explicit RateLimiter(std::size_t max_addresses) : max_addresses_(max_addresses) {}

  enum class Verdict { kAdmitted, kLimited, kFull };
  struct Decision {
    Verdict verdict;
    int retry_after_seconds = 0;  // for kLimited
  };
  // Counts one entry from `address` at `now`, unless it is over the limit (kLimited) or the table
  // of addresses is full of ones seen within the last minute (kFull).
  Decision Admit(const std::string& address, Clock::time_point now);

  std::size_t AddressCount() const { return windows_.size(); }

 private:
  // The times of the address's last entries, oldest at `next` once the ring is full.
  struct Window {
    std::array<Clock::time_point, kPerMinute> times{};
    int count = 0;
    int next = 0;
    Clock::time_point Newest() const { return times[(next + kPerMinute - 1) % kPerMinute]; }
  };
  void Prune(Clock::time_point now);

  std::size_t max_addresses_;
  std::unordered_map<std::string, Window> windows_;
  Clock::time_point last_prune_{};
};

}  // namespace server
