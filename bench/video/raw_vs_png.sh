#!/usr/bin/env bash
# Runs the video sink benchmark and prints, per pixel format, the raw frame
# stream's per-frame time and runner CPU as a ratio of the PNG frame events'.
# Usage: bench/video/raw_vs_png.sh [build dir, default build/release]
set -euo pipefail
build="${1:-build/release}"
out="$(mktemp)"
trap 'rm -f "$out"' EXIT
"$build/bench/video/lk_video_sink_bench" --benchmark_repetitions=3 \
  --benchmark_report_aggregates_only=true --benchmark_format=json >"$out"
python3 - "$out" <<'PY'
import json, sys
runs = {}
for b in json.load(open(sys.argv[1]))["benchmarks"]:
    if b.get("aggregate_name") != "median":
        continue
    kind = "png" if "Png" in b["name"] else "raw"
    runs.setdefault(b["label"], {})[kind] = b
for label, pair in sorted(runs.items()):
    png, raw = pair["png"], pair["raw"]
    print(f"{label}: per frame png {png['real_time']:.0f} us, raw {raw['real_time']:.0f} us, "
          f"raw/png time {raw['real_time'] / png['real_time']:.3f}; runner cpu png "
          f"{png['runner_cpu_us']:.0f} us, raw {raw['runner_cpu_us']:.0f} us, "
          f"raw/png cpu {raw['runner_cpu_us'] / png['runner_cpu_us']:.3f}")
PY
