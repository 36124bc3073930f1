#!/usr/bin/env bash
# Instructions per call of the short benchmark texts (and of a rejected one,
# whose cost is its syntax error), counted by callgrind: unlike time, the
# count is the same on a busy machine. The cost of one call is the
# difference between 1001 calls and 1 call, over 1000.
#   bash bench/count_instructions.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
command -v valgrind > /dev/null || { echo "valgrind is needed" >&2; exit 2; }
[ -f "$build/libvellum_sql_parser.so" ] || { echo "no $build/libvellum_sql_parser.so: build first" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cc -O2 bench/call_loop.c -Iinclude -L"$build" -lvellum_sql_parser -Wl,-rpath,"$(cd "$build" && pwd)" -o "$work/call_loop"

count() {  # front end, calls, text
  valgrind --tool=callgrind --callgrind-out-file="$work/out" "$work/call_loop" "$1" "$2" "$3" 2>&1 \
    | sed -n 's/.*I *refs: *//p' | tr -d ','
}

perCall() {  # front end, text
  local one many
  one=$(count "$1" 1 "$2")
  many=$(count "$1" 1001 "$2")
  echo $(((many - one) / 1000))
}

echo "SELECT a, b FROM t WHERE c = 1: $(perCall sql 'SELECT a, b FROM t WHERE c = 1') instructions per call"
echo "SELECT a, b FROM t WHERE c = (a syntax error): $(perCall sql 'SELECT a, b FROM t WHERE c =') instructions per call"
echo "sum by (job) (rate(http_requests_total{code=~\"5..\"}[5m])): $(perCall promql 'sum by (job) (rate(http_requests_total{code=~"5.."}[5m]))') instructions per call"
