// The web build's files at /play/, served by the real server from a directory of the test's.
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <filesystem>
#include <random>
#include <thread>

#include "ranking_fixture.h"
#include "support/harness.h"

namespace ranking_test {
namespace {

namespace fs = std::filesystem;
using testing_support::WriteFile;

constexpr const char* kSecret = "the-secret-beside-the-web-directory";

// A directory with a web build in web/ and, beside it, a file that must never be served.
class WebFiles : public ::testing::Test {
 protected:
  WebFiles() {
    std::random_device rd;
    dir = fs::temp_directory_path() / ("velkor-web-test-" + std::to_string(getpid()) + "-" + std::to_string(rd()));
    web = dir / "web";
    fs::create_directories(web / "sub");
    WriteFile(dir / "secret.txt", kSecret);
    std::string page = "<!doctype html><title>Velkor</title>\n";
    for (int i = 0; i < 20; ++i) page += "<p>The game's page, line " + std::to_string(i) + ".</p>\n";
    WriteFile(web / "index.html", page + "<script src=\"velkor.js\"></script>\n");
    std::string script;
    for (int i = 0; i < 400; ++i) script += "Module.print('line " + std::to_string(i) + "');\n";
    WriteFile(web / "velkor.js", script);
    WriteFile(web / "velkor.wasm", std::string("\0asm\1\0\0\0", 8) + std::string(3000, '\0'));
    WriteFile(web / "velkor.data", std::string(5000, 'd'));
    WriteFile(web / "style.css", "body { background: black; }\n");
    WriteFile(web / "manifest.json", "{\"name\": \"Velkor\"}\n");
    WriteFile(web / "icon.png", std::string("\x89PNG\r\n\x1a\n", 8) + std::string(200, 'p'));
    WriteFile(web / "favicon.ico", std::string(300, 'i'));
    WriteFile(web / "font.ttf", std::string(3000, 't'));
    WriteFile(web / "font.woff2", std::string(3000, 'w'));
    WriteFile(web / "sub" / "page.html", "<p>sub</p>\n");
    WriteFile(web / ".hidden", kSecret);
    fs::create_symlink("../secret.txt", web / "leak");
    fs::create_symlink("..", web / "up");
    fs::create_symlink("index.html", web / "same.html");  // a link that stays inside is followed
  }
  ~WebFiles() override {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }

  static std::string Get(unsigned short port, const std::string& target, const std::string& headers = "",
                         const std::string& method = "GET") {
    return Exchange(port,
                    method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" + headers + "\r\n");
  }

  fs::path dir, web;
};

// The head from the line after Date on.
std::string HeadersAfterDate(const std::string& reply) {
  std::size_t from = reply.find("\r\nContent-Type");
  return from == std::string::npos ? std::string() : reply.substr(from, reply.find("\r\n\r\n") - from);
}

std::string Gunzip(const std::string& data) {
  z_stream z{};
  EXPECT_EQ(inflateInit2(&z, 15 + 16), Z_OK);
  std::string out(1 << 20, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(inflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  inflateEnd(&z);
  return out;
}

TEST_F(WebFiles, NoRequestReachesAFileOutsideTheWebDirectory) {
  RankingServer server({"--web", web.string()});
  struct Case {
    std::string target;
    int status;
  };
  const Case cases[] = {
      {"/play/../secret.txt", 400},
      {"/play/sub/../../secret.txt", 400},
      {"/play/%2e%2e/secret.txt", 400},
      {"/play/%2E%2E/secret.txt", 400},
      {"/play/.%2e/secret.txt", 400},
      {"/play/..%2fsecret.txt", 400},
      {"/play/%2e%2e%2fsecret.txt", 400},
      {"/play/..%5csecret.txt", 400},
      {"/play/..\\secret.txt", 400},
      {"/play/sub\\..\\..\\secret.txt", 400},
      {"/play/%252e%252e/secret.txt", 400},
      {"/play/%25%32%65%25%32%65/secret.txt", 400},
      {"/play/index.html%00.png", 400},
      {"/play/%00", 400},
      {"/play/index.html%0d%0aX-Injected: 1", 400},
      {"/play/%", 400},
      {"/play/%2", 400},
      {"/play/%zz", 400},
      {"/play//etc/passwd", 400},
      {"/play/./index.html", 400},
      {"/play/sub/.", 400},
      {"http://127.0.0.1/play/../secret.txt", 400},
      {"/play/%c0%ae%c0%ae/secret.txt", 404},  // an overlong "." is no "."
      {"/play/leak", 404},                     // a link out of the directory
      {"/play/up/secret.txt", 404},            // through a linked directory
      {"/play/.hidden", 404},
      {"/play/%2ehidden", 404},
      {"/play/sub", 404},  // a directory is not a file
      {"/play/nothing.js", 404},
      {"/playsecret.txt", 404},
  };
  for (const Case& c : cases) {
    std::string reply = Get(server.Port(), c.target);
    EXPECT_EQ(StatusOf(reply), c.status) << c.target << "\n" << reply;
    EXPECT_EQ(reply.find(kSecret), std::string::npos) << c.target;
    EXPECT_EQ(reply.find("X-Injected"), std::string::npos) << c.target;
  }
  // Still serving after all that, and a link that stays inside is followed.
  EXPECT_EQ(StatusOf(Get(server.Port(), "/play/same.html")), 200);
  EXPECT_EQ(StatusOf(Get(server.Port(), "/play/up/web/index.html")), 200);  // out and back in
  EXPECT_EQ(StatusOf(Get(server.Port(), "/play/sub/page.html")), 200);
  EXPECT_EQ(StatusOf(Get(server.Port(), "/play/%69ndex.html")), 200);
}

TEST_F(WebFiles, EachTypeIsNamedAndHeadGetsTheHeadersOfAGet) {
  RankingServer server({"--web", web.string()});
  struct Case {
    std::string file, type;
  };
  const Case cases[] = {
      {"index.html", "text/html; charset=utf-8"},
      {"velkor.js", "text/javascript; charset=utf-8"},
      {"velkor.wasm", "application/wasm"},
      {"velkor.data", "application/octet-stream"},
      {"style.css", "text/css; charset=utf-8"},
      {"manifest.json", "application/json"},
      {"icon.png", "image/png"},
      {"favicon.ico", "image/vnd.microsoft.icon"},
      {"font.ttf", "font/ttf"},
      {"font.woff2", "font/woff2"},
  };
  for (const Case& c : cases) {
    std::string content = testing_support::ReadFile(web / c.file);
    std::string get = Get(server.Port(), "/play/" + c.file);
    EXPECT_EQ(StatusOf(get), 200) << c.file;
    EXPECT_EQ(HeaderOf(get, "Content-Type"), c.type) << c.file;
    EXPECT_EQ(HeaderOf(get, "Content-Length"), std::to_string(content.size())) << c.file;
    EXPECT_EQ(HeaderOf(get, "X-Content-Type-Options"), "nosniff");
    EXPECT_TRUE(BodyOf(get) == content) << c.file;
    std::string head = Get(server.Port(), "/play/" + c.file, "", "HEAD");
    EXPECT_EQ(StatusOf(head), 200) << c.file;
    EXPECT_EQ(HeadersAfterDate(head), HeadersAfterDate(get)) << c.file;
    EXPECT_EQ(BodyOf(head), "") << c.file;
  }
  // The directory's page, and the directory without its slash sent to it, query and all.
  std::string index = Get(server.Port(), "/play/");
  EXPECT_EQ(StatusOf(index), 200);
  EXPECT_EQ(BodyOf(index), testing_support::ReadFile(web / "index.html"));
  std::string moved = Get(server.Port(), "/play?from=ranking");
  EXPECT_EQ(StatusOf(moved), 301);
  EXPECT_EQ(HeaderOf(moved, "Location"), "/play/?from=ranking");
  EXPECT_EQ(HeaderOf(Get(server.Port(), "/play"), "Location"), "/play/");
  // Only GET and HEAD.
  EXPECT_EQ(StatusOf(Get(server.Port(), "/play/index.html", "", "POST")), 405);
}

TEST_F(WebFiles, CompressedForAClientThatTakesGzip) {
  RankingServer server({"--web", web.string()});
  for (std::string file : {"velkor.js", "velkor.wasm", "velkor.data", "index.html", "font.ttf"}) {
    std::string content = testing_support::ReadFile(web / file);
    std::string reply = Get(server.Port(), "/play/" + file, "Accept-Encoding: deflate, gzip;q=0.8, br\r\n");
    EXPECT_EQ(StatusOf(reply), 200) << file;
    EXPECT_EQ(HeaderOf(reply, "Content-Encoding"), "gzip") << file;
    EXPECT_EQ(HeaderOf(reply, "Vary"), "Accept-Encoding") << file;
    EXPECT_LT(BodyOf(reply).size(), content.size()) << file;
    EXPECT_EQ(HeaderOf(reply, "Content-Length"), std::to_string(BodyOf(reply).size())) << file;
    EXPECT_TRUE(Gunzip(BodyOf(reply)) == content) << file;
    // A HEAD says what the GET would send.
    std::string head = Get(server.Port(), "/play/" + file, "Accept-Encoding: gzip\r\n", "HEAD");
    EXPECT_EQ(HeaderOf(head, "Content-Length"), std::to_string(BodyOf(reply).size())) << file;
    // Refused, or not asked for: as it is, and still varying by the header.
    for (std::string refusing : {"", "Accept-Encoding: gzip;q=0\r\n", "Accept-Encoding: identity\r\n",
                                 "Accept-Encoding: *;q=1, gzip;q=0.000\r\n"}) {
      std::string plain = Get(server.Port(), "/play/" + file, refusing);
      EXPECT_EQ(HeaderOf(plain, "Content-Encoding"), "") << file << " " << refusing;
      EXPECT_EQ(HeaderOf(plain, "Vary"), "Accept-Encoding") << file;
      EXPECT_TRUE(BodyOf(plain) == content) << file << " " << refusing;
    }
  }
  // Compressed pictures gain nothing.
  std::string png = Get(server.Port(), "/play/icon.png", "Accept-Encoding: gzip\r\n");
  EXPECT_EQ(HeaderOf(png, "Content-Encoding"), "");
  EXPECT_EQ(BodyOf(png), testing_support::ReadFile(web / "icon.png"));
}

TEST_F(WebFiles, ABrowserRevalidatesAndANewReleaseReplacesTheOld) {
  RankingServer server({"--web", web.string()});
  for (std::string encoding : {"", "Accept-Encoding: gzip\r\n"}) {
    std::string first = Get(server.Port(), "/play/velkor.js", encoding);
    std::string etag = HeaderOf(first, "ETag");
    ASSERT_FALSE(etag.empty());
    EXPECT_EQ(HeaderOf(first, "Cache-Control"), "no-cache");
    // Unchanged: 304, with the length of the body it does not send.
    for (std::string match : {etag, "\"other\", " + etag, "W/" + etag, std::string("*")}) {
      std::string again = Get(server.Port(), "/play/velkor.js", encoding + "If-None-Match: " + match + "\r\n");
      EXPECT_EQ(StatusOf(again), 304) << match;
      EXPECT_EQ(BodyOf(again), "") << match;
      EXPECT_EQ(HeaderOf(again, "ETag"), etag);
      EXPECT_EQ(HeaderOf(again, "Content-Length"), HeaderOf(first, "Content-Length"));
    }
    EXPECT_EQ(StatusOf(Get(server.Port(), "/play/velkor.js", encoding + "If-None-Match: \"other\"\r\n")), 200);
  }
  // The two forms have tags of their own, so a cache never takes one for the other.
  EXPECT_NE(HeaderOf(Get(server.Port(), "/play/velkor.js"), "ETag"),
            HeaderOf(Get(server.Port(), "/play/velkor.js", "Accept-Encoding: gzip\r\n"), "ETag"));

  std::string old_tag = HeaderOf(Get(server.Port(), "/play/velkor.js"), "ETag");
  // A new release written over the old: same size, same time, other bytes.
  auto when = fs::last_write_time(web / "velkor.js");
  std::string next = testing_support::ReadFile(web / "velkor.js");
  next[0] = 'X';
  WriteFile(web / "velkor.js", next);
  fs::last_write_time(web / "velkor.js", when);
  std::string after = Get(server.Port(), "/play/velkor.js", "If-None-Match: " + old_tag + "\r\n");
  EXPECT_EQ(StatusOf(after), 200);
  EXPECT_NE(HeaderOf(after, "ETag"), old_tag);
  EXPECT_TRUE(BodyOf(after) == next);
  // And a file removed is gone.
  fs::remove(web / "velkor.js");
  EXPECT_EQ(StatusOf(Get(server.Port(), "/play/velkor.js")), 404);
}

TEST_F(WebFiles, WithoutAWebBuildThePageSaysSoAndTheRankingRuns) {
  RankingServer server({"--web", (dir / "missing").string()});
  std::string reply = Get(server.Port(), "/play/");
  EXPECT_EQ(StatusOf(reply), 404);
  EXPECT_EQ(HeaderOf(reply, "Content-Type"), "text/html; charset=Shift_JIS");
  EXPECT_NE(server.Log().find("no web build in " + (dir / "missing").string()), std::string::npos) << server.Log();
  server.LogOnceItHas("\"GET /play/ HTTP/1.1\" 404 ");
  EXPECT_NE(server.Log().find("no-web-build"), std::string::npos);
  EXPECT_EQ(StatusOf(Exchange(server.Port(), GameRequest(kRankingPath))), 200);
  // The files put there later are served at once.
  fs::create_symlink(web, dir / "missing");
  EXPECT_EQ(StatusOf(Get(server.Port(), "/play/")), 200);
}

TEST_F(WebFiles, EachRequestIsLoggedAndCountsAgainstTheSameLimits) {
  RankingServer server({"--web", web.string(), "--max-per-address", "1"});
  // A connection in the middle of its request holds the address's one slot.
  RawConnection holder(server.Port(), "127.0.0.7");
  ASSERT_TRUE(holder.Send("GET /play/index.html HTTP/1.1\r\nHost: a\r\n"));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(
      StatusOf(Exchange(server.Port(), "GET /play/ HTTP/1.1\r\nHost: a\r\nConnection: close\r\n\r\n", "127.0.0.7")),
      503);
  ASSERT_TRUE(holder.Send("\r\n"));
  EXPECT_EQ(StatusOf(holder.Receive(std::chrono::seconds(5))), 200);
  server.LogOnceItHas("127.0.0.7 - - [");
  std::string log = server.LogOnceItHas("\"GET /play/index.html HTTP/1.1\" 200 ");
  EXPECT_NE(log.find("too-many-from-address"), std::string::npos) << log;
}

}  // namespace
}  // namespace ranking_test
