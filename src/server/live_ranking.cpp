#include "server/live_ranking.h"

#include <ctime>

#include "server/log.h"
#include "server/pages.h"

namespace server {

LiveRanking::LiveRanking(RankingDb& db) : db_(db) {}

void LiveRanking::Refresh(std::int64_t now) {
  bool changed = db_.ChangedElsewhere();
  if (changed || !moderation_loaded_) {
    Moderation m = db_.LoadModeration();
    bans_.Set(m.networks, m.names);
    filter_.Set(m.words);
    moderation_loaded_ = true;
  }
  if (changed || now >= periods_end_) {
    for (auto& both : pages_) both = {};
    periods_end_ = NextMidnight(now);
  }
}

const Body& LiveRanking::Page(Period period, bool json, std::int64_t now) {
  try {
    Refresh(now);
  } catch (const std::exception& e) {
    // The pages made before stay shown; the next request tries again.
    Note(db_.Path() + ": " + e.what());
  }
  Body& page = pages_[static_cast<std::size_t>(period)][json ? 1 : 0];
  if (!page) {
    try {
      page = Render(period, json, now);
    } catch (const std::exception& e) {
      Note("reading the ranking from " + db_.Path() + " failed: " + e.what());
      page = std::make_shared<const std::string>(json ? RenderRankingJson({}, period) : RenderRankingHtml({}, period));
    }
  }
  return page;
}

Body LiveRanking::Render(Period period, bool json, std::int64_t now) {
  std::vector<RankRow> rows;
  // An entry taken before a word was filtered is not shown while the word is.
  db_.Ranked(PeriodStart(period, now), [&](RankRow row) {
    if (!filter_.Matches(row.name) && !filter_.Matches(row.comment)) rows.push_back(std::move(row));
    return static_cast<int>(rows.size()) < kRankingSize;
  });
  return std::make_shared<const std::string>(json ? RenderRankingJson(rows, period) : RenderRankingHtml(rows, period));
}

Refusal LiveRanking::Check(const Entry& entry, const asio::ip::address& client) {
  try {
    Refresh(std::time(nullptr));
  } catch (const std::exception& e) {
    Note(db_.Path() + ": " + e.what());
  }
  if (bans_.AddressBanned(client) || bans_.NameBanned(entry.name)) return Refusal::kBanned;
  if (filter_.Matches(entry.name) || filter_.Matches(entry.comment)) return Refusal::kFilteredWord;
  return Refusal::kNone;
}

}  // namespace server
