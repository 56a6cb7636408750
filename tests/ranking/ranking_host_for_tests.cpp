// The ranking tests send to servers they start themselves, on ports of their own: in this test
// program the host setting is a variable that the tests set. (This definition takes the place of
// the build's, which the test program therefore does not link.)
#include "ranking/ranking_host.h"
#include "ranking_host_for_tests.h"

namespace ranking_testing {
std::string ranking_host = "localhost:8080";
}  // namespace ranking_testing

const std::string& ranking::RankingHost() { return ranking_testing::ranking_host; }
