#pragma once
// A wave in memory (its format record and its samples) and the reader of the RIFF WAVE layout in
// which waves are stored with the form.
#include <cstdint>
#include <memory>
#include <vector>

#include "app/classes.h"
#include "app/streams.h"
#include "app/sysutils.h"

namespace media {

// "不正な Wave です", "ストリームはすでに開かれています".
class EWaveStreamError : public app::Exception {
 public:
  using Exception::Exception;
};

class TWave : public app::TObject {
 public:
  // The data block grows and shrinks in units of this many bytes.
  static constexpr std::int32_t kCapacityUnit = 8096;

  TWave() = default;
  TWave(const TWave&) = delete;
  TWave& operator=(const TWave&) = delete;

  // Copies both blocks; from nothing, clears.
  void Assign(const TWave* Source);
  void Clear();

  // Replaces the wave with the one stored at the stream's position (EWaveStreamError for a block
  // that is not a wave, the stream read error for one that ends early).
  void LoadFromStream(app::TStream& Stream);
  // The RIFF WAVE layout: a "fmt " chunk, then a "data" chunk.
  void SaveToStream(app::TStream& Stream) const;

  const std::uint8_t* Data() const { return data_.get(); }
  std::uint8_t* Data() { return data_.get(); }
  std::int32_t Size() const { return size_; }
  // Keeps the contents up to the new size; a negative size counts as 0.
  void SetSize(std::int32_t value);
  std::size_t Capacity() const { return static_cast<std::size_t>(units_) * kCapacityUnit; }

  const std::uint8_t* Format() const { return format_.data(); }
  std::uint8_t* Format() { return format_.data(); }
  std::int32_t FormatSize() const { return static_cast<std::int32_t>(format_.size()); }
  void SetFormatSize(std::int32_t value);

 private:
  std::unique_ptr<std::uint8_t[]> data_;
  std::int64_t units_ = 0;
  std::vector<std::uint8_t> format_;
  std::int32_t size_ = 0;
};

// Reads the header of a stored wave and then its samples.
class TWaveStream : public app::TObject {
 public:
  explicit TWaveStream(app::TStream& Stream);
  ~TWaveStream() override { Close(); }
  TWaveStream(const TWaveStream&) = delete;
  TWaveStream& operator=(const TWaveStream&) = delete;

  // Reads the header from the position the stream had when the reader was made.
  void Open();
  void Close();

  const std::vector<std::uint8_t>& Format() const { return format_; }
  std::int32_t FormatSize() const { return static_cast<std::int32_t>(format_.size()); }
  std::int32_t DataSize() const { return data_size_; }
  // How many of those bytes the stream holds.
  std::int64_t DataAvailable();

  // Samples from the reader's position within the data chunk, never beyond the data size.
  std::int64_t Read(void* buffer, std::int64_t count);
  void ReadBuffer(void* buffer, std::int64_t count);

 private:
  app::TStream& stream_;
  std::int64_t start_;
  bool opened_ = false;
  std::vector<std::uint8_t> format_;
  std::int32_t data_size_ = 0;
  std::int64_t data_position_ = 0;
  std::int64_t position_ = 0;
};

}  // namespace media
