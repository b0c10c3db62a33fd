#!/usr/bin/env bash
# Update engine figures, measured in one run on data made here and removed afterwards:
#   - comparison of 10,000 files (1 GiB) without a digest cache, against md5sum over the same
#     files (throughput ratio ours/md5sum), and again with the cache (time per file);
#   - installing 1,000 small files and 4 files of 64 MiB from nginx on loopback, against curl
#     fetching the same compressed files one after another from one config list.
# Both sides read from the page cache: the figures compare work, not the disk.
set -uo pipefail
build=${QUARNMP_BUILD:?QUARNMP_BUILD must name a Release build}
here=$(cd "$(dirname "$0")/.." && pwd)
cli="$build/tools/quarnmp-cli"
publish="$build/tools/quarnmp-publish"
cmake --build "$build" --target quarnmp-cli quarnmp-publish >/dev/null || { echo "bench_update: build failed"; exit 0; }

work=$(mktemp -d /tmp/quarnmp-bench-XXXXXX)
nginx_pid=
cleanup() {
  [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

now() { date +%s.%N; }
calc() { python3 -c "print(f'{$1:.$2f}')"; }

# nginx with the repository's server block on a free loopback port, serving $1.
serve() {
  local port
  port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
  "$here/scripts/local-nginx" "$work" "$port" "$1" &
  nginx_pid=$!
  for _ in $(seq 50); do curl -s -o /dev/null "http://127.0.0.1:$port/" && break; sleep 0.1; done
  base="http://127.0.0.1:$port/"
}

# A catalogue with one set "QuarnServer" whose list holds the digests of md5sum's output $1.
write_catalogue() {
  mkdir -p "$work/server/lists"
  python3 - "$1" "$work/server" <<'PY'
import json, sys, zlib
sums, tree = sys.argv[1], sys.argv[2]
files = {}
for line in open(sums):
    digest, path = line.rstrip("\n").split("  ", 1)
    files[path.split("/", 1)[1]] = digest
entry = {"name": "bench", "description": "", "sourcepath": "files", "destinationpath": "QuarnServer",
         "url": "lists/bench", "default": True}
open(f"{tree}/json", "wb").write(zlib.compress(json.dumps([entry]).encode()))
open(f"{tree}/lists/bench", "wb").write(zlib.compress(json.dumps(files).encode()))
PY
}

compare_benchmark() {
  local installation="$work/installation"
  mkdir -p "$installation/QuarnServer" "$work/server"
  head -c $((10000 * 107374)) /dev/urandom | split -b 107374 -a 5 -d - "$installation/QuarnServer/f"
  cd "$installation"
  cat QuarnServer/* > /dev/null
  local start end md5sum_time cold_time warm_time
  start=$(now); md5sum QuarnServer/* > "$work/sums"; end=$(now)
  md5sum_time=$(calc "$end - $start" 3)
  write_catalogue "$work/sums"
  serve "$work/server"
  start=$(now); "$cli" check --server "$base" >/dev/null 2>&1; local cold=$?; end=$(now)
  cold_time=$(calc "$end - $start" 3)
  start=$(now); "$cli" check --server "$base" >/dev/null 2>&1; local warm=$?; end=$(now)
  warm_time=$(calc "$end - $start" 6)
  if [ "$cold" != 0 ] || [ "$warm" != 0 ]; then echo "compare: check failed ($cold, $warm)"; fi
  echo "compare_cold_throughput_ratio_vs_md5sum: $(calc "$md5sum_time / $cold_time" 2) (goal >= 0.9; md5sum ${md5sum_time}s, ours ${cold_time}s for 1 GiB)"
  echo "compare_warm_per_file: $(calc "$warm_time / 10000 * 1e6" 1) us (goal < 20 us; whole command ${warm_time}s)"
  kill "$nginx_pid"; wait "$nginx_pid" 2>/dev/null; nginx_pid=
  cd "$work"; rm -rf "$installation" "$work/server" "$work/sums"
}

install_benchmark() {
  local mod="$work/mod"
  mkdir -p "$mod/small"
  for i in $(seq -w 1 1000); do head -c 6144 /dev/urandom | base64 -w 76 > "$mod/small/s$i.txt"; done
  for i in 1 2 3 4; do head -c $((64 << 20)) /dev/urandom > "$mod/big$i.bin"; done
  cat > "$work/plan.json" <<PLAN
{"level": 1, "sets": [{"name": "bench", "sourcepath": "files", "destinationpath": "QuarnServer",
  "url": "lists/bench", "folder": "mod"}]}
PLAN
  "$publish" "$work/plan.json" "$work/tree" >/dev/null || { echo "install: publishing failed"; return; }
  rm -rf "$mod"
  serve "$work/tree"
  (cd "$work/tree/files" && find . -type f | sed 's#^\./##' | sort) | while read -r key; do
    printf 'url = "%sfiles/%s"\noutput = "%s/curl/%s"\n' "$base" "$key" "$work" "$key"
  done > "$work/curl.config"
  cat "$work"/tree/files/*.bin "$work"/tree/files/small/* > /dev/null

  local start end curl_time ours_time
  start=$(now); curl -s --create-dirs -K "$work/curl.config"; end=$(now)
  curl_time=$(calc "$end - $start" 3)
  rm -rf "$work/curl"
  mkdir -p "$work/installation"
  cd "$work/installation"
  start=$(now)
  /usr/bin/time -f '%M' -o "$work/peak" "$cli" update --server "$base" >/dev/null 2>&1
  local result=$?
  end=$(now)
  ours_time=$(calc "$end - $start" 3)
  [ "$result" = 0 ] || echo "install: update failed ($result)"
  echo "install_time_ratio_vs_curl: $(calc "$ours_time / $curl_time" 2) (goal <= 1.25; curl ${curl_time}s, ours ${ours_time}s incl. inflating, writing, hashing, comparing)"
  echo "install_peak_memory: $(( $(cat "$work/peak") / 1024 )) MiB (goal <= 192 MiB: a 64 MiB body, its inflated bytes and one inflate step)"
  cd "$work"
}

compare_benchmark
install_benchmark
exit 0
