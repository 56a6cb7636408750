#pragma once
// The ranking server: options, and the event loop that serves the page and takes the entries.
#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#ifndef VELKOR_RANKING_WEB_DIR
#define VELKOR_RANKING_WEB_DIR "/usr/share/velkor-ranking/web"
#endif

namespace server {

struct Options {
  std::string listen_host = "127.0.0.1";
  unsigned short listen_port = 8080;
  std::string db_path = "ranking.db";
  std::size_t max_connections = 512;
  // Of them, so many at most from one client address (an IPv6 one by its /64): enough for a few
  // browsers behind one address, while one address alone cannot hold more than a sixteenth of
  // the default slots.
  std::size_t max_per_address = 32;
  // After so many requests a connection is closed, and others get its slot.
  std::size_t max_requests_per_connection = 100;
  // A TCP proxy in front: its connections begin with a PROXY protocol line that names the
  // client. Empty: none.
  std::string trusted_proxy;
  // An HTTP proxy in front: the last address of X-Forwarded-For on its connections is the
  // client. Empty: none.
  std::string trusted_http_proxy;
  std::chrono::seconds read_deadline{10};
  // --version: print kVersion and exit.
  bool show_version = false;
  // The web build's files, served at /play/.
  std::string web_dir = VELKOR_RANKING_WEB_DIR;
  // The origins (scheme://host[:port]) of other sites whose pages may open the WebSocket; "*":
  // any. A page of the server's own origin always may.
  std::vector<std::string> allowed_origins;
};

inline constexpr const char* kVersion = "velkor-ranking 1.12\n";

inline constexpr const char* kUsage =
    "Usage: velkor-ranking [--listen ADDR:PORT] [--db FILE] [--max-connections N] [--max-per-address N]\n"
    "                      [--max-requests-per-connection N] [--trusted-proxy ADDR]\n"
    "                      [--trusted-http-proxy ADDR] [--web DIR] [--allow-origin ORIGIN]...\n"
    "       velkor-ranking admin COMMAND ... [--db FILE]   (see velkor-ranking admin --help)\n"
    "       velkor-ranking --help | --version\n"
    "\n"
    "Serves a Velkor internet ranking: takes the high scores the game sends and shows the\n"
    "ranking page that the game's browser button opens, and the game's web build, which reaches\n"
    "the ranking over a WebSocket.\n"
    "\n"
    "  --listen ADDR:PORT      address and port to listen on (default 127.0.0.1:8080; an IPv6\n"
    "                          address goes in brackets, [::]:8080; port 0 takes a free port)\n"
    "  --db FILE               SQLite database of the entries (default ranking.db in the current\n"
    "                          directory; created with its tables on first start)\n"
    "  --max-connections N     open connections at most (default 512; fewer when the open-files\n"
    "                          limit leaves no room for them); more are answered 503, once idle\n"
    "                          keep-alive connections have been closed to make room\n"
    "  --max-per-address N     open connections at most from one client address, an IPv6 one\n"
    "                          counted by its /64 (default 32); more are answered 503\n"
    "  --max-requests-per-connection N\n"
    "                          requests at most on one keep-alive connection (default 100)\n"
    "  --trusted-proxy ADDR    the address of a TCP proxy in front of the server that begins each\n"
    "                          connection with a PROXY protocol line (version 1): the client is\n"
    "                          its source; without the line, the proxy's own address\n"
    "  --trusted-http-proxy ADDR\n"
    "                          the address of an HTTP proxy in front of the server: on its\n"
    "                          connections the client is the last address of X-Forwarded-For\n"
    "  --web DIR               the web build's files, served at /play/ (default\n"
    "                          " VELKOR_RANKING_WEB_DIR ")\n"
    "  --allow-origin ORIGIN   lets pages of ORIGIN (http://host or https://host:port) open the\n"
    "                          WebSocket at /play/socket, which only the server's own pages may\n"
    "                          otherwise; \"*\" lets any page. May be given more than once\n"
    "  --help                  show this text\n"
    "  --version               show the version and exit\n"
    "\n"
    "SIGTERM, SIGINT, SIGHUP or SIGQUIT stop the server after the entries under way are stored\n"
    "and answered; a second one stops it at once.\n"
    "Each request writes one access-log line to standard error. Started by a service manager\n"
    "with a listening socket (LISTEN_PID and LISTEN_FDS set), it serves that socket, descriptor 3,\n"
    "instead of --listen.\n";

// Reads the command line. Nothing, with `error` set, when it is not understood; `help` is set
// for --help, and show_version for --version (each answered before the rest is read).
std::optional<Options> ParseOptions(const std::vector<std::string>& args, bool& help, std::string& error);

// Opens the database, listens and serves until a stopping signal (SIGTERM, SIGINT, SIGHUP or
// SIGQUIT). Writes "listening on ADDR:PORT" to standard error once it accepts connections.
// Returns the exit status.
int RunServer(const Options& options);

}  // namespace server
