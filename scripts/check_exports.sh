#!/usr/bin/env bash
# Checks the dynamic interface of the shared library: it defines exactly the
# five vellum_* functions and, unless the second argument is 0, needs no
# C++ runtime at load time (it is linked in statically).
set -euo pipefail
lib=$1
check_runtime=${2:-1}

want=$'vellum_free_buffer\nvellum_parse_promql\nvellum_parse_sql\nvellum_parser_init\nvellum_parser_version'
got=$(nm -D --defined-only "$lib" | awk '{print $NF}' | sed 's/@.*//' | sort)
if [ "$got" != "$want" ]; then
  echo "dynamic symbols differ from the five exports:"
  diff <(echo "$want") <(echo "$got") || true
  exit 1
fi

if [ "$check_runtime" != 0 ]; then
  needed=$(readelf -d "$lib" | awk '/NEEDED/ {print $NF}')
  if echo "$needed" | grep -qE 'libstdc\+\+|libc\+\+|libgcc_s'; then
    echo "the library needs a C++ runtime at load time:"
    echo "$needed"
    exit 1
  fi
fi
echo "exports: $(echo $got)"
