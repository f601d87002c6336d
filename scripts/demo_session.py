#!/usr/bin/env python3
"""Drives one game session through lumenkite-runner the way the desktop shell
does: JSON command lines on its standard input, events on its standard output.

    demo_session.py RUNNER CORES_DIR ROM OUT_DIR

Loads the ROM with the mgba core, lets it run, holds the A button for a while,
saves a state, takes a screenshot, and writes a few delivered frames as PNG
files into OUT_DIR."""

import base64
import json
import os
import subprocess
import sys
import threading
import time


def main() -> int:
    runner, cores_dir, rom, out_dir = sys.argv[1:5]
    os.makedirs(out_dir, exist_ok=True)
    env = dict(os.environ,
               LUMENKITE_USE_LIBRETRO_CORES="1",
               LUMENKITE_CORE_BUNDLE_DIR=cores_dir,
               LUMENKITE_AUDIO_SINK=os.environ.get("LUMENKITE_AUDIO_SINK", "null"))
    process = subprocess.Popen([runner], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                               env=env, text=True, bufsize=1)
    frames = []
    replies = {}
    lock = threading.Condition()

    def read_events() -> None:
        for line in process.stdout:
            event = json.loads(line)
            name = event["name"]
            with lock:
                if name == "frameReady":
                    frames.append(event["payload"])
                else:
                    print(line.rstrip() if len(line) < 400 else line[:400] + "...")
                    if name in ("commandSucceeded", "commandFailed"):
                        replies[event["payload"]["requestId"]] = event
                lock.notify_all()

    reader = threading.Thread(target=read_events, daemon=True)
    reader.start()

    def send(command_type: str, request_id: str, payload: dict) -> dict:
        line = json.dumps({"type": command_type, "requestId": request_id, "payload": payload})
        process.stdin.write(line + "\n")
        process.stdin.flush()
        if command_type == "setInputState":
            return {}
        with lock:
            if not lock.wait_for(lambda: request_id in replies, timeout=20):
                raise SystemExit(f"no reply to {command_type}")
            return replies[request_id]

    def hold_a(pressed: bool, seconds: float) -> None:
        # Like the shell, send the input state on every display tick: the
        # runner releases input that is not refreshed for 250 ms.
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            send("setInputState", "input", {"inputState": {
                "buttons": [{"buttonId": "a", "pressed": pressed}], "capturedAt": time.time()}})
            time.sleep(1 / 60)

    def save_frame(label: str) -> None:
        with lock:
            lock.wait_for(lambda: frames, timeout=5)
            frame = frames[-1]
        path = os.path.join(out_dir, f"frame-{label}.png")
        with open(path, "wb") as f:
            f.write(base64.b64decode(frame["dataUrl"].split(",", 1)[1]))
        print(f"  frame {frame['frameIndex']} ({frame['width']}x{frame['height']}, "
              f"{frame['pixelFormat']}) -> {path}")

    send("initializeRunner", "init", {"protocolVersion": 1})
    reply = send("loadRom", "session-1", {
        "coreId": "mgba", "platformId": "gba", "gameId": "homebrew", "title": "Homebrew",
        "source": {"kind": "file", "filePath": rom}})
    if reply["name"] != "commandSucceeded":
        return 1
    time.sleep(1.0)
    save_frame("running")
    hold_a(True, 0.5)
    save_frame("a-pressed")
    send("saveState", "save", {"slotId": "slot-1",
                               "stateFilePath": os.path.join(out_dir, "slot-1.state"),
                               "previewFilePath": os.path.join(out_dir, "slot-1-preview.png")})
    hold_a(False, 0.5)
    save_frame("a-released")
    send("captureScreenshot", "shot",
         {"screenshotFilePath": os.path.join(out_dir, "screenshot.png")})
    send("loadState", "load", {"slotId": "slot-1",
                               "stateFilePath": os.path.join(out_dir, "slot-1.state")})
    send("closeRom", "close", {})
    with lock:
        delivered = len(frames)
    print(f"frames delivered: {delivered}")
    process.stdin.close()
    return process.wait(timeout=20)


if __name__ == "__main__":
    sys.exit(main())
