#!/usr/bin/env bash
# The main job: builds the runner and drives one scripted game session through
# it exactly as the desktop shell does (JSON command lines in, events out),
# then shows the events and the files the session wrote.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh >/dev/null
cmake --preset release >/dev/null
cmake --build --preset release --target lumenkite-runner >/dev/null
runner="$PWD/build/release/src/lumenkite-runner"

out="${1:-$PWD/build/demo}"
rm -rf "$out"
mkdir -p "$out"
rom="$out/homebrew.gba"
head -c 4096 /dev/urandom > "$rom"

commands() {
  cat <<JSON
{"type":"initializeRunner","requestId":"init","payload":{"protocolVersion":1}}
{"type":"pingRunner","requestId":"ping","payload":{"issuedAt":"$(date +%s%3N)"}}
{"type":"loadRom","requestId":"session-1","payload":{"coreId":"mgba","platformId":"gba","gameId":"homebrew","title":"Homebrew","source":{"kind":"file","filePath":"$rom"}}}
{"type":"setInputState","requestId":"input","payload":{"inputState":{"buttons":[{"buttonId":"a","pressed":true}],"capturedAt":0}}}
{"type":"saveState","requestId":"save","payload":{"slotId":"slot-1","stateFilePath":"$out/states/slot-1.state","previewFilePath":"$out/states/slot-1.png"}}
{"type":"loadState","requestId":"load","payload":{"slotId":"slot-1","stateFilePath":"$out/states/slot-1.state"}}
{"type":"captureScreenshot","requestId":"shot","payload":{"screenshotFilePath":"$out/screenshots/shot-1.png"}}
{"type":"pause","requestId":"pause","payload":{}}
{"type":"resume","requestId":"resume","payload":{}}
{"type":"closeRom","requestId":"close","payload":{}}
JSON
}

echo "runner: $runner"
echo "events:"
commands | "$runner" | tee "$out/events.jsonl"
echo
echo "files written by the session:"
find "$out" -type f ! -name events.jsonl ! -name homebrew.gba -printf '  %p (%s bytes)\n' | sort
