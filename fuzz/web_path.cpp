// Fuzzes how the server reads the path of a request for the web build's files: whatever it
// holds, a path taken for a file names one beneath the web directory, by plain names only.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "server/static_files.h"

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  for (std::string path : {input, std::string(server::kWebPath) + "/" + input}) {
    server::WebPath resolved = server::ResolveWebPath(path);
    if (resolved.kind != server::WebPath::Kind::kFile) {
      Check(resolved.relative.empty());
      continue;
    }
    const std::string& r = resolved.relative;
    Check(!r.empty() && r.front() != '/' && r.back() != '/');
    for (char c : r) {
      auto u = static_cast<unsigned char>(c);
      Check(u >= 0x20 && u != 0x7F && c != '\\' && c != '%');
    }
    // Each name is plain: not empty, not "." or "..", not hidden.
    std::size_t start = 0;
    for (;;) {
      std::size_t slash = r.find('/', start);
      std::string_view name = std::string_view(r).substr(start, slash == std::string::npos ? slash : slash - start);
      Check(!name.empty() && name.front() != '.');
      if (slash == std::string::npos) break;
      start = slash + 1;
    }
    // Only the escapes make a path differ from its file's name.
    if (path.find('%') == std::string::npos && !path.ends_with('/'))
      Check(path == std::string(server::kWebPath) + "/" + r);
    server::ContentTypeOf(r);
  }
  return 0;
}
