#include "server/pages.h"

#include <algorithm>
#include <ctime>

#include "platform/codec.h"

namespace server {
namespace {

std::string_view View(std::u8string_view text) {
  return {reinterpret_cast<const char*>(text.data()), text.size()};
}

// UTF-8 text as CP932 HTML. Stored texts all came in as CP932, but a character whose CP932 form
// is lost on the way back (or text put into the database by other means) becomes a numeric
// character reference rather than breaking the page.
void AppendCp932Html(std::string& out, std::string_view utf8) {
  if (auto whole = platform::Utf8ToCp932(utf8)) {
    AppendHtmlEscaped(out, *whole);
    return;
  }
  for (std::size_t i = 0; i < utf8.size();) {
    auto lead = static_cast<unsigned char>(utf8[i]);
    std::size_t len = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    len = std::min(len, utf8.size() - i);
    std::string_view ch = utf8.substr(i, len);
    if (auto one = platform::Utf8ToCp932(ch)) {
      AppendHtmlEscaped(out, *one);
    } else {
      char32_t c = len == 1 ? lead : char32_t(lead & (0x7F >> len));
      for (std::size_t k = 1; k < len; ++k) c = (c << 6) | (static_cast<unsigned char>(ch[k]) & 0x3F);
      out += "&#" + std::to_string(static_cast<std::uint32_t>(c)) + ";";
    }
    i += len;
  }
}

void AppendText(std::string& out, std::u8string_view literal) { AppendCp932Html(out, View(literal)); }

std::string FormatTime(std::int64_t unix_time, const char* format, bool local) {
  std::time_t t = static_cast<std::time_t>(unix_time);
  std::tm tm{};
  if (local ? !localtime_r(&t, &tm) : !gmtime_r(&t, &tm)) return "-";
  char buf[64];
  std::size_t n = std::strftime(buf, sizeof buf, format, &tm);
  return std::string(buf, n);
}

void AppendPageStart(std::string& out, std::u8string_view title) {
  out += "<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n<meta charset=\"Shift_JIS\">\n";
  out += "<meta name=\"viewport\" content=\"width=device-width\">\n<title>";
  AppendText(out, title);
  out += "</title>\n<style>\n"
         "body{font-family:sans-serif;margin:2em auto;max-width:56em;padding:0 1em}\n"
         "table{border-collapse:collapse;width:100%}\n"
         "th,td{border-bottom:1px solid #ccc;padding:.3em .6em;text-align:left}\n"
         "td.n{text-align:right}\n"
         "</style>\n</head>\n<body>\n";
}

constexpr std::u8string_view kTitle = u8"Velkor インターネットランキング";

}  // namespace

void AppendHtmlEscaped(std::string& out, std::string_view text) {
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
}

void AppendJsonString(std::string& out, std::string_view utf8) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  for (char c : utf8) {
    auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20 || c == '<' || c == '>' || c == '&') {
      // "<" and friends too, so the list can sit inside a page without ending a script.
      out += "\\u00";
      out += kHex[u >> 4];
      out += kHex[u & 15];
    } else {
      out += c;
    }
  }
  out += '"';
}

std::string RenderRankingHtml(const std::vector<RankRow>& rows, Period period) {
  std::string out;
  out.reserve(1024 + rows.size() * 160);
  AppendPageStart(out, kTitle);
  out += "<h1>";
  AppendText(out, kTitle);
  out += "</h1>\n<nav><p>";
  // Links relative to the page, which is where the game's browser button opens it.
  constexpr std::u8string_view kPeriodLabels[] = {u8"総合", u8"今日", u8"今週", u8"今月"};
  for (Period p : kPeriods) {
    if (p != Period::kAll) out += " | ";
    std::u8string_view label = kPeriodLabels[static_cast<std::size_t>(p)];
    if (p == period) {
      out += "<strong>";
      AppendText(out, label);
      out += "</strong>";
    } else {
      out += p == Period::kAll ? std::string("<a href=\"ranking.cgi\">")
                               : "<a href=\"ranking.cgi?period=" + std::string(PeriodName(p)) + "\">";
      AppendText(out, label);
      out += "</a>";
    }
  }
  out += "</p></nav>\n";
  if (period != Period::kAll) {
    constexpr std::u8string_view kHeadings[] = {u8"", u8"今日のランキング", u8"今週のランキング（月曜から）",
                                                u8"今月のランキング"};
    out += "<h2>";
    AppendText(out, kHeadings[static_cast<std::size_t>(period)]);
    out += "</h2>\n";
  }
  if (rows.empty()) {
    out += "<p>";
    AppendText(out, period == Period::kAll ? u8"まだ登録はありません。" : u8"この期間の登録はまだありません。");
    out += "</p>\n";
  } else {
    out += "<table>\n<thead><tr>";
    for (std::u8string_view heading : {u8"順位", u8"名前", u8"スコア", u8"コメント", u8"日付"}) {
      out += "<th>";
      AppendText(out, heading);
      out += "</th>";
    }
    out += "</tr></thead>\n<tbody>\n";
    int place = 0;
    for (const RankRow& row : rows) {
      out += "<tr><td class=\"n\">" + std::to_string(++place) + "</td><td>";
      AppendCp932Html(out, row.name);
      out += "</td><td class=\"n\">" + std::to_string(row.score) + "</td><td>";
      AppendCp932Html(out, row.comment);
      out += "</td><td>" + FormatTime(row.created_at, "%Y/%m/%d %H:%M", true) + "</td></tr>\n";
    }
    out += "</tbody>\n</table>\n";
  }
  out += "</body>\n</html>\n";
  return out;
}

std::string RenderRankingJson(const std::vector<RankRow>& rows, Period period) {
  std::string out;
  out.reserve(32 + rows.size() * 128);
  out += "{\"entries\":[";
  int place = 0;
  for (const RankRow& row : rows) {
    if (place > 0) out += ',';
    out += "\n{\"place\":" + std::to_string(++place) + ",\"name\":";
    AppendJsonString(out, row.name);
    out += ",\"score\":" + std::to_string(row.score) + ",\"comment\":";
    AppendJsonString(out, row.comment);
    out += ",\"date\":\"" + FormatTime(row.created_at, "%Y-%m-%dT%H:%M:%SZ", false) + "\"}";
  }
  out += "\n],\"period\":\"";
  out += PeriodName(period);
  out += "\"}\n";
  return out;
}

std::string MessagePage(std::u8string_view heading, std::u8string_view text) {
  std::string out;
  AppendPageStart(out, kTitle);
  out += "<h1>";
  AppendText(out, heading);
  out += "</h1>\n<p>";
  AppendText(out, text);
  out += "</p>\n<p><a href=\"ranking.cgi\">";
  AppendText(out, u8"ランキングを見る");
  out += "</a></p>\n</body>\n</html>\n";
  return out;
}

std::string HomePage() {
  std::string out;
  AppendPageStart(out, u8"Velkor");
  out += "<h1>Velkor Ver 1.12</h1>\n<p>";
  AppendText(out, u8"十字に並んだ4つの数字を選ぶ、60秒の数字パズルです。"
                  u8"ハイスコアはゲームからこのサイトのランキングに送れます。");
  out += "</p>\n<p><a href=\"";
  out += kRankingPath;
  out += "\">";
  AppendText(out, kTitle);
  out += "</a></p>\n</body>\n</html>\n";
  return out;
}

std::string RefusalPage(Refusal refusal) {
  const RefusalInfo& info = Describe(refusal);
  return MessagePage(info.status == 400 || info.status == 403 ? u8"送信できません" : u8"エラー", info.text);
}

std::string_view StatusText(int status) {
  switch (status) {
    case 101: return "Switching Protocols";
    case 200: return "OK";
    case 301: return "Moved Permanently";
    case 304: return "Not Modified";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 408: return "Request Timeout";
    case 429: return "Too Many Requests";
    case 426: return "Upgrade Required";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Unknown";
  }
}

std::string ResponseHead(int status, std::string_view content_type, std::size_t length, bool keep_alive,
                         std::string_view date, std::string_view extra) {
  std::string out;
  out.reserve(256 + extra.size());
  out += "HTTP/1.1 ";
  out += std::to_string(status);
  out += ' ';
  out += StatusText(status);
  out += "\r\nServer: velkor-ranking\r\nDate: ";
  out += date;
  out += "\r\nContent-Type: ";
  out += content_type;
  out += "\r\nContent-Length: ";
  out += std::to_string(length);
  out += keep_alive ? "\r\nConnection: keep-alive\r\n" : "\r\nConnection: close\r\n";
  out += "Cache-Control: no-cache\r\nX-Content-Type-Options: nosniff\r\n";
  out += extra;
  out += "\r\n";
  return out;
}

std::string HttpDate(std::int64_t unix_time) {
  // strftime's day and month names follow the locale; the server never sets one, so they are
  // the C locale's English names that HTTP wants.
  return FormatTime(unix_time, "%a, %d %b %Y %H:%M:%S GMT", false);
}

}  // namespace server
