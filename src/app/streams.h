#pragma once
// Byte streams, as the readers of stored data (pictures, waves) see them.
#include <cstdint>
#include <span>
#include <vector>

#include "app/classes.h"
#include "app/sysutils.h"

namespace app {

class EStreamError : public Exception {
 public:
  using Exception::Exception;
};
// "Stream read error": fewer bytes remained than a read needed.
class EReadError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};
// "Stream write error".
class EWriteError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};

enum TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream : public TObject {
 public:
  // Read and Write move at most `count` bytes and return how many they moved.
  virtual std::int64_t Read(void* buffer, std::int64_t count) = 0;
  virtual std::int64_t Write(const void* buffer, std::int64_t count) = 0;
  // Returns the new position.
  virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;

  std::int64_t Position() { return Seek(0, soCurrent); }
  void SetPosition(std::int64_t value) { Seek(value, soBeginning); }
  std::int64_t Size();

  // Exactly `count` bytes, or EReadError / EWriteError.
  void ReadBuffer(void* buffer, std::int64_t count);
  void WriteBuffer(const void* buffer, std::int64_t count);
};

// A stream over bytes in memory, which it owns; it grows as it is written.
class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::span<const std::uint8_t> bytes) : data_(bytes.begin(), bytes.end()) {}

  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  // A position may be set past the end; reads there return nothing and a write fills the gap
  // with zeros.
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;

  const std::vector<std::uint8_t>& Bytes() const { return data_; }

 private:
  std::vector<std::uint8_t> data_;
  std::int64_t position_ = 0;
};

}  // namespace app
