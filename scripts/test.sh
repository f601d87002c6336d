#!/usr/bin/env bash
# Builds the runner and runs the whole test suite (unit and end-to-end).
#   scripts/test.sh            normal build
#   scripts/test.sh asan       AddressSanitizer + UndefinedBehaviorSanitizer build
#   scripts/test.sh tsan       ThreadSanitizer build
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"

scripts/install-deps.sh
export LK_TEST_CORES_DIR="${LK_TEST_CORES_DIR:-$PWD/build/test-cores}"
if [ -x scripts/fetch-test-cores.sh ]; then
  scripts/fetch-test-cores.sh "$LK_TEST_CORES_DIR"
fi

cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j "$(nproc)"

case "$preset" in
  asan) export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1" UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" ;;
  tsan) export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1" ;;
esac
ctest --preset "$preset" -j "$(nproc)"
