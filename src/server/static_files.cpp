#include "server/static_files.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <stdexcept>

#include "server/digest.h"
#include "server/pages.h"

namespace server {
namespace {

constexpr std::size_t kMaxPathBytes = 1024;
constexpr std::size_t kMaxNameBytes = 255;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string_view Extension(std::string_view name) {
  std::size_t slash = name.rfind('/');
  if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
  std::size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
}

std::string_view TrimSpace(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// Whether a "q=" weight of an Accept-Encoding item is zero, i.e. the coding is refused.
bool WeightIsZero(std::string_view params) {
  while (!params.empty()) {
    std::size_t semi = params.find(';');
    std::string_view p = TrimSpace(params.substr(0, semi));
    if (p.size() >= 2 && (p[0] == 'q' || p[0] == 'Q') && p[1] == '=') {
      std::string_view v = p.substr(2);
      return !v.empty() && v.find_first_not_of("0.") == std::string_view::npos;
    }
    if (semi == std::string_view::npos) break;
    params.remove_prefix(semi + 1);
  }
  return false;
}

Body Share(std::string text) { return std::make_shared<const std::string>(std::move(text)); }

}  // namespace

bool IsWebPath(std::string_view path) {
  return path.starts_with(kWebPath) && (path.size() == kWebPath.size() || path[kWebPath.size()] == '/');
}

WebPath ResolveWebPath(std::string_view path) {
  WebPath out;
  if (!IsWebPath(path)) return out;
  if (path.size() == kWebPath.size()) {
    out.kind = WebPath::Kind::kRedirect;
    return out;
  }
  std::string_view raw = path.substr(kWebPath.size() + 1);
  if (raw.size() > kMaxPathBytes) return out;
  // Decoded once: what an escape makes is taken as it is, so "%252e" is the name "%2e", never
  // "." (and a '%' in a name is refused below anyway).
  std::string decoded;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    char c = raw[i];
    bool escaped = c == '%';
    if (escaped) {
      if (i + 2 >= raw.size()) return out;
      int hi = HexValue(raw[i + 1]), lo = HexValue(raw[i + 2]);
      if (hi < 0 || lo < 0) return out;
      c = static_cast<char>(hi * 16 + lo);
      i += 2;
    }
    auto u = static_cast<unsigned char>(c);
    // No file of the build holds these, and each means something else to some file system or
    // to a server behind: a separator, an escape, a string's end, a line's end.
    if (u < 0x20 || u == 0x7F || c == '\\' || c == '%' || (escaped && c == '/')) return out;
    decoded += c;
  }
  std::string relative;
  std::size_t start = 0;
  for (;;) {
    std::size_t slash = decoded.find('/', start);
    std::string_view name = std::string_view(decoded).substr(start, slash == std::string::npos ? slash : slash - start);
    bool last = slash == std::string::npos;
    if (name.empty()) {
      if (!last) return out;  // "//"
      name = "index.html";    // a directory's page
    }
    if (name == "." || name == ".." || name.size() > kMaxNameBytes) return out;
    if (name.front() == '.') {  // hidden: a version control folder, an editor's files
      out.kind = WebPath::Kind::kNotFound;
      return out;
    }
    if (!relative.empty()) relative += '/';
    relative += name;
    if (last) break;
    start = slash + 1;
  }
  out.kind = WebPath::Kind::kFile;
  out.relative = std::move(relative);
  return out;
}

std::string_view ContentTypeOf(std::string_view name) {
  std::string ext = Lower(Extension(name));
  static constexpr std::pair<std::string_view, std::string_view> kTypes[] = {
      {"html", "text/html; charset=utf-8"},
      {"htm", "text/html; charset=utf-8"},
      {"js", "text/javascript; charset=utf-8"},
      {"mjs", "text/javascript; charset=utf-8"},
      {"wasm", "application/wasm"},
      {"css", "text/css; charset=utf-8"},
      {"json", "application/json"},
      {"map", "application/json"},
      {"txt", "text/plain; charset=utf-8"},
      {"png", "image/png"},
      {"ico", "image/vnd.microsoft.icon"},
      {"svg", "image/svg+xml"},
      {"ttf", "font/ttf"},
      {"otf", "font/otf"},
      {"woff", "font/woff"},
      {"woff2", "font/woff2"},
      {"data", "application/octet-stream"},
  };
  for (const auto& [e, type] : kTypes)
    if (ext == e) return type;
  return "application/octet-stream";
}

bool Compressible(std::string_view name) {
  std::string ext = Lower(Extension(name));
  return ext != "png" && ext != "woff" && ext != "woff2" && ext != "gz" && ext != "br" && ext != "zip";
}

bool AcceptsGzip(std::string_view value) {
  bool any = false, gzip_named = false, gzip = false;
  while (!value.empty()) {
    std::size_t comma = value.find(',');
    std::string_view item = value.substr(0, comma);
    std::size_t semi = item.find(';');
    std::string coding = Lower(TrimSpace(item.substr(0, semi)));
    bool refused = semi != std::string_view::npos && WeightIsZero(item.substr(semi + 1));
    if (coding == "gzip" || coding == "x-gzip") {
      gzip_named = true;
      gzip = !refused;
    } else if (coding == "*") {
      any = !refused;
    }
    if (comma == std::string_view::npos) break;
    value.remove_prefix(comma + 1);
  }
  return gzip_named ? gzip : any;
}

bool EtagMatches(std::string_view value, std::string_view etag) {
  auto opaque = [](std::string_view tag) {
    tag = TrimSpace(tag);
    if (tag.starts_with("W/")) tag.remove_prefix(2);
    return tag;
  };
  if (TrimSpace(value) == "*") return true;
  while (!value.empty()) {
    std::size_t comma = value.find(',');
    if (opaque(value.substr(0, comma)) == opaque(etag)) return true;
    if (comma == std::string_view::npos) break;
    value.remove_prefix(comma + 1);
  }
  return false;
}

std::string Gzip(std::string_view data) {
  z_stream z{};
  // 15 bits of window, plus 16 for a gzip wrapper rather than zlib's.
  if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY) != Z_OK)
    throw std::runtime_error("zlib: deflateInit2 failed");
  std::string out(deflateBound(&z, static_cast<uLong>(data.size())) + 32, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  int rc = deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  if (rc != Z_STREAM_END) throw std::runtime_error("zlib: deflate did not finish");
  return out;
}

StaticFiles::StaticFiles(std::string root) : root_(std::move(root)) {
  missing_page_ = Share(
      MessagePage(u8"ブラウザ版がありません", u8"このサーバーにはブラウザで遊ぶゲームのファイルが置かれていません。"));
  not_found_page_ = Share(RefusalPage(Refusal::kNotFound));
  bad_page_ = Share(MessagePage(u8"エラー", u8"このパスのファイルはありません。"));
  failed_page_ = Share(MessagePage(u8"エラー", u8"ファイルを読めませんでした。"));
  too_large_page_ = Share(MessagePage(u8"エラー", u8"ファイルが大きすぎます。"));
  moved_page_ = Share(MessagePage(u8"移動しました", u8"ゲームは /play/ にあります。"));
}

StaticReply StaticFiles::Page(int status, const Body& body, std::string_view note) const {
  StaticReply r;
  r.status = status;
  r.body = body;
  r.type = kHtmlType;
  r.note = note;
  return r;
}

StaticReply StaticFiles::Answer(std::string_view path, std::string_view query, const RequestHead& head) {
  WebPath resolved = ResolveWebPath(path);
  switch (resolved.kind) {
    case WebPath::Kind::kBad:
      return Page(400, bad_page_, "bad-path");
    case WebPath::Kind::kNotFound:
      return Page(404, not_found_page_, "not-found");
    case WebPath::Kind::kRedirect: {
      StaticReply r = Page(301, moved_page_, "redirect");
      // The query goes along as it came; it holds no CR or LF (the head's lines end there).
      r.extra = "Location: " + std::string(kWebPath) + "/" + (query.empty() ? "" : "?" + std::string(query)) + "\r\n";
      return r;
    }
    case WebPath::Kind::kFile:
      break;
  }

  auto found = cache_.find(resolved.relative);
  platform::FileStamp stamp;
  std::string content;
  platform::BeneathResult result =
      platform::ReadFileBeneath(root_, resolved.relative, kMaxWebFileBytes,
                                found == cache_.end() ? nullptr : &found->second.stamp, stamp, content);
  if (result != platform::BeneathResult::kFile && found != cache_.end()) {
    cached_bytes_ -= found->second.plain->size() + (found->second.gzip ? found->second.gzip->size() : 0);
    cache_.erase(found);
    found = cache_.end();
  }
  switch (result) {
    case platform::BeneathResult::kFile:
      break;
    case platform::BeneathResult::kMissing:
      if (!platform::IsDirectory(root_)) return Page(404, missing_page_, "no-web-build");
      return Page(404, not_found_page_, "not-found");
    case platform::BeneathResult::kNotFile:
      return Page(404, not_found_page_, "not-a-file");
    case platform::BeneathResult::kOutside:
      return Page(404, not_found_page_, "outside");
    case platform::BeneathResult::kTooLarge:
      return Page(500, too_large_page_, "too-large");
    case platform::BeneathResult::kError:
      return Page(500, failed_page_, "read-failed");
  }

  if (found == cache_.end() || !(found->second.stamp == stamp)) {
    Cached c;
    c.stamp = stamp;
    auto digest = Sha1(content);
    c.etag = "\"" + Hex(std::string_view(reinterpret_cast<const char*>(digest.data()), 12)) + "\"";
    if (Compressible(resolved.relative) && !content.empty()) {
      try {
        std::string gz = Gzip(content);
        if (gz.size() < content.size()) c.gzip = Share(std::move(gz));
      } catch (const std::exception&) {
        // Served as it is, then.
      }
    }
    c.plain = Share(std::move(content));
    std::size_t bytes = c.plain->size() + (c.gzip ? c.gzip->size() : 0);
    if (found != cache_.end()) {
      cached_bytes_ -= found->second.plain->size() + (found->second.gzip ? found->second.gzip->size() : 0);
      cache_.erase(found);
    }
    if (cached_bytes_ + bytes > kMaxWebCacheBytes) {
      cache_.clear();
      cached_bytes_ = 0;
    }
    cached_bytes_ += bytes;
    found = cache_.emplace(resolved.relative, std::move(c)).first;
  }

  const Cached& c = found->second;
  bool gzip = c.gzip && AcceptsGzip(HeaderList(head, "Accept-Encoding"));
  std::string etag = gzip ? c.etag.substr(0, c.etag.size() - 1) + "-gzip\"" : c.etag;
  StaticReply r;
  r.type = ContentTypeOf(resolved.relative);
  r.body = gzip ? c.gzip : c.plain;
  r.extra = "ETag: " + etag + "\r\n";
  if (c.gzip) r.extra += "Vary: Accept-Encoding\r\n";
  if (gzip) r.extra += "Content-Encoding: gzip\r\n";
  std::string if_none_match = HeaderList(head, "If-None-Match");
  bool fresh = !if_none_match.empty() && EtagMatches(if_none_match, etag);
  r.status = fresh ? 304 : 200;
  r.note = fresh ? "not-modified" : gzip ? "file-gzip" : "file";
  return r;
}

}  // namespace server
