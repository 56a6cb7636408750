#pragma once
// What the server sends: the ranking page (CP932, as the game's own text), the same list as
// JSON (UTF-8), the short pages that answer an entry, and response heads.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "server/periods.h"
#include "server/request.h"

namespace server {

// One stored entry as the ranking shows it; texts in UTF-8.
struct RankRow {
  std::string name;
  std::int32_t score = 0;
  std::string comment;
  std::int64_t created_at = 0;  // Unix time
};

inline constexpr int kRankingSize = 100;
inline constexpr std::string_view kHtmlType = "text/html; charset=Shift_JIS";
inline constexpr std::string_view kJsonType = "application/json; charset=utf-8";

// Rows best first; places are numbered in that order. Dates in the server's local time. The
// page begins with a choice of the period shown.
std::string RenderRankingHtml(const std::vector<RankRow>& rows, Period period = Period::kAll);
std::string RenderRankingJson(const std::vector<RankRow>& rows, Period period = Period::kAll);
// The home page: what the game is, and the way to its ranking.
std::string HomePage();
// A short CP932 page with one message.
std::string MessagePage(std::u8string_view heading, std::u8string_view text);
// The page answering a refused request.
std::string RefusalPage(Refusal refusal);

// "&", "<", ">", '"' and "'" as entities. Safe on CP932 bytes: no trail byte is one of them.
void AppendHtmlEscaped(std::string& out, std::string_view text);
void AppendJsonString(std::string& out, std::string_view utf8);

std::string_view StatusText(int status);
// The status line and headers, ending with the blank line. `date` is an HTTP date; `extra` is
// zero or more header lines, each ending in CR LF.
std::string ResponseHead(int status, std::string_view content_type, std::size_t length, bool keep_alive,
                         std::string_view date, std::string_view extra = {});
// "Sun, 06 Nov 1994 08:49:37 GMT"
std::string HttpDate(std::int64_t unix_time);

}  // namespace server
