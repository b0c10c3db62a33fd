# Sourced by the benchmarks: a work folder, and the nginx they start (its pid in nginx_pid),
# both gone when the benchmark exits however it ends.
work=$(mktemp -d /tmp/quarnmp-bench-XXXXXX)
nginx_pid=
cleanup() {
  [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
