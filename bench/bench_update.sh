#!/usr/bin/env bash
# Update engine figures, measured in one run on data made here and removed afterwards:
#   - comparison of 10,000 files (1 GiB) without a digest cache, against md5sum over the same
#     files (throughput ratio ours/md5sum), and again with the cache (time per file);
#   - installing 1,000 small text files, two incompressible and two compressible files of
#     64 MiB from nginx on loopback, against the sum of the essential steps done alone on the
#     same tree: curl fetching every compressed file, inflating each to disk, md5sum of the
#     results; five rounds, each ratio from its own round, printed as median and range.
# Both sides read from the page cache: the figures compare work, not the disk. Each side starts
# after a sync, so neither flushes what the other wrote; and files are removed only at the end,
# as ext4 makes new files slowly for a minute after many were deleted.
set -uo pipefail
build=${QUARNMP_BUILD:?QUARNMP_BUILD must name a Release build}
here=$(cd "$(dirname "$0")/.." && pwd)
cli="$build/tools/quarnmp-cli"
publish="$build/tools/quarnmp-publish"
cmake --build "$build" --target quarnmp-cli quarnmp-publish >/dev/null || { echo "bench_update: build failed"; exit 0; }

source "$(dirname "$0")/workspace.sh"

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
  cd "$work"; set_aside "$installation" "$work/server" "$work/sums"
}

range() { printf '%s\n' "$@" | sort -g | sed -n '1p;$p' | paste -sd ' ' | awk '{ printf "%s–%s", $1, $2 }'; }
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
# Moves folders out of the way (the work folder goes as a whole when the benchmark ends), writes
# everything to disk and drops what was set aside from memory, so the rounds find memory as free.
set_aside() {
  mkdir -p "$work/trash"
  for folder in "$@"; do [ -e "$folder" ] && mv "$folder" "$(mktemp -d "$work/trash/XXXXXX")/"; done
  sync
  python3 - "$work/trash" <<'PY'
import os, sys
for folder, _, names in os.walk(sys.argv[1]):
    for name in names:
        fd = os.open(os.path.join(folder, name), os.O_RDONLY)
        os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)
        os.close(fd)
PY
}

# Inflates each zlib file named on standard input ("<compressed> <output>") to disk, streamed.
inflate_each() {
  python3 -c '
import sys, zlib, os
for line in sys.stdin:
    source, target = line.rstrip("\n").split(" ", 1)
    os.makedirs(os.path.dirname(target), exist_ok=True)
    inflater = zlib.decompressobj(47)
    with open(source, "rb") as i, open(target, "wb") as o:
        while piece := i.read(1 << 20):
            o.write(inflater.decompress(piece))
        o.write(inflater.flush())
'
}

install_benchmark() {
  local mod="$work/mod" rounds=5
  mkdir -p "$mod/small"
  for i in $(seq -w 1 1000); do head -c 6144 /dev/urandom | base64 -w 76 > "$mod/small/s$i.txt"; done
  for i in 1 2; do head -c $((64 << 20)) /dev/urandom > "$mod/random$i.bin"; done
  for i in 1 2; do seq -f "map tile %.0f: grass, road, river" $((i * 9000000)) 99999999 | head -c $((64 << 20)) > "$mod/text$i.txt"; done
  cat > "$work/plan.json" <<PLAN
{"sets": [{"name": "bench", "sourcepath": "files", "destinationpath": "QuarnServer",
  "url": "lists/bench", "folder": "mod"}]}
PLAN
  "$publish" "$work/plan.json" "$work/tree" >/dev/null || { echo "install: publishing failed"; return; }
  set_aside "$mod"
  serve "$work/tree"
  (cd "$work/tree/files" && find . -type f | sed 's#^\./##' | sort) > "$work/keys"
  while read -r key; do printf 'url = "%sfiles/%s"\noutput = "%s/curl/%s"\n' "$base" "$key" "$work" "$key"; done \
    < "$work/keys" > "$work/curl.config"
  sed "s#.*#$work/curl/& $work/inflated/&#" "$work/keys" > "$work/inflate.list"
  cat "$work"/tree/files/*/*.* "$work"/tree/files/*/small/* > /dev/null  # the one release folder

  local ratios=() peaks=() sums=() ours_times=() start end curl_time inflate_time md5_time ours_time
  for _ in $(seq $rounds); do
    set_aside "$work/curl" "$work/inflated" "$work/installation"
    start=$(now); curl -s --create-dirs -K "$work/curl.config"; end=$(now); curl_time=$(calc "$end - $start" 3)
    start=$(now); inflate_each < "$work/inflate.list"; end=$(now); inflate_time=$(calc "$end - $start" 3)
    start=$(now); (cd "$work/inflated" && find . -type f -print0 | xargs -0 md5sum > /dev/null); end=$(now)
    md5_time=$(calc "$end - $start" 3)
    mkdir -p "$work/installation"
    cd "$work/installation"
    sync  # the baseline's files are not this side's to flush
    start=$(now)
    /usr/bin/time -f '%M' -o "$work/peak" "$cli" update --server "$base" >/dev/null 2>&1
    local result=$?
    end=$(now)
    cd "$work"
    ours_time=$(calc "$end - $start" 3)
    [ "$result" = 0 ] || echo "install: update failed ($result)"
    sums+=("$(calc "$curl_time + $inflate_time + $md5_time" 2)")
    ours_times+=("$ours_time")
    ratios+=("$(calc "$ours_time / ($curl_time + $inflate_time + $md5_time)" 2)")
    peaks+=("$(( $(cat "$work/peak") / 1024 ))")
  done
  echo "install_time_ratio_vs_steps: median $(median "${ratios[@]}"), $(range "${ratios[@]}") over $rounds rounds (goal <= 0.6; ours $(range "${ours_times[@]}") s against curl + inflate + md5sum $(range "${sums[@]}") s, for 1,000 small and 4 files of 64 MiB)"
  echo "install_peak_memory: $(range "${peaks[@]}") MiB (goal <= 96 MiB)"
  # All four large files at once, each with its own buffers.
  set_aside "$work/installation"
  mkdir -p "$work/installation" && cd "$work/installation"
  /usr/bin/time -f '%M' -o "$work/peak" "$cli" update --server "$base" --jobs 32 >/dev/null 2>&1 ||
    echo "install: update with 32 jobs failed"
  cd "$work"
  echo "install_peak_memory_32_jobs: $(( $(cat "$work/peak") / 1024 )) MiB (goal <= 96 MiB)"
}

compare_benchmark
install_benchmark
exit 0
