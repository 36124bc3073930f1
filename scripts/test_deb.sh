#!/usr/bin/env bash
# Packs the build with `cpack -G DEB` and reads the package back: its
# metadata and files, and, unpacked into a folder, the C example built
# against it through its pkg-config file and the packed vellum-parse run.
#
#   test_deb.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
src=$(cd "$1" && pwd)
build=$(cd "$2" && pwd)
work=$build/deb-test
rm -rf "$work"
mkdir -p "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }

# The README's command, from the top of a checkout with its build in build/:
# a folder outside the build that links to it (a link inside would make a
# cycle for the tools that walk the working folder's path).
view=$(mktemp -d)
trap 'rm -rf "$view"' EXIT
ln -s "$build" "$view/build"
arch=$(dpkg --print-architecture)
name=vellum-sql-parser_0.25.0_${arch}.deb
rm -f "$build/$name"
(cd "$view" && python3 "$src/scripts/readme_example.py" "$src/README.md" deb | bash -euo pipefail > "$work/cpack.log" 2>&1) ||
  { cat "$work/cpack.log"; fail "cpack"; }
grep -q 'usr/include/vellum_sql_parser.h' "$work/cpack.log" || fail "the README's command lists no contents"
[ -f "$build/$name" ] || fail "no $name in $build"
deb=$work/$name
mv "$build/$name" "$deb"

for field in "Package: vellum-sql-parser" "Version: 0.25.0" "Architecture: $arch"; do
  dpkg-deb -f "$deb" | grep -qx "$field" || fail "control lacks '$field': $(dpkg-deb -f "$deb")"
done
dpkg-deb -f "$deb" Depends | grep -q 'libc6' || fail "no dependency on libc6"

contents=$(dpkg-deb -c "$deb" | awk '{print $6 $7 $8}')
for f in ./usr/lib/libvellum_sql_parser.so.0.25.0 \
         ./usr/lib/libvellum_sql_parser.so.0-\>libvellum_sql_parser.so.0.25.0 \
         ./usr/lib/libvellum_sql_parser.so-\>libvellum_sql_parser.so.0 \
         ./usr/include/vellum_sql_parser.h ./usr/bin/vellum-parse ./usr/lib/pkgconfig/vellum_sql_parser.pc \
         ./usr/lib/cmake/vellum_sql_parser/vellum_sql_parserConfig.cmake \
         ./usr/lib/cmake/vellum_sql_parser/vellum_sql_parserTargets.cmake; do
  echo "$contents" | grep -qxF "$f" || fail "package lacks $f"
done

root=$work/root
dpkg-deb -x "$deb" "$root"
PKG_CONFIG_PATH=$root/usr/lib/pkgconfig
export PKG_CONFIG_PATH
[ "$(pkg-config --modversion vellum_sql_parser)" = 0.25.0 ] || fail "pkg-config version"
# shellcheck disable=SC2046
${CC:-cc} -std=c99 -pedantic -Werror "$src/tools/c_example.c" $(pkg-config --cflags --libs vellum_sql_parser) \
  -Wl,-rpath,"$root/usr/lib" -o "$work/c_example"
[ "$("$work/c_example" 'SELECT 1' | tail -1)" = "library version 0.25.0" ] || fail "c_example"
[ "$("$root/usr/bin/vellum-parse" --compact --no-spans sql COMMIT)" = '[{"kind":{"variant":"Commit"}}]' ] ||
  fail "packed vellum-parse"
echo "debian_package: ok ($(basename "$deb"))"
