#include "ranking/psock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "net_fixture.h"

namespace {

using namespace net_testing;
using ranking::EAbortError;
using ranking::ESockError;
using ranking::TPowersock;
using testing_support::ScriptServer;
using testing_support::ServerConnection;

class SockTest : public NetTest {
 protected:
  TPowersock sock{nullptr};
};

TEST_F(SockTest, DottedAddressConnectsWithoutLookupAndNameAfterOne) {
  ScriptServer server({[](ServerConnection& c) { c.WaitForPeerClose(); }});
  int resolved = 0, connected = 0;
  sock.OnHostResolved = [&](app::TObject*) { ++resolved; };
  sock.OnConnect = [&](app::TObject*) { ++connected; };
  sock.Port = server.Port();
  sock.Host = "127.0.0.1";
  sock.Connect();
  EXPECT_TRUE(sock.Connected());
  EXPECT_EQ(resolved, 0);
  EXPECT_EQ(MessageOf<ESockError>([&] { sock.Connect(); }), "Already connected");
  sock.Disconnect();
  EXPECT_FALSE(sock.Connected());

  sock.Host = "localhost";
  sock.Connect();
  EXPECT_EQ(resolved, 1);
  EXPECT_EQ(connected, 2);
  std::uint32_t loopback;
  platform::Network::ParseDottedAddress("127.0.0.1", loopback);
  EXPECT_EQ(sock.RemoteAddress(), loopback);
  sock.Disconnect();
}

TEST_F(SockTest, LinesKeepTheirEndsAndTheReadsTakeAllDataBeforeTheClose) {
  ScriptServer server({[](ServerConnection& c) {
    c.ReadRequest();
    c.Send("first\r\nsecond\nno end");
  }});
  sock.Host = "127.0.0.1";
  sock.Port = server.Port();
  sock.Connect();
  sock.Writeln("hello\r\n");
  EXPECT_EQ(sock.ReadLn(), "first\r\n");
  EXPECT_EQ(sock.ReadLn(), "second\n");
  std::string rest;
  sock.CaptureString(rest, -1);
  EXPECT_EQ(rest, "no end");
  EXPECT_EQ(sock.BytesReceived(), 6);
  EXPECT_FALSE(sock.DataAvailable());
  sock.Disconnect();
  EXPECT_FALSE(sock.Connected());
  EXPECT_NE(sock.SocketHandle(), TPowersock::kNoSocket);
  EXPECT_EQ(server.Requests(), std::vector<std::string>{"hello\r\n\r\n"});
  // The fresh socket can connect again.
  ScriptServer again({[](ServerConnection& c) { c.Send("x\n"); }});
  sock.Port = again.Port();
  sock.Connect();
  EXPECT_EQ(sock.ReadLn(), "x\n");
  sock.Disconnect();
}

TEST_F(SockTest, CloseWithNothingWaitingReplacesTheSocketAndReadsEnd) {
  ScriptServer server({[](ServerConnection& c) { c.ReadRequest(); }});
  sock.Host = "127.0.0.1";
  sock.Port = server.Port();
  sock.Connect();
  sock.Write("GET\r\n\r\n");
  for (int i = 0; i < 2500 && sock.Connected(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    application.ProcessMessages();
  }
  EXPECT_FALSE(sock.Connected());
  EXPECT_EQ(sock.ReadLn(), "");
  std::string text = "old";
  sock.CaptureString(text, -1);
  EXPECT_EQ(text, "");
}

TEST_F(SockTest, LongLinesAndLimitedCapturesStayInTheirBuffers) {
  const std::string long_line(100000, 'L');
  ScriptServer server({[&](ServerConnection& c) { c.Send(long_line + "\nabcdefghij"); }});
  sock.Host = "127.0.0.1";
  sock.Port = server.Port();
  sock.Connect();
  EXPECT_EQ(sock.ReadLn(), std::string(TPowersock::kIOBufferSize, 'L'));
  EXPECT_EQ(sock.ReadLn(), std::string(100000 - TPowersock::kIOBufferSize, 'L') + "\n");
  std::string text;
  sock.CaptureString(text, 4);
  EXPECT_EQ(text, "abcd");
  sock.CaptureString(text, -1);
  EXPECT_EQ(text, "efghij");
  sock.Disconnect();
}

TEST_F(SockTest, InvalidHostGetsOneRetry) {
  ScriptServer server({[](ServerConnection& c) { c.WaitForPeerClose(); }});
  sock.Port = server.Port();
  int asked = 0;
  sock.OnInvalidHost = [&](bool& handled) {
    ++asked;
    sock.Host = "localhost";
    handled = true;
  };
  sock.Host = "nowhere.test";
  sock.Connect();
  EXPECT_TRUE(sock.Connected());
  EXPECT_EQ(asked, 1);
  sock.Disconnect();

  asked = 0;
  sock.OnInvalidHost = [&](bool& handled) {
    ++asked;
    handled = true;
  };
  sock.Host = "nowhere.test";
  EXPECT_EQ(MessageOf<ESockError>([&] { sock.Connect(); }), "Null Remote Address");
  EXPECT_EQ(asked, 1);
}

TEST_F(SockTest, RefusedConnectionCallsConnectionFailedFirst) {
  int failed = 0;
  sock.OnConnectionFailed = [&](app::TObject*) { ++failed; };
  sock.Host = "127.0.0.1";
  sock.Port = testing_support::UnusedPort();
  EXPECT_EQ(MessageOf<ESockError>([&] { sock.Connect(); }), "Connection Failed");
  EXPECT_EQ(failed, 1);
  EXPECT_FALSE(sock.Connected());
}

TEST_F(SockTest, SocketErrorsRaiseTheirNumberedTexts) {
  EXPECT_EQ(ranking::SocketErrorText(10061), "10061:Connection refused");
  EXPECT_EQ(ranking::SocketErrorText(11001), "11001:Host not found");
  EXPECT_EQ(ranking::SocketErrorText(10035), "10035:Operation would block");
  EXPECT_EQ(ranking::SocketErrorText(12345), "Unknown Error No. 12345");
  EXPECT_EQ(MessageOf<ESockError>([&] { sock.Write("not connected"); }), "10057:Socket is not connected");
  EXPECT_EQ(sock.LastErrorNo(), 10057);
}

TEST_F(SockTest, LookupThatTakesTooLongTimesOut) {
  platform.Net().SetResolver([](const std::string&, std::vector<std::uint32_t>& a) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    a.push_back(0x0100007F);
    return 0;
  });
  sock.TimeOut = 200;
  sock.Host = "slow.test";
  sock.Port = 1;
  EXPECT_EQ(MessageOf<ESockError>([&] { sock.Connect(); }), "Host Lookup Timed Out");
  EXPECT_TRUE(sock.TimedOut());
}

TEST_F(SockTest, WaitsLetOtherHandlersRunAndCancel) {
  ScriptServer server({[](ServerConnection& c) { c.WaitForPeerClose(); }});
  sock.Host = "127.0.0.1";
  sock.Port = server.Port();
  sock.Connect();
  // A handler of the application, run from inside the wait, cancels it.
  unsigned timer = application.SetTimer(100, [&] { sock.Cancel(); });
  EXPECT_EQ(MessageOf<EAbortError>([&] { sock.ReadLn(); }), "Socket readln aborted");
  EXPECT_FALSE(sock.Canceled());
  application.KillTimer(timer);
  // So does the end of the program, which no longer processes the messages a wait needs.
  timer = application.SetTimer(100, [&] { application.Terminate(); });
  std::string text;
  EXPECT_EQ(MessageOf<EAbortError>([&] { sock.CaptureString(text, -1); }), "Socket capture aborted");
  application.KillTimer(timer);
  sock.Disconnect();
}

TEST_F(SockTest, StatusReportsUpToTheReportLevel) {
  std::vector<std::string> seen;
  sock.OnStatus = [&](app::TObject*, const std::string& status) {
    seen.push_back(status);
    throw app::Exception("a status handler's error stays there");
  };
  sock.Cancel();
  EXPECT_TRUE(seen.empty());
  sock.ReportLevel = 4;
  sock.Cancel();
  sock.RequestCloseSocket();
  EXPECT_EQ(seen, std::vector<std::string>{"Request Close Socket"});
  EXPECT_EQ(sock.Status(), "Request Close Socket");
  seen.clear();
  sock.ReportLevel = 8;
  sock.Cancel();
  EXPECT_EQ(seen, std::vector<std::string>{"Canceling"});
  sock.OnStatus = nullptr;  // `seen` ends before the component reports its destruction
}

TEST_F(NetTest, ThreadTimerRunsOnTheApplicationsTimers) {
  ranking::TThreadTimer timer(nullptr);
  int ticks = 0;
  timer.SetOnTimer([&](app::TObject*) { ++ticks; });
  timer.SetInterval(50);
  platform.AdvanceMilliseconds(49);
  application.ProcessMessages();
  EXPECT_EQ(ticks, 0);
  platform.AdvanceMilliseconds(1);
  application.ProcessMessages();
  EXPECT_EQ(ticks, 1);
  timer.SetEnabled(false);
  platform.AdvanceMilliseconds(100);
  application.ProcessMessages();
  EXPECT_EQ(ticks, 1);
  timer.SetEnabled(true);
  timer.SetInterval(0);
  platform.AdvanceMilliseconds(100);
  application.ProcessMessages();
  EXPECT_EQ(ticks, 1);
}

}  // namespace
