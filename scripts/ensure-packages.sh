#!/usr/bin/env bash
# Installs the Debian packages that the build and the tests need, only those
# that are missing. Usage: ensure-packages.sh app|test|shots
set -euo pipefail

app_packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev libgl-dev qt6-serialport-dev
  libqt6sql6-sqlite libqt6sql6-psql libtomlplusplus-dev liblxi-dev libtirpc-dev
  libxml2-dev
  libgtest-dev
  fonts-liberation
  xvfb xauth
)
# The screenshots: keys typed into the window, and its picture taken.
shots_packages=(
  "${app_packages[@]}"
  xdotool imagemagick
)
test_packages=(
  "${app_packages[@]}"
  googletest libgtest-dev
  mingw-w64 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  wine wine64 wine64-tools wine32:i386 libwine-dev
  postgresql poppler-utils sqlite3
  libxml2-utils
)

case "${1:-}" in
  app) wanted=("${app_packages[@]}") ;;
  test) wanted=("${test_packages[@]}") ;;
  shots) wanted=("${shots_packages[@]}") ;;
  *) echo "usage: $0 app|test|shots" >&2; exit 2 ;;
esac

missing=()
for pkg in "${wanted[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$pkg" 2>/dev/null || true)
  [ "$status" = installed ] || missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  as_root=()
elif command -v sudo >/dev/null 2>&1; then
  as_root=(sudo)
else
  echo "These Debian packages are missing and installing them needs root: ${missing[*]}" >&2
  exit 1
fi

echo "Installing Debian packages: ${missing[*]}"
for pkg in "${missing[@]}"; do
  case "$pkg" in
    *:i386)
      if ! dpkg --print-foreign-architectures | grep -qx i386; then
        "${as_root[@]}" dpkg --add-architecture i386
      fi ;;
  esac
done
export DEBIAN_FRONTEND=noninteractive
# An index that fails to download (a mirror in the middle of a sync) is
# said by apt and left out; the install below tells whether it mattered.
"${as_root[@]}" apt-get update -q || echo "apt-get update reported errors; trying the install all the same" >&2
if "${as_root[@]}" apt-get install -y -q "${missing[@]}"; then
  exit 0
fi

# Multi-arch packages need the same version in both architectures. When the
# archive's i386 security index is inconsistent, apt sees amd64 security
# updates without their i386 twins and refuses wine32:i386. Then the
# packages are taken from the main suite alone, letting the few amd64
# libraries from security step back to the main suite's version.
case " ${missing[*]} " in
  *:i386*) ;;
  *) echo "Installing these Debian packages failed: ${missing[*]}" >&2; exit 1 ;;
esac
echo "The plain install failed; installing from the main suite alone (the i386 security index may be out of step)" >&2
pin=/etc/apt/preferences.d/zz-tarn-i386-main
"${as_root[@]}" tee "$pin" >/dev/null <<'PIN'
Package: *
Pin: release l=Debian-Security
Pin-Priority: -1

Package: *
Pin: release n=bookworm
Pin-Priority: 1001
PIN
status=0
"${as_root[@]}" apt-get install -y -q --allow-downgrades "${missing[@]}" || status=$?
"${as_root[@]}" rm -f "$pin"
if [ $status -ne 0 ]; then
  echo "Installing these Debian packages failed, from the main suite too: ${missing[*]}" >&2
  exit 1
fi
