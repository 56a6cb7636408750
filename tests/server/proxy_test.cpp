// The server behind nginx as a TCP proxy, set up as the README says.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "app/sjis.h"
#include "ranking_fixture.h"
#include "support/harness.h"
#include "support/process.h"

namespace ranking_test {
namespace {

TEST(RankingBehindNginx, TheGamesRawRequestPassesATcpProxyWithTheClientsAddress) {
  const char* stream_module = "/usr/lib/nginx/modules/ngx_stream_module.so";
  ASSERT_TRUE(std::filesystem::exists("/usr/sbin/nginx") && std::filesystem::exists(stream_module))
      << "nginx or its stream module is missing; scripts/install-deps.sh test installs them";
  RankingServer server({"--trusted-proxy", "127.0.0.1"});
  testing_support::ScopedTempDir dir;

  std::random_device rd;
  testing_support::ChildProcess nginx;
  unsigned short port = 0;
  for (int attempt = 0; attempt < 20 && port == 0; ++attempt) {
    unsigned short candidate = static_cast<unsigned short>(20000 + rd() % 40000);
    std::string d = dir.Path().string();
    testing_support::WriteFile("nginx.conf", "load_module " + std::string(stream_module) + ";\n"
                               "daemon off;\nmaster_process off;\n"
                               "error_log " + d + "/error.log;\npid " + d + "/nginx.pid;\n"
                               "events {}\n"
                               "stream {\n  server {\n"
                               "    listen 127.0.0.1:" + std::to_string(candidate) + ";\n"
                               "    proxy_pass 127.0.0.1:" + std::to_string(server.Port()) + ";\n"
                               "    proxy_protocol on;\n  }\n}\n");
    nginx.Start({"/usr/sbin/nginx", "-p", d, "-c", d + "/nginx.conf", "-e", d + "/error.log"}, {}, "",
                d + "/nginx.out");
    // nginx that cannot take the port ends at once; one that took it accepts connections.
    bool up = testing_support::WaitUntil([&] { return !nginx.Running() || Reachable(candidate); },
                                         std::chrono::seconds(10));
    if (up && nginx.Running()) port = candidate;
  }
  ASSERT_NE(port, 0) << testing_support::ReadFile("error.log");

  // The name has a space and "&", the comment a space: an HTTP proxy would refuse the line.
  const std::string name = app::Sjis(u8"ア イ&ソ");
  std::string reply = Exchange(port, EntryRequest(name, "1234", "5611", "a b"), "127.0.0.7");
  EXPECT_EQ(StatusOf(reply), 200) << reply;
  std::string json = RankingJson(port);
  EXPECT_NE(json.find(reinterpret_cast<const char*>(u8R"("name":"ア イ\u0026ソ","score":1234,"comment":"a b")")),
            std::string::npos)
      << json;
  server.LogOnceItHas("\n127.0.0.7 - - [");
  nginx.Signal(SIGTERM);
  EXPECT_TRUE(nginx.Wait(std::chrono::seconds(10)));
}

}  // namespace
}  // namespace ranking_test
