#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "app/sjis.h"
#include "platform/text.h"
#include "support/harness.h"

namespace {

using platform::FontFace;
using platform::TextImage;
using platform::TextRenderer;

// A fontconfig configuration that knows only the fonts of `dirs`.
std::string WriteFontConfig(const std::filesystem::path& where, std::initializer_list<std::string> dirs) {
  std::string xml = "<?xml version=\"1.0\"?>\n<fontconfig>\n";
  for (const std::string& d : dirs) xml += "  <dir>" + d + "</dir>\n";
  xml += "  <cachedir>" + (where / "cache").string() + "</cachedir>\n</fontconfig>\n";
  const std::filesystem::path file = where / "fonts.conf";
  std::ofstream(file) << xml;
  return file.string();
}

bool SameImage(const TextImage& a, const TextImage& b) {
  if (a.width != b.width || a.height != b.height || a.runs.size() != b.runs.size()) return false;
  for (std::size_t i = 0; i < a.runs.size(); ++i)
    if (a.runs[i].x != b.runs[i].x || a.runs[i].y != b.runs[i].y || a.runs[i].length != b.runs[i].length) return false;
  return true;
}

TEST(TextFace, IpaPGothicComesFirst) {
  const FontFace face = platform::FindTextFace();
  EXPECT_EQ(face.family, "IPAPGothic");
  EXPECT_TRUE(face.japanese);
  EXPECT_EQ(platform::MissingFontAdvice(face), "");
}

TEST(TextFace, WithoutAnyFontTheAdviceNamesThePackageAndNothingIsDrawn) {
  testing_support::ScopedTempDir dir;
  const FontFace face = platform::FindTextFace(WriteFontConfig(dir.Path(), {}).c_str());
  EXPECT_TRUE(face.file.empty());
  EXPECT_NE(platform::MissingFontAdvice(face).find("fonts-ipafont-gothic"), std::string::npos);

  TextRenderer renderer(face);
  const TextImage& image = renderer.Render(app::Sjis(u8"歴代ランキング"), 21);
  EXPECT_EQ(image.width, 0);
  EXPECT_EQ(image.height, 21);
  EXPECT_TRUE(image.runs.empty());
}

TEST(TextFace, AFaceWithoutKanaIsOnlyAFallbackForLatinText) {
  const std::filesystem::path dejavu = "/usr/share/fonts/truetype/dejavu";
  if (!std::filesystem::exists(dejavu)) GTEST_SKIP() << "no DejaVu fonts here";
  testing_support::ScopedTempDir dir;
  const FontFace face = platform::FindTextFace(WriteFontConfig(dir.Path(), {dejavu.string()}).c_str());
  ASSERT_FALSE(face.file.empty());
  EXPECT_FALSE(face.japanese);
  EXPECT_NE(platform::MissingFontAdvice(face).find("fonts-ipafont-gothic"), std::string::npos);
  TextRenderer renderer(face);
  EXPECT_FALSE(renderer.Render("Velkor", 13).runs.empty());
}

TEST(TextRenderer, KeepsRecentTextsAndRendersAnEvictedOneAlike) {
  TextRenderer renderer(platform::FindTextFace());
  const TextImage first = renderer.Render("Velkor", 13);
  EXPECT_EQ(&renderer.Render("Velkor", 13), &renderer.Render("Velkor", 13));
  // The same text at another size is another image.
  EXPECT_GT(renderer.Render("Velkor", 107).width, first.width * 7);
  for (std::size_t i = 0; i < TextRenderer::kTextCacheSize + 10; ++i) renderer.Render(std::to_string(i), 13);
  EXPECT_TRUE(SameImage(renderer.Render("Velkor", 13), first));
}

TEST(TextRenderer, RunsAreOrderedAndDisjoint) {
  TextRenderer renderer(platform::FindTextFace());
  const TextImage& image = renderer.Render(app::Sjis(u8"[Alt]+[F9] ｲﾝﾀｰﾈｯﾄﾗﾝｷﾝｸﾞ申請"), 12);
  ASSERT_FALSE(image.runs.empty());
  for (std::size_t i = 1; i < image.runs.size(); ++i) {
    const auto& a = image.runs[i - 1];
    const auto& b = image.runs[i];
    ASSERT_TRUE(a.y < b.y || (a.y == b.y && a.x + a.length < b.x)) << i;
  }
  for (const auto& r : image.runs) {
    EXPECT_GT(r.length, 0);
    EXPECT_GE(r.y, -2);
    EXPECT_LT(r.y, image.height + 2);
  }
}

TEST(TextRenderer, BytesThatAreNotCp932StillRender) {
  TextRenderer renderer(platform::FindTextFace());
  const TextImage& image = renderer.Render(std::string("A\x81\xFF\x82", 4), 16);
  EXPECT_GT(image.width, 0);
}

}  // namespace
