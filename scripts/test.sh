#!/usr/bin/env bash
# Installs what the tests need (if missing), builds, and runs every test:
# the regular build first, then the whole suite again under ASan + UBSan,
# the threaded tests under TSan, and a short run of each fuzz target.
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

# ThreadSanitizer: the shared library and the threaded tests only (eight
# threads over the whole corpus, buffers released on other threads, the
# memory a thread keeps between calls).
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELLUM_SANITIZER=thread \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DVELLUM_BUILD_BENCH=OFF -DVELLUM_BUILD_TOOLS=OFF
cmake --build build-tsan -j "$jobs" --target api_tsan_corpus_test api_threads_test support_thread_memory_test
for test in api_tsan_corpus_test api_threads_test support_thread_memory_test; do
  TSAN_OPTIONS=halt_on_error=1 "build-tsan/tests/$test"
done

# The fuzz targets (libFuzzer, ASan + UBSan) in their own build folder, and a
# short run of each from the saved seeds (fuzz/seeds; fuzz/make_seeds.py
# makes them), so that a regression shows on every change. New inputs go to
# a scratch corpus, findings to build-fuzz/crash-*.
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELLUM_BUILD_FUZZ=ON -DVELLUM_SANITIZER=address \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DVELLUM_BUILD_BENCH=OFF -DVELLUM_BUILD_TOOLS=OFF \
  -DVELLUM_BUILD_TESTS=OFF
cmake --build build-fuzz -j "$jobs" --target sql_fuzz promql_fuzz staged_fuzz
for target in sql promql staged; do
  dictionary=()
  if [ -f "fuzz/$target.dict" ]; then dictionary=("-dict=fuzz/$target.dict"); fi
  rm -rf "build-fuzz/corpus-$target" && mkdir -p "build-fuzz/corpus-$target"
  log="build-fuzz/$target-fuzz.log"
  if ! "build-fuzz/fuzz/${target}_fuzz" "${dictionary[@]}" -max_total_time=20 -max_len=4096 -print_final_stats=1 \
    -artifact_prefix=build-fuzz/ "build-fuzz/corpus-$target" "fuzz/seeds/$target" >"$log" 2>&1; then
    tail -n 60 "$log"
    exit 1
  fi
  echo "${target}_fuzz: $(grep -o 'number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$') executions, no finding"
done

# Every stage above stops the script on its first failure, so reaching this
# line means all of it passed: the two suites, the threaded tests under TSan
# (three) and the three fuzz targets.
total() { ctest --test-dir "$1" -N | sed -n 's/^Total Tests: //p'; }
echo "$(($(total build) + $(total build-asan) + 3 + 3)) passed, 0 failed"
