#!/usr/bin/env bash
# The main job: builds the runner and our homebrew Game Boy Advance ROM, fetches
# the Debian mgba core, and plays a session through the runner exactly as the
# desktop shell does (JSON command lines in, events out). It presses A, saves a
# state, takes a screenshot and leaves a few delivered frames as PNG files.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh >/dev/null
cores="$PWD/build/test-cores"
scripts/fetch-test-cores.sh "$cores" >/dev/null
cmake --preset default >/dev/null
cmake --build --preset default --target lumenkite-runner lk_fixture_gba_rom >/dev/null

runner="$PWD/build/default/src/lumenkite-runner"
rom="$PWD/build/default/fixtures/roms/lk_test_rom.gba"
out="${1:-$PWD/build/demo}"
rm -rf "$out"

echo "runner: $runner"
echo "game:   $rom (our homebrew ROM) on $cores/mgba_libretro.so"
echo "events:"
python3 scripts/demo_session.py "$runner" "$cores" "$rom" "$out"
echo
echo "files written by the session:"
find "$out" -type f -printf '  %p (%s bytes)\n' | sort
