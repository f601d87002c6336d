#!/usr/bin/env bash
# Builds the release preset and runs every benchmark program, then the
# end-to-end runtime measurements with the real mgba core and our ROM.
#   scripts/bench.sh [benchmark-filter]
set -euo pipefail
cd "$(dirname "$0")/.."
filter="${1:-.}"

scripts/install-deps.sh
export LK_TEST_CORES_DIR="${LK_TEST_CORES_DIR:-$PWD/build/test-cores}"
scripts/fetch-test-cores.sh "$LK_TEST_CORES_DIR"
# The measurements need the test fixtures (our ROM), so tests are configured too.
cmake --preset release -DLK_BUILD_BENCH=ON -DLK_BUILD_TESTS=ON >/dev/null
cmake --build --preset release
for program in $(find build/release/bench -type f -executable -name 'lk_*_bench' | sort); do
  echo "== $program"
  "$program" --benchmark_filter="$filter"
done
echo "== raw frame stream against PNG frame events, per 640x480 frame"
bench/video/raw_vs_png.sh build/release
echo "== build/release/bench/runtime/lk_runtime_measure"
build/release/bench/runtime/lk_runtime_measure "$LK_TEST_CORES_DIR"
