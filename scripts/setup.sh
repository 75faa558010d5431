#!/usr/bin/env bash
# Installs every Debian package Turnlet needs to build, test and run; safe to run again.
# With --bench it also installs the tools the export speed measurement uses (vips, djpeg/cjpeg).
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang-format
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libturbojpeg0-dev libjpeg62-turbo-dev libpng-dev
  clang libclang-rt-14-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  ffmpeg xvfb xauth
  # the Debian package: cpack's dpkg-shlibdeps and file, and the checks of its desktop files
  dpkg-dev file appstream desktop-file-utils
  chromium
)
# Node.js may already come from elsewhere with its own npm; Debian's nodejs conflicts with that.
if [ "${1:-}" = "--bench" ]; then
  packages+=(libvips-tools libjpeg-turbo-progs)
fi
if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
  packages+=(nodejs npm)
fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update
  "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi

# The browser test drives Debian's chromium through playwright-core (no browser download).
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
if [ -f "$here/tests/browser/package.json" ] && [ ! -d "$here/tests/browser/node_modules/playwright-core" ]; then
  (cd "$here/tests/browser" && npm ci --no-audit --no-fund --loglevel=error)
fi
