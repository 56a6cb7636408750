// Reading requests: the lenient request line, the entry query split by its fixed keys, and the
// checks an entry must pass.
#include <gtest/gtest.h>

#include "app/sjis.h"
#include "game/hiscore.h"
#include "server/request.h"

namespace server {
namespace {

std::string U8(std::u8string_view text) { return {reinterpret_cast<const char*>(text.data()), text.size()}; }

std::string Pass(int score) { return std::to_string(game::CheckValueOf(score)); }

std::string Query(const std::string& name, const std::string& score, const std::string& pass,
                  const std::string& comment) {
  return "command=entry&name=" + name + "&score=" + score + "&pass_s=" + pass + "&comment=" + comment + "*";
}

TEST(EntryQuery, NamesAndCommentsKeepEveryByteTheGameSends) {
  const std::string yamada = app::Sjis(u8"山田 太郎&");
  struct Case {
    std::string query, name, comment;
    std::int32_t score;
  } cases[] = {
      {Query("abc", "1234", "5611", "hi"), "abc", "hi", 1234},
      {Query("a b&c=d", "10", Pass(10), "x&y=z*w"), "a b&c=d", "x&y=z*w", 10},
      {Query(yamada, "0", Pass(0), app::Sjis(u8"よろしく！")), U8(u8"山田 太郎&"), U8(u8"よろしく！"), 0},
      // "&score=" in the name not followed by the digit fields belongs to the name.
      {Query("a&score=x", "98", Pass(98), "c"), "a&score=x", "c", 98},
      // The whole run of keys in the comment stays in the comment.
      {Query("n", "5", Pass(5), "&score=1&pass_s=" + Pass(1) + "&comment=z"), "n",
       "&score=1&pass_s=" + Pass(1) + "&comment=z", 5},
      {Query("n", "0098", Pass(98), "*"), "n", "*", 98},
      {Query("n", "1000000", Pass(1000000), "top"), "n", "top", 1000000},
  };
  for (const Case& c : cases) {
    Entry entry;
    EXPECT_EQ(ParseEntryQuery(c.query, entry), Refusal::kNone) << c.query;
    EXPECT_EQ(entry.name, c.name) << c.query;
    EXPECT_EQ(entry.comment, c.comment) << c.query;
    EXPECT_EQ(entry.score, c.score) << c.query;
  }
}

TEST(EntryQuery, RefusesWhatTheRankingMustNotTake) {
  const std::string ten_wide = app::Sjis(u8"あいうえおかきくけこ");
  struct Case {
    std::string query;
    Refusal refusal;
  } cases[] = {
      {"command=entry&name=abc&score=1234&pass_s=5611&comment=hi", Refusal::kBadQuery},  // no closing "*"
      {"command=view&name=abc&score=1234&pass_s=5611&comment=hi*", Refusal::kBadQuery},
      {"command=entry&name=abc&score=1234&comment=hi*", Refusal::kBadQuery},
      {"command=entry&name=abc&score=&pass_s=1011&comment=hi*", Refusal::kBadQuery},
      {Query("", "1234", "5611", "hi"), Refusal::kNameEmpty},
      {Query("abcdefghijk", "1234", "5611", "hi"), Refusal::kNameLong},
      {Query(ten_wide + "x", "1234", "5611", "hi"), Refusal::kNameLong},
      {Query("ab\x01", "1234", "5611", "hi"), Refusal::kNameControl},
      {Query("ab\x7f", "1234", "5611", "hi"), Refusal::kNameControl},
      {Query("ab\r", "1234", "5611", "hi"), Refusal::kNameControl},
      {Query("ab\x85\x40", "1234", "5611", "hi"), Refusal::kNameNotCp932},  // unassigned code
      {Query("ab\x82", "1234", "5611", "hi"), Refusal::kNameNotCp932},      // lead byte alone
      {Query("ab\x80", "1234", "5611", "hi"), Refusal::kNameNotCp932},
      {Query("abc", "1234", "5611", ""), Refusal::kCommentEmpty},
      // Names and comments that would show as blank on the page: spaces (ASCII and ideographic)
      // and characters of the user-defined area (F040 on), in any mix.
      {Query(" ", "1234", "5611", "hi"), Refusal::kNameEmpty},
      {Query(app::Sjis(u8"\u3000\u3000"), "1234", "5611", "hi"), Refusal::kNameEmpty},
      {Query("\xF0\x40\xF9\xFC", "1234", "5611", "hi"), Refusal::kNameEmpty},
      {Query(" \xF0\x40" + app::Sjis(u8"\u3000"), "1234", "5611", "hi"), Refusal::kNameEmpty},
      {Query("abc", "1234", "5611", "   "), Refusal::kCommentEmpty},
      {Query("abc", "1234", "5611", app::Sjis(u8"\u3000") + "\xF5\x40 "), Refusal::kCommentEmpty},
      {Query("abc", "1234", "5611", std::string(41, 'c')), Refusal::kCommentLong},
      {Query("abc", "1234", "5611", "a\tb"), Refusal::kCommentControl},
      {Query("abc", "1234", "5611", "\xff"), Refusal::kCommentNotCp932},
      {Query("abc", "1000001", Pass(1000001), "hi"), Refusal::kScoreRange},
      {Query("abc", "-1", Pass(-1), "hi"), Refusal::kScoreRange},
      {Query("abc", "99999999999999999999", "1011", "hi"), Refusal::kScoreRange},
      {Query("abc", "1234", "5612", "hi"), Refusal::kCheckValue},
      {Query("abc", "1234", "-5611", "hi"), Refusal::kCheckValue},
  };
  for (const Case& c : cases) {
    Entry entry;
    EXPECT_EQ(ParseEntryQuery(c.query, entry), c.refusal) << c.query;
  }
  Entry entry;
  EXPECT_EQ(ParseEntryQuery(Query(ten_wide, "1234", "5611", std::string(40, 'c')), entry), Refusal::kNone);
  // One character that shows is enough, spaces around it are kept.
  EXPECT_EQ(ParseEntryQuery(Query(" a\xF0\x40", "1234", "5611", app::Sjis(u8"\u3000x ")), entry), Refusal::kNone);
  EXPECT_EQ(entry.name, U8(u8" a\uE000"));
  EXPECT_EQ(entry.comment, U8(u8"\u3000x "));
}

TEST(RequestHead, TheGamesRequestIsReadWithItsRawTarget) {
  const std::string target = "/~tobrin/soft/velkor/ran/ranking.cgi?command=entry&name=a HTTP/1.0 b&score=1";
  const std::string head = "GET " + target +
                           " HTTP/1.0\r\nHost: localhost\r\n"
                           "Accept: www/source, text/html, video/mpeg, image/jpeg, image/x-tiff\r\n"
                           "Content-type: application/x-www-form-urlencoded\r\n\r\n";
  EXPECT_EQ(FindHeadEnd(head + "rest"), head.size());
  auto h = ParseHead(head);
  ASSERT_TRUE(h);
  EXPECT_EQ(h->method, "GET");
  EXPECT_EQ(h->target, target);
  EXPECT_FALSE(h->keep_alive);
  EXPECT_FALSE(h->has_body);
}

TEST(RequestHead, ConnectionBodyAndForwardedHeaders) {
  struct Case {
    std::string head;
    bool keep_alive, has_body;
    std::string forwarded_for;
  } cases[] = {
      {"GET / HTTP/1.1\r\nHost: a\r\n\r\n", true, false, ""},
      {"GET / HTTP/1.1\r\nConnection: Close\r\n\r\n", false, false, ""},
      {"GET / HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n", true, false, ""},
      {"GET / HTTP/1.1\r\nContent-Length: 5\r\n\r\n", false, true, ""},
      {"GET / HTTP/1.1\r\nContent-Length: 0\r\n\r\n", true, false, ""},
      {"GET / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", false, true, ""},
      {"GET / HTTP/1.1\nX-Forwarded-For: 10.0.0.1, 192.0.2.7 \n\n", true, false, "192.0.2.7"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FindHeadEnd(c.head), c.head.size()) << c.head;
    auto h = ParseHead(c.head);
    ASSERT_TRUE(h) << c.head;
    EXPECT_EQ(h->keep_alive, c.keep_alive) << c.head;
    EXPECT_EQ(h->has_body, c.has_body) << c.head;
    EXPECT_EQ(h->forwarded_for, c.forwarded_for) << c.head;
  }
  for (const char* bad : {"GET\r\n\r\n", "GET / HTTP/2.0\r\n\r\n", " / HTTP/1.0\r\n\r\n", "GET  HTTP/1.1\r\n\r\n",
                          "GET / HTTP/1.10\r\n\r\n", "\r\n\r\n"})
    EXPECT_FALSE(ParseHead(bad)) << bad;
  EXPECT_EQ(FindHeadEnd("GET / HTTP/1.0\r\nHost: a\r\n"), std::string_view::npos);
}

// Heads that a front end could read otherwise than we do are refused, not half read.
TEST(RequestHead, RefusesHeaderLinesThatBreakTheSyntax) {
  for (const char* bad : {"GET / HTTP/1.1\r\nContent-Length : 60\r\n\r\n",
                          "GET / HTTP/1.1\r\nContent-Length\t: 60\r\n\r\n",
                          "GET / HTTP/1.1\r\nHost: a\rContent-Length: 60\r\n\r\n",
                          "GET / HTTP/1.1\rHost: a\r\n\r\n",
                          "GET / HTTP/1.1\r\nX: a\r\n Content-Length: 60\r\n\r\n",
                          "GET / HTTP/1.1\r\nno colon here\r\n\r\n",
                          "GET / HTTP/1.1\r\n: empty name\r\n\r\n",
                          "GET / HTTP/1.1\nX-Forwarded-For\x0b: 10.0.0.1\n\n"})
    EXPECT_FALSE(ParseHead(bad)) << bad;
  // What the game and browsers send still reads, also with LF alone.
  for (const char* good : {"GET / HTTP/1.1\r\nHost: a\r\nX-Empty:\r\n\r\n",
                           "GET / HTTP/1.1\nHost:a\nAccept-Language: ja, en;q=0.5\n\n"})
    EXPECT_TRUE(ParseHead(good)) << good;
}

TEST(ProxyLine, GivesTheSourceAddressOfAWellFormedLine) {
  struct Case {
    std::string_view line;
    std::optional<std::string_view> source;
  } cases[] = {
      {"PROXY TCP4 203.0.113.7 192.0.2.1 56324 80", "203.0.113.7"},
      {"PROXY TCP6 2001:db8::1 2001:db8::2 4000 80", "2001:db8::1"},
      {"PROXY UNKNOWN", ""},
      {"PROXY UNKNOWN ffff::1 ffff::2 1 2", ""},
      {"PROXY TCP4 203.0.113.7 192.0.2.1 56324", std::nullopt},
      {"PROXY TCP4 203.0.113.7 192.0.2.1 56324 80 x", std::nullopt},
      {"PROXY TCP4  203.0.113.7 192.0.2.1 56324 80", std::nullopt},
      {"PROXY UDP4 203.0.113.7 192.0.2.1 56324 80", std::nullopt},
      {"PROXY TCP4 2001:db8::1 192.0.2.1 56324 80", std::nullopt},
      {"PROXY TCP4 203.0.113.7 2001:db8::2 56324 80", std::nullopt},
      {"PROXY TCP6 203.0.113.7 2001:db8::2 56324 80", std::nullopt},
      {"PROXY TCP6 2001:db8::1 192.0.2.1 56324 80", std::nullopt},
      {"PROXY TCP4 203.0.113.7 192.0.2.1 http 80", std::nullopt},
      {"PROXY TCP4 203.0.113.7 192.0.2.1 56324 65536", std::nullopt},
      {"PROXY TCP4 203.0.113.7 192.0.2.1 -1 80", std::nullopt},
      {"PROXY TCP4 203.0.113.7 192.0.2.1 +80 80", std::nullopt},
      {"PROXY TCP4 203.0.113.7 192.0.2.1 0 65535", "203.0.113.7"},
      {"PROXY TCP4 203.0.113 192.0.2.1 1 80", std::nullopt},
      {"PROXY TCP4 localhost 192.0.2.1 1 80", std::nullopt},
      {"PROXY TCP6 fe80::1%eth0 2001:db8::2 1 80", std::nullopt},
      {std::string_view("PROXY TCP4 1.2.3.4\0x 192.0.2.1 1 80", 35), std::nullopt},
      {"GET / HTTP/1.1", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseProxyLine(c.line), c.source) << c.line;
}

TEST(Classify, RoutesByMethodPathAndQuery) {
  const std::string path = "/~tobrin/soft/velkor/ran/ranking.cgi";
  struct Case {
    std::string request_line;
    Route route;
    Refusal refusal;
  } cases[] = {
      {"GET " + path + " HTTP/1.0", Route::kPage, Refusal::kNone},
      {"GET " + path + "? HTTP/1.0", Route::kPage, Refusal::kNone},
      {"GET " + path + "?from=mail HTTP/1.1", Route::kPage, Refusal::kNone},
      {"GET " + path + "?format=json HTTP/1.1", Route::kJson, Refusal::kNone},
      {"GET " + path + "?lang=ja&format=json HTTP/1.1", Route::kJson, Refusal::kNone},
      {"GET http://example.test" + path + "?format=json HTTP/1.1", Route::kJson, Refusal::kNone},
      {"GET " + path + "?" + Query("abc", "1234", "5611", "hi") + " HTTP/1.0", Route::kEntry, Refusal::kNone},
      {"GET " + path + "?command=entry HTTP/1.0", Route::kRefused, Refusal::kBadQuery},
      // The maker's home page the game shows, and the root: a page that leads to the ranking.
      {"GET / HTTP/1.1", Route::kHome, Refusal::kNone},
      {"GET /~tobrin/ HTTP/1.0", Route::kHome, Refusal::kNone},
      {"GET /~tobrin HTTP/1.1", Route::kHome, Refusal::kNone},
      {"GET /?from=game HTTP/1.1", Route::kHome, Refusal::kNone},
      {"GET http://example.test HTTP/1.1", Route::kHome, Refusal::kNone},
      {"HEAD /~tobrin/ HTTP/1.1", Route::kHome, Refusal::kNone},
      {"POST /~tobrin/ HTTP/1.1", Route::kRefused, Refusal::kMethod},
      {"GET /~tobrin/soft/ HTTP/1.1", Route::kRefused, Refusal::kNotFound},
      {"GET /~Tobrin/ HTTP/1.1", Route::kRefused, Refusal::kNotFound},
      {"GET " + path + "/x HTTP/1.1", Route::kRefused, Refusal::kNotFound},
      {"GET /~tobrin/soft/velkor/ran/ranking.cgI HTTP/1.1", Route::kRefused, Refusal::kNotFound},
      {"POST " + path + " HTTP/1.1", Route::kRefused, Refusal::kMethod},
      {"PUT " + path + " HTTP/1.1", Route::kRefused, Refusal::kMethod},
      {"get " + path + " HTTP/1.1", Route::kRefused, Refusal::kMethod},
      // A HEAD sees what a GET of the page would, but cannot make an entry.
      {"HEAD " + path + " HTTP/1.1", Route::kPage, Refusal::kNone},
      {"HEAD " + path + "?format=json HTTP/1.1", Route::kJson, Refusal::kNone},
      {"HEAD " + path + "?" + Query("abc", "1234", "5611", "hi") + " HTTP/1.0", Route::kRefused, Refusal::kMethod},
      {"HEAD /nothing HTTP/1.1", Route::kRefused, Refusal::kNotFound},
  };
  for (const Case& c : cases) {
    const std::string head = c.request_line + "\r\n\r\n";  // the parsed head views it
    auto h = ParseHead(head);
    ASSERT_TRUE(h) << c.request_line;
    Classified got = Classify(*h);
    EXPECT_EQ(got.route, c.route) << c.request_line;
    EXPECT_EQ(got.refusal, c.refusal) << c.request_line;
  }
  const std::string body_head = "GET " + path + " HTTP/1.1\r\nContent-Length: 3\r\n\r\n";
  auto with_body = ParseHead(body_head);
  EXPECT_EQ(Classify(*with_body).refusal, Refusal::kHasBody);
}

}  // namespace
}  // namespace server
