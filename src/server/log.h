#pragma once
// The server's standard error: the access log and its messages. A thread of its own writes
// them, so a reader that stops (a paused terminal, a full pipe, a slow logger) never holds up
// serving. What does not fit the bounded queue is dropped and counted, and the count is written
// once the reader takes lines again.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace server {

class LogQueue {
 public:
  static constexpr std::size_t kDefaultCapacity = 1 << 20;  // bytes waiting at most
  // At exit, how long a reader that takes nothing is waited for before its lines are given up.
  static constexpr auto kExitGrace = std::chrono::seconds(3);

  explicit LogQueue(std::size_t capacity = kDefaultCapacity);
  ~LogQueue();
  LogQueue(const LogQueue&) = delete;
  LogQueue& operator=(const LogQueue&) = delete;

  // Queues whole lines, or counts them as dropped when they do not fit. Never waits for the reader.
  void Push(std::string_view lines);

  struct Shared;

 private:
  std::shared_ptr<Shared> shared_;
};

// A message line, "velkor-ranking: <text>", through the server's queue while it runs, else
// straight to standard error.
void Note(std::string_view text);
// The queue that Note uses from now on (nothing: none).
void SetNoteQueue(LogQueue* queue);

}  // namespace server
