#!/usr/bin/env bash
# Installs the build into a prefix under the build folder and uses it as the
# README says: the C example built through pkg-config, the C++ example and the
# C example through find_package, and the installed vellum-parse.
#
#   test_install.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
src=$(cd "$1" && pwd)
build=$(cd "$2" && pwd)
work=$build/install-test
rm -rf "$work"
mkdir -p "$work"
# The README's commands run from the top of a checkout with its build in
# build/: here a folder outside the build that links to both (links inside
# the build would make a cycle). The prefix is under the build.
view=$(mktemp -d)
trap 'rm -rf "$view"' EXIT
cd "$view"
ln -s "$build" build
ln -s "$src/tools" tools
export PREFIX=$work/prefix
example() { python3 "$src/scripts/readme_example.py" "$src/README.md" "$1"; }
fail() { echo "FAIL: $*" >&2; exit 1; }
loads_installed() {  # BINARY: it loads the library of the prefix
  local path
  path=$(ldd "$1" | awk '/libvellum_sql_parser.so.0/ {print $3}')
  [ -n "$path" ] && [ "$(readlink -f "$path")" = "$(readlink -f "$libdir/libvellum_sql_parser.so.0")" ]
}
expect_output() {  # NAME EXPECTED GOT
  [ "$3" = "$2" ] || { printf 'FAIL: %s printed\n%s\ninstead of\n%s\n' "$1" "$3" "$2" >&2; exit 1; }
}

# What the examples print for SELECT 1: the size of its document.
select1=$("$build/tools/vellum-parse" --msgpack sql 'SELECT 1' | wc -c)

example install | bash -euo pipefail > install.log
libdir=$(dirname "$(find "$PREFIX" -name vellum_sql_parser.pc)")/..
libdir=$(cd "$libdir" && pwd)
[ "$(readlink "$libdir/libvellum_sql_parser.so")" = libvellum_sql_parser.so.0 ] || fail "no development link"
[ "$(readlink "$libdir/libvellum_sql_parser.so.0")" = libvellum_sql_parser.so.0.25.0 ] || fail "no SONAME link"
readelf -d "$libdir/libvellum_sql_parser.so.0.25.0" | grep -q 'SONAME.*\[libvellum_sql_parser.so.0\]' || fail "SONAME"
bash "$src/scripts/check_exports.sh" "$libdir/libvellum_sql_parser.so.0.25.0" > /dev/null || fail "exports"
for f in include/vellum_sql_parser.h bin/vellum-parse; do [ -f "$PREFIX/$f" ] || fail "missing $f"; done
[ -f "$libdir/cmake/vellum_sql_parser/vellum_sql_parserConfig.cmake" ] || fail "missing CMake package"

# pkg-config: the example is built and run by the README's own lines.
got=$(example pkg-config | bash -euo pipefail)
expect_output pkg-config "$(printf 'parsed: %d bytes of MessagePack\nlibrary version 0.25.0' "$select1")" "$got"
loads_installed c_example || fail "c_example does not load the installed library"

# find_package: the README's project, plus the C example built the same way.
mkdir my_app
example CMakeLists.txt > my_app/CMakeLists.txt
example main.cpp > my_app/main.cpp
cp "$src/tools/c_example.c" my_app/
cat >> my_app/CMakeLists.txt <<'CMAKE'
enable_language(C)
add_executable(c_example c_example.c)
target_link_libraries(c_example PRIVATE vellum::sql_parser)
CMAKE
got=$(example find-package | bash -euo pipefail 2> find-package.log | tail -2)
expect_output find_package "$(printf 'SELECT 1: %d bytes of MessagePack\nSELECT (1: Parse error at line 1, col 10: expected tkRParen (got tkEof '"''"')' "$select1")" "$got"
got=$(my_app/build/c_example 'SELECT 1')
expect_output "find_package c_example" "$(printf 'parsed: %d bytes of MessagePack\nlibrary version 0.25.0' "$select1")" "$got"
loads_installed my_app/build/my_app || fail "my_app does not load the installed library"

# The installed tool finds the installed library through its RUNPATH.
got=$(PATH=$PREFIX/bin:$PATH example cli | PATH=$PREFIX/bin:$PATH bash -euo pipefail)
expect_output cli "$(example cli-output)" "$got"
loads_installed "$PREFIX/bin/vellum-parse" || fail "vellum-parse does not load the installed library"
echo "install_prefix: ok"
