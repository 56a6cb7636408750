#pragma once
#include <string>

namespace ranking_testing {
// What ranking::RankingHost() gives in the ranking test program.
extern std::string ranking_host;
}  // namespace ranking_testing
