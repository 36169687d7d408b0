#!/usr/bin/env bash
# Installs what building and testing Tavrolinde needs on Debian 12 (as root, or through sudo).
# Idempotent and quiet when everything is already there.
set -euo pipefail

packages=(
  cmake ninja-build googletest
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools
  wine wine32:i386 wine64 fonts-wine
  xvfb xauth xdotool x11-utils imagemagick
  fonts-ipafont-gothic locales python3 python3-scipy gnuplot-nox
)

as_root=$([ "$(id -u)" -eq 0 ] || echo sudo)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ "${#missing[@]}" -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  dpkg --print-foreign-architectures | grep -qx i386 || $as_root dpkg --add-architecture i386
  $as_root apt-get update -qq
  $as_root env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

if ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf8'; then
  echo "setup: generating the ja_JP.UTF-8 locale"
  grep -q '^ja_JP.UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | $as_root tee -a /etc/locale.gen >/dev/null
  $as_root locale-gen >/dev/null
fi
