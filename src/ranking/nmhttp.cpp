#include "ranking/nmhttp.h"

#include <algorithm>
#include <fstream>

#include "app/sysutils.h"

namespace ranking {

namespace {

constexpr std::int32_t kStatusBasic = 2;

std::string UpperAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

std::string LowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

// The line without its line end (LF, or CR LF).
std::string_view WithoutLineEnd(std::string_view line) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

// A header value at a fixed 1-based character position, as the header names put it there.
std::string ValueFrom(std::string_view line, std::size_t position) {
  std::string_view text = WithoutLineEnd(line);
  if (text.size() < position) return std::string();
  return std::string(text.substr(position - 1, 256));
}

// The status of a reply's first line: its second blank-separated field, a three-digit number;
// 0 when there is none.
std::int16_t StatusOf(std::string_view line) {
  std::int32_t status;
  if (!app::TryStrToInt(NthField(WithoutLineEnd(line), ' ', 2), status)) return 0;
  return status >= 100 && status <= 999 ? static_cast<std::int16_t>(status) : 0;
}

// A value with a control byte (CR, LF, NUL, ...) would split or cut the request it is put into.
bool HoldsControlByte(std::string_view value) {
  return std::any_of(value.begin(), value.end(), [](char c) {
    const auto b = static_cast<unsigned char>(c);
    return b < 0x20 || b == 0x7F;
  });
}

}  // namespace

std::string NthField(std::string_view text, char delimiter, int n) {
  if (n < 1) return std::string();
  std::size_t start = 0;
  for (int field = 1; field < n; ++field) {
    std::size_t next = text.find(delimiter, start);
    if (next == std::string_view::npos) return std::string();
    start = next + 1;
  }
  std::size_t end = text.find(delimiter, start);
  return std::string(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
}

std::size_t NthPosition(std::string_view text, char ch, int n) {
  int seen = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != ch || ++seen < n) continue;
    return i + 1 == text.size() ? text.size() + 1 : i + 1;
  }
  return text.size() + 1;
}

TNMHTTP::TNMHTTP(app::TComponent* AOwner) : TPowersock(AOwner) {}

void TNMHTTP::Get(const std::string& url) {
  Command = CmdGET;
  URL = url;
  RunRequest();
}

void TNMHTTP::Abort() {
  ReportStatus(8, "Abort");
  lookup_done_ = true;
  Cancel();
}

void TNMHTTP::SplitURL() {
  if (URL.empty()) throw app::Exception("Empty URL");
  if (Port == 0) Port = 80;
  if (URL.find("//") != std::string::npos)
    RequestPath = URL.substr(NthPosition(URL, '/', 3) - 1);
  else if (URL.find('/') != std::string::npos)
    RequestPath = URL.substr(URL.find('/'));
  else
    RequestPath.clear();
  if (RequestPath.size() > kMaxRequestPath) RequestPath.resize(kMaxRequestPath);
  if (URL.find(':') != std::string::npos) {
    std::string scheme = LowerAscii(NthField(URL, ':', 1));
    if (scheme == "gopher")
      Port = 70;
    else if (scheme == "ftp")
      Port = 21;
    else if (scheme == "https")
      throw app::Exception("HTTP Secure Socket is not supported");
    else
      Port = 80;
  }
  std::string host;
  if (URL.find("//") != std::string::npos)
    host = NthField(URL, '/', 3);
  else if (URL.front() != '/')
    host = NthField(URL, '/', 1);
  if (std::size_t colon = host.find(':'); colon != std::string::npos) {
    Port = app::StrToInt(NthField(host, ':', 2));
    host.resize(colon);
  }
  if (!host.empty()) Host = host;
  if (RequestPath.empty()) {
    RequestPath.assign(1, '/');
    URL.push_back('/');
  }
}

void TNMHTTP::BuildRequestHeader() {
  RequestHeader.Clear();
  RequestHeader.Add("GET " + RequestPath + " HTTP/1.0");
  RequestHeader.SetHeaderValue("Host", Host);
  RequestHeader.Add("Accept: www/source, text/html, video/mpeg, image/jpeg, image/x-tiff");
  RequestHeader.Add("Accept: image/x-rgb, image/x-xbm, image/gif, */*, application/postscript");
  if (!HeaderInfo.Cookie.empty()) RequestHeader.SetHeaderValue("Cookie", HeaderInfo.Cookie);
  RequestHeader.Add("Content-type: application/x-www-form-urlencoded");
}

void TNMHTTP::SendRequest() {
  Write(RequestHeader.Text());
  Writeln("");
}

void TNMHTTP::ReadReplyHeader() {
  ReplyLength = 0;
  ReceivedCookie.clear();
  header_cut_ = false;
  unsafe_value_ = false;
  std::ofstream file;
  if (OutputFileMode) {
    file.open(Header, std::ios::binary | std::ios::trunc);
    if (!file) throw app::Exception("Cannot create file " + Header);
  } else {
    Header.clear();
  }
  std::size_t kept = 0;
  // Keeps a line of the header, up to the header's bound; past it the reply counts as complete.
  auto keep = [&](const std::string& line) {
    std::size_t n = std::min(line.size(), kMaxHeaderBytes - kept);
    if (OutputFileMode)
      file.write(line.data(), static_cast<std::streamsize>(n));
    else
      Header.append(line, 0, n);
    kept += n;
    if (kept >= kMaxHeaderBytes) header_cut_ = true;
  };
  std::string line = ReadLn();
  if (!line.empty()) StatusCode = StatusOf(line);
  keep(line);
  while (!header_cut_) {
    line = ReadLn();
    std::string name = NthField(UpperAscii(line), ' ', 1);
    if (name == "SET-COOKIE:") {
      ReceivedCookie = ValueFrom(line, 13);
      unsafe_value_ |= HoldsControlByte(ReceivedCookie);
    } else if (name == "LOCATION:") {
      RedirectURL = ValueFrom(line, 11);
      unsafe_value_ |= HoldsControlByte(RedirectURL);
    } else if (name == "CONTENT-LENGTH:") {
      std::int32_t length;
      ReplyLength = app::TryStrToInt(NthField(WithoutLineEnd(line), ' ', 2), length) ? length : 0;
    }
    keep(line);
    if (line.empty() || line == "\n" || line == "\r\n") break;
  }
}

void TNMHTTP::RunRequest() {
  int followed = 0;
  for (;;) {
    SplitURL();
    BuildRequestHeader();
    if (OnAboutToSend) OnAboutToSend(this);
    bool follow = false;
    try {
      Connect();
      SendRequest();
      StatusCode = 0;
      ReadReplyHeader();
      if (header_cut_) {
        if (!InputFileMode) Body.clear();
      } else if (InputFileMode) {
        CaptureFile(Body);
      } else {
        CaptureString(Body, kMaxBodyBytes);
      }
      // Only a reply with a status below 299 is a success: no status at all is a failure, and a
      // redirect is followed a few times, never for ever. A reply whose address or cookie holds
      // control bytes is a failure whatever its status, and neither is used.
      if (unsafe_value_) {
        ReceivedCookie.clear();
        if (OnFailure) OnFailure(Command);
      } else if (StatusCode != 0 && StatusCode < 299) {
        if (OnSuccess) OnSuccess(Command);
        ReportStatus(kStatusBasic, "Transaction Completed");
      } else if (StatusCode >= 300 && StatusCode <= 302 && followed < kMaxRedirects) {
        URL = RedirectURL;
        follow = true;
      } else if (OnFailure) {
        OnFailure(Command);
      }
    } catch (...) {
      try {
        Disconnect();
      } catch (const std::exception&) {
        // The first error is the one to report.
      }
      throw;
    }
    Disconnect();
    if (follow) {
      if (!ReceivedCookie.empty()) HeaderInfo.Cookie = ReceivedCookie;
      bool handled = false;
      if (OnRedirect) OnRedirect(handled);
      if (handled) return;
      // A bare name is taken relative to the root of the same server, its port included.
      if (URL.find('/') == std::string::npos) {
        std::string absolute = "http://" + Host;
        if (Port != 80) absolute += ':' + std::to_string(Port);
        absolute += '/';
        URL = absolute + URL;
      }
      ++followed;
      continue;
    }
    if (StatusCode == 401 && OnAuthenticationNeeded) OnAuthenticationNeeded(this);
    return;
  }
}

}  // namespace ranking
