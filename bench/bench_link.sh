#!/usr/bin/env bash
# Installing over a player's link, measured in one run on a tree made here and removed after:
# 400 small text files and two incompressible 8 MiB files, published with quarnmp-publish and
# served by nginx, reached through bench/link_sim.py (40 ms round trip, 100 Mbit/s shared).
# Three rounds, each of: `quarnmp-cli update` into an empty installation, curl fetching the
# same compressed files with --parallel --parallel-max 8, and `aria2c -j8`. Prints each time,
# and ours / the faster peer of the same round. First it checks the simulator's own pacing.
# With QUARNMP_BENCH_MANY_FILES=1 it then times `update` of 100,000 small files from nginx on
# loopback, no simulator (making, publishing and removing that tree takes 3 to 9 minutes on a
# shared 2-core machine).
set -uo pipefail
build=${QUARNMP_BUILD:?QUARNMP_BUILD must name a Release build}
here=$(cd "$(dirname "$0")/.." && pwd)
cli="$build/tools/quarnmp-cli"
publish="$build/tools/quarnmp-publish"
rtt_ms=40 mbit=100 rounds=3
cmake --build "$build" --target quarnmp-cli quarnmp-publish >/dev/null || { echo "bench_link: build failed"; exit 0; }
command -v aria2c >/dev/null || { echo "bench_link: aria2c missing (scripts/setup installs it)"; exit 0; }

work=$(mktemp -d /tmp/quarnmp-bench-link-XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT

now() { date +%s.%N; }
calc() { python3 -c "print(f'{$1:.$2f}')"; }
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
range() { printf '%s\n' "$@" | sort -g | sed -n '1p;$p' | paste -sd ' ' | awk '{ printf "%s–%s", $1, $2 }'; }
# Seconds that the command takes; its output goes to $work/command.log.
seconds() { local start end; start=$(now); "$@" >"$work/command.log" 2>&1; end=$(now); calc "$end - $start" 2; }
# Seconds of one request as curl counts them (its start-up is left out).
request() { curl -s -o /dev/null -w '%{time_total}' "$1"; }

# Starts a server ($1 = its port, the rest its command) and waits until it answers HTTP.
start() {
  local port=$1; shift
  "$@" >"$work/server-$port.log" 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do curl -s -o /dev/null "http://127.0.0.1:$port/" && return; sleep 0.1; done
  echo "bench_link: server on $port did not start: $(cat "$work/server-$port.log")"
  exit 0
}

# $1 = folder of a mod, $2 = tree to publish it into.
publish_mod() {
  printf '{"sets": [{"name": "bench", "sourcepath": "files", "destinationpath": "QuarnServer",
    "url": "lists/bench", "folder": "%s"}]}\n' "$1" > "$work/plan.json"
  "$publish" "$work/plan.json" "$2" >/dev/null
}

# Checks the figures a real link of this kind gives: a body takes its bits at the rate plus
# two round trips, two bodies at once share the rate, and a small request on a fresh
# connection takes two round trips.
# $1 = base URL, then the paths below files/ of the two large files and of a small one.
pacing() {
  local base=$1/files large1=$2 large2=$3 small=$4 bytes total=0
  bytes=$(stat -c %s "$work/tree/files/$large1")
  echo "link_sim_one_body: $(calc "$(request "$base/$large1")" 2) s (goal about $(ideal "$bytes") s: $bytes bytes at $mbit Mbit/s and 2 round trips)"
  echo "link_sim_two_bodies_at_once: $(seconds curl -s --parallel -o /dev/null -o /dev/null "$base/$large1" "$base/$large2") s (goal about $(ideal "2 * $bytes") s)"
  for _ in $(seq 20); do total=$(calc "$total + $(request "$base/$small")" 3); done
  echo "link_sim_fresh_request: $(calc "$total / 20 * 1000" 0) ms (goal about $((2 * rtt_ms)) ms: 2 round trips; mean of 20 requests)"
}
# Seconds that $1 bytes take at the simulated rate, plus two round trips.
ideal() { calc "($1) * 8 / ($mbit * 1e6) + 2 * $rtt_ms / 1000" 2; }

# Says so when folder $1 lacks files: $2 fetched them, $3 is the last line it printed.
fetched() {
  [ "$(find "$1" -type f 2>/dev/null | wc -l)" = "$count" ] || echo "link: $2 fetched too few files: $3"
}

link_benchmark() {
  local mod="$work/mod"
  mkdir -p "$mod/small"
  for i in $(seq -w 1 400); do head -c 3072 /dev/urandom | base64 -w 76 > "$mod/small/s$i.txt"; done
  for i in 1 2; do head -c $((8 << 20)) /dev/urandom > "$mod/large$i.bin"; done
  publish_mod "$mod" "$work/tree" || { echo "link: publishing failed"; return; }
  local nginx_port link_port base
  nginx_port=$(free_port) link_port=$(free_port)
  mkdir -p "$work/nginx"
  start "$nginx_port" "$here/scripts/local-nginx" "$work/nginx" "$nginx_port" "$work/tree"
  start "$link_port" python3 "$here/bench/link_sim.py" "$link_port" "127.0.0.1:$nginx_port" "$rtt_ms" "$mbit"
  base="http://127.0.0.1:$link_port"
  # Paths below files/ (a release's folder, then the key).
  (cd "$work/tree/files" && find . -type f | sed 's#^\./##' | sort) > "$work/keys"
  pacing "$base" $(grep -E '(/large[12]\.bin|/s001\.txt)$' "$work/keys")

  local count bytes
  count=$(wc -l < "$work/keys") bytes=$(cd "$work/tree/files" && cat $(cat "$work/keys") | wc -c) # also warms the cache
  while read -r key; do printf 'url = "%s/files/%s"\noutput = "%s/curl/%s"\n' "$base" "$key" "$work" "$key"; done \
    < "$work/keys" > "$work/curl.config"
  while read -r key; do printf '%s/files/%s\n  out=%s\n' "$base" "$key" "$key"; done < "$work/keys" > "$work/aria2.list"

  local ours_all=() curl_all=() aria_all=() ratios=() ours curl aria
  for _ in $(seq $rounds); do
    rm -rf "$work/curl" "$work/aria2" "$work/installation"
    mkdir -p "$work/installation"
    ours=$(cd "$work/installation" && seconds "$cli" update --server "$base/")
    fetched "$work/installation/QuarnServer" "quarnmp-cli update" "$(tail -1 "$work/command.log")"
    curl=$(seconds curl -s --create-dirs --parallel --parallel-max 8 -K "$work/curl.config")
    fetched "$work/curl" curl "$(tail -1 "$work/command.log")"
    aria=$(seconds aria2c -q -j8 --allow-overwrite=true -d "$work/aria2" -i "$work/aria2.list")
    fetched "$work/aria2" aria2c "$(tail -1 "$work/command.log")"
    ours_all+=("$ours") curl_all+=("$curl") aria_all+=("$aria")
    ratios+=("$(calc "$ours / min($curl, $aria)" 2)")
  done
  echo "link_update_ratio_vs_faster_peer: $(range "${ratios[@]}") over $rounds rounds (goal <= 1.2; $count files, $bytes bytes compressed, $rtt_ms ms round trip, $mbit Mbit/s shared)"
  echo "link_update_time_ours: $(range "${ours_all[@]}") s (goal none)"
  echo "link_update_time_curl_parallel_8: $(range "${curl_all[@]}") s (goal none)"
  echo "link_update_time_aria2c_j8: $(range "${aria_all[@]}") s (goal none)"
  rm -rf "$mod" "$work/curl" "$work/aria2" "$work/installation"
}

# `update` of 100,000 small files from nginx on loopback, no simulator.
many_files_benchmark() {
  local mod="$work/many"
  python3 - "$mod" <<'PY'
import os, sys
for folder in range(100):
    os.makedirs(f"{sys.argv[1]}/d{folder:02}")
    for i in range(1000):
        with open(f"{sys.argv[1]}/d{folder:02}/f{i:03}.txt", "w") as f:
            f.write(f"unit {folder} {i}: " + "grass, road, river; " * 12 + "\n")
PY
  publish_mod "$mod" "$work/many-tree" || { echo "many_files: publishing failed"; return; }
  local port time
  port=$(free_port)
  mkdir -p "$work/many-nginx"
  start "$port" "$here/scripts/local-nginx" "$work/many-nginx" "$port" "$work/many-tree"
  mkdir -p "$work/many-installation"
  # The mod's folder stays until the end: ext4 makes new files slowly for a while after many
  # were deleted. What the publisher wrote is on disk first, so the update flushes only its own.
  sync
  time=$(cd "$work/many-installation" && seconds "$cli" update --server "http://127.0.0.1:$port/")
  [ "$(find "$work/many-installation/QuarnServer" -type f | wc -l)" = 100000 ] || echo "many_files: update failed: $(tail -3 "$work/command.log")"
  echo "many_files_update_time: $time s (goal none; 100,000 files of about 270 bytes from nginx on loopback)"
  rm -rf "$mod" "$work/many-tree" "$work/many-installation"
}

link_benchmark
[ "${QUARNMP_BENCH_MANY_FILES:-0}" = 1 ] && many_files_benchmark
exit 0
