#pragma once
// What the loop shows and checks, kept up to date with the database: the ranking pages of each
// period, made when first asked for after a change, and the bans and filter words that new
// entries are checked against. It reads on a connection of its own, and asks SQLite before each
// use whether any connection (the entry writer's, an admin command's) has committed since, a
// check that costs next to nothing, so every change shows at once.
#include <array>
#include <asio/ip/address.hpp>
#include <cstdint>
#include <memory>
#include <string>

#include "server/bans.h"
#include "server/periods.h"
#include "server/request.h"
#include "server/store.h"
#include "server/word_filter.h"

namespace server {

using Body = std::shared_ptr<const std::string>;

class LiveRanking {
 public:
  // `db` is the loop's own connection, which outlives this.
  explicit LiveRanking(RankingDb& db);

  // The page (or with `json`, the JSON) of the period, as of `now`.
  const Body& Page(Period period, bool json, std::int64_t now);
  // Why a new entry from `client` is refused (kBanned, kFilteredWord), or kNone.
  Refusal Check(const Entry& entry, const asio::ip::address& client);

 private:
  // Drops what a commit elsewhere or the end of a day has made stale.
  void Refresh(std::int64_t now);
  Body Render(Period period, bool json, std::int64_t now);

  RankingDb& db_;
  bool moderation_loaded_ = false;
  BanList bans_;
  WordFilter filter_;
  std::array<std::array<Body, 2>, kPeriodCount> pages_;
  std::int64_t periods_end_ = 0;  // the next local midnight, when today (and maybe more) ends
};

}  // namespace server
