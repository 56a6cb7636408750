// Arbitrary reply bytes through the HTTP client's reply reading: a loopback server that the
// client connects to answers with the input and closes, and the client reads the reply as it
// reads any server's.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/application.h"
#include "platform/headless/headless_platform.h"
#include "platform/net.h"
#include "ranking/nmhttp.h"

namespace {

struct Rig {
  platform::HeadlessPlatform platform;
  app::TApplication application{platform};
  ranking::TNMHTTP http{nullptr};
  int listener = -1;
  std::string url;
  std::string reply;
  int server = -1;

  Rig() {
    // No name is known and no redirect is followed: the client talks to this server only.
    platform.Net().SetResolver([](const std::string&, std::vector<std::uint32_t>&) { return platform::wsa::kHostNotFound; });
    http.OnRedirect = [](bool& handled) { handled = true; };
    http.TimeOut = 5000;
    listener = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(listener, 4) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len) != 0)
      std::abort();
    url = "http://127.0.0.1:" + std::to_string(ntohs(a.sin_port)) + "/";
    // The reply goes out as soon as the connection stands; what the socket buffers cannot take
    // at once is dropped, so the one thread never waits on itself.
    http.OnConnect = [this](app::TObject*) {
      server = accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (server < 0) return;
      if (!reply.empty() && send(server, reply.data(), reply.size(), MSG_NOSIGNAL) < 0) {
        // Nothing went out: the client sees an empty reply.
      }
      shutdown(server, SHUT_WR);
    };
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Rig* rig = new Rig;
  rig->reply.assign(reinterpret_cast<const char*>(data), size);
  try {
    rig->http.Get(rig->url);
  } catch (const app::Exception&) {
    // Socket errors and bad redirect addresses are the client's answers to bad replies.
  }
  if (rig->server >= 0) close(rig->server);
  rig->server = -1;
  if (rig->http.Connected() || rig->http.Header.size() > ranking::TNMHTTP::kMaxHeaderBytes ||
      rig->http.Body.size() > static_cast<std::size_t>(ranking::TNMHTTP::kMaxBodyBytes))
    std::abort();
  return 0;
}
