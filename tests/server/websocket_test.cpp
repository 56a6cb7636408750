// The WebSocket that carries the web build's ranking connection, against the real server: the
// game's own request bytes sent as binary messages are handled as over TCP.
#include "server/websocket.h"
#include "support/harness.h"
#include "support/process.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <regex>
#include <thread>

#include "app/application.h"
#include "app/sjis.h"
#include "game/hiscore.h"
#include "platform/headless/headless_platform.h"
#include "ranking/nmhttp.h"
#include "ranking_fixture.h"

namespace ranking_test {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

std::string U8String(std::u8string_view text) { return {reinterpret_cast<const char*>(text.data()), text.size()}; }

// The example of RFC 6455, 1.3.
constexpr const char* kExampleKey = "dGhlIHNhbXBsZSBub25jZQ==";
constexpr const char* kExampleAccept = "s3pPLMBiTxaQ9kYGzzhZRbK+xOo=";

// A client's frame: `first` is its first byte (FIN, reserved bits, opcode). The payload is
// masked unless `masked` is false; `declared` overrides the length the header gives.
std::string ClientFrame(unsigned char first, const std::string& payload, bool masked = true,
                        std::uint64_t declared = UINT64_MAX) {
  std::uint64_t length = declared == UINT64_MAX ? payload.size() : declared;
  std::string f(1, static_cast<char>(first));
  unsigned char mask_bit = masked ? 0x80 : 0;
  if (length < 126) {
    f += static_cast<char>(mask_bit | length);
  } else if (length <= 0xFFFF) {
    f += static_cast<char>(mask_bit | 126);
    f += static_cast<char>(length >> 8);
    f += static_cast<char>(length & 0xFF);
  } else {
    f += static_cast<char>(mask_bit | 127);
    for (int i = 7; i >= 0; --i) f += static_cast<char>(length >> (8 * i) & 0xFF);
  }
  if (!masked) return f + payload;
  static std::mt19937 random(7);
  char key[4];
  for (char& k : key) k = static_cast<char>(random());
  f.append(key, 4);
  for (std::size_t i = 0; i < payload.size(); ++i) f += static_cast<char>(payload[i] ^ key[i % 4]);
  return f;
}
std::string Binary(const std::string& payload, bool fin = true) { return ClientFrame(fin ? 0x82 : 0x02, payload); }
std::string Continuation(const std::string& payload, bool fin = true) {
  return ClientFrame(fin ? 0x80 : 0x00, payload);
}

struct ServerFrame {
  int opcode = -1;
  bool fin = false;
  std::string payload;
};

std::string UpgradeRequest(unsigned short port, const std::string& extra = "") {
  return "GET /play/socket HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
         "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Key: " + kExampleKey +
         "\r\nSec-WebSocket-Version: 13\r\n" + extra + "\r\n";
}

// A WebSocket client over a plain socket, reading the server's frames exactly as they come.
class SocketClient {
 public:
  explicit SocketClient(unsigned short port, const std::string& from = "127.0.0.1", const std::string& extra = "")
      : connection_(port, from) {
    EXPECT_TRUE(connection_.Send(UpgradeRequest(port, extra)));
    auto deadline = std::chrono::steady_clock::now() + seconds(5);
    while (buffer_.find("\r\n\r\n") == std::string::npos && !connection_.closed() &&
           std::chrono::steady_clock::now() < deadline)
      buffer_ += connection_.Receive(milliseconds(200));
    std::size_t end = buffer_.find("\r\n\r\n");
    handshake_ = buffer_.substr(0, end == std::string::npos ? buffer_.size() : end + 4);
    buffer_.erase(0, handshake_.size());
  }
  const std::string& Handshake() const { return handshake_; }
  bool Send(const std::string& bytes) { return connection_.Send(bytes); }
  // The next frame of the server's, within `wait`; an opcode of -1 when none came.
  ServerFrame Next(milliseconds wait = milliseconds(5000)) {
    auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
      ServerFrame f;
      if (Parse(f)) return f;
      auto left = std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now());
      if (connection_.closed() || left.count() <= 0) return {};
      buffer_ += connection_.Receive(left);
    }
  }
  // The binary messages' bytes up to the close frame, whose code goes to `close_code`.
  std::string ReadToClose(int& close_code) {
    std::string bytes;
    close_code = -1;
    for (ServerFrame f = Next(); f.opcode != -1; f = Next()) {
      if (f.opcode == 0x2 || f.opcode == 0x0) bytes += f.payload;
      if (f.opcode == 0x8) {
        close_code = f.payload.size() >= 2
                         ? (static_cast<unsigned char>(f.payload[0]) << 8 | static_cast<unsigned char>(f.payload[1]))
                         : 0;
        break;
      }
    }
    return bytes;
  }
  // Whether the server closes the TCP connection within `wait`.
  bool ClosedWithin(milliseconds wait) {
    connection_.ReceiveAll(wait);
    return connection_.closed();
  }

 private:
  bool Parse(ServerFrame& f) {
    if (buffer_.size() < 2) return false;
    auto b = [&](std::size_t i) { return static_cast<unsigned char>(buffer_[i]); };
    EXPECT_EQ(b(1) & 0x80, 0) << "a server's frames are not masked";
    std::uint64_t length = b(1) & 0x7F;
    std::size_t at = 2;
    if (length == 126) {
      if (buffer_.size() < 4) return false;
      length = b(2) << 8 | b(3);
      at = 4;
    } else if (length == 127) {
      if (buffer_.size() < 10) return false;
      length = 0;
      for (int i = 0; i < 8; ++i) length = length << 8 | b(2 + i);
      at = 10;
    }
    if (buffer_.size() < at + length) return false;
    f.fin = b(0) & 0x80;
    f.opcode = b(0) & 0x0F;
    f.payload = buffer_.substr(at, length);
    buffer_.erase(0, at + length);
    return true;
  }

  RawConnection connection_;
  std::string handshake_, buffer_;
};

// The bytes the game's own HTTP client sends for `path`, caught by a listener that answers
// each request with an empty 200.
std::string GameBytes(const std::string& path) {
  int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  inet_pton(AF_INET, "127.0.0.1", &addr.sin_addr);
  EXPECT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  socklen_t length = sizeof addr;
  getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &length);
  listen(listener, 1);
  std::string caught;
  std::thread catcher([&] {
    int c = accept(listener, nullptr, nullptr);
    char buf[4096];
    while (caught.find("\r\n\r\n") == std::string::npos) {
      ssize_t n = recv(c, buf, sizeof buf, 0);
      if (n <= 0) break;
      caught.append(buf, static_cast<std::size_t>(n));
    }
    const char reply[] = "HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n";
    send(c, reply, sizeof reply - 1, MSG_NOSIGNAL);
    close(c);
  });
  platform::HeadlessPlatform platform;
  app::TApplication application{platform};
  ranking::TNMHTTP http{nullptr};
  http.Get("http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + path);
  catcher.join();
  close(listener);
  return caught;
}

std::string WithoutDate(std::string reply) {
  return std::regex_replace(reply, std::regex("\r\nDate: [^\r]*\r\n"), "\r\nDate: -\r\n");
}

// name, score, comment and address of each stored entry, in order.
std::vector<std::string> Rows(const std::filesystem::path& db) {
  std::vector<std::string> rows;
  sqlite3* handle = nullptr;
  EXPECT_EQ(sqlite3_open(db.c_str(), &handle), SQLITE_OK);
  sqlite3_busy_timeout(handle, 5000);
  sqlite3_exec(
      handle, "SELECT name, score, comment, address FROM entries ORDER BY id",
      [](void* out, int n, char** values, char**) {
        std::string row;
        for (int i = 0; i < n; ++i) row += std::string(values[i] ? values[i] : "NULL") + "|";
        static_cast<std::vector<std::string>*>(out)->push_back(row);
        return 0;
      },
      &rows, nullptr);
  sqlite3_close(handle);
  return rows;
}

TEST(WebSocket, TheHandshakeAnswersTheKeyAndChoosesTheBinaryProtocol) {
  EXPECT_EQ(server::AcceptKey(kExampleKey), kExampleAccept);
  RankingServer server;
  SocketClient plain(server.Port());
  EXPECT_EQ(StatusOf(plain.Handshake()), 101) << plain.Handshake();
  EXPECT_EQ(HeaderOf(plain.Handshake(), "Sec-WebSocket-Accept"), kExampleAccept);
  EXPECT_EQ(HeaderOf(plain.Handshake(), "Upgrade"), "websocket");
  EXPECT_EQ(HeaderOf(plain.Handshake(), "Connection"), "Upgrade");
  EXPECT_EQ(HeaderOf(plain.Handshake(), "Sec-WebSocket-Protocol"), "");
  // Tokens in any case, among others; the "binary" protocol emscripten's sockets ask for.
  SocketClient mixed(server.Port(), "127.0.0.1", "Sec-WebSocket-Protocol: chat, binary\r\n");
  EXPECT_EQ(StatusOf(mixed.Handshake()), 101);
  EXPECT_EQ(HeaderOf(mixed.Handshake(), "Sec-WebSocket-Protocol"), "binary");
  std::string odd_case = UpgradeRequest(server.Port());
  odd_case = std::regex_replace(odd_case, std::regex("Upgrade: websocket"), "upgrade: WebSocket");
  odd_case = std::regex_replace(odd_case, std::regex("Connection: Upgrade"), "connection: keep-alive, UPGRADE");
  RawConnection odd(server.Port());
  odd.Send(odd_case);
  EXPECT_EQ(StatusOf(odd.Receive(seconds(5))), 101);

  struct Case {
    std::string from, to;
    int status;
  };
  const Case refused[] = {
      {"Sec-WebSocket-Version: 13", "Sec-WebSocket-Version: 8", 426},
      {std::string("Sec-WebSocket-Key: ") + kExampleKey + "\r\n", "", 400},
      {std::string("Sec-WebSocket-Key: ") + kExampleKey, "Sec-WebSocket-Key: short==", 400},
      {"Upgrade: websocket\r\n", "", 426},
      {"Connection: Upgrade", "Connection: keep-alive", 426},
      {"HTTP/1.1", "HTTP/1.0", 400},
      {"GET ", "POST ", 405},
  };
  for (const Case& c : refused) {
    std::string request = UpgradeRequest(server.Port());
    request.replace(request.find(c.from), c.from.size(), c.to);
    RawConnection connection(server.Port());
    connection.Send(request);
    std::string reply = connection.Receive(seconds(5));
    EXPECT_EQ(StatusOf(reply), c.status) << c.to << "\n" << reply;
    if (c.status == 426) {
      EXPECT_EQ(HeaderOf(reply, "Sec-WebSocket-Version"), "13");
    }
  }
  server.LogOnceItHas("\"GET /play/socket HTTP/1.1\" 101 ");
}

TEST(WebSocket, OnlyPagesOfTheServersOwnOriginOrAllowedOnesMayOpenIt) {
  RankingServer server({"--allow-origin", "https://games.example.org", "--allow-origin", "http://club.example:8000/"});
  std::string own = "http://127.0.0.1:" + std::to_string(server.Port());
  struct Case {
    std::string host, origin;
    int status;
  };
  const Case cases[] = {
      {"127.0.0.1:" + std::to_string(server.Port()), own, 101},
      {"127.0.0.1:" + std::to_string(server.Port()), "HTTP://127.0.0.1:" + std::to_string(server.Port()), 101},
      {"ranking.example", "http://ranking.example", 101},
      {"Ranking.Example:80", "http://ranking.example", 101},
      {"ranking.example", "https://ranking.example", 101},  // behind a TLS proxy
      {"ranking.example", "https://games.example.org", 101},
      {"ranking.example", "http://club.example:8000", 101},
      {"ranking.example", "", 101},  // no browser: no page to speak of
      {"ranking.example", "http://evil.example", 403},
      {"ranking.example", "http://ranking.example.evil.example", 403},
      {"ranking.example", "http://ranking.example:8080", 403},
      {"ranking.example:8080", "http://ranking.example", 403},
      {"ranking.example", "https://games.example.org:444", 403},
      {"ranking.example", "http://games.example.org", 403},
      {"ranking.example", "null", 403},
      {"ranking.example", "file://", 403},
      {"ranking.example", "ftp://ranking.example", 403},
  };
  for (const Case& c : cases) {
    std::string request = UpgradeRequest(server.Port(), c.origin.empty() ? "" : "Origin: " + c.origin + "\r\n");
    request = std::regex_replace(request, std::regex("Host: [^\r]*"), "Host: " + c.host);
    RawConnection connection(server.Port());
    connection.Send(request);
    std::string reply = connection.Receive(seconds(5));
    EXPECT_EQ(StatusOf(reply), c.status) << c.host << " " << c.origin << "\n" << reply;
  }
  server.LogOnceItHas("websocket-origin");
  RankingServer any({"--allow-origin", "*"});
  EXPECT_EQ(StatusOf(SocketClient(any.Port(), "127.0.0.1", "Origin: http://evil.example\r\n").Handshake()), 101);
}

TEST(WebSocket, TheGamesEntryIsStoredAndAnsweredExactlyAsOverTcp) {
  std::string name = app::Sjis(u8"山田 &ﾀﾛｰ"), comment = app::Sjis(u8"a=b&c 表示");
  int score = 4321;
  std::string bytes =
      GameBytes(std::string(kRankingPath) + "?command=entry&name=" + name + "&score=" + std::to_string(score) +
                "&pass_s=" + std::to_string(game::CheckValueOf(score)) + "&comment=" + comment + "*");
  ASSERT_NE(bytes.find(" HTTP/1.0\r\n"), std::string::npos) << bytes;

  RankingServer over_tcp, over_socket;
  std::string tcp_reply = Exchange(over_tcp.Port(), bytes, "127.0.0.9");
  ASSERT_EQ(StatusOf(tcp_reply), 200) << tcp_reply;

  SocketClient client(over_socket.Port(), "127.0.0.9",
                      "Origin: http://127.0.0.1:" + std::to_string(over_socket.Port()) + "\r\n");
  ASSERT_EQ(StatusOf(client.Handshake()), 101);
  // A stream has no message boundaries: the bytes in three messages, one of them in two frames.
  std::size_t third = bytes.size() / 3;
  ASSERT_TRUE(client.Send(Binary(bytes.substr(0, 5))));
  ASSERT_TRUE(client.Send(Binary(bytes.substr(5, third), false) + Continuation(bytes.substr(5 + third, third))));
  ASSERT_TRUE(client.Send(Binary(bytes.substr(5 + 2 * third))));
  int close_code = 0;
  std::string socket_reply = client.ReadToClose(close_code);
  EXPECT_EQ(close_code, 1000);
  EXPECT_TRUE(client.ClosedWithin(seconds(5)));
  EXPECT_EQ(WithoutDate(socket_reply), WithoutDate(tcp_reply));

  auto rows = Rows(over_socket.Db());
  EXPECT_EQ(rows, Rows(over_tcp.Db()));
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0], U8String(u8"山田 &ﾀﾛｰ|4321|a=b&c 表示|127.0.0.9|"));
  std::string log = over_socket.LogOnceItHas("stored");
  EXPECT_NE(log.find("127.0.0.9 - - ["), std::string::npos) << log;
}

TEST(WebSocket, ABadFrameClosesWithTheCodeThatSaysWhy) {
  RankingServer server;
  struct Case {
    std::string what, frames;
    int code;
  };
  const Case cases[] = {
      {"unmasked", ClientFrame(0x82, "GET /", false), 1002},
      {"text", ClientFrame(0x81, "GET /"), 1003},
      {"opcode 3", ClientFrame(0x83, "x"), 1002},
      {"opcode 11", ClientFrame(0x8B, ""), 1002},
      {"reserved bit", ClientFrame(0xC2, "x"), 1002},
      {"continuation first", Continuation("x"), 1002},
      {"binary within a message", Binary("a", false) + Binary("b"), 1002},
      {"fragmented ping", ClientFrame(0x09, "p"), 1002},
      {"long ping", ClientFrame(0x89, std::string(126, 'p')), 1002},
      {"close of one byte", ClientFrame(0x88, "x"), 1002},
      {"close code 1005", ClientFrame(0x88, "\x03\xED"), 1002},
      {"length not in its shortest form", std::string("\x82\xFE\x00\x01", 4) + "abcdx", 1002},
      {"frame over the limit", ClientFrame(0x82, "", true, server::kMaxFramePayload + 1).substr(0, 8), 1009},
      {"64-bit length", ClientFrame(0x82, "", true, 1ull << 40).substr(0, 14), 1009},
      // Of blank lines, which the request reader passes over as it waits for a request line.
      {"message over the limit",
       [] {
         std::string frames = Binary(std::string(server::kMaxFramePayload, '\n'), false);
         for (std::size_t sent = server::kMaxFramePayload; sent < server::kMaxMessageBytes;
              sent += server::kMaxFramePayload)
           frames += Continuation(std::string(server::kMaxFramePayload, '\n'), false);
         return frames + Continuation("\n");
       }(),
       1009},
  };
  for (const Case& c : cases) {
    SocketClient client(server.Port());
    ASSERT_EQ(StatusOf(client.Handshake()), 101);
    client.Send(c.frames);
    int code = 0;
    std::string bytes = client.ReadToClose(code);
    EXPECT_EQ(code, c.code) << c.what;
    EXPECT_EQ(bytes, "") << c.what;  // no request was handled
    EXPECT_TRUE(client.ClosedWithin(seconds(5))) << c.what;
  }
  server.LogOnceItHas("websocket-close-1009");
  EXPECT_EQ(Rows(server.Db()).size(), 0u);
}

TEST(WebSocket, PingsArePongedEvenWithinAMessageAndTheClosingHandshakeIsAnswered) {
  RankingServer server;
  SocketClient client(server.Port());
  ASSERT_EQ(StatusOf(client.Handshake()), 101);
  client.Send(ClientFrame(0x89, "are you there"));
  ServerFrame pong = client.Next();
  EXPECT_EQ(pong.opcode, 0xA);
  EXPECT_TRUE(pong.fin);
  EXPECT_EQ(pong.payload, "are you there");

  // Between the frames of a message; the pong comes at once, the reply after the last frame.
  std::string request = GameRequest(std::string(kRankingPath) + "?format=json");
  client.Send(Binary(request.substr(0, 10), false) + ClientFrame(0x89, "") +
              Continuation(request.substr(10, 10), false));
  pong = client.Next();
  EXPECT_EQ(pong.opcode, 0xA);
  EXPECT_EQ(pong.payload, "");
  client.Send(ClientFrame(0x8A, "unasked pong") + Continuation(request.substr(20)));
  int code = 0;
  std::string reply = client.ReadToClose(code);
  EXPECT_EQ(StatusOf(reply), 200) << reply;
  EXPECT_EQ(BodyOf(reply), "{\"entries\":[\n],\"period\":\"all\"}\n");
  EXPECT_EQ(code, 1000);

  // The client closes first: its close is answered, and the connection ends.
  SocketClient closing(server.Port());
  closing.Send(ClientFrame(0x88,
                           "\x03\xE8"
                           "bye"));
  ServerFrame close = closing.Next();
  EXPECT_EQ(close.opcode, 0x8);
  EXPECT_EQ(close.payload, "\x03\xE8");
  EXPECT_TRUE(closing.ClosedWithin(seconds(5)));

  // A keep-alive request is answered without closing, as over TCP.
  SocketClient keeping(server.Port());
  keeping.Send(Binary("GET " + std::string(kRankingPath) + " HTTP/1.1\r\nHost: a\r\n\r\n"));
  ServerFrame page = keeping.Next();
  EXPECT_EQ(page.opcode, 0x2);
  EXPECT_EQ(StatusOf(page.payload), 200);
  EXPECT_EQ(keeping.Next(milliseconds(300)).opcode, -1);
  keeping.Send(Binary(request));
  keeping.ReadToClose(code);
  EXPECT_EQ(code, 1000);
}

TEST(WebSocket, ItsConnectionsCountAgainstTheSameLimits) {
  RankingServer server({"--max-per-address", "1"});
  SocketClient client(server.Port(), "127.0.0.3");
  ASSERT_EQ(StatusOf(client.Handshake()), 101);
  // In the middle of a request it holds the address's one slot, against TCP and WebSockets alike.
  client.Send(Binary("GET " + std::string(kRankingPath)));
  std::this_thread::sleep_for(milliseconds(200));
  EXPECT_EQ(StatusOf(Exchange(server.Port(), GameRequest(kRankingPath), "127.0.0.3")), 503);
  EXPECT_EQ(StatusOf(SocketClient(server.Port(), "127.0.0.3").Handshake()), 503);
  EXPECT_EQ(StatusOf(Exchange(server.Port(), GameRequest(kRankingPath), "127.0.0.4")), 200);
  client.Send(Binary(" HTTP/1.0\r\n\r\n"));
  int code = 0;
  EXPECT_EQ(StatusOf(client.ReadToClose(code)), 200);

  // The rate of entries is the address's, over TCP or a WebSocket.
  RankingServer limited;
  for (int i = 0; i < 10; ++i)
    EXPECT_EQ(
        StatusOf(Exchange(limited.Port(),
                          EntryRequest("p" + std::to_string(i), "100", std::to_string(game::CheckValueOf(100)), "c"),
                          "127.0.0.5")),
        200);
  SocketClient eleventh(limited.Port(), "127.0.0.5");
  eleventh.Send(Binary(EntryRequest("p10", "100", std::to_string(game::CheckValueOf(100)), "c")));
  EXPECT_EQ(StatusOf(eleventh.ReadToClose(code)), 429);

  // A message as large as it may be.
  SocketClient largest(server.Port(), "127.0.0.7");
  std::string frames;
  for (std::size_t sent = 0; sent < server::kMaxMessageBytes; sent += server::kMaxFramePayload)
    frames += sent == 0 ? Binary(std::string(server::kMaxFramePayload, '\n'), false)
                        : Continuation(std::string(server::kMaxFramePayload, '\n'),
                                       sent + server::kMaxFramePayload >= server::kMaxMessageBytes);
  largest.Send(frames + Binary(GameRequest(kRankingPath)));
  EXPECT_EQ(StatusOf(largest.ReadToClose(code)), 200);
  EXPECT_EQ(code, 1000);

  // A head too large for the server is refused as over TCP.
  SocketClient flooding(server.Port(), "127.0.0.6");
  flooding.Send(Binary("GET /" + std::string(9000, 'a')));
  EXPECT_EQ(StatusOf(flooding.ReadToClose(code)), 431);
  EXPECT_EQ(code, 1000);
}

TEST(WebSocket, BehindTheHttpProxyItCountsForTheClientTheUpgradeWasForwardedFor) {
  RankingServer server({"--trusted-http-proxy", "127.0.0.1", "--max-per-address", "1"});
  std::string forwarded = "X-Forwarded-For: 203.0.113.8\r\n";
  SocketClient first(server.Port(), "127.0.0.1", forwarded);
  ASSERT_EQ(StatusOf(first.Handshake()), 101);
  first.Send(Binary("GET " + std::string(kRankingPath)));  // under way: not idle
  std::this_thread::sleep_for(milliseconds(200));
  // The client's one slot is taken; another client through the same proxy still gets in.
  EXPECT_EQ(StatusOf(SocketClient(server.Port(), "127.0.0.1", forwarded).Handshake()), 503);
  SocketClient other(server.Port(), "127.0.0.1", "X-Forwarded-For: 203.0.113.9\r\n");
  ASSERT_EQ(StatusOf(other.Handshake()), 101);
  // Within the WebSocket the header is the client's own word.
  std::string entry = EntryRequest("fwd", "100", std::to_string(game::CheckValueOf(100)), "c");
  entry.insert(entry.size() - 2, "X-Forwarded-For: 198.51.100.1\r\n");
  other.Send(Binary(entry));
  int code = 0;
  EXPECT_EQ(StatusOf(other.ReadToClose(code)), 200);
  first.Send(Binary(" HTTP/1.0\r\n\r\n"));
  EXPECT_EQ(StatusOf(first.ReadToClose(code)), 200);
  auto rows = Rows(server.Db());
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0], "fwd|100|c|203.0.113.9|");
  server.LogOnceItHas("\n203.0.113.8 - - [");
}

TEST(WebSocket, AStoppingServerSaysItIsGoingAway) {
  RankingServer server;
  SocketClient idle(server.Port());
  ASSERT_EQ(StatusOf(idle.Handshake()), 101);
  EXPECT_EQ(server.Stop(SIGTERM), 0);
  ServerFrame close = idle.Next();
  EXPECT_EQ(close.opcode, 0x8);
  EXPECT_EQ(close.payload, "\x03\xE9");  // 1001
}

// Behind nginx as an HTTP proxy, set up as the README says (without TLS).
TEST(WebSocket, PassesAnHttpProxyWithTheClientsAddress) {
  ASSERT_TRUE(std::filesystem::exists("/usr/sbin/nginx")) << "scripts/install-deps.sh test installs nginx";
  RankingServer server({"--trusted-http-proxy", "127.0.0.1"});
  testing_support::ScopedTempDir dir;
  std::string d = dir.Path().string();
  std::string upstream = "http://127.0.0.1:" + std::to_string(server.Port());
  const std::string headers =
      "    proxy_set_header Host $http_host;\n"
      "    proxy_set_header X-Forwarded-For $remote_addr;\n";
  std::random_device rd;
  testing_support::ChildProcess nginx;
  unsigned short port = 0;
  for (int attempt = 0; attempt < 20 && port == 0; ++attempt) {
    unsigned short candidate = static_cast<unsigned short>(20000 + rd() % 40000);
    testing_support::WriteFile(
        "nginx.conf", "daemon off;\nmaster_process off;\nerror_log " + d + "/error.log;\npid " + d +
                          "/nginx.pid;\nevents {}\nhttp {\n  access_log off;\n  server {\n"
                          "  listen 127.0.0.1:" + std::to_string(candidate) + ";\n"
                          "  location /play/ {\n    proxy_pass " + upstream + ";\n" + headers + "  }\n"
                          "  location = /play/socket {\n    proxy_pass " + upstream + ";\n"
                          "    proxy_http_version 1.1;\n"
                          "    proxy_set_header Upgrade $http_upgrade;\n"
                          "    proxy_set_header Connection \"upgrade\";\n" + headers + "  }\n  }\n}\n");
    nginx.Start({"/usr/sbin/nginx", "-p", d, "-c", d + "/nginx.conf", "-e", d + "/error.log"}, {}, "",
                d + "/nginx.out");
    bool up = testing_support::WaitUntil([&] { return !nginx.Running() || Reachable(candidate); }, seconds(10));
    if (up && nginx.Running()) port = candidate;
  }
  ASSERT_NE(port, 0) << testing_support::ReadFile("error.log");

  // The page's origin is the proxy's; the server sees the Host the browser sent.
  SocketClient client(port, "127.0.0.7", "Origin: http://127.0.0.1:" + std::to_string(port) + "\r\n");
  ASSERT_EQ(StatusOf(client.Handshake()), 101) << client.Handshake();
  client.Send(Binary(EntryRequest("nginx", "77", std::to_string(game::CheckValueOf(77)), "c")));
  int code = 0;
  std::string reply = client.ReadToClose(code);
  EXPECT_EQ(StatusOf(reply), 200) << reply;
  EXPECT_EQ(code, 1000);
  auto rows = Rows(server.Db());
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0], "nginx|77|c|127.0.0.7|");
  // Another site's page is still refused through it.
  EXPECT_EQ(StatusOf(SocketClient(port, "127.0.0.7", "Origin: http://evil.example\r\n").Handshake()), 403);
  nginx.Signal(SIGTERM);
  EXPECT_TRUE(nginx.Wait(seconds(10)));
}

}  // namespace
}  // namespace ranking_test
