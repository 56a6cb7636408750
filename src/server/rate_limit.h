#pragma once
// At most so many entries a minute from one client address, with the memory for it bounded.
#include <array>
#include <chrono>
#include <cstddef>
#include <list>
#include <string>
#include <unordered_map>

namespace server {

class RateLimiter {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr int kPerMinute = 10;

  explicit RateLimiter(std::size_t max_addresses) : max_addresses_(max_addresses) {}

  enum class Verdict { kAdmitted, kLimited };
  struct Decision {
    Verdict verdict;
    int retry_after_seconds = 0;  // for kLimited
  };
  // Counts one entry from `address` at `now`, unless it is over the limit (kLimited). An address
  // not in the table is always admitted: when the table is full, the address heard from least
  // recently is forgotten to make room, so many addresses at once (one IPv6 /48 holds 65,536
  // /64s) cannot shut out the players that come after them.
  Decision Admit(const std::string& address, Clock::time_point now);

  std::size_t AddressCount() const { return windows_.size(); }

 private:
  // The times of the address's last entries, oldest at `next` once the ring is full.
  struct Window {
    std::array<Clock::time_point, kPerMinute> times{};
    int count = 0;
    int next = 0;
    std::list<std::string>::iterator heard;  // its place in heard_
  };

  std::size_t max_addresses_;
  std::unordered_map<std::string, Window> windows_;
  std::list<std::string> heard_;  // the addresses, heard from least recently first
};

}  // namespace server
