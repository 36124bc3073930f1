#!/usr/bin/env bash
# Installs what the tests need (if missing), builds, and runs every test:
# the regular build first, then the whole suite again under ASan + UBSan.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-missing.sh cmake ninja-build g++ clang libclang-rt-dev libgtest-dev libbenchmark-dev libmsgpack-cxx-dev nlohmann-json3-dev binutils
# Installation, packaging and the Python package (Debian's python3 only).
bash scripts/install-missing.sh pkgconf dpkg-dev python3 python3-msgpack python3-pytest python3-setuptools python3-wheel python3-pip python3-venv

jobs=$(nproc)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

# clang: its ASan runtime and UBSan's C++ checks; optimised, so that stack
# frames stay near their real size for the 1 MiB-stack tests; no benchmarks.
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELLUM_SANITIZER=address \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DVELLUM_BUILD_BENCH=OFF
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"
