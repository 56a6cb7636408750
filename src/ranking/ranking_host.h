#pragma once
// Where the internet ranking lives: a build setting.
#include <string>

namespace ranking {

// The ranking server's host, or host:port (the build's VELKOR_RANKING_HOST).
const std::string& RankingHost();

}  // namespace ranking
