#!/usr/bin/env bash
# Installs what the library and vellum-parse need to build (if missing),
# then builds everything into build/. The tests are built as well when their
# dependencies are present (bash scripts/test.sh installs those and runs them).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-missing.sh cmake ninja-build g++ nlohmann-json3-dev

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)"
