#!/usr/bin/env bash
# Downloads a 256 MiB body from nginx on loopback with `quarnmp-cli get` and with curl, one
# after the other, in three rounds. Prints the range of the throughput ratio ours/curl over
# the rounds (each ratio from the same round) and our peak memory. QUARNMP_BUILD names a
# Release build folder.
set -euo pipefail
cli="$QUARNMP_BUILD/tools/quarnmp-cli"
size_mib=256
rounds=3
source "$(dirname "$0")/workspace.sh"

head -c $((size_mib << 20)) /dev/urandom > "$work/body.bin"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
"$(dirname "$0")/../scripts/local-nginx" "$work" "$port" "$work" &
nginx_pid=$!
for _ in $(seq 100); do curl -s -o /dev/null "http://127.0.0.1:$port/" && break; sleep 0.05; done
url="http://127.0.0.1:$port/body.bin"

# "<seconds> <peak KiB>" of one download.
measure() { /usr/bin/time -f '%e %M' -o "$work/time" "$@" > /dev/null 2>&1; cat "$work/time"; }

ratios=() peaks=() ours_all=() curl_all=()
for _ in $(seq $rounds); do
  read -r ours peak < <(measure "$cli" get "$url" --timeout 60000)
  read -r theirs _ < <(measure curl -s -o /dev/null "$url")
  ratios+=("$(awk -v o="$ours" -v t="$theirs" 'BEGIN { printf "%.2f", (o > 0 ? t / o : 0) }')")
  peaks+=("$((peak / 1024))")
  ours_all+=("$(awk -v o="$ours" -v m="$size_mib" 'BEGIN { printf "%.0f", m / (o > 0 ? o : 0.001) }')")
  curl_all+=("$(awk -v t="$theirs" -v m="$size_mib" 'BEGIN { printf "%.0f", m / (t > 0 ? t : 0.001) }')")
done

range() { printf '%s\n' "$@" | sort -g | sed -n '1p;$p' | paste -sd '-' | sed 's/-/–/'; }
echo "http_get_throughput_ours: $(range "${ours_all[@]}") MiB/s (goal none)"
echo "http_get_throughput_curl: $(range "${curl_all[@]}") MiB/s (goal none)"
echo "http_get_throughput_ratio: $(range "${ratios[@]}") over $rounds rounds (goal >= 0.9)"
echo "http_get_peak_memory: $(range "${peaks[@]}") MiB for a $size_mib MiB body (goal: independent of the body size)"
