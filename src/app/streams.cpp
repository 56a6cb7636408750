#include "app/streams.h"

#include <algorithm>
#include <cstring>

namespace app {

std::int64_t TStream::Size() {
  std::int64_t here = Seek(0, soCurrent);
  std::int64_t end = Seek(0, soEnd);
  Seek(here, soBeginning);
  return end;
}

void TStream::ReadBuffer(void* buffer, std::int64_t count) {
  if (count > 0 && Read(buffer, count) != count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, std::int64_t count) {
  if (count > 0 && Write(buffer, count) != count) throw EWriteError("Stream write error");
}

std::int64_t TMemoryStream::Read(void* buffer, std::int64_t count) {
  const auto size = static_cast<std::int64_t>(data_.size());
  if (count <= 0 || position_ >= size) return 0;
  std::int64_t n = std::min(count, size - position_);
  std::memcpy(buffer, data_.data() + position_, static_cast<std::size_t>(n));
  position_ += n;
  return n;
}

std::int64_t TMemoryStream::Write(const void* buffer, std::int64_t count) {
  if (count <= 0) return 0;
  const auto end = static_cast<std::size_t>(position_ + count);
  if (end > data_.size()) data_.resize(end);
  std::memcpy(data_.data() + position_, buffer, static_cast<std::size_t>(count));
  position_ += count;
  return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  std::int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? position_
                                                                      : static_cast<std::int64_t>(data_.size());
  // Positions stay within 0 .. 2^62 so that position + count never overflows.
  constexpr std::int64_t kLimit = std::int64_t(1) << 62;
  if (offset > 0 && base > kLimit - offset)
    position_ = kLimit;
  else
    position_ = std::clamp<std::int64_t>(base + offset, 0, kLimit);
  return position_;
}

}  // namespace app
