#!/usr/bin/env bash
# Fetches the real libretro cores that the tests drive: Debian's packaged
# mgba, desmume, nestopia and gambatte cores. Only the core libraries are
# taken (usr/lib/x86_64-linux-gnu/libretro/*.so); the frontend those packages
# depend on is never installed. Their runtime libraries (libinih1 for mgba,
# libtinyxml2.6.2v5 for desmume) come from scripts/install-deps.sh.
#
# Usage: scripts/fetch-test-cores.sh [DEST]   (default: build/test-cores)
# Safe to run again: a core already present in DEST is skipped.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
dest=${1:-$root/build/test-cores}

# package -> core library it ships
cores=(
  "libretro-mgba mgba_libretro.so"
  "libretro-desmume desmume_libretro.so"
  "libretro-nestopia nestopia_libretro.so"
  "libretro-gambatte gambatte_libretro.so"
)

mkdir -p "$dest"
dest=$(cd "$dest" && pwd)

missing=()
for entry in "${cores[@]}"; do
  read -r package library <<<"$entry"
  if [ -f "$dest/$library" ]; then
    echo "fetch-test-cores: $library already present"
  else
    missing+=("$package")
  fi
done
if [ "${#missing[@]}" -eq 0 ]; then
  exit 0
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# apt downloads as its own user where it can.
if [ "$(id -u)" -eq 0 ] && id _apt >/dev/null 2>&1; then
  chown _apt "$work"
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

download() {
  (cd "$work" && apt-get download "$@")
}

echo "fetch-test-cores: downloading ${missing[*]}"
if ! download "${missing[@]}"; then
  echo "fetch-test-cores: download failed; refreshing the package lists and retrying"
  $SUDO apt-get update -qq
  download "${missing[@]}"
fi

for deb in "$work"/*.deb; do
  unpacked="$work/unpacked"
  rm -rf "$unpacked"
  dpkg-deb -x "$deb" "$unpacked"
  found=0
  for library in "$unpacked"/usr/lib/x86_64-linux-gnu/libretro/*.so; do
    [ -f "$library" ] || continue
    cp "$library" "$dest/"
    echo "fetch-test-cores: $(basename "$library") -> $dest"
    found=1
  done
  if [ "$found" -eq 0 ]; then
    echo "fetch-test-cores: $(basename "$deb") holds no core library" >&2
    exit 1
  fi
done

# A core whose runtime libraries are missing cannot be opened.
for library in "$dest"/*.so; do
  if ldd "$library" 2>/dev/null | grep -q 'not found'; then
    echo "fetch-test-cores: warning: $(basename "$library") lacks libraries" \
      "($(ldd "$library" | awk '/not found/ {print $1}' | tr '\n' ' '));" \
      "run scripts/install-deps.sh" >&2
  fi
done
