#!/usr/bin/env bash
# Downloads a 256 MiB body from nginx on loopback with `quarnmp-cli get` and with curl,
# five times each, alternating. Prints the median throughput ratio ours/curl and our peak
# memory relative to the body size. QUARNMP_BUILD names a Release build folder.
set -euo pipefail
cli="$QUARNMP_BUILD/tools/quarnmp-cli"
size_mib=256
runs=5
work=$(mktemp -d)
nginx_pid=
cleanup() {
  [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

head -c $((size_mib << 20)) /dev/urandom > "$work/body.bin"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
"$(dirname "$0")/../scripts/local-nginx" "$work" "$port" "$work" &
nginx_pid=$!
for _ in $(seq 100); do curl -s -o /dev/null "http://127.0.0.1:$port/" && break; sleep 0.05; done
url="http://127.0.0.1:$port/body.bin"

# "<seconds> <peak KiB>" of one download.
measure() { /usr/bin/time -f '%e %M' -o "$work/time" "$@" > /dev/null 2>&1; cat "$work/time"; }

ours=() theirs=() peaks=()
for _ in $(seq $runs); do
  read -r seconds peak < <(measure "$cli" get "$url" --timeout 60000)
  ours+=("$seconds"); peaks+=("$peak")
  read -r seconds _ < <(measure curl -s -o /dev/null "$url")
  theirs+=("$seconds")
done

median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
ours_s=$(median "${ours[@]}")
theirs_s=$(median "${theirs[@]}")
peak_kib=$(median "${peaks[@]}")
awk -v o="$ours_s" -v t="$theirs_s" -v p="$peak_kib" -v m="$size_mib" 'BEGIN {
  printf "http_get_throughput_ours: %.0f MiB/s (goal none)\n", m / (o > 0 ? o : 0.001)
  printf "http_get_throughput_curl: %.0f MiB/s (goal none)\n", m / (t > 0 ? t : 0.001)
  printf "http_get_throughput_ratio: %.2f (goal >= 0.8)\n", (o > 0 ? t / o : 0)
  printf "http_get_peak_memory: %.2f x body (goal <= 1.3)\n", p / 1024 / m
}'
