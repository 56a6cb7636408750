#pragma once
// The ranking's storage: an SQLite database in WAL mode with full syncs, written by one thread
// that commits whatever entries are waiting in one transaction (so many entries share one sync,
// and none is acknowledged before its transaction is on disk).
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "server/pages.h"
#include "server/request.h"

struct sqlite3;
struct sqlite3_stmt;

namespace server {

// The same name, score and comment again within this time is acknowledged without a new row.
inline constexpr std::int64_t kDuplicateSeconds = 600;

struct PendingEntry {
  Entry entry;
  std::string address;  // the client's, kept for moderation
};

enum class StoreOutcome { kStored, kDuplicate, kFailed };

// What the admin keeps out, as stored: banned networks and names, and filter words.
struct Moderation {
  std::vector<std::string> networks, names, words;
};

class RankingDb {
 public:
  // Opens or creates the database and its schema. Throws std::runtime_error with the reason
  // (not a database, a newer schema, no write access, ...).
  explicit RankingDb(const std::string& path);
  ~RankingDb();
  RankingDb(const RankingDb&) = delete;
  RankingDb& operator=(const RankingDb&) = delete;

  // Stores the entries in one transaction, dated `now`, and says what became of each. Throws
  // when the transaction could not be committed; then none of them is stored.
  std::vector<StoreOutcome> StoreBatch(const std::vector<const PendingEntry*>& entries, std::int64_t now);
  // The best `limit` entries not hidden, best first; of equal scores the older first.
  std::vector<RankRow> Top(int limit);
  // The entries not hidden taken at `since` or later, in the order of Top, until `each` returns
  // false.
  void Ranked(std::int64_t since, const std::function<bool(RankRow)>& each);
  Moderation LoadModeration();
  // For the admin's commands, which work on the same database with SQL of their own.
  sqlite3* Handle() { return db_; }
  // Whether another connection (the sqlite3 tool, say) committed a change since the last call.
  bool ChangedElsewhere();
  const std::string& Path() const { return path_; }

 private:
  void Close();
  void Exec(const char* sql);
  std::vector<std::string> Column(const char* sql);
  sqlite3_stmt* Prepare(const char* sql);
  [[noreturn]] void Fail(const char* what);

  std::string path_;
  sqlite3* db_ = nullptr;
  sqlite3_stmt* begin_ = nullptr;
  sqlite3_stmt* commit_ = nullptr;
  sqlite3_stmt* rollback_ = nullptr;
  sqlite3_stmt* find_recent_ = nullptr;
  sqlite3_stmt* insert_ = nullptr;
  sqlite3_stmt* top_ = nullptr;
  sqlite3_stmt* top_since_ = nullptr;
  sqlite3_stmt* data_version_ = nullptr;
  std::int64_t last_data_version_ = -1;
};

// The thread that writes the entries while the server runs. The pages read the database on a
// connection of their own and see each commit (the writer's and any other program's) at once.
class EntryWriter {
 public:
  // Called on the writer thread after the entry's transaction ended.
  using Done = std::function<void(StoreOutcome)>;

  explicit EntryWriter(RankingDb& db);
  ~EntryWriter();
  EntryWriter(const EntryWriter&) = delete;
  EntryWriter& operator=(const EntryWriter&) = delete;

  void Submit(PendingEntry entry, Done done);
  // Stores what is waiting, then ends the thread.
  void Stop();

 private:
  struct Job {
    PendingEntry entry;
    Done done;
  };
  void Run();

  RankingDb& db_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Job> queue_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace server
