#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the tools need.
# Idempotent, and silent when everything is already there.
set -euo pipefail

# Both bitnesses: the i686 and x86_64 compilers, and Wine's 32- and 64-bit
# loaders (a win64 prefix runs the programs of both builds).
packages=(
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine wine32:i386 wine64 xvfb xauth
  cmake ninja-build googletest
  clang libclang-rt-14-dev
  llvm lld
)

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
  [ "$status" = installed ] || missing+=("$package")
done
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  missing+=(i386-architecture)
fi
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo dpkg --add-architecture i386
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
  "${packages[@]}" >/dev/null
