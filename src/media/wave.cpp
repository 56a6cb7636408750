#include "media/wave.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "app/sjis.h"

namespace media {

namespace {

std::uint32_t ReadLe32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

void WriteLe32(app::TStream& s, std::uint32_t v) {
  const std::uint8_t b[4] = {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)};
  s.WriteBuffer(b, 4);
}

[[noreturn]] void ThrowReadError() { throw app::EReadError("Stream read error"); }

// Bytes from the stream's position to its end.
std::int64_t Remaining(app::TStream& s) {
  const std::int64_t here = s.Position();
  return std::max<std::int64_t>(0, s.Size() - here);
}

}  // namespace

void TWave::Assign(const TWave* Source) {
  if (Source == this) return;
  if (!Source) {
    Clear();
    return;
  }
  SetFormatSize(Source->FormatSize());
  if (!format_.empty()) std::memcpy(format_.data(), Source->Format(), format_.size());
  SetSize(Source->Size());
  if (size_ > 0) std::memcpy(data_.get(), Source->Data(), static_cast<std::size_t>(size_));
}

void TWave::Clear() {
  data_.reset();
  units_ = 0;
  size_ = 0;
  format_.clear();
  format_.shrink_to_fit();
}

void TWave::SetSize(std::int32_t value) {
  value = std::max(value, 0);
  const std::int64_t units = (static_cast<std::int64_t>(value) + kCapacityUnit - 1) / kCapacityUnit;
  if (units != units_) {
    std::unique_ptr<std::uint8_t[]> block;
    if (units > 0) {
      block = std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(units * kCapacityUnit));
      const std::int64_t keep = std::min(units, units_) * kCapacityUnit;
      if (keep > 0) std::memcpy(block.get(), data_.get(), static_cast<std::size_t>(keep));
    }
    data_ = std::move(block);
    units_ = units;
  }
  size_ = value;
}

void TWave::SetFormatSize(std::int32_t value) { format_.resize(static_cast<std::size_t>(std::max(value, 0))); }

void TWave::LoadFromStream(app::TStream& Stream) {
  Clear();
  TWaveStream reader(Stream);
  reader.Open();
  SetFormatSize(reader.FormatSize());
  if (!format_.empty()) std::memcpy(format_.data(), reader.Format().data(), format_.size());
  // The samples must all be there before a block is made for them: a data chunk may claim
  // gigabytes that the stream does not hold.
  if (reader.DataAvailable() < reader.DataSize()) ThrowReadError();
  SetSize(reader.DataSize());
  reader.ReadBuffer(data_.get(), size_);
}

void TWave::SaveToStream(app::TStream& Stream) const {
  const std::uint32_t fmt = static_cast<std::uint32_t>(format_.size());
  const std::uint32_t data = static_cast<std::uint32_t>(size_);
  Stream.WriteBuffer("RIFF", 4);
  WriteLe32(Stream, 4 + 8 + fmt + 8 + data);
  Stream.WriteBuffer("WAVE", 4);
  Stream.WriteBuffer("fmt ", 4);
  WriteLe32(Stream, fmt);
  Stream.WriteBuffer(format_.data(), fmt);
  Stream.WriteBuffer("data", 4);
  WriteLe32(Stream, data);
  Stream.WriteBuffer(data_.get(), data);
}

TWaveStream::TWaveStream(app::TStream& Stream) : stream_(Stream), start_(Stream.Position()) {}

void TWaveStream::Open() {
  if (opened_) throw EWaveStreamError(app::Sjis(u8"ストリームはすでに開かれています"));
  opened_ = true;
  stream_.SetPosition(start_);
  format_.clear();
  data_size_ = 0;
  data_position_ = 0;
  position_ = 0;
  if (Remaining(stream_) == 0) return;

  std::uint8_t header[12];
  stream_.ReadBuffer(header, 12);
  if (std::memcmp(header, "RIFF", 4) != 0 || std::memcmp(header + 8, "WAVE", 4) != 0)
    throw EWaveStreamError(app::Sjis(u8"不正な Wave です"));

  for (;;) {
    std::uint8_t chunk[8] = {};
    stream_.Read(chunk, 8);
    if (ReadLe32(chunk) == 0) break;
    // Sizes are unsigned: a "negative" one would seek backwards and read the same chunk forever.
    const std::uint32_t size = ReadLe32(chunk + 4);
    if (std::memcmp(chunk, "fmt ", 4) == 0) {
      if (size > Remaining(stream_) || size > std::uint32_t(std::numeric_limits<std::int32_t>::max()))
        ThrowReadError();
      format_.resize(size);
      stream_.ReadBuffer(format_.data(), size);
    } else if (std::memcmp(chunk, "data", 4) == 0) {
      if (size > std::uint32_t(std::numeric_limits<std::int32_t>::max())) ThrowReadError();
      data_size_ = static_cast<std::int32_t>(size);
      data_position_ = stream_.Position();
      stream_.Seek(size, app::soCurrent);
    } else {
      stream_.Seek(size, app::soCurrent);
    }
  }
}

void TWaveStream::Close() {
  opened_ = false;
  format_.clear();
  format_.shrink_to_fit();
}

std::int64_t TWaveStream::Read(void* buffer, std::int64_t count) {
  count = std::min(count, std::int64_t(data_size_) - position_);
  if (count <= 0) return 0;
  stream_.SetPosition(data_position_ + position_);
  const std::int64_t n = stream_.Read(buffer, count);
  position_ += n;
  return n;
}

void TWaveStream::ReadBuffer(void* buffer, std::int64_t count) {
  if (count > 0 && Read(buffer, count) != count) ThrowReadError();
}

std::int64_t TWaveStream::DataAvailable() {
  const std::int64_t in_stream = std::max<std::int64_t>(0, stream_.Size() - data_position_);
  return std::min<std::int64_t>(in_stream, data_size_);
}

}  // namespace media
