// Fuzzes how the ranking server reads a request: a proxy's first line, the head, the route, the
// entry's query and its checks, and the page made from an entry that passed them.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "game/hiscore.h"
#include "server/pages.h"
#include "server/request.h"

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

std::size_t CodePoints(std::string_view utf8) {
  std::size_t n = 0;
  for (char c : utf8) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

void CheckEntry(const server::Entry& e) {
  Check(CodePoints(e.name) >= 1 && CodePoints(e.name) <= server::kMaxNameChars);
  Check(CodePoints(e.comment) >= 1 && CodePoints(e.comment) <= server::kMaxCommentChars);
  Check(e.score >= 0 && e.score <= server::kMaxScore);
  // Whatever the texts hold, the page has exactly the markup of a page with plain texts.
  std::string html = server::RenderRankingHtml({{e.name, e.score, e.comment, 0}});
  std::string plain = server::RenderRankingHtml({{"n", e.score, "c", 0}});
  for (char markup : {'<', '>', '"'}) {
    Check(std::count(html.begin(), html.end(), markup) == std::count(plain.begin(), plain.end(), markup));
  }
  std::string json = server::RenderRankingJson({{e.name, e.score, e.comment, 0}});
  Check(json.find('<') == std::string::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);

  server::Entry entry;
  if (server::ParseEntryQuery(bytes, entry) == server::Refusal::kNone) CheckEntry(entry);

  if (auto source = server::ParseProxyLine(bytes.substr(0, bytes.find("\r\n"))))
    Check(source->find(' ') == std::string_view::npos);

  std::size_t end = server::FindHeadEnd(bytes);
  if (end != std::string_view::npos) Check(end <= size);
  std::string_view head = bytes.substr(0, end == std::string_view::npos ? server::kMaxHeadBytes : end);
  if (auto h = server::ParseHead(head)) {
    server::Classified c = server::Classify(*h);
    Check((c.route == server::Route::kRefused) == (c.refusal != server::Refusal::kNone));
    if (c.route == server::Route::kEntry) CheckEntry(c.entry);
  }
  return 0;
}
