#!/usr/bin/env bash
# Loads velkor-ranking on loopback with wrk: durable entries per second, then ranking page
# requests per second, and beside them nginx serving the same page bytes as a static file; with
# a few hundred bans and filter words in place (BENCH_BANS, BENCH_WORDS; default 300 each).
# Usage: bench/ranking_server.sh [build dir] (default build-release)
set -eu
build=${1:-build-release}
server_bin="$build/velkor-ranking"
seconds=${BENCH_SECONDS:-10}
connections=${BENCH_CONNECTIONS:-64}
path="/~tobrin/soft/velkor/ran/ranking.cgi"
for tool in wrk nginx curl; do
  command -v "$tool" >/dev/null || { echo "$tool is missing; scripts/install-deps.sh bench installs it" >&2; exit 1; }
done
[ -x "$server_bin" ] || { echo "no $server_bin; build it first" >&2; exit 1; }

work=$(mktemp -d)
server_pid="" nginx_pid=""
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# The server trusts loopback as its HTTP proxy, so each wrk connection can speak for many clients
# and the load is not cut by the limit of ten entries a minute per address. The share of
# connections per address and the log queue are in force as in any other set-up.
"$server_bin" --listen 127.0.0.1:0 --db "$work/ranking.db" --trusted-http-proxy 127.0.0.1 --max-connections 1024 \
  2>"$work/server.log" &
server_pid=$!
for _ in $(seq 100); do grep -q "listening on" "$work/server.log" && break; sleep 0.05; done
port=$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/server.log")
[ -n "$port" ] || { cat "$work/server.log" >&2; exit 1; }

# Every request is a new entry that passes every check: unique name, its check value, and a
# forwarded address that changes every ten entries. (wrk checks the requests it sends and takes no
# raw space in a target, so this comment has none; the tests send the game's spaces.)
cat >"$work/entries.lua" <<'EOF'
local next_id = 0
function setup(thread)
  next_id = next_id + 1
  thread:set("id", next_id)
end
local n = 0
request = function()
  n = n + 1
  local score = n % 1000000
  local pass = ((score % 98) * 855) % 8998 + 1011
  local a = math.floor(n / 10)
  local address = string.format("10.%d.%d.%d", id, math.floor(a / 256) % 256, a % 256)
  local target = "/~tobrin/soft/velkor/ran/ranking.cgi?command=entry&name=b" .. id .. "-" .. n ..
                 "&score=" .. score .. "&pass_s=" .. pass .. "&comment=bench*"
  return wrk.format("GET", target, { ["X-Forwarded-For"] = address })
end
EOF

run_wrk() {  # label url [script]
  local out="$work/$1.txt"
  if [ $# -ge 3 ]; then
    wrk -t1 -c"$connections" -d"${seconds}s" --latency -s "$3" "$2" >"$out"
  else
    wrk -t1 -c"$connections" -d"${seconds}s" --latency "$2" >"$out"
  fi
  if grep -q "Non-2xx" "$out" || grep -q "Socket errors" "$out"; then
    cat "$out" >&2
    echo "$1: some requests failed" >&2
    exit 1
  fi
}
rate() { awk '/^Requests\/sec:/ {print $2}' "$work/$1.txt"; }
p99() { awk '$1 == "99%" {print $2}' "$work/$1.txt"; }

# A moderated ranking: a few hundred bans (IPv4 and IPv6 networks and names) and filter words
# (Latin and kana), put in with the admin's commands while the server runs. None of them matches
# the load's addresses, names or comments, so every entry is checked against all of them.
bans=${BENCH_BANS:-300} words=${BENCH_WORDS:-300}
admin() { "$server_bin" admin --db "$work/ranking.db" "$@" >/dev/null; }
for i in $(seq "$bans"); do
  case $((i % 3)) in
    0) admin ban "172.$((16 + i % 16)).$((i / 16 % 256)).0/24" ;;
    1) admin ban "2001:db8:$i::/48" ;;
    2) admin ban --name "troll$i" ;;
  esac
done
for i in $(seq "$words"); do
  if [ $((i % 2)) -eq 0 ]; then admin filter add "zq${i}x"; else admin filter add "あらし$i"; fi
done
if [ "$bans" -ge 2 ]; then
  status=$(curl -s -o /dev/null -w '%{http_code}' -H 'X-Forwarded-For: 10.99.0.1' \
    "http://127.0.0.1:$port$path?command=entry&name=troll2&score=1&pass_s=$(( (1 * 855) % 8998 + 1011 ))&comment=x*")
  [ "$status" = 403 ] || { echo "a banned name was answered $status, not 403" >&2; exit 1; }
fi

run_wrk entries "http://127.0.0.1:$port$path" "$work/entries.lua"
stored=$(grep -c " stored " "$work/server.log" || true)

mkdir -p "$work/www"
curl -sf "http://127.0.0.1:$port$path" -o "$work/www/ranking.html"
run_wrk page "http://127.0.0.1:$port$path"

# nginx on a free port, one process like the server's one event loop, the same page as a file.
mkdir -p "$work/nginx"
for attempt in $(seq 20); do
  nginx_port=$((20000 + RANDOM % 40000))
  cat >"$work/nginx.conf" <<EOF
daemon off;
master_process off;
worker_processes 1;
error_log $work/nginx/error.log;
pid $work/nginx/nginx.pid;
events { worker_connections 1024; }
http {
  # Tuned as for serving static files in earnest, and logging in batches as the server does.
  access_log $work/nginx/access.log combined buffer=64k flush=1s;
  sendfile on;
  tcp_nopush on;
  open_file_cache max=16;
  client_body_temp_path $work/nginx/body;
  proxy_temp_path $work/nginx/proxy;
  fastcgi_temp_path $work/nginx/fastcgi;
  uwsgi_temp_path $work/nginx/uwsgi;
  scgi_temp_path $work/nginx/scgi;
  types { }
  default_type "text/html; charset=Shift_JIS";
  server {
    listen 127.0.0.1:$nginx_port;
    root $work/www;
  }
}
EOF
  nginx -p "$work/nginx" -c "$work/nginx.conf" -e "$work/nginx/error.log" &
  nginx_pid=$!
  for _ in $(seq 50); do curl -sf -o /dev/null "http://127.0.0.1:$nginx_port/ranking.html" && break 2; sleep 0.05; done
  kill "$nginx_pid" 2>/dev/null; wait "$nginx_pid" 2>/dev/null || true
  nginx_pid=""
done
[ -n "$nginx_pid" ] || { cat "$work/nginx/error.log" >&2; exit 1; }
cmp -s "$work/www/ranking.html" <(curl -sf "http://127.0.0.1:$nginx_port/ranking.html") || { echo "nginx serves other bytes" >&2; exit 1; }
run_wrk nginx "http://127.0.0.1:$nginx_port/ranking.html"

page_bytes=$(stat -c %s "$work/www/ranking.html")
echo
echo "velkor-ranking on loopback: wrk -t1 -c$connections -d${seconds}s, $(nproc) cores"
printf '  %-44s %12s/s   p99 %s\n' "entries (each stored and synced before 200)" "$(rate entries)" "$(p99 entries)"
printf '  %-44s %12s/s   p99 %s\n' "ranking page ($page_bytes bytes), velkor-ranking" "$(rate page)" "$(p99 page)"
printf '  %-44s %12s/s   p99 %s\n' "same page as a static file, nginx" "$(rate nginx)" "$(p99 nginx)"
awk -v a="$(rate page)" -v b="$(rate nginx)" 'BEGIN { printf "  page throughput / nginx static: %.2f\n", a / b }'
echo "  entries stored: $stored, with $bans bans and $words filter words in place"
dropped=$(sed -n 's/^velkor-ranking: \([0-9]*\) log lines\{0,1\} dropped$/\1/p' "$work/server.log" | awk '{n += $1} END {print n + 0}')
echo "  access-log lines dropped: $dropped"
