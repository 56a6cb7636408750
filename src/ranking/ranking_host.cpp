// The one place that reads the build setting, so a build for tests can point a copy of the
// program at a server of its own by compiling this file alone with another value.
#include "ranking/ranking_host.h"

namespace ranking {

const std::string& BuiltInRankingHost() {
  static const std::string host = VELKOR_RANKING_HOST;
  return host;
}

}  // namespace ranking
