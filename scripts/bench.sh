#!/usr/bin/env bash
# Builds the release preset with benchmarks and runs every benchmark program.
#   scripts/bench.sh [benchmark-filter]
set -euo pipefail
cd "$(dirname "$0")/.."
filter="${1:-.}"

scripts/install-deps.sh
cmake --preset release -DLK_BUILD_BENCH=ON >/dev/null
cmake --build --preset release
for program in $(find build/release/bench -type f -executable -name 'lk_*_bench' | sort); do
  echo "== $program"
  "$program" --benchmark_filter="$filter"
done
