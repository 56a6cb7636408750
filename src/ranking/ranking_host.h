#pragma once
// Where the internet ranking lives: the build's setting, unless the player chose another host
// when starting the game (the --ranking option or the settings file beside hisc.dat).
#include <optional>
#include <string>
#include <string_view>

namespace ranking {

// The ranking server's host, or host:port, that the dialog sends to, its browser button opens
// and the game-over screen shows: the one chosen at start, else the build's.
const std::string& RankingHost();
// The build's VELKOR_RANKING_HOST.
const std::string& BuiltInRankingHost();
// Makes `host` (as CheckRankingHost gave it) the one in use.
void UseRankingHost(std::string host);

// `text` as a host the game's HTTP client can reach: a host name or an IPv4 address, with an
// optional port from 1 to 65535 ("ranking.example.org", "192.168.1.20:8080"), the port written
// without leading zeros. Nothing, with `why` set to a readable reason, for anything else (a
// space or control byte, a path, user information, a scheme, an IPv6 address: the client
// speaks IPv4 only).
std::optional<std::string> CheckRankingHost(std::string_view text, std::string& why);

}  // namespace ranking
