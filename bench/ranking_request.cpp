// The ranking server's work per request, without the network: reading the game's entry request
// and making the page of the top 100.
#include <benchmark/benchmark.h>

#include "app/sjis.h"
#include "game/hiscore.h"
#include "server/pages.h"
#include "server/request.h"

namespace {

void BM_ReadEntryRequest(benchmark::State& state) {
  const std::string request =
      "GET /~tobrin/soft/velkor/ran/ranking.cgi?command=entry&name=" + app::Sjis(u8"山田 &ﾀﾛｰ") +
      "&score=1234&pass_s=5611&comment=" + app::Sjis(u8"よろしくお願いします") +
      "* HTTP/1.0\r\nHost: localhost\r\n"
      "Accept: www/source, text/html, video/mpeg, image/jpeg, image/x-tiff\r\n"
      "Accept: image/x-rgb, image/x-xbm, image/gif, */*, application/postscript\r\n"
      "Content-type: application/x-www-form-urlencoded\r\n\r\n";
  for (auto _ : state) {
    std::size_t end = server::FindHeadEnd(request);
    auto head = server::ParseHead(std::string_view(request).substr(0, end));
    server::Classified c = server::Classify(*head);
    benchmark::DoNotOptimize(c);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReadEntryRequest);

void BM_RenderTop100(benchmark::State& state) {
  std::vector<server::RankRow> rows;
  const auto* name = reinterpret_cast<const char*>(u8"山田太郎");
  const auto* comment = reinterpret_cast<const char*>(u8"いつもの三倍速いです <b>");
  for (int i = 0; i < server::kRankingSize; ++i)
    rows.push_back({name + std::to_string(i), 100000 - i, comment, 1'800'000'000 + i});
  bool json = state.range(0) != 0;
  for (auto _ : state) {
    std::string page = json ? server::RenderRankingJson(rows) : server::RenderRankingHtml(rows);
    benchmark::DoNotOptimize(page);
  }
  state.SetItemsProcessed(state.iterations());
  state.SetLabel(json ? "json" : "html");
}
BENCHMARK(BM_RenderTop100)->Arg(0)->Arg(1);

}  // namespace
