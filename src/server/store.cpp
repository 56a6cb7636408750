#include "server/store.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <limits>
#include <stdexcept>

#include "server/log.h"

namespace server {
namespace {

constexpr int kSchemaVersion = 2;
// Entries taken into one transaction at most; bounds the time a batch keeps its clients waiting.
constexpr std::size_t kMaxBatch = 512;

// Each version's changes, applied in turn to bring an older database up to date in place.
constexpr const char* kSchemaV1 =
    "CREATE TABLE IF NOT EXISTS entries ("
    "  id INTEGER PRIMARY KEY,"
    "  name TEXT NOT NULL,"
    "  score INTEGER NOT NULL,"
    "  comment TEXT NOT NULL,"
    "  address TEXT NOT NULL,"
    "  created_at INTEGER NOT NULL"
    ");"
    "CREATE INDEX IF NOT EXISTS entries_by_rank ON entries (score DESC, id);"
    "CREATE INDEX IF NOT EXISTS entries_by_text ON entries (score, name, comment, created_at);";

// The admin's tools: entries hidden from the page, bans, filter words and the log of what was
// done, which triggers keep from ever being rewritten.
constexpr const char* kSchemaV2 =
    "ALTER TABLE entries ADD COLUMN hidden INTEGER NOT NULL DEFAULT 0;"
    "CREATE INDEX entries_by_time ON entries (created_at);"
    "CREATE TABLE bans ("
    "  id INTEGER PRIMARY KEY,"
    "  kind TEXT NOT NULL CHECK (kind IN ('address', 'name')),"
    "  value TEXT NOT NULL,"
    "  created_at INTEGER NOT NULL,"
    "  UNIQUE (kind, value)"
    ");"
    "CREATE TABLE filter_words ("
    "  id INTEGER PRIMARY KEY,"
    "  word TEXT NOT NULL UNIQUE,"
    "  created_at INTEGER NOT NULL"
    ");"
    "CREATE TABLE admin_log ("
    "  id INTEGER PRIMARY KEY,"
    "  at INTEGER NOT NULL,"
    "  user TEXT NOT NULL,"
    "  action TEXT NOT NULL,"
    "  target TEXT NOT NULL,"
    "  reason TEXT NOT NULL"
    ");"
    "CREATE TRIGGER admin_log_kept BEFORE UPDATE ON admin_log"
    "  BEGIN SELECT RAISE(ABORT, 'the admin log is never rewritten'); END;"
    "CREATE TRIGGER admin_log_not_deleted BEFORE DELETE ON admin_log"
    "  BEGIN SELECT RAISE(ABORT, 'the admin log is never rewritten'); END;";

constexpr const char* kSchemaSteps[] = {kSchemaV1, kSchemaV2};
static_assert(std::size(kSchemaSteps) == kSchemaVersion);

// Resets a statement when a step is done with it, whatever way the step ends.
class StatementUse {
 public:
  explicit StatementUse(sqlite3_stmt* stmt) : stmt_(stmt) {}
  ~StatementUse() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
  }
  StatementUse(const StatementUse&) = delete;
  StatementUse& operator=(const StatementUse&) = delete;

 private:
  sqlite3_stmt* stmt_;
};

void BindText(sqlite3_stmt* stmt, int index, const std::string& text) {
  sqlite3_bind_text(stmt, index, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
}

std::string ColumnText(sqlite3_stmt* stmt, int column) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
  return text ? std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(stmt, column))) : std::string();
}

// SQLite's words for a file it cannot open or write ("unable to open database file", "attempt
// to write a readonly database") say neither where nor why; mostly it is about the directory.
std::string Explain(const std::string& path, int code, const std::string& why) {
  namespace fs = std::filesystem;
  const fs::path file(path);
  const fs::path dir = file.parent_path().empty() ? fs::path(".") : file.parent_path();
  std::error_code ec;
  if ((code & 0xFF) != SQLITE_CANTOPEN && (code & 0xFF) != SQLITE_READONLY) return why;
  if (fs::is_directory(file, ec)) return "it is a directory";
  if (!fs::is_directory(dir, ec)) return "there is no directory " + dir.string();
  if (code == SQLITE_READONLY_DIRECTORY || ((code & 0xFF) == SQLITE_CANTOPEN && !fs::exists(file, ec)))
    return "cannot create files in the directory " + dir.string() +
           " (the database keeps its -wal and -shm files beside it): " + why;
  if ((code & 0xFF) == SQLITE_READONLY) return "the file is not writable: " + why;
  return "cannot read and write the file: " + why;
}

}  // namespace

RankingDb::RankingDb(const std::string& path) : path_(path) {
  int rc = sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  if (rc != SQLITE_OK) {
    std::string why = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
    int code = db_ ? sqlite3_extended_errcode(db_) : rc;
    sqlite3_close_v2(db_);
    db_ = nullptr;
    throw std::runtime_error("cannot open the database " + path + ": " + Explain(path, code, why));
  }
  try {
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, 5000);
    {
      sqlite3_stmt* mode = Prepare("PRAGMA journal_mode=WAL");
      bool wal = sqlite3_step(mode) == SQLITE_ROW && ColumnText(mode, 0) == "wal";
      sqlite3_finalize(mode);
      if (!wal) throw std::runtime_error("it cannot be put in WAL mode");
    }
    // A commit returns only after the log is synced, so an acknowledged entry survives a crash
    // of the server or of the machine.
    Exec("PRAGMA synchronous=FULL");

    sqlite3_stmt* version = Prepare("PRAGMA user_version");
    int found = sqlite3_step(version) == SQLITE_ROW ? sqlite3_column_int(version, 0) : -1;
    sqlite3_finalize(version);
    if (found > kSchemaVersion)
      throw std::runtime_error("it was made by a newer velkor-ranking (schema " + std::to_string(found) + ")");
    if (found < kSchemaVersion) {
      Exec("BEGIN IMMEDIATE");
      try {
        // Read again inside the transaction: another program may have brought it up to date.
        sqlite3_stmt* again = Prepare("PRAGMA user_version");
        int now_found = sqlite3_step(again) == SQLITE_ROW ? sqlite3_column_int(again, 0) : -1;
        sqlite3_finalize(again);
        for (int step = std::max(now_found, 0); step < kSchemaVersion; ++step) Exec(kSchemaSteps[step]);
        Exec(("PRAGMA user_version=" + std::to_string(kSchemaVersion)).c_str());
        Exec("COMMIT");
      } catch (...) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
      }
    }

    begin_ = Prepare("BEGIN IMMEDIATE");
    commit_ = Prepare("COMMIT");
    rollback_ = Prepare("ROLLBACK");
    find_recent_ = Prepare(
        "SELECT 1 FROM entries WHERE score = ?1 AND name = ?2 AND comment = ?3 AND created_at >= ?4 LIMIT 1");
    insert_ = Prepare("INSERT INTO entries (name, score, comment, address, created_at) VALUES (?1, ?2, ?3, ?4, ?5)");
    top_ = Prepare(
        "SELECT name, score, comment, created_at FROM entries WHERE hidden = 0 ORDER BY score DESC, id ASC");
    top_since_ = Prepare(
        "SELECT name, score, comment, created_at FROM entries WHERE hidden = 0 AND created_at >= ?1 "
        "ORDER BY score DESC, id ASC");
    data_version_ = Prepare("PRAGMA data_version");
    ChangedElsewhere();
  } catch (const std::exception& e) {
    int code = sqlite3_extended_errcode(db_);
    Close();
    throw std::runtime_error("cannot open the database " + path + ": " + Explain(path, code, e.what()));
  }
}

RankingDb::~RankingDb() { Close(); }

void RankingDb::Close() {
  for (sqlite3_stmt* stmt : {begin_, commit_, rollback_, find_recent_, insert_, top_, top_since_, data_version_})
    sqlite3_finalize(stmt);
  begin_ = commit_ = rollback_ = find_recent_ = insert_ = top_ = top_since_ = data_version_ = nullptr;
  sqlite3_close_v2(db_);
  db_ = nullptr;
}

void RankingDb::Fail(const char* what) { throw std::runtime_error(std::string(what) + ": " + sqlite3_errmsg(db_)); }

void RankingDb::Exec(const char* sql) {
  if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) Fail(sql);
}

sqlite3_stmt* RankingDb::Prepare(const char* sql) {
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) != SQLITE_OK) Fail(sql);
  return stmt;
}

std::vector<StoreOutcome> RankingDb::StoreBatch(const std::vector<const PendingEntry*>& entries, std::int64_t now) {
  std::vector<StoreOutcome> outcomes;
  outcomes.reserve(entries.size());
  auto step_done = [this](sqlite3_stmt* stmt, const char* what) {
    StatementUse use(stmt);
    if (sqlite3_step(stmt) != SQLITE_DONE) Fail(what);
  };
  step_done(begin_, "begin");
  try {
    for (const PendingEntry* pending : entries) {
      const Entry& e = pending->entry;
      bool recent;
      {
        StatementUse use(find_recent_);
        sqlite3_bind_int(find_recent_, 1, e.score);
        BindText(find_recent_, 2, e.name);
        BindText(find_recent_, 3, e.comment);
        sqlite3_bind_int64(find_recent_, 4, now - kDuplicateSeconds);
        int rc = sqlite3_step(find_recent_);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) Fail("duplicate check");
        recent = rc == SQLITE_ROW;
      }
      if (recent) {
        outcomes.push_back(StoreOutcome::kDuplicate);
        continue;
      }
      BindText(insert_, 1, e.name);
      sqlite3_bind_int(insert_, 2, e.score);
      BindText(insert_, 3, e.comment);
      BindText(insert_, 4, pending->address);
      sqlite3_bind_int64(insert_, 5, now);
      step_done(insert_, "insert");
      outcomes.push_back(StoreOutcome::kStored);
    }
    step_done(commit_, "commit");
  } catch (...) {
    // A failed COMMIT may leave the transaction open; roll it back so the next batch starts clean.
    if (!sqlite3_get_autocommit(db_)) {
      StatementUse use(rollback_);
      sqlite3_step(rollback_);
    }
    throw;
  }
  return outcomes;
}

std::vector<RankRow> RankingDb::Top(int limit) {
  std::vector<RankRow> rows;
  Ranked(std::numeric_limits<std::int64_t>::min(), [&](RankRow row) {
    rows.push_back(std::move(row));
    return static_cast<int>(rows.size()) < limit;
  });
  return rows;
}

void RankingDb::Ranked(std::int64_t since, const std::function<bool(RankRow)>& each) {
  bool all = since == std::numeric_limits<std::int64_t>::min();
  sqlite3_stmt* stmt = all ? top_ : top_since_;
  StatementUse use(stmt);
  if (!all) sqlite3_bind_int64(stmt, 1, since);
  int rc;
  while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    if (!each({ColumnText(stmt, 0), sqlite3_column_int(stmt, 1), ColumnText(stmt, 2), sqlite3_column_int64(stmt, 3)}))
      return;
  }
  if (rc != SQLITE_DONE) Fail("reading the ranking");
}

std::vector<std::string> RankingDb::Column(const char* sql) {
  std::vector<std::string> values;
  sqlite3_stmt* stmt = Prepare(sql);
  int rc;
  while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) values.push_back(ColumnText(stmt, 0));
  sqlite3_finalize(stmt);
  if (rc != SQLITE_DONE) Fail(sql);
  return values;
}

Moderation RankingDb::LoadModeration() {
  Moderation m;
  // One read transaction, so the three lists are of one moment.
  Exec("BEGIN");
  try {
    m.networks = Column("SELECT value FROM bans WHERE kind = 'address'");
    m.names = Column("SELECT value FROM bans WHERE kind = 'name'");
    m.words = Column("SELECT word FROM filter_words");
  } catch (...) {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
  Exec("COMMIT");
  return m;
}

bool RankingDb::ChangedElsewhere() {
  StatementUse use(data_version_);
  if (sqlite3_step(data_version_) != SQLITE_ROW) Fail("reading the data version");
  std::int64_t version = sqlite3_column_int64(data_version_, 0);
  bool changed = last_data_version_ >= 0 && version != last_data_version_;
  last_data_version_ = version;
  return changed;
}

EntryWriter::EntryWriter(RankingDb& db) : db_(db), thread_([this] { Run(); }) {}

EntryWriter::~EntryWriter() { Stop(); }

void EntryWriter::Submit(PendingEntry entry, Done done) {
  {
    std::lock_guard lock(mutex_);
    queue_.push_back({std::move(entry), std::move(done)});
  }
  wake_.notify_one();
}

void EntryWriter::Stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  if (thread_.joinable()) thread_.join();
}

void EntryWriter::Run() {
  std::vector<Job> batch;
  std::vector<const PendingEntry*> entries;
  for (;;) {
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
      if (queue_.empty() && stopping_) return;
      std::size_t n = std::min(queue_.size(), kMaxBatch);
      batch.assign(std::make_move_iterator(queue_.begin()), std::make_move_iterator(queue_.begin() + n));
      queue_.erase(queue_.begin(), queue_.begin() + n);
    }
    entries.clear();
    for (const Job& job : batch) entries.push_back(&job.entry);
    std::vector<StoreOutcome> outcomes;
    try {
      outcomes = db_.StoreBatch(entries, std::time(nullptr));
    } catch (const std::exception& e) {
      Note("storing " + std::to_string(batch.size()) + " entries in " + db_.Path() + " failed: " + e.what());
      outcomes.assign(batch.size(), StoreOutcome::kFailed);
    }
    for (std::size_t i = 0; i < batch.size(); ++i) batch[i].done(outcomes[i]);
    batch.clear();
  }
}

}  // namespace server
