// Waves in memory, the reader of the stored layout, and the seven stored waves.
#include "media/wave.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "app/assets.h"
#include "app/sjis.h"
#include "support/harness.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

void Put(Bytes& b, std::string_view s) { b.insert(b.end(), s.begin(), s.end()); }
void Put32(Bytes& b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void Chunk(Bytes& b, std::string_view id, const Bytes& content) {
  Put(b, id);
  Put32(b, static_cast<std::uint32_t>(content.size()));
  b.insert(b.end(), content.begin(), content.end());
}
Bytes Riff() {
  Bytes b;
  Put(b, "RIFF");
  Put32(b, 0xDEADBEEF);  // never looked at
  Put(b, "WAVE");
  return b;
}
const Bytes kFmt = {1, 0, 1, 0, 0x11, 0x2B, 0, 0, 0x11, 0x2B, 0, 0, 1, 0, 8, 0};  // 11025 Hz, 8-bit mono

void Load(media::TWave& w, const Bytes& b) {
  app::TMemoryStream s(b);
  w.LoadFromStream(s);
}

TEST(Wave, ReadsChunksInAnyOrderSkippingOthersWithoutPadBytes) {
  Bytes b = Riff();
  Chunk(b, "LIST", {1, 2, 3});  // odd size: the next chunk follows at once
  Chunk(b, "fmt ", {9, 9});     // replaced by the later one
  Chunk(b, "data", {10, 20, 30, 40, 50});
  Chunk(b, "fmt ", Bytes(kFmt.begin(), kFmt.end() - 1));  // an odd size is taken as it stands
  Chunk(b, "junk", {0});
  media::TWave w;
  Load(w, b);
  EXPECT_EQ(w.FormatSize(), 15);
  EXPECT_EQ(Bytes(w.Format(), w.Format() + 15), Bytes(kFmt.begin(), kFmt.end() - 1));
  ASSERT_EQ(w.Size(), 5);
  EXPECT_EQ(Bytes(w.Data(), w.Data() + 5), (Bytes{10, 20, 30, 40, 50}));
}

TEST(Wave, AZeroIdentifierEndsTheChunksAndAMissingDataChunkMeansNoData) {
  Bytes b = Riff();
  Chunk(b, "fmt ", kFmt);
  b.push_back(0);  // as after the stored waves' data
  Chunk(b, "data", {1, 2, 3});
  media::TWave w;
  Load(w, b);
  EXPECT_EQ(w.FormatSize(), 16);
  EXPECT_EQ(w.Size(), 0);

  Load(w, {});
  EXPECT_EQ(w.FormatSize(), 0) << "an empty block is an empty wave";
  EXPECT_EQ(w.Size(), 0);
}

TEST(Wave, ReadsFromWhereTheStreamStands) {
  Bytes b = {7, 7, 7};
  Bytes wave = Riff();
  Chunk(wave, "data", {4, 5});
  b.insert(b.end(), wave.begin(), wave.end());
  app::TMemoryStream s(b);
  s.SetPosition(3);
  media::TWave w;
  w.LoadFromStream(s);
  EXPECT_EQ(w.Size(), 2);
}

TEST(Wave, MalformedBlocksRaiseTheirErrorsAndNeverReadOutside) {
  struct Case {
    const char* what;
    Bytes bytes;
    bool not_a_wave;  // else the stream read error
  };
  auto with = [](auto build) {
    Bytes b = Riff();
    build(b);
    return b;
  };
  const Case cases[] = {
      {"no RIFF", [] { Bytes b = Riff(); b[0] = 'X'; return b; }(), true},
      {"no WAVE", [] { Bytes b = Riff(); b[11] = 'X'; return b; }(), true},
      {"short header", Bytes{'R', 'I', 'F', 'F', 0}, false},
      {"fmt past the end", with([](Bytes& b) { Put(b, "fmt "); Put32(b, 16); b.push_back(1); }), false},
      {"fmt of 4 GB", with([](Bytes& b) { Put(b, "fmt "); Put32(b, 0xFFFFFFF0); }), false},
      {"data past the end", with([](Bytes& b) { Put(b, "data"); Put32(b, 100); Put(b, "abc"); }), false},
      {"data of 2 GB", with([](Bytes& b) { Put(b, "data"); Put32(b, 0x7FFFFFFF); Put(b, "abc"); }), false},
      {"data of 4 GB", with([](Bytes& b) { Put(b, "data"); Put32(b, 0xFFFFFFF8); }), false},
  };
  for (const Case& c : cases) {
    media::TWave w;
    try {
      Load(w, c.bytes);
      ADD_FAILURE() << c.what << ": loaded";
    } catch (const media::EWaveStreamError& e) {
      EXPECT_TRUE(c.not_a_wave) << c.what;
      EXPECT_EQ(e.Message(), app::Sjis(u8"不正な Wave です"));
    } catch (const app::EReadError&) {
      EXPECT_FALSE(c.not_a_wave) << c.what;
    }
  }
}

TEST(Wave, AChunkSizeWithItsTopBitSetSkipsForwardAndEnds) {
  Bytes b = Riff();
  Chunk(b, "fmt ", kFmt);
  Put(b, "LIST");
  Put32(b, 0xFFFFFFF8);  // -8 as a signed number would come back to this chunk forever
  media::TWave w;
  Load(w, b);
  EXPECT_EQ(w.FormatSize(), 16);
}

TEST(WaveStream, OpensOnceAndReadsOnlyItsData) {
  Bytes b = Riff();
  Chunk(b, "data", {1, 2, 3, 4});
  Chunk(b, "fmt ", kFmt);
  app::TMemoryStream s(b);
  media::TWaveStream r(s);
  r.Open();
  try {
    r.Open();
    ADD_FAILURE() << "opened twice";
  } catch (const media::EWaveStreamError& e) {
    EXPECT_EQ(e.Message(), app::Sjis(u8"ストリームはすでに開かれています"));
  }
  std::uint8_t buf[64] = {};
  EXPECT_EQ(r.Read(buf, 3), 3);
  EXPECT_EQ(r.Read(buf + 3, 64), 1);
  EXPECT_EQ(Bytes(buf, buf + 5), (Bytes{1, 2, 3, 4, 0}));
  EXPECT_THROW(r.ReadBuffer(buf, 1), app::EReadError);
}

TEST(Wave, DataKeepsItsCapacityInUnitsOf8096Bytes) {
  media::TWave w;
  struct Step {
    std::int32_t size;
    std::size_t capacity;
  };
  const Step steps[] = {{1, 8096}, {8096, 8096}, {8097, 16192}, {16192, 16192}, {8000, 8096}, {-5, 0}};
  for (const Step& s : steps) {
    const std::uint8_t* before = w.Data();
    const std::size_t before_capacity = w.Capacity();
    if (w.Size() > 0) w.Data()[0] = 42;
    w.SetSize(s.size);
    EXPECT_EQ(w.Capacity(), s.capacity) << s.size;
    EXPECT_EQ(w.Size(), std::max(s.size, 0));
    if (s.capacity == before_capacity) {
      EXPECT_EQ(w.Data(), before) << "no new block within a unit count";
    }
    if (before && w.Data()) {
      EXPECT_EQ(w.Data()[0], 42) << "contents kept";
    }
  }
  w.SetFormatSize(18);
  EXPECT_EQ(w.FormatSize(), 18);
  w.SetFormatSize(-1);
  EXPECT_EQ(w.FormatSize(), 0);
}

TEST(Wave, AssignCopiesAndSaveLoadsBackTheSame) {
  media::TWave a;
  Bytes b = Riff();
  Chunk(b, "fmt ", kFmt);
  Chunk(b, "data", {5, 6, 7});
  Load(a, b);
  media::TWave copy;
  copy.Assign(&a);
  app::TMemoryStream saved;
  copy.SaveToStream(saved);
  saved.SetPosition(0);
  media::TWave back;
  back.LoadFromStream(saved);
  EXPECT_EQ(Bytes(back.Format(), back.Format() + back.FormatSize()), kFmt);
  EXPECT_EQ(Bytes(back.Data(), back.Data() + back.Size()), (Bytes{5, 6, 7}));
  copy.Assign(nullptr);
  EXPECT_EQ(copy.Size(), 0);
  EXPECT_EQ(copy.FormatSize(), 0);
}

// --- The stored waves ---

struct StoredRow {
  const char* asset;
  std::uint32_t rate;
  std::uint16_t bits;
  std::int32_t data_bytes;
};
const StoredRow kTable[7] = {
    {"wave_title.wav", 22050, 16, 32012}, {"wave_soft.wav", 22050, 16, 61460}, {"wave_zavaover.wav", 22050, 16, 71246},
    {"wave_1-9.wav", 11025, 8, 1765},     {"wave_10-29.wav", 11025, 8, 4752},  {"wave_30up.wav", 22050, 8, 15340},
    {"wave_miss.wav", 11025, 8, 4320},
};

std::uint32_t Le(const std::uint8_t* p, int n) {
  std::uint32_t v = 0;
  for (int i = n - 1; i >= 0; --i) v = v << 8 | p[i];
  return v;
}

TEST(StoredWaves, EveryRowOfTheTableReadsBackAsStored) {
  testing_support::GameHarness h;
  h.Start();
  media::TWaveCollection& items = h.form->DXWaveList1->Items();
  ASSERT_EQ(items.Count(), 7);
  const char8_t* names[7] = {u8"タイトル", u8"ソフト", u8"ZAVAOVER", u8"1-9", u8"10-29", u8"30up", u8"miss"};
  for (int i = 0; i < 7; ++i) {
    const StoredRow& row = kTable[i];
    SCOPED_TRACE(row.asset);
    auto block = app::FindAsset(row.asset);
    ASSERT_EQ(block.size(), 44u + row.data_bytes + 1);
    EXPECT_EQ(Le(&block[4], 4), block.size() + 2) << "size field";
    EXPECT_EQ(block.back(), 0) << "the zero byte after the data chunk";
    EXPECT_EQ(std::string(block.begin() + 12, block.begin() + 16), "fmt ");
    EXPECT_EQ(std::string(block.begin() + 36, block.begin() + 40), "data");

    media::TWaveCollectionItem* item = items.Items(i);
    EXPECT_EQ(item->Name(), app::Sjis(names[i]));
    EXPECT_FALSE(item->Looped());
    EXPECT_EQ(item->MaxPlayingCount(), 0);
    const media::TWave& w = item->Wave();
    ASSERT_EQ(w.FormatSize(), 16);
    const std::uint8_t* f = w.Format();
    const std::uint16_t align = row.bits / 8;
    EXPECT_EQ(Le(f, 2), 1u) << "PCM";
    EXPECT_EQ(Le(f + 2, 2), 1u) << "mono";
    EXPECT_EQ(Le(f + 4, 4), row.rate);
    EXPECT_EQ(Le(f + 8, 4), row.rate * align);
    EXPECT_EQ(Le(f + 12, 2), align);
    EXPECT_EQ(Le(f + 14, 2), row.bits);
    EXPECT_EQ(w.Size(), row.data_bytes);
    EXPECT_EQ(0, std::memcmp(w.Data(), block.data() + 44, static_cast<std::size_t>(row.data_bytes)));

    // Clean: loud enough, never at full scale, and silent at both ends (no clicks).
    auto level = [&](std::int32_t k) {
      return row.bits == 8 ? (w.Data()[k] - 128) / 128.0
                           : static_cast<std::int16_t>(Le(w.Data() + 2 * k, 2)) / 32768.0;
    };
    const std::int32_t samples = row.data_bytes / align;
    double peak = 0;
    for (std::int32_t k = 0; k < samples; ++k) peak = std::max(peak, std::abs(level(k)));
    EXPECT_GT(peak, 0.6);
    EXPECT_LT(peak, 0.9);
    for (std::int32_t k : {0, 1, samples - 2, samples - 1}) EXPECT_NEAR(level(k), 0.0, 0.01) << k;
  }
  EXPECT_THROW(items.Items(7), app::EListError);
}

TEST(StoredWaves, TheGeneratorMakesTheCommittedFilesByteForByte) {
  testing_support::ScopedTempDir dir;
  const std::string command = std::string(VELKOR_TOOLS_DIR) + "/make_waves " + dir.Path().string();
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  for (const StoredRow& row : kTable) {
    SCOPED_TRACE(row.asset);
    const std::string made = testing_support::ReadFile(dir.Path() / row.asset);
    const std::string committed =
        testing_support::ReadFile(std::filesystem::path(VELKOR_SOURCE_DIR) / "assets" / row.asset);
    auto embedded = app::FindAsset(row.asset);
    EXPECT_FALSE(made.empty());
    EXPECT_TRUE(made == committed);
    EXPECT_TRUE(std::string(embedded.begin(), embedded.end()) == committed);
  }
}

}  // namespace
