#!/usr/bin/env bash
# package_test.sh BUILD_DIR: makes the Debian package with CPack, checks its
# control fields, unpacks it into a temporary folder and checks what it holds.
set -euo pipefail
build=$1
out=$(mktemp -d)
root=$(mktemp -d)
trap 'rm -rf "$out" "$root"' EXIT
fail() { echo "package test: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$out" > "$out/cpack.log" 2>&1) || { cat "$out/cpack.log" >&2; fail "cpack failed"; }
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
arch=$(dpkg --print-architecture)
deb="$out/lodvane_${version}_${arch}.deb"
[ -f "$deb" ] || fail "no $(basename "$deb") among: $(ls "$out")"

control=$(dpkg-deb -I "$deb" control)
field() { sed -n "s/^$1: //p" <<< "$control"; }
[ "$(field Package)" = lodvane ] || fail "package name: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "version: $(field Version), not $version"
[ "$(field Architecture)" = "$arch" ] || fail "architecture: $(field Architecture), not $arch"
# What the binaries link against, found by dpkg-shlibdeps.
for qt in libqt5core5a libqt5gui5 libqt5widgets5 libqt5serialport5; do
  grep -qE "(^|, )$qt( |,|$)" <<< "$(field Depends)" || fail "Depends lacks $qt: $(field Depends)"
done

dpkg-deb -x "$deb" "$root"
"$root/usr/bin/lodvane-cli" --version | grep -qx "lodvane-cli $version" || fail "lodvane-cli --version"
# The loaders go where the installed tree has them (the install test runs
# the programmer with them).
for family in BF51x BF592; do
  [ -s "$root/usr/libexec/lodvane/sys/ADSP-$family/FlashLoader.ldr" ] || fail "no loader for $family"
done
echo "package test: $(basename "$deb") checked"
