#pragma once
// The ranking server: options, and the event loop that serves the page and takes the entries.
#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace server {

struct Options {
  std::string listen_host = "127.0.0.1";
  unsigned short listen_port = 8080;
  std::string db_path = "ranking.db";
  std::size_t max_connections = 512;
  // Connections from this address come through a proxy; their client address is the source of
  // a PROXY protocol line or else the last one of X-Forwarded-For. Empty: none.
  std::string trusted_proxy;
  std::chrono::seconds read_deadline{10};
};

inline constexpr const char* kUsage =
    "Usage: velkor-ranking [--listen ADDR:PORT] [--db FILE] [--max-connections N] [--trusted-proxy ADDR]\n"
    "\n"
    "Serves a Velkor internet ranking: takes the high scores the game sends and shows the\n"
    "ranking page that the game's browser button opens.\n"
    "\n"
    "  --listen ADDR:PORT      address and port to listen on (default 127.0.0.1:8080; an IPv6\n"
    "                          address goes in brackets, [::]:8080; port 0 takes a free port)\n"
    "  --db FILE               SQLite database of the entries (default ranking.db in the current\n"
    "                          directory; created with its tables on first start)\n"
    "  --max-connections N     open connections at most (default 512); more are answered 503\n"
    "  --trusted-proxy ADDR    the address of a proxy in front of the server: for its connections\n"
    "                          the client is the source of a PROXY protocol line (TCP proxy), or\n"
    "                          else the last address of X-Forwarded-For (HTTP proxy)\n"
    "  --help                  show this text\n"
    "\n"
    "SIGTERM, SIGINT, SIGHUP or SIGQUIT stop the server after the entries under way are stored\n"
    "and answered; a second one stops it at once.\n"
    "Each request writes one access-log line to standard error. Started by a service manager\n"
    "with a listening socket (LISTEN_PID and LISTEN_FDS set), it serves that socket, descriptor 3,\n"
    "instead of --listen.\n";

// Reads the command line. Nothing, with `error` set, when it is not understood; `help` is set
// for --help.
std::optional<Options> ParseOptions(const std::vector<std::string>& args, bool& help, std::string& error);

// Opens the database, listens and serves until a stopping signal (SIGTERM, SIGINT, SIGHUP or
// SIGQUIT). Writes "listening on ADDR:PORT" to standard error once it accepts connections.
// Returns the exit status.
int RunServer(const Options& options);

}  // namespace server
