#include "server/log.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <utility>

#include "platform/server_io.h"

namespace server {

// The writer may still be waiting on the reader after the queue is gone: it keeps this alive.
struct LogQueue::Shared {
  std::mutex mutex;
  std::condition_variable wake, drained;
  std::string pending;
  std::size_t capacity = 0;
  std::uint64_t dropped = 0;
  bool writing = false;
  bool closing = false;
};

namespace {

std::atomic<LogQueue*> note_queue{nullptr};

void WriteLoop(std::shared_ptr<LogQueue::Shared> s) {
  std::string batch;
  std::unique_lock lock(s->mutex);
  for (;;) {
    s->wake.wait(lock, [&] { return !s->pending.empty() || s->dropped > 0 || s->closing; });
    if (s->pending.empty() && s->dropped == 0) break;  // closing, and all is written
    batch.swap(s->pending);
    s->pending.clear();
    std::uint64_t dropped = std::exchange(s->dropped, 0);
    s->writing = true;
    lock.unlock();
    if (dropped > 0)
      batch += "velkor-ranking: " + std::to_string(dropped) + (dropped == 1 ? " log line" : " log lines") +
               " dropped\n";
    platform::WriteToStderr(batch);  // a reader that is gone loses the lines; nothing else to do
    batch.clear();
    lock.lock();
    s->writing = false;
    if (s->pending.empty() && s->dropped == 0) s->drained.notify_all();
  }
  s->drained.notify_all();
}

}  // namespace

LogQueue::LogQueue(std::size_t capacity) : shared_(std::make_shared<Shared>()) {
  shared_->capacity = capacity;
  std::thread(WriteLoop, shared_).detach();
}

LogQueue::~LogQueue() {
  LogQueue* self = this;
  note_queue.compare_exchange_strong(self, nullptr);
  std::unique_lock lock(shared_->mutex);
  shared_->closing = true;
  shared_->wake.notify_one();
  // A stalled reader must not keep the server from ending: after the grace the writer is left
  // waiting on it, and goes with the process.
  shared_->drained.wait_for(lock, kExitGrace,
                            [&] { return shared_->pending.empty() && shared_->dropped == 0 && !shared_->writing; });
}

void LogQueue::Push(std::string_view lines) {
  if (lines.empty()) return;
  std::lock_guard lock(shared_->mutex);
  if (shared_->pending.size() + lines.size() > shared_->capacity) {
    shared_->dropped += static_cast<std::uint64_t>(std::count(lines.begin(), lines.end(), '\n'));
    return;
  }
  bool was_empty = shared_->pending.empty();
  shared_->pending += lines;
  if (was_empty) shared_->wake.notify_one();
}

void Note(std::string_view text) {
  std::string line = "velkor-ranking: ";
  line += text;
  line += '\n';
  if (LogQueue* queue = note_queue.load())
    queue->Push(line);
  else
    platform::WriteToStderr(line);
}

void SetNoteQueue(LogQueue* queue) { note_queue.store(queue); }

}  // namespace server
