#pragma once
// The application on the headless backend, with a name service of its own so that no test asks
// anything beyond this machine: "localhost" goes to the system's lookup (its hosts file),
// "other" and "ranking.test" are 127.0.0.1, and every other name is unknown.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/application.h"
#include "platform/headless/headless_platform.h"
#include "platform/net.h"
#include "support/script_server.h"

namespace net_testing {

inline int TestResolver(const std::string& name, std::vector<std::uint32_t>& addresses) {
  if (name == "localhost") return platform::SystemResolve(name, addresses);
  if (name == "other" || name == "ranking.test") {
    std::uint32_t a;
    platform::Network::ParseDottedAddress("127.0.0.1", a);
    addresses.push_back(a);
    return 0;
  }
  return platform::wsa::kHostNotFound;
}

class NetTest : public ::testing::Test {
 protected:
  NetTest() { platform.Net().SetResolver(TestResolver); }

  platform::HeadlessPlatform platform;
  app::TApplication application{platform};
};

// The message of the exception of type E that `f` raises.
template <typename E>
std::string MessageOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const E& e) {
    return e.Message();
  }
  return "(nothing raised)";
}

inline std::string Url(std::uint16_t port, const std::string& path = "/") {
  return "http://localhost:" + std::to_string(port) + path;
}

}  // namespace net_testing
