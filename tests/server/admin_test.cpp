// The admin's commands against the database of a running server, and what players see of them.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <ctime>
#include <thread>

#include "app/sjis.h"
#include "game/hiscore.h"
#include "ranking_fixture.h"
#include "server/periods.h"
#include "support/harness.h"

namespace ranking_test {
namespace {

std::string Pass(int score) { return std::to_string(game::CheckValueOf(score)); }
std::string U8(std::u8string_view text) { return {reinterpret_cast<const char*>(text.data()), text.size()}; }

int CountOf(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// The lines of a command's output, without their LF.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t lf = text.find('\n', at);
    if (lf == std::string::npos) lf = text.size();
    lines.push_back(text.substr(at, lf - at));
    at = lf + 1;
  }
  return lines;
}

struct Ran {
  int status;
  std::string output;
};

Ran Admin(const std::filesystem::path& db, std::vector<std::string> args) {
  std::vector<std::string> argv{VELKOR_RANKING_BINARY, "admin", "--db", db.string()};
  argv.insert(argv.end(), args.begin(), args.end());
  Ran r{};
  r.output = RunToEnd(argv, r.status);
  return r;
}

// An entry with a UTF-8 name and comment, sent in CP932 as the game sends them; the reply.
std::string Send(unsigned short port, std::u8string_view name, int score, std::u8string_view comment,
                 const std::string& from = "127.0.0.1") {
  return Exchange(port, EntryRequest(app::Sjis(name), std::to_string(score), Pass(score), app::Sjis(comment)), from);
}

// The same through the trusted HTTP proxy, for the client `client` (IPv6 too).
std::string SendFor(unsigned short port, const std::string& client, std::u8string_view name, int score) {
  std::string request = EntryRequest(app::Sjis(name), std::to_string(score), Pass(score), "hi");
  request.insert(request.find("\r\n") + 2, "X-Forwarded-For: " + client + "\r\n");
  return Exchange(port, request);
}

std::string Page(unsigned short port, const std::string& query = "") {
  return BodyOf(Exchange(port, GameRequest(std::string(kRankingPath) + query)));
}

// Whether the name is on the JSON and on the page; a test failure when it is on one only.
bool Shown(unsigned short port, std::u8string_view name, const std::string& query = "") {
  std::string json = BodyOf(Exchange(port, GameRequest(std::string(kRankingPath) + "?format=json" + query)));
  std::string page = Page(port, query.empty() ? "" : "?" + query.substr(1));
  bool in_json = json.find("\"name\":\"" + U8(name) + "\"") != std::string::npos;
  bool in_page = page.find("<td>" + app::Sjis(name) + "</td>") != std::string::npos;
  EXPECT_EQ(in_json, in_page) << U8(name) << "\n" << json;
  return in_json;
}

TEST(RankingAdmin, EachCommandChangesThePageAndTheJsonAtOnce) {
  RankingServer server;
  ASSERT_EQ(StatusOf(Send(server.Port(), u8"alpha", 300, u8"one", "127.0.0.2")), 200);
  ASSERT_EQ(StatusOf(Send(server.Port(), u8"beta", 200, u8"ハロー world", "127.0.0.3")), 200);
  ASSERT_EQ(StatusOf(Send(server.Port(), u8"ガンマ", 100, u8"three", "127.0.0.4")), 200);
  const std::u8string_view names[] = {u8"alpha", u8"beta", u8"ガンマ"};
  struct Step {
    std::vector<std::string> args;
    std::vector<bool> shown;  // alpha, beta, ガンマ
  } steps[] = {
      {{"hide", "1"}, {false, true, true}},
      {{"unhide", "1"}, {true, true, true}},
      {{"filter", "add", U8(u8"ﾊﾛｰ")}, {true, false, true}},      // shown again once it goes
      {{"filter", "remove", U8(u8"はろー")}, {true, true, true}},  // removed as it is matched
      {{"ban", "--name", U8(u8"ｶﾞﾝﾏ"), "--hide-existing"}, {true, true, false}},
      {{"unban", "--name", U8(u8"ｶﾞﾝﾏ")}, {true, true, false}},   // the hidden entry stays hidden
      {{"unhide", "3"}, {true, true, true}},
      {{"ban", "127.0.0.2", "--hide-existing"}, {false, true, true}},
      {{"delete", "2"}, {false, false, true}},
  };
  for (const Step& step : steps) {
    std::string what = step.args[0] + " " + step.args[1];
    Ran r = Admin(server.Db(), step.args);
    ASSERT_EQ(r.status, 0) << what << "\n" << r.output;
    // At once: no wait, no retry.
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(Shown(server.Port(), names[i]), step.shown[i]) << what << " " << i;
  }
  // The place counts the entries shown only.
  EXPECT_NE(RankingJson(server.Port()).find(U8(u8R"({"place":1,"name":"ガンマ")")), std::string::npos);

  Ran list = Admin(server.Db(), {"list"});
  ASSERT_EQ(list.status, 0) << list.output;
  EXPECT_NE(list.output.find(U8(u8"3\t1\t100\tガンマ\tthree\t127.0.0.4\t")), std::string::npos) << list.output;
  EXPECT_NE(list.output.find("1\t-\t300\talpha\tone\t127.0.0.2\t"), std::string::npos) << list.output;
  EXPECT_EQ(list.output.find("beta"), std::string::npos) << list.output;  // deleted
  EXPECT_LT(list.output.find(U8(u8"ガンマ")), list.output.find("alpha"));  // newest first
  Ran hidden = Admin(server.Db(), {"list", "--hidden"});
  EXPECT_NE(hidden.output.find("alpha"), std::string::npos);
  EXPECT_EQ(hidden.output.find(U8(u8"ガンマ")), std::string::npos) << hidden.output;
  Ran by_name = Admin(server.Db(), {"list", "--name", U8(u8"ｶﾞﾝ"), "--visible"});
  EXPECT_NE(by_name.output.find(U8(u8"ガンマ")), std::string::npos) << by_name.output;
  EXPECT_EQ(by_name.output.find("alpha"), std::string::npos);
  Ran by_address = Admin(server.Db(), {"list", "--address", "127.0.0.0/30", "--by-score"});
  EXPECT_NE(by_address.output.find("alpha"), std::string::npos) << by_address.output;
  EXPECT_EQ(by_address.output.find(U8(u8"ガンマ")), std::string::npos);
}

TEST(RankingAdmin, BansRefuseNewEntriesWith403AndHideTheOldOnesWhenAsked) {
  RankingServer server({"--trusted-http-proxy", "127.0.0.1"});
  struct Case {
    std::vector<std::string> ban;
    std::string banned_client, other_client;
    std::u8string_view old_name, new_name;
  } cases[] = {
      {{"ban", "192.0.2.7", "--hide-existing"}, "192.0.2.7", "192.0.2.8", u8"v4old", u8"v4new"},
      {{"ban", "198.51.100.0/24", "--hide-existing"}, "198.51.100.77", "198.51.101.1", u8"netold", u8"netnew"},
      // An IPv6 client counted by its /64: another address of it is banned too.
      {{"ban", "2001:db8:1:2::5", "--hide-existing"}, "2001:db8:1:2::abcd", "2001:db8:1:3::5", u8"v6old", u8"v6new"},
      {{"ban", "--name", U8(u8"ｱﾗｼ"), "--hide-existing"}, "", "203.0.113.5", u8"アラシ", u8"あらし"},
  };
  int score = 1000;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ban[1]);
    std::string from = c.banned_client.empty() ? "203.0.113.1" : c.banned_client;
    ASSERT_EQ(StatusOf(SendFor(server.Port(), from, c.old_name, ++score)), 200);
    ASSERT_TRUE(Shown(server.Port(), c.old_name));
    Ran r = Admin(server.Db(), c.ban);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("1 entries hidden"), std::string::npos) << r.output;
    EXPECT_FALSE(Shown(server.Port(), c.old_name));

    std::string refused = SendFor(server.Port(), from, c.new_name, ++score);
    EXPECT_EQ(StatusOf(refused), 403) << refused;
    EXPECT_EQ(HeaderOf(refused, "Content-Type"), "text/html; charset=Shift_JIS");
    EXPECT_NE(BodyOf(refused).find(app::Sjis(u8"受け付けていません")), std::string::npos);
    // The other address (or, for the name, another name) is still welcome.
    std::u8string_view other_name = c.banned_client.empty() ? std::u8string_view(u8"friend") : c.new_name;
    EXPECT_EQ(StatusOf(SendFor(server.Port(), c.other_client, other_name, ++score)), 200);
    EXPECT_TRUE(Shown(server.Port(), other_name));
  }
  Ran bans = Admin(server.Db(), {"bans"});
  for (const char* shown : {"address\t192.0.2.7\t", "address\t198.51.100.0/24\t", "address\t2001:db8:1:2::/64\t"})
    EXPECT_NE(bans.output.find(shown), std::string::npos) << bans.output;
  EXPECT_NE(bans.output.find(U8(u8"name\tｱﾗｼ\t")), std::string::npos) << bans.output;
  ASSERT_EQ(Admin(server.Db(), {"unban", "192.0.2.7"}).status, 0);
  EXPECT_EQ(StatusOf(SendFor(server.Port(), "192.0.2.7", u8"back", 77)), 200);
}

TEST(RankingAdmin, FilterWordsRefuseEntriesWith400AndHideTheOlderOnes) {
  RankingServer server;
  ASSERT_EQ(StatusOf(Send(server.Port(), u8"ﾊﾞｶﾔﾛｰ", 500, u8"hi", "127.0.0.2")), 200);
  ASSERT_EQ(StatusOf(Send(server.Port(), u8"nice", 400, u8"I am BAKA", "127.0.0.3")), 200);
  ASSERT_EQ(StatusOf(Send(server.Port(), u8"calm", 300, u8"ok", "127.0.0.4")), 200);
  ASSERT_EQ(Admin(server.Db(), {"filter", "add", U8(u8"ばか")}).status, 0);
  ASSERT_EQ(Admin(server.Db(), {"filter", "add", "Baka"}).status, 0);
  EXPECT_FALSE(Shown(server.Port(), u8"ﾊﾞｶﾔﾛｰ"));
  EXPECT_FALSE(Shown(server.Port(), u8"nice"));
  EXPECT_TRUE(Shown(server.Port(), u8"calm"));
  EXPECT_NE(RankingJson(server.Port()).find(R"({"place":1,"name":"calm")"), std::string::npos);

  struct Case {
    std::u8string_view name, comment;
    int status;
  } cases[] = {
      {u8"バカ", u8"hi", 400}, {u8"x", u8"ＢＡＫＡ!", 400}, {u8"y", u8"おおばかもの", 400}, {u8"z", u8"ばっか", 200},
  };
  int score = 10;
  for (const Case& c : cases) {
    std::string reply = Send(server.Port(), c.name, ++score, c.comment, "127.0.0.9");
    EXPECT_EQ(StatusOf(reply), c.status) << U8(c.name) << " " << U8(c.comment);
    if (c.status == 400) {
      EXPECT_NE(BodyOf(reply).find(app::Sjis(u8"使えない言葉")), std::string::npos);
    }
  }
  Ran list = Admin(server.Db(), {"filter", "list"});
  EXPECT_NE(list.output.find(U8(u8"ばか\t")), std::string::npos) << list.output;
  Ran listed = Admin(server.Db(), {"list", "--hidden"});
  EXPECT_NE(listed.output.find("\tfiltered\n"), std::string::npos) << listed.output;

  // Taken away, the word lets the entries show again: they were hidden, never changed.
  ASSERT_EQ(Admin(server.Db(), {"filter", "remove", U8(u8"バカ")}).status, 0);
  EXPECT_TRUE(Shown(server.Port(), u8"ﾊﾞｶﾔﾛｰ"));
  EXPECT_FALSE(Shown(server.Port(), u8"nice"));
  ASSERT_EQ(Admin(server.Db(), {"filter", "remove", "BAKA"}).status, 0);
  EXPECT_TRUE(Shown(server.Port(), u8"nice"));
  EXPECT_EQ(StatusOf(Send(server.Port(), u8"バカ", 99, u8"hi", "127.0.0.10")), 200);
}

TEST(RankingAdmin, EntriesSentWhileAdminCommandsRunAreAllStored) {
  RankingServer server;
  ASSERT_EQ(StatusOf(Send(server.Port(), u8"first", 1, u8"x", "127.0.0.2")), 200);
  constexpr int kClients = 12, kEach = 8;
  std::atomic<int> stored{0}, done{0};
  std::vector<std::thread> clients;
  for (int t = 0; t < kClients; ++t) {
    clients.emplace_back([&, t] {
      std::string from = "127.0.1." + std::to_string(t + 1);
      for (int i = 0; i < kEach; ++i) {
        std::string name = "p" + std::to_string(t) + "x" + std::to_string(i);
        std::string reply = Send(server.Port(), std::u8string(name.begin(), name.end()), 100 + t * 10 + i, u8"go", from);
        if (StatusOf(reply) == 200 && BodyOf(reply).find(app::Sjis(u8"登録しました")) != std::string::npos) ++stored;
      }
      ++done;
    });
  }
  int commands = 0;
  for (int k = 0; done < kClients || k < 5; ++k) {
    std::string n = std::to_string(k);
    for (std::vector<std::string> args : {std::vector<std::string>{"filter", "add", "zzq" + n},
                                          {"ban", "10.9." + n + ".0/24"}, {"hide", "1"}, {"unhide", "1"},
                                          {"filter", "remove", "zzq" + n}, {"unban", "10.9." + n + ".0/24"}}) {
      Ran r = Admin(server.Db(), args);
      EXPECT_EQ(r.status, 0) << args[0] << "\n" << r.output;
      ++commands;
    }
  }
  for (std::thread& t : clients) t.join();
  EXPECT_EQ(stored, kClients * kEach);
  Ran exported = Admin(server.Db(), {"export", "--format", "json"});
  ASSERT_EQ(exported.status, 0);
  EXPECT_EQ(CountOf(exported.output, "\"comment\":\"go\""), kClients * kEach);
  EXPECT_EQ(CountOf(RankingJson(server.Port()), "\"comment\":\"go\""), kClients * kEach);
  // And every command is in the log.
  Ran log = Admin(server.Db(), {"log"});
  EXPECT_EQ(CountOf(log.output, "\n") - 1, commands) << log.output;
}

std::string UserName() {
  passwd* pw = getpwuid(getuid());
  return pw ? pw->pw_name : std::to_string(getuid());
}

TEST(RankingAdmin, TheLogHoldsEveryChangeWithItsReasonAndUser) {
  RankingServer server;
  ASSERT_EQ(StatusOf(Send(server.Port(), u8"spam", 999, u8"x", "127.0.0.2")), 200);
  ASSERT_EQ(StatusOf(Send(server.Port(), u8"keep", 10, u8"y", "127.0.0.3")), 200);
  struct Step {
    std::vector<std::string> args;
    std::string action, target;  // in the log; empty: nothing logged
  } steps[] = {
      {{"hide", "1"}, "hide", "entry 1 (spam, 999, 127.0.0.2)"},
      {{"list"}, "", ""},
      {{"hide", "42"}, "", ""},  // refused, so not done
      {{"unhide", "1"}, "unhide", "entry 1 (spam, 999, 127.0.0.2)"},
      {{"ban", "127.0.0.2"}, "ban", "address 127.0.0.2"},
      {{"ban", "127.0.0.2"}, "", ""},  // nothing new
      {{"unban", "127.0.0.2"}, "unban", "address 127.0.0.2"},
      {{"filter", "add", U8(u8"スパム")}, "filter-add", U8(u8"スパム")},
      {{"filter", "list"}, "", ""},
      {{"filter", "remove", U8(u8"スパム")}, "filter-remove", U8(u8"スパム")},
      {{"ban", "--name", "spam", "--hide-existing"}, "ban", "name spam, 1 entries hidden"},
      {{"delete", "1"}, "delete", "entry 1 (spam, 999, 127.0.0.2) \"x\" of "},
      {{"export", "--format", "csv"}, "", ""},
  };
  std::vector<std::string> expected;
  int i = 0;
  for (const Step& step : steps) {
    std::vector<std::string> args = step.args;
    std::string reason = U8(u8"理由 ") + std::to_string(++i);
    args.insert(args.end(), {"--reason", reason});
    // The commands that change nothing take no reason.
    bool reads = step.args[0] == "list" || step.args[0] == "export" || (step.args.size() > 1 && step.args[1] == "list");
    if (reads) args.resize(args.size() - 2);
    Admin(server.Db(), args);
    if (!step.action.empty()) expected.push_back(UserName() + "\t" + step.action + "\t" + step.target);
    if (!step.action.empty()) expected.back() += "|" + reason;
  }
  Ran log = Admin(server.Db(), {"log"});
  ASSERT_EQ(log.status, 0);
  std::vector<std::string> lines = Lines(log.output);
  ASSERT_EQ(lines.size(), expected.size() + 1) << log.output;
  EXPECT_EQ(lines[0], "time\tuser\taction\ttarget\treason");
  for (std::size_t k = 0; k < expected.size(); ++k) {
    std::string want = expected[k].substr(0, expected[k].find('|'));
    std::string reason = expected[k].substr(expected[k].find('|') + 1);
    EXPECT_NE(lines[k + 1].find("\t" + want), std::string::npos) << lines[k + 1] << "\nwanted: " << want;
    EXPECT_TRUE(lines[k + 1].ends_with("\t" + reason)) << lines[k + 1];
  }
}

TEST(RankingAdmin, PeriodRankingsCountOnlyTheirPeriodsEntries) {
  RankingServer server;
  const std::int64_t now = std::time(nullptr);
  using server::Period;
  using server::PeriodStart;
  struct Row {
    std::string name;
    std::int64_t at;
  } rows[] = {
      {"now", now},
      {"midnight", PeriodStart(Period::kToday, now)},
      {"yesterday", PeriodStart(Period::kToday, now) - 1},
      {"lastweek", PeriodStart(Period::kWeek, now) - 1},
      {"monthfirst", PeriodStart(Period::kMonth, now)},
      {"lastmonth", PeriodStart(Period::kMonth, now) - 1},
      {"ancient", 86400},
  };
  // Written by another program, as entries of earlier days would be.
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(server.Db().c_str(), &db), SQLITE_OK);
  sqlite3_busy_timeout(db, 5000);
  int score = 100;
  for (const Row& r : rows) {
    std::string sql = "INSERT INTO entries (name, score, comment, address, created_at) VALUES ('" + r.name + "', " +
                      std::to_string(score--) + ", 'c', '127.0.0.1', " + std::to_string(r.at) + ")";
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
  }
  sqlite3_close(db);
  for (Period period : server::kPeriods) {
    std::string name(server::PeriodName(period));
    SCOPED_TRACE(name);
    std::string query = period == Period::kAll ? "" : "&period=" + name;
    std::string json = BodyOf(Exchange(server.Port(), GameRequest(std::string(kRankingPath) + "?format=json" + query)));
    EXPECT_NE(json.find("\"period\":\"" + name + "\""), std::string::npos) << json;
    std::int64_t start = PeriodStart(period, now);
    std::string first;
    for (const Row& r : rows) {
      bool in = r.at >= start;
      EXPECT_EQ(json.find("\"name\":\"" + r.name + "\"") != std::string::npos, in) << r.name << "\n" << json;
      if (in && first.empty()) first = r.name;
    }
    EXPECT_NE(json.find("{\"place\":1,\"name\":\"" + first + "\""), std::string::npos) << json;
    // The page has the choice of the periods, this one marked.
    std::string page = Page(server.Port(), period == Period::kAll ? "" : "?period=" + name);
    for (Period other : server::kPeriods) {
      std::string link = other == Period::kAll
                             ? "<a href=\"ranking.cgi\">"
                             : "<a href=\"ranking.cgi?period=" + std::string(server::PeriodName(other)) + "\">";
      EXPECT_EQ(page.find(link) != std::string::npos, other != period) << link;
    }
    EXPECT_EQ(page.find("<td>ancient</td>") != std::string::npos, period == Period::kAll);
  }
}

TEST(RankingAdmin, WrongUseExitsWith2AndAnUnknownTargetWith1) {
  RankingServer server;
  ASSERT_EQ(StatusOf(Send(server.Port(), u8"abc", 60, u8"x")), 200);
  struct Case {
    std::vector<std::string> args;
    int status;
  } cases[] = {
      {{}, 2},
      {{"frobnicate"}, 2},
      {{"hide"}, 2},
      {{"hide", "abc"}, 2},
      {{"hide", "1", "2"}, 2},
      {{"hide", "-1"}, 2},
      {{"hide", "1", "--by-score"}, 2},
      {{"list", "--frob"}, 2},
      {{"list", "--period", "year"}, 2},
      {{"list", "--hidden", "--visible"}, 2},
      {{"list", "--address", "not-an-address"}, 2},
      {{"list", "--limit", "0"}, 2},
      {{"list", "--reason"}, 2},
      {{"ban"}, 2},
      {{"ban", "10.0.0.0/33"}, 2},
      {{"ban", "example.com"}, 2},
      {{"ban", "--name", ""}, 2},
      {{"ban", "10.0.0.1", "--name", "x"}, 2},
      {{"filter"}, 2},
      {{"filter", "add"}, 2},
      {{"filter", "add", " "}, 2},
      {{"filter", "frob", "x"}, 2},
      {{"export"}, 2},
      {{"export", "--format", "xml"}, 2},
      {{"hide", "999"}, 1},
      {{"unhide", "999"}, 1},
      {{"delete", "999"}, 1},
      {{"unban", "10.1.2.3"}, 1},
      {{"unban", "--name", "nobody"}, 1},
      {{"filter", "remove", "never"}, 1},
      {{"hide", "1"}, 0},
      {{"--help"}, 0},
  };
  for (const Case& c : cases) {
    std::string what;
    for (const std::string& a : c.args) what += a + " ";
    Ran r = Admin(server.Db(), c.args);
    EXPECT_EQ(r.status, c.status) << what << "\n" << r.output;
    if (c.status == 2) {
      EXPECT_NE(r.output.find("Usage: velkor-ranking admin"), std::string::npos) << what;
    } else if (c.status == 1) {
      EXPECT_NE(r.output.find("velkor-ranking admin: "), std::string::npos) << what;
    }
  }
  // Only the one hide was done.
  EXPECT_EQ(CountOf(Admin(server.Db(), {"log"}).output, "\n"), 2);
  // A database that is not there is not made.
  auto missing = server.Db().parent_path() / "missing.db";
  EXPECT_EQ(Admin(missing, {"list"}).status, 1);
  EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST(RankingAdmin, ExportsEveryEntryAsCsvAndJson) {
  RankingServer server;
  ASSERT_EQ(StatusOf(Send(server.Port(), u8"山田", 70, u8"a,b \"c\"", "127.0.0.2")), 200);
  ASSERT_EQ(StatusOf(Send(server.Port(), u8"ｶﾅ", 80, u8"plain", "127.0.0.3")), 200);
  ASSERT_EQ(Admin(server.Db(), {"hide", "2"}).status, 0);
  Ran csv = Admin(server.Db(), {"export", "--format", "csv"});
  ASSERT_EQ(csv.status, 0);
  std::vector<std::string> lines = Lines(csv.output);
  ASSERT_EQ(lines.size(), 3u) << csv.output;
  EXPECT_EQ(lines[0], "id,place,score,name,comment,address,time,state\r");
  EXPECT_TRUE(lines[1].starts_with(U8(u8"1,1,70,山田,\"a,b \"\"c\"\"\",127.0.0.2,"))) << lines[1];
  EXPECT_TRUE(lines[1].ends_with("Z,shown\r")) << lines[1];
  EXPECT_TRUE(lines[2].starts_with(U8(u8"2,,80,ｶﾅ,plain,127.0.0.3,"))) << lines[2];
  EXPECT_TRUE(lines[2].ends_with(",hidden\r")) << lines[2];
  Ran json = Admin(server.Db(), {"export", "--format", "json"});
  ASSERT_EQ(json.status, 0);
  EXPECT_NE(json.output.find(U8(u8R"({"id":1,"place":1,"score":70,"name":"山田","comment":"a,b \"c\"",)")),
            std::string::npos)
      << json.output;
  EXPECT_NE(json.output.find(U8(u8R"({"id":2,"place":null,"score":80,"name":"ｶﾅ",)")), std::string::npos);
  EXPECT_NE(json.output.find("\"state\":\"hidden\"}"), std::string::npos);
}

// Run as root on the database of the service's user, the command leaves every file of it usable
// by that user: the server, run as that user, still takes entries and starts again.
TEST(RankingAdmin, RunAsRootItLeavesTheDatabaseToItsOwner) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root";
  testing_support::ScopedTempDir dir;
  const uid_t nobody = 65534;
  auto state = std::filesystem::current_path() / "state";
  std::filesystem::create_directory(state);
  ASSERT_EQ(chown(state.c_str(), nobody, nobody), 0);
  std::filesystem::permissions(std::filesystem::current_path(), std::filesystem::perms::owner_all |
                                                                    std::filesystem::perms::group_exec |
                                                                    std::filesystem::perms::others_exec);
  const std::vector<std::string> as_nobody{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
  RankingServer server({}, state / "ranking.db", as_nobody);
  ASSERT_EQ(StatusOf(Send(server.Port(), u8"one", 60, u8"x")), 200);
  ASSERT_EQ(Admin(state / "ranking.db", {"ban", "--name", "bad", "--reason", "root"}).status, 0);
  ASSERT_EQ(StatusOf(Send(server.Port(), u8"two", 61, u8"x")), 200);
  ASSERT_EQ(server.Stop(), 0);
  // With the server stopped, the command makes the journal files itself.
  ASSERT_EQ(Admin(state / "ranking.db", {"hide", "1"}).status, 0);
  for (const auto& file : std::filesystem::directory_iterator(state)) {
    struct stat st {};
    ASSERT_EQ(stat(file.path().c_str(), &st), 0);
    if (file.path().filename().string().starts_with("ranking.db")) {
      EXPECT_EQ(st.st_uid, nobody) << file.path();
    }
  }
  server.Restart();
  EXPECT_EQ(StatusOf(Send(server.Port(), u8"three", 62, u8"x")), 200);
  EXPECT_EQ(StatusOf(Send(server.Port(), u8"bad", 63, u8"x")), 403);
  EXPECT_FALSE(Shown(server.Port(), u8"one"));
  EXPECT_TRUE(Shown(server.Port(), u8"three"));
}

}  // namespace
}  // namespace ranking_test
