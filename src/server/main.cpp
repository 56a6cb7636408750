// velkor-ranking: the server end of the game's internet ranking.
#include <cstdio>
#include <string>
#include <vector>

#include "server/server.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
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
  return server::RunServer(*options);
}
