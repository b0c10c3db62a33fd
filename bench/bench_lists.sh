#!/usr/bin/env bash
# File list figures: peak memory of `quarnmp-cli check` in an empty installation (every file
# differs, so the differing list is as long as the file list) against a server holding
#   - one set whose list has 1,000,000 entries;
#   - 64 sets that all name one such list.
# Goal for both: at most 64 MiB plus 200 bytes per entry of the list, for 1,000,000 entries
# 260 MB. Three rounds each.
set -uo pipefail
build=${QUARNMP_BUILD:?QUARNMP_BUILD must name a Release build}
here=$(cd "$(dirname "$0")/.." && pwd)
cli="$build/tools/quarnmp-cli"
cmake --build "$build" --target quarnmp-cli >/dev/null || { echo "bench_lists: build failed"; exit 0; }

entries=1000000
source "$(dirname "$0")/workspace.sh"

# Two trees: "one" with one set, "shared" with 64 sets naming the same list.
python3 - "$work" "$entries" <<'PY'
import json, os, sys, zlib
work, entries = sys.argv[1], int(sys.argv[2])
listed = {f"data/{i // 1000:04d}/{i:07d}.bin": os.urandom(16).hex() for i in range(entries)}
packed = zlib.compress(json.dumps(listed, separators=(",", ":")).encode(), 6)
for tree, sets in (("one", 1), ("shared", 64)):
    os.makedirs(f"{work}/{tree}/lists")
    open(f"{work}/{tree}/lists/big", "wb").write(packed)
    catalogue = [{"name": f"set{n}", "description": "", "sourcepath": f"files{n}", "destinationpath": f"Set{n}",
                  "url": "lists/big", "default": n == 0} for n in range(sets)]
    open(f"{work}/{tree}/json", "wb").write(zlib.compress(json.dumps(catalogue).encode()))
PY

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
"$here/scripts/local-nginx" "$work" "$port" "$work" &
nginx_pid=$!
for _ in $(seq 50); do curl -s -o /dev/null "http://127.0.0.1:$port/" && break; sleep 0.1; done

range() { printf '%s\n' "$@" | sort -g | sed -n '1p;$p' | paste -sd ' ' | awk '{ printf "%s–%s", $1, $2 }'; }

# Peak memory in MB and seconds of three checks against tree $2, printed as figure $1.
measure() {
  local peaks=() times=() start end result
  mkdir -p "$work/installation"
  for _ in 1 2 3; do
    start=$(date +%s.%N)
    (cd "$work/installation" &&
      /usr/bin/time -f '%M' -o "$work/peak" "$cli" check --server "http://127.0.0.1:$port/$2/" > "$work/out" 2> "$work/err")
    result=$?
    end=$(date +%s.%N)
    if [ "$result" != 1 ] || [ "$(wc -l < "$work/out")" != "$entries" ]; then
      echo "$1: check failed ($result): $(tail -1 "$work/err")"
      return
    fi
    peaks+=("$(( $(tail -1 "$work/peak") * 1024 / 1000000 ))")
    times+=("$(python3 -c "print(f'{$end - $start:.1f}')")")
  done
  echo "$1: $(range "${peaks[@]}") MB (goal <= 260 MB; $(range "${times[@]}") s per check, 3 rounds)"
}

measure check_list_of_1m_entries_peak_memory one
measure check_64_sets_sharing_that_list_peak_memory shared
exit 0
