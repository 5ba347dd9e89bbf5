#!/usr/bin/env bash
# Builds Lodvane and makes the Debian package lodvane_VERSION_ARCH.deb in
# build/package/ (or $LODVANE_BUILD_DIR/package): the install tree under /usr,
# with the library packages it needs found from the binaries. Runs lintian on
# it when lintian is installed. Install it with
#   sudo apt install ./build/package/lodvane_*.deb
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${LODVANE_BUILD_DIR:-$top/build}
bash "$top/scripts/build.sh"
out="$build/package"
rm -f "$out"/lodvane_*.deb
(cd "$build" && cpack -G DEB -B "$out" >/dev/null)
deb=$(ls "$out"/lodvane_*.deb)
echo "package: $deb"
if command -v lintian >/dev/null 2>&1; then
  echo "package: lintian says:"
  lintian "$deb" || true
fi
