#!/usr/bin/env bash
# Plays a tone through the desktop audio sink into ALSA "default", routed to a
# private PulseAudio server with null sinks, and checks what the sinks' monitors
# recorded. Exits 77 (skipped) when PulseAudio is not installed.
set -u
probe="$1"
runner="${2:-}"          # optional: the runner, our GBA ROM and the real cores'
rom="${3:-}"             # folder, for a game session through the default sink
cores="${LK_TEST_CORES_DIR:-${4:-}}"
for tool in pulseaudio parec pactl; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool not installed"; exit 77; }
done

tmp="$(mktemp -d)"
export XDG_RUNTIME_DIR="$tmp/run" HOME="$tmp/home"
mkdir -p "$XDG_RUNTIME_DIR" "$HOME"
chmod 700 "$XDG_RUNTIME_DIR"
unset PULSE_SERVER
recorders=()

cleanup() {
  for pid in "${recorders[@]}"; do kill "$pid" 2>/dev/null; done
  if [ -f "$XDG_RUNTIME_DIR/pulse/pid" ]; then
    kill "$(cat "$XDG_RUNTIME_DIR/pulse/pid")" 2>/dev/null
  fi
  rm -rf "$tmp"
}
trap cleanup EXIT

cat > "$tmp/default.pa" <<'PA'
load-module module-native-protocol-unix
load-module module-null-sink sink_name=testsink sink_properties=device.description=TestSink
load-module module-null-sink sink_name=othersink sink_properties=device.description=OtherSink
set-default-sink testsink
PA
# A second ALSA device, listed with its own display name, on the other sink.
cat > "$HOME/.asoundrc" <<'ASOUND'
pcm.lumenkite_other {
  type pulse
  device othersink
  hint { show on description "Lumenkite Other Test Sink" }
}
ASOUND

pulseaudio -n -F "$tmp/default.pa" --exit-idle-time=-1 --daemonize=yes --use-pid-file=yes \
  --log-target=file:"$tmp/pulse.log" || { cat "$tmp/pulse.log"; exit 1; }
for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done

failures=0
# record <sink> <file>: starts a recorder in the background.
record() {
  parec -d "$1.monitor" --format=s16le --rate=48000 --channels=2 > "$2" &
  recorders+=($!)
}
stop_recorders() {
  for pid in "${recorders[@]}"; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
  recorders=()
}
# check <name> <file> <min Hz> <max Hz> <min peak> <max peak>
check() {
  local name="$1"; shift
  if "$probe" analyze "$@"; then echo "PASS $name"; else echo "FAIL $name"; failures=$((failures + 1)); fi
}
play() {
  timeout 20 "$probe" play 2.5 "$@" || { echo "FAIL play $*"; failures=$((failures + 1)); }
}

record testsink "$tmp/full.raw"
play 1.0 0
stop_recorders
check "tone at full volume" "$tmp/full.raw" 430 450 0.42 0.58

record testsink "$tmp/half.raw"
play 0.5 0
stop_recorders
check "volume 50 halves the level" "$tmp/half.raw" 430 450 0.21 0.29

record testsink "$tmp/muted.raw"
play 1.0 1
stop_recorders
check "mute gives silence" "$tmp/muted.raw" 0 0 0 0.001

record testsink "$tmp/unmuted.raw"
LK_PROBE_UNMUTE_AFTER=0.8 play 1.0 1
stop_recorders
check "unmuting resumes the tone" "$tmp/unmuted.raw" 430 450 0.42 0.58

record testsink "$tmp/fast.raw"
LK_PROBE_SPEED=2 play 1.0 0
stop_recorders
check "speed 2.0 doubles the pitch" "$tmp/fast.raw" 860 900 0.42 0.58

record testsink "$tmp/first.raw"
record othersink "$tmp/other.raw"
play 1.0 0 "other test sink"
stop_recorders
check "device chosen by display name plays" "$tmp/other.raw" 430 450 0.42 0.58
check "the other device stays silent" "$tmp/first.raw" 0 0 0 0.001

# A real game: our ROM on the mgba core (32768 Hz) through the runner's default
# desktop sink for 40 s; its tone comes out at about 440 Hz, the debug lines
# have their documented form, and the metrics show no underruns in the 30 s
# after the stream warmed up.
if [ -n "$runner" ] && [ -f "$cores/mgba_libretro.so" ] && [ -f "$rom" ]; then
  record testsink "$tmp/game.raw"
  { printf '{"type":"loadRom","requestId":"l","payload":{"coreId":"mgba","platformId":"gba","gameId":"g","title":"t","source":{"kind":"file","filePath":"%s"}}}\n' "$rom"
    sleep 40; } |
    env -u LUMENKITE_AUDIO_SINK LUMENKITE_USE_LIBRETRO_CORES=1 LUMENKITE_CORE_BUNDLE_DIR="$cores" \
      LUMENKITE_VIDEO_SINK=null LUMENKITE_RUNNER_DEBUG_LOGS=1 "$runner" >/dev/null 2>"$tmp/game.log"
  stop_recorders
  check "our ROM on mgba plays its tone through the desktop sink" "$tmp/game.raw" 430 450 0.02 1.0
  # The debug lines as the shell's logs show them.
  float='[0-9]+\.[0-9]{2}'
  ready='^\[lumenkite-runner\] Desktop audio ready: mode=Standard source=32768Hz speed=1\.00 effectiveSource=32768Hz output=[0-9]+Hz channels=[0-9]+ format=[A-Z][0-9]+ device="[^"]*" volume=[0-9]+ muted=false burstFrames=1024 ringFrames=[0-9]+ prefillFrames=[0-9]+ recoveryPrefillFrames=[0-9]+ ceilingFrames=[0-9]+$'
  started='^\[lumenkite-runner\] Desktop audio playback started: requestedFrames=[1-9][0-9]* readFrames=0 underrunFrames=0 bufferedFrames=[0-9]+ capacityFrames=[1-9][0-9]* underrunCallbacks=0$'
  metrics="^\\[lumenkite-runner\\] Desktop audio metrics: sourceFrames=[0-9]+ outputFrames=[0-9]+ deviceRequestedFrames=[0-9]+ deviceReadFrames=[0-9]+ devicePrefillFrames=[0-9]+ sourceRate=32768Hz outputRate=[0-9]+Hz lastOutputFrames=[0-9]+ sourceDurationMs=$float outputDurationMs=$float deviceRequestedMs=$float deviceReadMs=$float driftMs=-?$float deviceCallbacks=[0-9]+ deviceUnderrunFrames=[0-9]+ bufferedFrames=[0-9]+ capacityFrames=[0-9]+$"
  for line in ready started metrics; do
    if grep -Eq "${!line}" "$tmp/game.log"; then echo "PASS the $line line"; else
      echo "FAIL no $line line in the expected form"; failures=$((failures + 1)); fi
  done
  underruns=$(grep -E "$metrics" "$tmp/game.log" | grep -o 'deviceUnderrunFrames=[0-9]*' | cut -d= -f2)
  lines=$(echo "$underruns" | grep -c .)
  steady_start=$(echo "$underruns" | sed -n 3p)
  steady_end=$(echo "$underruns" | tail -n 1)
  echo "metrics lines=$lines underrun frames after warm-up=$steady_start at the end=$steady_end"
  if [ "$lines" -lt 12 ]; then
    echo "FAIL the metrics lines were not written"; failures=$((failures + 1))
  elif [ "${LK_AUDIO_STEADY_STATE:-check}" = check ] && [ "$steady_end" != "$steady_start" ]; then
    # Sanitizer builds run the core several times slower and only report this.
    echo "FAIL underruns in steady state: $((steady_end - steady_start)) frames"
    failures=$((failures + 1))
  fi
  if [ "$failures" -gt 0 ]; then echo "--- runner log"; grep 'Desktop audio' "$tmp/game.log" | tail -20; fi
else
  echo "not run: the game session needs the runner, our ROM and mgba_libretro.so in '$cores'"
fi

[ "$failures" -eq 0 ] || { echo "--- pulseaudio log"; tail -20 "$tmp/pulse.log"; exit 1; }
