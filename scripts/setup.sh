#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Lodvane
# need, and only those that are missing. Runs as root or through sudo.
set -euo pipefail

packages=(
  cmake make g++ pkg-config
  qtbase5-dev qtbase5-dev-tools libqt5serialport5-dev
  fonts-dejavu-core
  valgrind
  lrzsz
  clang libclang-rt-14-dev
  dpkg-dev file   # dpkg-shlibdeps, for the Debian package
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "setup: installing ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
  as_root=()
elif command -v sudo >/dev/null 2>&1; then
  as_root=(sudo)
else
  echo "setup: need root (or sudo) to install: ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
