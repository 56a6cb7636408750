// The database, the rate limit and the pages, without the network.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include "app/sjis.h"
#include "support/harness.h"
#include "server/pages.h"
#include "server/rate_limit.h"
#include "server/store.h"

namespace server {
namespace {

using testing_support::ScopedTempDir;

std::vector<StoreOutcome> StoreAll(RankingDb& db, const std::vector<PendingEntry>& entries, std::int64_t now) {
  std::vector<const PendingEntry*> pointers;
  for (const PendingEntry& e : entries) pointers.push_back(&e);
  return db.StoreBatch(pointers, now);
}

PendingEntry Make(const std::string& name, std::int32_t score, const std::string& comment) {
  return {{name, score, comment}, "127.0.0.1"};
}

TEST(RankingDb, DuplicatesWithinTenMinutesAreAcknowledgedWithoutARow) {
  ScopedTempDir dir;
  RankingDb db("ranking.db");
  const std::int64_t t = 1'800'000'000;
  using O = StoreOutcome;
  EXPECT_EQ(StoreAll(db, {Make("abc", 1234, "hi"), Make("abc", 1234, "hi"), Make("abc", 1234, "hi!")}, t),
            (std::vector<O>{O::kStored, O::kDuplicate, O::kStored}));
  EXPECT_EQ(StoreAll(db, {Make("abc", 1234, "hi"), Make("abd", 1234, "hi"), Make("abc", 1235, "hi")}, t + 600),
            (std::vector<O>{O::kDuplicate, O::kStored, O::kStored}));
  EXPECT_EQ(StoreAll(db, {Make("abc", 1234, "hi")}, t + 601), (std::vector<O>{O::kStored}));
  EXPECT_EQ(db.Top(100).size(), 5u);
}

TEST(RankingDb, TopIsBestFirstWithTiesOlderFirstAndKeptAcrossReopening) {
  ScopedTempDir dir;
  {
    RankingDb db("ranking.db");
    StoreAll(db, {Make("first50", 50, "a"), Make("b70", 70, "a")}, 100);
    StoreAll(db, {Make("second50", 50, "a"), Make("c90", 90, "a")}, 50);  // an earlier clock changes nothing
  }
  RankingDb db("ranking.db");
  std::vector<std::string> names;
  for (const RankRow& row : db.Top(100)) names.push_back(row.name);
  EXPECT_EQ(names, (std::vector<std::string>{"c90", "b70", "first50", "second50"}));
  EXPECT_EQ(db.Top(2).size(), 2u);
}

TEST(RankingDb, NoticesChangesMadeByAnotherConnectionOnly) {
  ScopedTempDir dir;
  RankingDb db("ranking.db");
  StoreAll(db, {Make("spam", 999, "x"), Make("abc", 10, "y")}, 100);
  EXPECT_FALSE(db.ChangedElsewhere());
  sqlite3* moderator = nullptr;
  ASSERT_EQ(sqlite3_open("ranking.db", &moderator), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(moderator, "DELETE FROM entries WHERE name = 'spam'", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(moderator);
  EXPECT_TRUE(db.ChangedElsewhere());
  EXPECT_FALSE(db.ChangedElsewhere());
  ASSERT_EQ(db.Top(100).size(), 1u);
  EXPECT_EQ(db.Top(100)[0].name, "abc");
}

TEST(RankingDb, RefusesFilesItCannotUse) {
  ScopedTempDir dir;
  testing_support::WriteFile("garbage.db", std::string(4096, 'x'));
  EXPECT_THROW(RankingDb("garbage.db"), std::runtime_error);
  {
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open("newer.db", &raw), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(raw, "PRAGMA user_version=7", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(raw);
  }
  try {
    RankingDb db("newer.db");
    ADD_FAILURE() << "opened a database of a newer schema";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("newer"), std::string::npos) << e.what();
  }
  EXPECT_THROW(RankingDb("no/such/dir/ranking.db"), std::runtime_error);
}

TEST(RateLimiter, TenEntriesAMinuteForEachAddress) {
  RateLimiter limiter(1000);
  using V = RateLimiter::Verdict;
  auto t0 = RateLimiter::Clock::time_point{} + std::chrono::hours(1);
  for (int i = 0; i < 10; ++i)
    EXPECT_EQ(limiter.Admit("a", t0 + std::chrono::seconds(i)).verdict, V::kAdmitted) << i;
  auto refused = limiter.Admit("a", t0 + std::chrono::seconds(30));
  EXPECT_EQ(refused.verdict, V::kLimited);
  EXPECT_EQ(refused.retry_after_seconds, 30);  // the first entry leaves the window at t0 + 60
  EXPECT_EQ(limiter.Admit("b", t0 + std::chrono::seconds(30)).verdict, V::kAdmitted);
  EXPECT_EQ(limiter.Admit("a", t0 + std::chrono::seconds(60)).verdict, V::kAdmitted);
  EXPECT_EQ(limiter.Admit("a", t0 + std::chrono::seconds(60)).verdict, V::kLimited);
}

TEST(RateLimiter, AFullTableStillAdmitsAnAddressItHasNotSeen) {
  RateLimiter limiter(3);
  using V = RateLimiter::Verdict;
  auto t0 = RateLimiter::Clock::time_point{} + std::chrono::hours(1);
  auto at = [&](int s) { return t0 + std::chrono::seconds(s); };
  for (int i = 0; i < 10; ++i) EXPECT_EQ(limiter.Admit("a", at(i)).verdict, V::kAdmitted);
  EXPECT_EQ(limiter.Admit("b", at(10)).verdict, V::kAdmitted);
  EXPECT_EQ(limiter.Admit("c", at(10)).verdict, V::kAdmitted);
  EXPECT_EQ(limiter.Admit("a", at(11)).verdict, V::kLimited);
  // Every address in the table was heard within the minute; a new one gets in all the same.
  EXPECT_EQ(limiter.Admit("d", at(12)).verdict, V::kAdmitted);
  EXPECT_EQ(limiter.Admit("e", at(12)).verdict, V::kAdmitted);
  EXPECT_EQ(limiter.AddressCount(), 3u);
  // The one forgotten was heard from least recently, not the one that keeps trying.
  EXPECT_EQ(limiter.Admit("a", at(13)).verdict, V::kLimited);
}

TEST(Pages, StoredTextIsEscapedAndAlwaysShown) {
  const auto u8 = [](std::u8string_view s) { return std::string(reinterpret_cast<const char*>(s.data()), s.size()); };
  std::vector<RankRow> rows{{"<script>alert(1)</script>", 10, "\"'&", 0},
                            {u8(u8"名前\U0001F600"), 9, u8(u8"表示"), 0}};
  std::string html = RenderRankingHtml(rows);
  EXPECT_EQ(html.find("<script>"), std::string::npos);
  EXPECT_NE(html.find("&lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos);
  EXPECT_NE(html.find("&quot;&#39;&amp;"), std::string::npos);
  // A character with no CP932 form is written as a reference; the rest of the text stays CP932.
  EXPECT_NE(html.find(app::Sjis(u8"名前") + "&#128512;"), std::string::npos);

  std::string json = RenderRankingJson(rows);
  EXPECT_NE(json.find(R"("name":"\u003cscript\u003ealert(1)\u003c/script\u003e")"), std::string::npos) << json;
  EXPECT_NE(json.find(R"("comment":"\"'\u0026")"), std::string::npos) << json;
  EXPECT_NE(json.find("\"date\":\"1970-01-01T00:00:00Z\""), std::string::npos) << json;
}

}  // namespace
}  // namespace server

namespace server {
namespace {

int Exec(sqlite3* db, const std::string& sql) { return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr); }

int64_t Scalar(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* stmt = nullptr;
  sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr);
  int64_t value = sqlite3_step(stmt) == SQLITE_ROW ? sqlite3_column_int64(stmt, 0) : -1;
  sqlite3_finalize(stmt);
  return value;
}

// A database of the first schema, as earlier servers left it, is brought up to date in place:
// its entries are all kept and shown, and the admin's tables are there.
TEST(RankingDb, ADatabaseOfTheFirstSchemaIsMigratedInPlace) {
  ScopedTempDir dir;
  {
    sqlite3* old = nullptr;
    ASSERT_EQ(sqlite3_open("ranking.db", &old), SQLITE_OK);
    ASSERT_EQ(Exec(old,
                   "PRAGMA journal_mode=WAL;"
                   "CREATE TABLE entries (id INTEGER PRIMARY KEY, name TEXT NOT NULL, score INTEGER NOT NULL,"
                   " comment TEXT NOT NULL, address TEXT NOT NULL, created_at INTEGER NOT NULL);"
                   "CREATE INDEX entries_by_rank ON entries (score DESC, id);"
                   "CREATE INDEX entries_by_text ON entries (score, name, comment, created_at);"
                   "INSERT INTO entries (name, score, comment, address, created_at) VALUES"
                   " ('old1', 50, 'a', '192.0.2.1', 100), ('old2', 70, 'b', '192.0.2.2', 200);"
                   "PRAGMA user_version=1;"),
              SQLITE_OK);
    sqlite3_close(old);
  }
  {
    RankingDb db("ranking.db");
    std::vector<RankRow> top = db.Top(100);
    ASSERT_EQ(top.size(), 2u);
    EXPECT_EQ(top[0].name, "old2");
    EXPECT_EQ(top[1].created_at, 100);
    StoreAll(db, {Make("new", 60, "c")}, 300);
  }
  RankingDb again("ranking.db");  // and opened once more, nothing is applied twice
  sqlite3* raw = nullptr;
  ASSERT_EQ(sqlite3_open("ranking.db", &raw), SQLITE_OK);
  EXPECT_EQ(Scalar(raw, "PRAGMA user_version"), 2);
  EXPECT_EQ(Scalar(raw, "SELECT count(*) FROM entries WHERE hidden = 0"), 3);
  ASSERT_EQ(Exec(raw, "UPDATE entries SET hidden = 1 WHERE name = 'old2'"), SQLITE_OK);
  EXPECT_EQ(again.Top(100).front().name, "new");
  for (const char* table : {"bans", "filter_words", "admin_log"})
    EXPECT_EQ(Scalar(raw, std::string("SELECT count(*) FROM ") + table), 0) << table;
  sqlite3_close(raw);
}

TEST(RankingDb, TheAdminLogIsNeverRewritten) {
  ScopedTempDir dir;
  RankingDb db("ranking.db");
  sqlite3* raw = nullptr;
  ASSERT_EQ(sqlite3_open("ranking.db", &raw), SQLITE_OK);
  ASSERT_EQ(Exec(raw, "INSERT INTO admin_log (at, user, action, target, reason) VALUES (1, 'u', 'hide', 'x', 'r')"),
            SQLITE_OK);
  EXPECT_NE(Exec(raw, "UPDATE admin_log SET reason = 'other'"), SQLITE_OK);
  EXPECT_NE(Exec(raw, "DELETE FROM admin_log"), SQLITE_OK);
  EXPECT_EQ(Scalar(raw, "SELECT count(*) FROM admin_log WHERE reason = 'r'"), 1);
  sqlite3_close(raw);
}

}  // namespace
}  // namespace server
