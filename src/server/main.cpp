// velkor-ranking: the server end of the game's internet ranking.
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "server/admin.h"
#include "server/server.h"

int main(int argc, char** argv) {
  // A log reader that goes away must not end the server; writes to it just fail.
  std::signal(SIGPIPE, SIG_IGN);
  std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && args[0] == "admin") return server::RunAdmin({args.begin() + 1, args.end()}, stdout, stderr);
  bool help = false;
  std::string error;
  auto options = server::ParseOptions(args, help, error);
  if (help) {
    std::fputs(server::kUsage, stdout);
    return 0;
  }
  if (!options) {
    std::fprintf(stderr, "velkor-ranking: %s\n\n%s", error.c_str(), server::kUsage);
    return 2;
  }
  if (options->show_version) {
    std::fputs(server::kVersion, stdout);
    return 0;
  }
  return server::RunServer(*options);
}
