#pragma once
// Reading a request: the head, the route, and the entry the game sends in its query.
//
// The game puts the player's name and comment into the query exactly as typed, as raw CP932
// bytes, with no percent-encoding: spaces, "&", "=" and "?" included. So the request line is
// read leniently (the target is everything between "GET " and the last " HTTP/1.x") and the
// query is split by its fixed keys and its digit fields, not by "&".
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "server/periods.h"

namespace server {

inline constexpr std::string_view kRankingPath = "/~tobrin/soft/velkor/ran/ranking.cgi";
// The maker's home page, which the game-over screen shows; answered, as the server's root is,
// with a page that leads to the ranking.
inline constexpr std::string_view kHomePath = "/~tobrin/";
// A head that has not ended within this many bytes is refused.
inline constexpr std::size_t kMaxHeadBytes = 8192;
inline constexpr int kMaxNameChars = 10;
inline constexpr int kMaxCommentChars = 40;
inline constexpr std::int32_t kMaxScore = 1'000'000;

// Why a request gets no ranking. Each has its status, a slug for the access log and a text for
// the reply page.
enum class Refusal {
  kNone,
  kBadRequestLine,
  kHasBody,
  kMethod,
  kNotFound,
  kBadQuery,
  kNameEmpty,
  kNameLong,
  kNameNotCp932,
  kNameControl,
  kCommentEmpty,
  kCommentLong,
  kCommentNotCp932,
  kCommentControl,
  kScoreRange,
  kCheckValue,
  kTooMany,
  kHeadTooLarge,
  kTimeout,
  kBusy,
  kStoreFailed,
  kBanned,        // the admin keeps the address or the name out
  kFilteredWord,  // the name or the comment holds a filtered word
};
inline constexpr std::size_t kRefusalCount = static_cast<std::size_t>(Refusal::kFilteredWord) + 1;

struct RefusalInfo {
  int status;
  std::string_view slug;     // for the access log
  std::u8string_view text;   // for the reply page
};
const RefusalInfo& Describe(Refusal refusal);

// Where the head ends in `data` (the index just past its blank line), or npos. Lines may end in
// CR LF or in LF alone.
std::size_t FindHeadEnd(std::string_view data);

// The parts of a head that the server acts on; views into the head's bytes.
struct RequestHead {
  std::string_view request_line;
  std::string_view method;
  std::string_view target;
  bool keep_alive = false;
  bool has_body = false;            // Content-Length above 0, or Transfer-Encoding
  std::string_view forwarded_for;   // the last address of X-Forwarded-For, if any
  std::vector<std::pair<std::string_view, std::string_view>> headers;  // names and trimmed values
};
// Nothing when the request line has no method, target and " HTTP/1.x" version, or a header line
// breaks the syntax (a CR that does not end a line, a name with a space or none, a folded line).
std::optional<RequestHead> ParseHead(std::string_view head);

// An entry that passed every check; texts in UTF-8.
struct Entry {
  std::string name;
  std::int32_t score = 0;
  std::string comment;
};

enum class Route { kPage, kJson, kEntry, kHome, kRefused };

struct Classified {
  Route route = Route::kRefused;
  Refusal refusal = Refusal::kNone;
  Entry entry;  // for kEntry
  Period period = Period::kAll;  // for kPage and kJson: ?period=today|week|month
};
Classified Classify(const RequestHead& head);

// The values of the header `name` (any case), a repeated header's joined by ", "; empty when
// there is none.
std::string HeaderList(const RequestHead& head, std::string_view name);
// Whether a comma-separated header value holds `token` (any case).
bool HasToken(std::string_view value, std::string_view token);
bool EqualsNoCase(std::string_view a, std::string_view b);
// The path and query of a target, which may come in absolute form ("http://host/path").
std::string_view OriginForm(std::string_view target);

// The query of an entry ("command=entry&name=...*"), split and checked.
Refusal ParseEntryQuery(std::string_view query, Entry& entry);

// A TCP proxy in front (one that passes the game's bytes untouched, as an HTTP proxy cannot: it
// refuses the spaces of a name) says where the connection comes from in a first line of the
// PROXY protocol, version 1: "PROXY TCP4 203.0.113.7 192.0.2.1 56324 80".
inline constexpr std::string_view kProxyTag = "PROXY ";
inline constexpr std::size_t kMaxProxyLine = 107;  // CR LF included
// The source address of such a line (without its CR LF); empty for "PROXY UNKNOWN"; nothing when
// the line is malformed: both addresses must be of the family it names and both ports numbers
// from 0 to 65535.
std::optional<std::string_view> ParseProxyLine(std::string_view line);

}  // namespace server
