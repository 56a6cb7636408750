// The program's ranking address comes from the build setting.
#include <gtest/gtest.h>

#include "ranking/ranking_host.h"
#include "ranking/unit2.h"

TEST(RankingAddress, IsTheConfiguredHostWithTheCgiPath) {
  EXPECT_EQ(ranking::RankingHost(), VELKOR_CONFIGURED_RANKING_HOST);
  EXPECT_EQ(ranking::RankingCgiURL(),
            std::string("http://") + VELKOR_CONFIGURED_RANKING_HOST + "/~tobrin/soft/velkor/ran/ranking.cgi");
}
