#include "server/admin.h"

#include <sqlite3.h>

#include <algorithm>
#include <charconv>
#include <ctime>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>

#include "platform/server_io.h"
#include "server/bans.h"
#include "server/pages.h"
#include "server/periods.h"
#include "server/store.h"
#include "server/word_filter.h"

namespace server {

const char* const kAdminUsage =
    "Usage: velkor-ranking admin COMMAND [ARGUMENTS] [--db FILE] [--reason TEXT]\n"
    "\n"
    "Works on the database of a ranking, also while the server runs; the server shows each change\n"
    "at once. Names and comments are shown in UTF-8.\n"
    "\n"
    "  list [--by-score] [--name PART] [--address ADDR|CIDR] [--period today|week|month]\n"
    "       [--hidden | --visible] [--limit N]\n"
    "                          the entries, newest first (or best first), with id, place, score,\n"
    "                          name, comment, address, time and whether shown, hidden or filtered\n"
    "  hide ID                 takes the entry off the page and the JSON; it stays stored\n"
    "  unhide ID               shows a hidden entry again\n"
    "  delete ID               removes the entry for good\n"
    "  ban ADDR|CIDR [--hide-existing]\n"
    "  ban --name NAME [--hide-existing]\n"
    "                          refuses new entries (403) from the address or network (an IPv6\n"
    "                          one counted by its /64) or with the name; --hide-existing also\n"
    "                          hides the entries already taken from it\n"
    "  unban ADDR|CIDR | unban --name NAME\n"
    "  bans                    lists the bans\n"
    "  filter add WORD         refuses names and comments that hold the word (400) and hides\n"
    "                          the entries taken before that hold it; full-width and half-width\n"
    "                          forms, letter case, katakana and hiragana count alike\n"
    "  filter remove WORD\n"
    "  filter list\n"
    "  log                     every change made with these commands: time, user, action,\n"
    "                          target and reason\n"
    "  export --format csv|json\n"
    "                          all entries, for a backup or a move elsewhere\n"
    "\n"
    "  --db FILE               the database (default ranking.db in the current directory)\n"
    "  --reason TEXT           why, kept in the log with the change\n"
    "\n"
    "Exit status: 0 done, 1 no such entry, ban or word (or the database cannot be used), 2 wrong use.\n";

namespace {

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};
struct NotFound : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The command line after "admin".
struct Args {
  std::string db = "ranking.db";
  std::vector<std::string> words;  // the command and its positional arguments
  std::map<std::string, std::string> values;
  std::set<std::string> flags;

  bool Has(const std::string& name) const { return values.count(name) || flags.count(name); }
  const std::string* Value(const std::string& name) const {
    auto it = values.find(name);
    return it == values.end() ? nullptr : &it->second;
  }
};

const std::set<std::string> kValueOptions = {"--db",     "--reason", "--name",   "--address",
                                             "--period", "--format", "--limit"};
const std::set<std::string> kFlagOptions = {"--by-score", "--hidden", "--visible", "--hide-existing"};

Args Parse(const std::vector<std::string>& args) {
  Args a;
  bool options_end = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    if (options_end || !name.starts_with("--") || name == "--") {
      if (name == "--" && !options_end) {
        options_end = true;  // what follows is a word, though it begins with "--"
        continue;
      }
      a.words.push_back(name);
      continue;
    }
    std::optional<std::string> value;
    if (std::size_t eq = name.find('='); eq != std::string::npos) {
      value = name.substr(eq + 1);
      name.resize(eq);
    }
    if (kFlagOptions.count(name)) {
      if (value) throw UsageError(name + " takes no value");
      a.flags.insert(name);
      continue;
    }
    if (!kValueOptions.count(name)) throw UsageError("unknown option " + args[i]);
    if (!value) {
      if (i + 1 >= args.size()) throw UsageError(name + " needs a value");
      value = args[++i];
    }
    if (a.values.count(name)) throw UsageError(name + " given twice");
    if (name == "--db") {
      if (value->empty()) throw UsageError("--db needs a file name");
      a.db = *value;
    } else {
      a.values[name] = *value;
    }
  }
  return a;
}

// Refuses options the command does not take and a count of words it does not expect.
void Expect(const Args& a, std::size_t words, std::initializer_list<const char*> allowed) {
  auto check = [&](const std::string& option) {
    for (const char* name : allowed)
      if (option == name) return;
    throw UsageError(a.words[0] + " does not take " + option);
  };
  for (const auto& value : a.values) check(value.first);
  for (const std::string& flag : a.flags) check(flag);
  if (a.words.size() != words) {
    std::string what = a.words[0];
    if (what == "filter" && a.words.size() > 1) what += " " + a.words[1];
    throw UsageError(a.words.size() < words ? what + " needs an argument" : what + ": too many arguments");
  }
}

std::int64_t ParseId(const std::string& text) {
  std::int64_t id = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), id);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || id <= 0)
    throw UsageError("not an entry id: " + text + " (the ids are the first column of list)");
  return id;
}

// A name, word or reason from the command line: UTF-8 text without control characters.
std::string CheckedText(const std::string& text, const std::string& what) {
  if (!IsUtf8(text)) throw UsageError(what + " is not UTF-8 text");
  for (char c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) throw UsageError(what + " holds a control character");
  return text;
}

std::string LocalTime(std::int64_t unix_time) {
  std::time_t t = static_cast<std::time_t>(unix_time);
  std::tm tm{};
  if (!localtime_r(&t, &tm)) return "-";
  char buf[32];
  return std::string(buf, std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm));
}

std::string UtcTime(std::int64_t unix_time) {
  std::time_t t = static_cast<std::time_t>(unix_time);
  std::tm tm{};
  if (!gmtime_r(&t, &tm)) return "-";
  char buf[32];
  return std::string(buf, std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm));
}

// One prepared statement, finalized when it goes.
class Sql {
 public:
  Sql(sqlite3* db, const char* sql) : db_(db) {
    if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK) Fail();
  }
  ~Sql() { sqlite3_finalize(stmt_); }
  Sql(const Sql&) = delete;
  Sql& operator=(const Sql&) = delete;

  Sql& Bind(int index, std::int64_t value) {
    sqlite3_bind_int64(stmt_, index, value);
    return *this;
  }
  Sql& Bind(int index, const std::string& text) {
    sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    return *this;
  }
  // True with a row, false when done.
  bool Step() {
    int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc != SQLITE_DONE) Fail();
    return false;
  }
  void Run() {
    Step();
    sqlite3_reset(stmt_);
  }
  std::int64_t Int(int column) const { return sqlite3_column_int64(stmt_, column); }
  std::string Text(int column) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    return text ? std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column))) : std::string();
  }

 private:
  [[noreturn]] void Fail() { throw std::runtime_error(sqlite3_errmsg(db_)); }
  sqlite3* db_;
  sqlite3_stmt* stmt_ = nullptr;
};

void Exec(sqlite3* db, const char* sql) {
  if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) throw std::runtime_error(sqlite3_errmsg(db));
}

// A change and its line in the log, committed together or not at all.
class Change {
 public:
  explicit Change(sqlite3* db) : db_(db) { Exec(db_, "BEGIN IMMEDIATE"); }
  ~Change() {
    if (!done_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  }
  Change(const Change&) = delete;
  Change& operator=(const Change&) = delete;

  void Commit(const std::string& action, const std::string& target, const std::string& reason) {
    Sql log(db_, "INSERT INTO admin_log (at, user, action, target, reason) VALUES (?1, ?2, ?3, ?4, ?5)");
    log.Bind(1, static_cast<std::int64_t>(std::time(nullptr)))
        .Bind(2, platform::UserName())
        .Bind(3, action)
        .Bind(4, target)
        .Bind(5, reason);
    log.Run();
    Exec(db_, "COMMIT");
    done_ = true;
  }

 private:
  sqlite3* db_;
  bool done_ = false;
};

// The database, opened once the command line has been found right.
class Store {
 public:
  explicit Store(std::string path) : path_(std::move(path)) {}
  RankingDb& operator()() {
    if (!db_) {
      std::error_code ec;
      // An admin command never makes a database: one in the wrong place would hold bans and
      // words that no server reads.
      if (!std::filesystem::exists(path_, ec))
        throw NotFound("there is no database " + path_ + " (velkor-ranking makes it when it first starts)");
      db_ = std::make_unique<RankingDb>(path_);
    }
    return *db_;
  }
  void Close() { db_.reset(); }

 private:
  std::string path_;
  std::unique_ptr<RankingDb> db_;
};

struct EntryRow {
  std::int64_t id = 0;
  std::string name;
  std::int32_t score = 0;
  std::string comment;
  std::string address;
  std::int64_t created_at = 0;
  bool hidden = false;
  bool filtered = false;
  int place = 0;  // among the entries shown, 0 for one not shown
  std::string_view State() const { return hidden ? "hidden" : filtered ? "filtered" : "shown"; }
};

// The entries taken since `since`, best first, with their places as the page numbers them.
std::vector<EntryRow> RankedEntries(RankingDb& store, std::int64_t since) {
  sqlite3* db = store.Handle();
  WordFilter filter;
  filter.Set(store.LoadModeration().words);
  Sql q(db,
        "SELECT id, name, score, comment, address, created_at, hidden FROM entries WHERE created_at >= ?1 "
        "ORDER BY score DESC, id ASC");
  q.Bind(1, since);
  std::vector<EntryRow> rows;
  int place = 0;
  while (q.Step()) {
    EntryRow r{q.Int(0), q.Text(1), static_cast<std::int32_t>(q.Int(2)), q.Text(3), q.Text(4), q.Int(5), q.Int(6) != 0};
    r.filtered = filter.Matches(r.name) || filter.Matches(r.comment);
    if (!r.hidden && !r.filtered) r.place = ++place;
    rows.push_back(std::move(r));
  }
  return rows;
}

std::string Describe(const EntryRow& r) {
  return "entry " + std::to_string(r.id) + " (" + r.name + ", " + std::to_string(r.score) + ", " + r.address + ")";
}

std::optional<EntryRow> FindEntry(sqlite3* db, std::int64_t id) {
  Sql q(db, "SELECT id, name, score, comment, address, created_at, hidden FROM entries WHERE id = ?1");
  q.Bind(1, id);
  if (!q.Step()) return std::nullopt;
  return EntryRow{q.Int(0), q.Text(1), static_cast<std::int32_t>(q.Int(2)), q.Text(3), q.Text(4), q.Int(5), q.Int(6) != 0};
}

std::string Reason(const Args& a) {
  const std::string* r = a.Value("--reason");
  return r ? CheckedText(*r, "--reason") : std::string();
}

int List(const Args& a, Store& store, std::FILE* out) {
  Expect(a, 1, {"--by-score", "--name", "--address", "--period", "--hidden", "--visible", "--limit"});
  std::int64_t since = PeriodStart(Period::kAll, 0);
  if (const std::string* p = a.Value("--period")) {
    auto period = ParsePeriod(*p);
    if (!period || *period == Period::kAll) throw UsageError("--period takes today, week or month, not " + *p);
    since = PeriodStart(*period, std::time(nullptr));
  }
  if (a.Has("--hidden") && a.Has("--visible")) throw UsageError("--hidden and --visible exclude each other");
  std::optional<Network> network;
  if (const std::string* text = a.Value("--address")) {
    network = ParseNetwork(*text);
    if (!network) throw UsageError("--address takes an IPv4 or IPv6 address or network, not " + *text);
  }
  std::string name_part;
  if (const std::string* n = a.Value("--name")) name_part = NormaliseForMatching(CheckedText(*n, "--name"));
  std::size_t limit = SIZE_MAX;
  if (const std::string* l = a.Value("--limit")) {
    auto [end, ec] = std::from_chars(l->data(), l->data() + l->size(), limit);
    if (l->empty() || ec != std::errc() || end != l->data() + l->size() || limit == 0)
      throw UsageError("--limit takes a number above 0, not " + *l);
  }

  std::vector<EntryRow> rows = RankedEntries(store(), since);
  std::erase_if(rows, [&](const EntryRow& r) {
    bool shown = r.place != 0;
    if (a.Has("--hidden") && shown) return true;
    if (a.Has("--visible") && !shown) return true;
    if (!name_part.empty() && NormaliseForMatching(r.name).find(name_part) == std::string::npos) return true;
    if (network) {
      asio::error_code ec;
      auto address = asio::ip::make_address(r.address, ec);
      if (ec || !network->Contains(address)) return true;
    }
    return false;
  });
  if (!a.Has("--by-score"))
    std::stable_sort(rows.begin(), rows.end(), [](const EntryRow& x, const EntryRow& y) {
      return x.created_at != y.created_at ? x.created_at > y.created_at : x.id > y.id;
    });
  if (rows.size() > limit) rows.resize(limit);
  std::fprintf(out, "id\tplace\tscore\tname\tcomment\taddress\ttime\tstate\n");
  for (const EntryRow& r : rows)
    std::fprintf(out, "%lld\t%s\t%d\t%s\t%s\t%s\t%s\t%.*s\n", static_cast<long long>(r.id),
                 r.place ? std::to_string(r.place).c_str() : "-", r.score, r.name.c_str(), r.comment.c_str(),
                 r.address.c_str(), LocalTime(r.created_at).c_str(), static_cast<int>(r.State().size()),
                 r.State().data());
  return 0;
}

int SetHidden(const Args& a, Store& store, std::FILE* out, bool hide) {
  Expect(a, 2, {"--reason"});
  std::int64_t id = ParseId(a.words[1]);
  std::string reason = Reason(a);
  sqlite3* db = store().Handle();
  Change change(db);
  auto entry = FindEntry(db, id);
  if (!entry) throw NotFound("no entry " + std::to_string(id));
  Sql update(db, "UPDATE entries SET hidden = ?2 WHERE id = ?1");
  update.Bind(1, id).Bind(2, hide ? 1 : 0);
  update.Run();
  change.Commit(hide ? "hide" : "unhide", Describe(*entry), reason);
  std::fprintf(out, "%s %s\n", hide ? "hid" : "showed", Describe(*entry).c_str());
  return 0;
}

int Delete(const Args& a, Store& store, std::FILE* out) {
  Expect(a, 2, {"--reason"});
  std::int64_t id = ParseId(a.words[1]);
  std::string reason = Reason(a);
  sqlite3* db = store().Handle();
  Change change(db);
  auto entry = FindEntry(db, id);
  if (!entry) throw NotFound("no entry " + std::to_string(id));
  Sql del(db, "DELETE FROM entries WHERE id = ?1");
  del.Bind(1, id);
  del.Run();
  // The log keeps what was removed, for it is nowhere else now.
  change.Commit("delete", Describe(*entry) + " \"" + entry->comment + "\" of " + LocalTime(entry->created_at),
                reason);
  std::fprintf(out, "deleted %s\n", Describe(*entry).c_str());
  return 0;
}

// What a ban or an unban names: kind "address" with a network's stored form, or kind "name".
struct BanTarget {
  std::string kind, value;
  std::optional<Network> network;
  std::string Shown() const { return kind + " " + value; }
};

BanTarget TargetOf(const Args& a, bool allow_hide) {
  BanTarget t;
  if (const std::string* name = a.Value("--name")) {
    if (allow_hide)
      Expect(a, 1, {"--name", "--reason", "--hide-existing"});
    else
      Expect(a, 1, {"--name", "--reason"});
    if (name->empty()) throw UsageError("--name needs a name");
    t.kind = "name";
    t.value = CheckedText(*name, "--name");
    return t;
  }
  if (allow_hide)
    Expect(a, 2, {"--reason", "--hide-existing"});
  else
    Expect(a, 2, {"--reason"});
  t.network = ParseNetwork(a.words[1]);
  if (!t.network) throw UsageError("not an IPv4 or IPv6 address or network: " + a.words[1]);
  t.kind = "address";
  t.value = t.network->ToString();
  return t;
}

int Ban(const Args& a, Store& store, std::FILE* out) {
  BanTarget t = TargetOf(a, true);
  std::string reason = Reason(a);
  sqlite3* db = store().Handle();
  Change change(db);
  Sql insert(db, "INSERT OR IGNORE INTO bans (kind, value, created_at) VALUES (?1, ?2, ?3)");
  insert.Bind(1, t.kind).Bind(2, t.value).Bind(3, static_cast<std::int64_t>(std::time(nullptr)));
  insert.Run();
  bool added = sqlite3_changes(db) > 0;
  std::vector<std::int64_t> hide;
  if (a.Has("--hide-existing")) {
    std::string banned_name = NormaliseForMatching(t.value);
    Sql q(db, "SELECT id, name, address FROM entries WHERE hidden = 0");
    while (q.Step()) {
      bool match;
      if (t.network) {
        asio::error_code ec;
        auto address = asio::ip::make_address(q.Text(2), ec);
        match = !ec && t.network->Contains(address);
      } else {
        match = NormaliseForMatching(q.Text(1)) == banned_name;
      }
      if (match) hide.push_back(q.Int(0));
    }
    Sql update(db, "UPDATE entries SET hidden = 1 WHERE id = ?1");
    for (std::int64_t id : hide) {
      update.Bind(1, id);
      update.Run();
    }
  }
  if (!added && hide.empty()) {
    std::fprintf(out, "%s was already banned\n", t.Shown().c_str());
    return 0;  // nothing changed, so nothing is logged
  }
  std::string target = t.Shown();
  if (a.Has("--hide-existing")) target += ", " + std::to_string(hide.size()) + " entries hidden";
  change.Commit("ban", target, reason);
  std::fprintf(out, "%s %s\n", added ? "banned" : "already banned:", target.c_str());
  return 0;
}

int Unban(const Args& a, Store& store, std::FILE* out) {
  BanTarget t = TargetOf(a, false);
  std::string reason = Reason(a);
  sqlite3* db = store().Handle();
  Change change(db);
  Sql del(db, "DELETE FROM bans WHERE kind = ?1 AND value = ?2");
  del.Bind(1, t.kind).Bind(2, t.value);
  del.Run();
  if (sqlite3_changes(db) == 0) throw NotFound("no ban of " + t.Shown() + " (bans lists them)");
  change.Commit("unban", t.Shown(), reason);
  std::fprintf(out, "unbanned %s\n", t.Shown().c_str());
  return 0;
}

int Bans(const Args& a, Store& store, std::FILE* out) {
  Expect(a, 1, {});
  Sql q(store().Handle(), "SELECT kind, value, created_at FROM bans ORDER BY kind, value");
  std::fprintf(out, "kind\tvalue\tsince\n");
  while (q.Step())
    std::fprintf(out, "%s\t%s\t%s\n", q.Text(0).c_str(), q.Text(1).c_str(), LocalTime(q.Int(2)).c_str());
  return 0;
}

int Filter(const Args& a, Store& store, std::FILE* out) {
  if (a.words.size() < 2) throw UsageError("filter needs add, remove or list");
  const std::string& sub = a.words[1];
  if (sub == "list") {
    Expect(a, 2, {});
    Sql q(store().Handle(), "SELECT word, created_at FROM filter_words ORDER BY word");
    std::fprintf(out, "word\tsince\n");
    while (q.Step()) std::fprintf(out, "%s\t%s\n", q.Text(0).c_str(), LocalTime(q.Int(1)).c_str());
    return 0;
  }
  if (sub != "add" && sub != "remove") throw UsageError("filter needs add, remove or list, not " + sub);
  Expect(a, 3, {"--reason"});
  std::string word = CheckedText(a.words[2], "the word");
  if (NormaliseForMatching(word).find_first_not_of(' ') == std::string::npos)
    throw UsageError("the word is empty");
  std::string reason = Reason(a);
  sqlite3* db = store().Handle();
  Change change(db);
  // Words are told apart as they are matched: "ABC" is "abc" is "ａｂｃ".
  std::string normalised = NormaliseForMatching(word);
  std::vector<std::pair<std::int64_t, std::string>> same;
  {
    Sql q(db, "SELECT id, word FROM filter_words");
    while (q.Step())
      if (NormaliseForMatching(q.Text(1)) == normalised) same.emplace_back(q.Int(0), q.Text(1));
  }
  if (sub == "add") {
    if (!same.empty()) {
      std::fprintf(out, "\"%s\" is already filtered as \"%s\"\n", word.c_str(), same.front().second.c_str());
      return 0;
    }
    Sql insert(db, "INSERT INTO filter_words (word, created_at) VALUES (?1, ?2)");
    insert.Bind(1, word).Bind(2, static_cast<std::int64_t>(std::time(nullptr)));
    insert.Run();
    change.Commit("filter-add", word, reason);
    std::fprintf(out, "filtered \"%s\"\n", word.c_str());
  } else {
    if (same.empty()) throw NotFound("\"" + word + "\" is not filtered (filter list shows the words)");
    Sql del(db, "DELETE FROM filter_words WHERE id = ?1");
    std::string removed;
    for (const auto& [id, stored] : same) {
      del.Bind(1, id);
      del.Run();
      removed += (removed.empty() ? "" : ", ") + stored;
    }
    change.Commit("filter-remove", removed, reason);
    std::fprintf(out, "no longer filtered: \"%s\"\n", removed.c_str());
  }
  return 0;
}

int Log(const Args& a, Store& store, std::FILE* out) {
  Expect(a, 1, {});
  Sql q(store().Handle(), "SELECT at, user, action, target, reason FROM admin_log ORDER BY id");
  std::fprintf(out, "time\tuser\taction\ttarget\treason\n");
  while (q.Step())
    std::fprintf(out, "%s\t%s\t%s\t%s\t%s\n", LocalTime(q.Int(0)).c_str(), q.Text(1).c_str(), q.Text(2).c_str(),
                 q.Text(3).c_str(), q.Text(4).c_str());
  return 0;
}

std::string Csv(std::string_view field) {
  if (field.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(field);
  std::string out = "\"";
  for (char c : field) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

int Export(const Args& a, Store& store, std::FILE* out) {
  Expect(a, 1, {"--format"});
  const std::string* format = a.Value("--format");
  if (!format) throw UsageError("export needs --format csv or --format json");
  if (*format != "csv" && *format != "json") throw UsageError("--format takes csv or json, not " + *format);
  // One read transaction: the export is of one moment, while entries keep coming.
  std::vector<EntryRow> rows = RankedEntries(store(), PeriodStart(Period::kAll, 0));
  std::sort(rows.begin(), rows.end(), [](const EntryRow& x, const EntryRow& y) { return x.id < y.id; });
  std::string text;
  if (*format == "csv") {
    text = "id,place,score,name,comment,address,time,state\r\n";
    for (const EntryRow& r : rows) {
      text += std::to_string(r.id) + "," + (r.place ? std::to_string(r.place) : "") + "," + std::to_string(r.score) +
              "," + Csv(r.name) + "," + Csv(r.comment) + "," + Csv(r.address) + "," + UtcTime(r.created_at) + "," +
              std::string(r.State()) + "\r\n";
    }
  } else {
    text = "[";
    for (const EntryRow& r : rows) {
      if (text.size() > 1) text += ",";
      text += "\n{\"id\":" + std::to_string(r.id) + ",\"place\":" + (r.place ? std::to_string(r.place) : "null") +
              ",\"score\":" + std::to_string(r.score) + ",\"name\":";
      AppendJsonString(text, r.name);
      text += ",\"comment\":";
      AppendJsonString(text, r.comment);
      text += ",\"address\":";
      AppendJsonString(text, r.address);
      text += ",\"time\":\"" + UtcTime(r.created_at) + "\",\"state\":\"" + std::string(r.State()) + "\"}";
    }
    text += "\n]\n";
  }
  std::fwrite(text.data(), 1, text.size(), out);
  return 0;
}

using Command = std::function<int(const Args&, Store&, std::FILE*)>;

const std::map<std::string, Command>& Commands() {
  static const std::map<std::string, Command> commands = {
      {"list", List},
      {"hide", [](const Args& a, Store& s, std::FILE* o) { return SetHidden(a, s, o, true); }},
      {"unhide", [](const Args& a, Store& s, std::FILE* o) { return SetHidden(a, s, o, false); }},
      {"delete", Delete},
      {"ban", Ban},
      {"unban", Unban},
      {"bans", Bans},
      {"filter", Filter},
      {"log", Log},
      {"export", Export},
  };
  return commands;
}

}  // namespace

int RunAdmin(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
  if (std::find(args.begin(), args.end(), "--help") != args.end() ||
      std::find(args.begin(), args.end(), "-h") != args.end()) {
    std::fputs(kAdminUsage, out);
    return 0;
  }
  Args a;
  const Command* command = nullptr;
  try {
    a = Parse(args);
    if (a.words.empty()) throw UsageError("which command?");
    auto it = Commands().find(a.words[0]);
    if (it == Commands().end()) throw UsageError("unknown command " + a.words[0]);
    command = &it->second;
  } catch (const UsageError& e) {
    std::fprintf(err, "velkor-ranking admin: %s\n\n%s", e.what(), kAdminUsage);
    return 2;
  }
  int status;
  Store store(a.db);
  try {
    status = (*command)(a, store, out);
  } catch (const UsageError& e) {
    std::fprintf(err, "velkor-ranking admin: %s\n\n%s", e.what(), kAdminUsage);
    status = 2;
  } catch (const NotFound& e) {
    std::fprintf(err, "velkor-ranking admin: %s\n", e.what());
    status = 1;
  } catch (const std::exception& e) {
    std::fprintf(err, "velkor-ranking admin: %s: %s\n", a.db.c_str(), e.what());
    status = 1;
  }
  store.Close();
  // Run by root on the service's database, the journal files SQLite made must stay the
  // service's.
  for (const std::string& file : platform::GiveToOwnerOf(a.db, {a.db + "-wal", a.db + "-shm"}))
    std::fprintf(err, "velkor-ranking admin: gave %s to the owner of %s\n", file.c_str(), a.db.c_str());
  if (std::fflush(out) != 0 && status == 0) {
    std::fprintf(err, "velkor-ranking admin: cannot write the output\n");
    status = 1;
  }
  return status;
}

}  // namespace server
