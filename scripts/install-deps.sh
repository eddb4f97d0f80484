#!/usr/bin/env bash
# Installs, from Debian's archive, exactly what building and testing tierlock needs.
# Idempotent: when every package is already present it runs no apt command at all.
set -euo pipefail

packages=(
  cmake g++ make clang clang-format libclang-rt-14-dev
  rapidjson-dev libutfcpp-dev googletest libgmock-dev libgtest-dev libbenchmark-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64-posix wine wine64 wine32:i386 time zip
)

missing=()
for pkg in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$pkg" 2>/dev/null || true)
  [ "$status" = installed ] || missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "install-deps: installing ${missing[*]}"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
