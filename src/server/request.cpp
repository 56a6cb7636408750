#include "server/request.h"

#include <algorithm>
#include <array>
#include <asio/ip/address_v4.hpp>
#include <asio/ip/address_v6.hpp>
#include <cctype>

#include "game/hiscore.h"
#include "platform/codec.h"

namespace server {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// A character of a header's name.
bool IsTokenChar(char c) {
  auto u = static_cast<unsigned char>(c);
  return std::isalnum(u) || std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

// The next line of `rest` without its line end; moves `rest` past it.
std::string_view NextLine(std::string_view& rest) {
  std::size_t lf = rest.find('\n');
  std::string_view line = rest.substr(0, lf);
  rest.remove_prefix(lf == std::string_view::npos ? rest.size() : lf + 1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

// A number field of the query: an optional "-" and at least one digit, at the start of `s`.
// Returns its length (0 when there is none) and its value, held at 10^12 when longer.
std::size_t NumberField(std::string_view s, std::int64_t& value) {
  std::size_t i = s.starts_with('-') ? 1 : 0;
  std::size_t first_digit = i;
  value = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
    if (value < 1'000'000'000'000) value = value * 10 + (s[i] - '0');
    ++i;
  }
  if (i == first_digit) return 0;
  if (first_digit == 1) value = -value;
  return i;
}

// Whether the UTF-8 character at the start of `s` shows nothing on the page: an ASCII or
// ideographic space, or a private-use character (U+E000 to U+F8FF, EE 80 80 to EF A3 BF), which is
// what CP932's user-defined area converts to.
bool Invisible(std::string_view s) {
  if (s.starts_with(' ') || s.starts_with("\xE3\x80\x80")) return true;
  auto b = [&](std::size_t i) { return i < s.size() ? static_cast<unsigned char>(s[i]) : 0u; };
  return b(0) == 0xEE || (b(0) == 0xEF && b(1) <= 0xA3);
}

struct TextRefusals {
  Refusal empty, long_text, not_cp932, control;
};

// Checks a name or comment as sent (CP932) and gives its UTF-8 form.
Refusal CheckText(std::string_view cp932, int max_chars, const TextRefusals& why, std::string& utf8) {
  if (cp932.empty()) return why.empty;
  auto converted = platform::Cp932ToUtf8Checked(cp932);
  if (!converted) return why.not_cp932;
  int chars = 0;
  bool shows = false;
  const auto* p = reinterpret_cast<const unsigned char*>(converted->data());
  const auto* end = p + converted->size();
  for (; p < end; ++p) {
    if ((*p & 0xC0) == 0x80) continue;  // a continuation byte of the character counted before
    // The controls are C0, DEL and C1 (U+0080 to U+009F, written C2 80 to C2 9F).
    if (*p < 0x20 || *p == 0x7F || (*p == 0xC2 && p + 1 < end && p[1] < 0xA0)) return why.control;
    ++chars;
    shows = shows || !Invisible(std::string_view(reinterpret_cast<const char*>(p), static_cast<std::size_t>(end - p)));
  }
  // Spaces alone, or characters of the user-defined area that no font on the page has, show as
  // a blank line of the ranking.
  if (!shows) return why.empty;
  if (chars > max_chars) return why.long_text;
  utf8 = std::move(*converted);
  return Refusal::kNone;
}

constexpr TextRefusals kNameRefusals{Refusal::kNameEmpty, Refusal::kNameLong, Refusal::kNameNotCp932,
                                     Refusal::kNameControl};
constexpr TextRefusals kCommentRefusals{Refusal::kCommentEmpty, Refusal::kCommentLong,
                                        Refusal::kCommentNotCp932, Refusal::kCommentControl};

}  // namespace

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

bool HasToken(std::string_view value, std::string_view token) {
  while (!value.empty()) {
    std::size_t comma = value.find(',');
    if (EqualsNoCase(Trim(value.substr(0, comma)), token)) return true;
    if (comma == std::string_view::npos) break;
    value.remove_prefix(comma + 1);
  }
  return false;
}

// Only the path and query matter.
std::string_view OriginForm(std::string_view target) {
  constexpr std::string_view kScheme = "http://";
  if (target.size() > kScheme.size() && EqualsNoCase(target.substr(0, kScheme.size()), kScheme)) {
    std::size_t slash = target.find('/', kScheme.size());
    return slash == std::string_view::npos ? std::string_view("/") : target.substr(slash);
  }
  return target;
}

std::string HeaderList(const RequestHead& head, std::string_view name) {
  std::string out;
  for (const auto& [n, v] : head.headers) {
    if (!EqualsNoCase(n, name)) continue;
    if (!out.empty()) out += ", ";
    out += v;
  }
  return out;
}

const RefusalInfo& Describe(Refusal refusal) {
  static const RefusalInfo kInfo[] = {
      {200, "ok", u8""},
      {400, "bad-request-line", u8"リクエストを読めません。"},
      {400, "has-body", u8"本文の付いたリクエストは受け付けません。"},
      {405, "method", u8"GET と HEAD だけを受け付けます。"},
      {404, "not-found", u8"ページがありません。"},
      {400, "bad-query", u8"送信データの形式が正しくありません。"},
      {400, "name-empty", u8"名前が記入されてません。"},
      {400, "name-long", u8"名前は10字以内です。"},
      {400, "name-not-cp932", u8"名前の文字コードが正しくありません。"},
      {400, "name-control", u8"名前に制御文字があります。"},
      {400, "comment-empty", u8"コメントが記入されてません。"},
      {400, "comment-long", u8"コメントは40字以内です。"},
      {400, "comment-not-cp932", u8"コメントの文字コードが正しくありません。"},
      {400, "comment-control", u8"コメントに制御文字があります。"},
      {400, "score-range", u8"スコアが範囲外です。"},
      {400, "check-value", u8"スコアのチェック値が一致しません。"},
      {429, "too-many", u8"送信が多すぎます。しばらくしてから送信して下さい。"},
      {431, "head-too-large", u8"リクエストヘッダが大きすぎます。"},
      {408, "timeout", u8"リクエストが時間内に届きませんでした。"},
      {503, "busy", u8"混み合っています。しばらくしてから送信して下さい。"},
      {503, "store-failed", u8"登録できませんでした。しばらくしてから送信して下さい。"},
      {403, "banned", u8"この送信元またはこの名前からの登録は受け付けていません。"},
      {400, "filtered-word", u8"名前かコメントに使えない言葉が含まれています。"},
  };
  static_assert(std::size(kInfo) == kRefusalCount);
  return kInfo[static_cast<std::size_t>(refusal)];
}

std::size_t FindHeadEnd(std::string_view data) {
  for (std::size_t lf = data.find('\n'); lf != std::string_view::npos; lf = data.find('\n', lf + 1)) {
    if (lf + 1 < data.size() && data[lf + 1] == '\n') return lf + 2;
    if (lf + 2 < data.size() && data[lf + 1] == '\r' && data[lf + 2] == '\n') return lf + 3;
  }
  return std::string_view::npos;
}

std::optional<RequestHead> ParseHead(std::string_view head) {
  RequestHead h;
  std::string_view rest = head;
  h.request_line = NextLine(rest);
  std::size_t space = h.request_line.find(' ');
  std::size_t version = h.request_line.rfind(" HTTP/1.");
  if (space == 0 || space == std::string_view::npos || version == std::string_view::npos || version <= space)
    return std::nullopt;
  std::string_view minor = h.request_line.substr(version + 8);
  if (minor.size() != 1 || minor[0] < '0' || minor[0] > '9') return std::nullopt;
  h.method = h.request_line.substr(0, space);
  h.target = h.request_line.substr(space + 1, version - space - 1);
  if (h.target.empty()) return std::nullopt;
  bool http11 = minor[0] != '0';

  // A front end may read a head that breaks the syntax differently from us (a CR alone as a line
  // end, a space before the colon, a folded line), and see a body where we see a second request.
  for (std::size_t cr = head.find('\r'); cr != std::string_view::npos; cr = head.find('\r', cr + 1))
    if (cr + 1 == head.size() || head[cr + 1] != '\n') return std::nullopt;
  bool connection_close = false, connection_keep_alive = false;
  while (!rest.empty()) {
    std::string_view line = NextLine(rest);
    if (line.empty()) break;  // the blank line that ends the head
    std::size_t colon = line.find(':');
    if (colon == 0 || colon == std::string_view::npos) return std::nullopt;
    std::string_view name = line.substr(0, colon);
    if (!std::all_of(name.begin(), name.end(), IsTokenChar)) return std::nullopt;
    std::string_view value = Trim(line.substr(colon + 1));
    h.headers.emplace_back(name, value);
    if (EqualsNoCase(name, "Connection")) {
      connection_close |= HasToken(value, "close");
      connection_keep_alive |= HasToken(value, "keep-alive");
    } else if (EqualsNoCase(name, "Content-Length")) {
      h.has_body |= value.find_first_not_of('0') != std::string_view::npos;
    } else if (EqualsNoCase(name, "Transfer-Encoding")) {
      h.has_body = true;
    } else if (EqualsNoCase(name, "X-Forwarded-For")) {
      std::size_t comma = value.rfind(',');
      h.forwarded_for = Trim(comma == std::string_view::npos ? value : value.substr(comma + 1));
    }
  }
  h.keep_alive = !connection_close && (http11 || connection_keep_alive) && !h.has_body;
  return h;
}

Refusal ParseEntryQuery(std::string_view query, Entry& entry) {
  constexpr std::string_view kPrefix = "command=entry&name=";
  constexpr std::string_view kScore = "&score=";
  constexpr std::string_view kPass = "&pass_s=";
  constexpr std::string_view kComment = "&comment=";
  if (!query.starts_with(kPrefix) || !query.ends_with('*')) return Refusal::kBadQuery;
  std::string_view fields = query.substr(kPrefix.size(), query.size() - kPrefix.size() - 1);

  // The name may itself hold "&score=" and more; the first place where the whole run of fixed
  // keys and digit fields follows is where the name ends. A valid name is too short to hold
  // that run, so it cannot end anywhere earlier.
  for (std::size_t at = fields.find(kScore); at != std::string_view::npos; at = fields.find(kScore, at + 1)) {
    std::string_view after = fields.substr(at + kScore.size());
    std::int64_t score, pass;
    std::size_t n = NumberField(after, score);
    if (n == 0 || !after.substr(n).starts_with(kPass)) continue;
    after.remove_prefix(n + kPass.size());
    n = NumberField(after, pass);
    if (n == 0 || !after.substr(n).starts_with(kComment)) continue;
    std::string_view name = fields.substr(0, at);
    std::string_view comment = after.substr(n + kComment.size());

    if (Refusal r = CheckText(name, kMaxNameChars, kNameRefusals, entry.name); r != Refusal::kNone) return r;
    if (Refusal r = CheckText(comment, kMaxCommentChars, kCommentRefusals, entry.comment); r != Refusal::kNone)
      return r;
    if (score < 0 || score > kMaxScore) return Refusal::kScoreRange;
    entry.score = static_cast<std::int32_t>(score);
    if (pass != game::CheckValueOf(entry.score)) return Refusal::kCheckValue;
    return Refusal::kNone;
  }
  return Refusal::kBadQuery;
}

std::optional<std::string_view> ParseProxyLine(std::string_view line) {
  if (!line.starts_with(kProxyTag)) return std::nullopt;
  line.remove_prefix(kProxyTag.size());
  if (line == "UNKNOWN" || line.starts_with("UNKNOWN ")) return std::string_view();
  // Protocol, source, destination, source port, destination port.
  std::array<std::string_view, 5> fields;
  for (std::string_view& field : fields) {
    std::size_t space = line.find(' ');
    field = line.substr(0, space);
    if (field.empty()) return std::nullopt;
    line.remove_prefix(space == std::string_view::npos ? line.size() : space + 1);
  }
  if (!line.empty()) return std::nullopt;
  bool v4 = fields[0] == "TCP4";
  if (!v4 && fields[0] != "TCP6") return std::nullopt;
  for (std::string_view address : {fields[1], fields[2]}) {
    // Digits, dots and colons only: no zone, and nothing after a NUL that parsing would not see.
    if (address.find_first_not_of("0123456789abcdefABCDEF.:") != std::string_view::npos) return std::nullopt;
    asio::error_code ec;
    if (v4)
      asio::ip::make_address_v4(std::string(address), ec);
    else
      asio::ip::make_address_v6(std::string(address), ec);
    if (ec) return std::nullopt;
  }
  for (std::string_view port : {fields[3], fields[4]}) {
    if (port.size() > 5 || !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
        std::stoul(std::string(port)) > 65535)
      return std::nullopt;
  }
  return fields[1];
}

Classified Classify(const RequestHead& head) {
  Classified c;
  bool head_only = head.method == "HEAD";
  if (head.method != "GET" && !head_only) {
    c.refusal = Refusal::kMethod;
    return c;
  }
  if (head.has_body) {
    c.refusal = Refusal::kHasBody;
    return c;
  }
  std::string_view target = OriginForm(head.target);
  std::size_t question = target.find('?');
  std::string_view path = target.substr(0, question);
  std::string_view query = question == std::string_view::npos ? std::string_view() : target.substr(question + 1);
  // The home page without its last slash too, as people type it.
  if (path == "/" || path == kHomePath || path == kHomePath.substr(0, kHomePath.size() - 1)) {
    c.route = Route::kHome;
    return c;
  }
  if (path != kRankingPath) {
    c.refusal = Refusal::kNotFound;
    return c;
  }
  if (query.starts_with("command=")) {
    // Looking at a page must not store anything: an entry takes a GET.
    if (head_only) {
      c.refusal = Refusal::kMethod;
      return c;
    }
    c.refusal = ParseEntryQuery(query, c.entry);
    if (c.refusal == Refusal::kNone) c.route = Route::kEntry;
    return c;
  }
  // Any other query shows the page, so links with extra parameters still work.
  c.route = Route::kPage;
  for (std::string_view rest = query; !rest.empty();) {
    std::size_t amp = rest.find('&');
    std::string_view param = rest.substr(0, amp);
    if (param == "format=json") c.route = Route::kJson;
    // An unknown period shows all time, as any other unknown parameter is ignored.
    if (param.starts_with("period="))
      if (auto period = ParsePeriod(param.substr(7))) c.period = *period;
    if (amp == std::string_view::npos) break;
    rest.remove_prefix(amp + 1);
  }
  return c;
}

}  // namespace server
