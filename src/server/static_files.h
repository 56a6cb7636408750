#pragma once
// The web build's files, served at /play/ from a directory of the server's host.
//
// A request's path is outside data: it is decoded once and checked name by name before it comes
// near the file system, and the file is opened so that no symbolic link leads out of the
// directory. Each file is read once per version and kept with its gzip form and its ETag; a
// browser asks again each time (no-cache) and gets a 304 until a new release replaces the file.
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/server_io.h"
#include "server/request.h"

namespace server {

using Body = std::shared_ptr<const std::string>;

// The page at /play/, its files below it.
inline constexpr std::string_view kWebPath = "/play";
// Larger files are not served.
inline constexpr std::size_t kMaxWebFileBytes = 64 << 20;
// What the files kept in memory take at most; past it the memory is given back and refilled.
inline constexpr std::size_t kMaxWebCacheBytes = 256 << 20;

// Whether a request's path (query removed) is one of the web build's.
bool IsWebPath(std::string_view path);

struct WebPath {
  enum class Kind {
    kFile,      // `relative` names it beneath the web directory
    kRedirect,  // the directory without its slash
    kBad,       // a path no file can have: "..", an encoded slash, a NUL, a control, a backslash...
    kNotFound,  // a name no file is served by: hidden ones
  };
  Kind kind = Kind::kBad;
  std::string relative;  // names joined by '/'; index.html for a directory
};
// Reads the path of a request for the web build (starting with kWebPath): percent-escapes are
// decoded once, and the names checked.
WebPath ResolveWebPath(std::string_view path);

// By the file name's extension; application/octet-stream for one not known.
std::string_view ContentTypeOf(std::string_view name);
// Whether the file's type gains from gzip (not pictures and fonts already compressed).
bool Compressible(std::string_view name);
// Whether an Accept-Encoding value takes gzip.
bool AcceptsGzip(std::string_view accept_encoding);
// Whether an If-None-Match value names `etag` (compared weakly) or is "*".
bool EtagMatches(std::string_view if_none_match, std::string_view etag);
// The gzip form of `data`.
std::string Gzip(std::string_view data);

struct StaticReply {
  int status = 404;
  Body body;              // for a 304, the body a 200 would carry: its length is sent, not it
  std::string_view type;  // Content-Type
  std::string_view note;  // for the access log
  std::string extra;      // more header lines, each ending in CR LF
};

class StaticFiles {
 public:
  explicit StaticFiles(std::string root);
  const std::string& Root() const { return root_; }
  // Answers a GET or HEAD of `path` (IsWebPath) with `query` (after '?', if any).
  StaticReply Answer(std::string_view path, std::string_view query, const RequestHead& head);

 private:
  struct Cached {
    platform::FileStamp stamp;
    Body plain, gzip;  // gzip: nothing when it would not be smaller, or the type does not gain
    std::string etag;  // of the plain form, quoted; the gzip form's ends in "-gzip"
  };
  StaticReply Page(int status, const Body& body, std::string_view note) const;

  std::string root_;
  std::unordered_map<std::string, Cached> cache_;
  std::size_t cached_bytes_ = 0;
  Body missing_page_, not_found_page_, bad_page_, failed_page_, too_large_page_, moved_page_;
};

}  // namespace server
