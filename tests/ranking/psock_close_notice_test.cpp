// The peer's close told while the data it sent before is still waiting, as BSD sockets tell it
// as soon as it comes. Winsock tells it only once that data has been read (so wine does), and
// then there is none waiting: this one runs where the close can come first.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "net_fixture.h"
#include "ranking/psock.h"

namespace {

using namespace net_testing;
using ranking::TPowersock;
using testing_support::ScriptServer;
using testing_support::ServerConnection;

TEST_F(NetTest, CloseNoticeWhileDataWaitsLeavesTheSocketForTheReads) {
  ScriptServer server({[](ServerConnection& c) {
    c.ReadRequest();
    c.Send("first\r\nsecond\nno end");
  }});
  TPowersock sock(nullptr);
  int disconnects = 0;
  sock.OnDisconnect = [&](app::TObject*) { ++disconnects; };
  sock.Host = "127.0.0.1";
  sock.Port = server.Port();
  sock.Connect();
  sock.Writeln("hello\r\n");
  // The close notice looks for waiting data, finds it and leaves the socket alone.
  bool close_seen = false;
  sock.ReportLevel = 8;
  sock.OnStatus = [&](app::TObject*, const std::string& status) { close_seen |= status == "Data Available"; };
  EXPECT_EQ(sock.ReadLn(), "first\r\n");
  for (int i = 0; i < 2500 && !close_seen; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    application.ProcessMessages();
  }
  sock.OnStatus = nullptr;
  EXPECT_TRUE(close_seen);
  EXPECT_TRUE(sock.Connected());
  EXPECT_TRUE(sock.DataAvailable());
  EXPECT_EQ(sock.ReadLn(), "second\n");
  std::string rest;
  sock.CaptureString(rest, -1);
  EXPECT_EQ(rest, "no end");
  // Only the reads saw the end: the one close is the caller's.
  sock.Disconnect();
  EXPECT_EQ(disconnects, 1);
}

}  // namespace
