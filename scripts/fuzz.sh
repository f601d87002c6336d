#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a short time.
#   scripts/fuzz.sh [seconds-per-target]   (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"

scripts/install-deps.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target command_decoder_fuzzer

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp tests/fuzz/corpus/* "$work/"
build/fuzz/tests/fuzz/command_decoder_fuzzer -max_total_time="$seconds" -max_len=65536 \
  -timeout=10 -print_final_stats=1 "$work"
