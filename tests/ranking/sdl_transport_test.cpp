// The same client on the real program's backend (SDL with its dummy video driver): notices and
// time limits work with SDL's event queue and clock too.
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/application.h"
#include "net_fixture.h"
#include "ranking/nmhttp.h"

namespace {

using net_testing::MessageOf;
using net_testing::Url;
using testing_support::Reply;
using testing_support::ScriptServer;
using testing_support::ServerConnection;

// SDL's dummy video driver while the test runs, through putenv, which both systems' C libraries
// have. The emptied variable counts as unset to SDL, so the programs that later tests start get
// their real driver.
struct DummyVideo {
  DummyVideo() { putenv(const_cast<char*>("SDL_VIDEODRIVER=dummy")); }
  ~DummyVideo() { putenv(const_cast<char*>("SDL_VIDEODRIVER=")); }
};

TEST(SdlTransport, GetSucceedsAndTimeOutEnds) {
  DummyVideo dummy;
  auto platform = platform::CreateSdlPlatform();
  {
    app::TApplication application(*platform);
    ranking::TNMHTTP http(nullptr);
    int successes = 0;
    http.OnSuccess = [&](ranking::CmdType) { ++successes; };
    ScriptServer server({Reply("HTTP/1.0 200 OK\r\n\r\nbody"), [](ServerConnection& c) {
                           c.ReadRequest();
                           c.WaitForPeerClose();
                         }});
    http.Get(Url(server.Port()));
    EXPECT_EQ(successes, 1);
    EXPECT_EQ(http.Body, "body");
    http.TimeOut = 300;
    EXPECT_EQ(MessageOf<ranking::EAbortError>([&] { http.Get(Url(server.Port())); }), "Socket readln aborted");
  }
}

}  // namespace
