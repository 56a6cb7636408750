#include "app/streams.h"

#include <gtest/gtest.h>

namespace {

TEST(MemoryStream, ReadsWhatRemainsAndReadBufferFailsOnAShortRead) {
  const std::uint8_t bytes[] = {1, 2, 3, 4, 5};
  app::TMemoryStream s(bytes);
  std::uint8_t out[8] = {};
  EXPECT_EQ(s.Read(out, 3), 3);
  EXPECT_EQ(s.Position(), 3);
  EXPECT_EQ(s.Read(out, 8), 2);
  EXPECT_EQ(out[0], 4);
  EXPECT_EQ(s.Read(out, 8), 0);
  s.SetPosition(1);
  EXPECT_THROW(s.ReadBuffer(out, 5), app::EReadError);
  s.SetPosition(1);
  EXPECT_NO_THROW(s.ReadBuffer(out, 4));
  EXPECT_EQ(s.Size(), 5);
}

TEST(MemoryStream, SeeksAreClampedAndNeverOverflow) {
  app::TMemoryStream s;
  EXPECT_EQ(s.Seek(-10, app::soBeginning), 0);
  std::int64_t far = s.Seek(INT64_MAX, app::soBeginning);
  EXPECT_GT(far, 0);
  EXPECT_EQ(s.Seek(INT64_MAX, app::soCurrent), far);
  std::uint8_t b;
  EXPECT_EQ(s.Read(&b, 1), 0);
  s.SetPosition(2);
  s.WriteBuffer("ab", 2);
  EXPECT_EQ(s.Bytes(), (std::vector<std::uint8_t>{0, 0, 'a', 'b'}));
}

}  // namespace
