#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build and the tests need and
# is not there yet. Does nothing when everything is installed. Needs root
# (or sudo) only when something is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build make git python3
  googletest libbenchmark-dev
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
  wine wine64 wine32:i386
  xvfb xauth x11-apps imagemagick fonts-ipafont-gothic fonts-wine icoutils
  clang libclang-rt-14-dev llvm clang-format
  valgrind time
  libssl-dev zlib1g-dev libz-mingw-w64-dev
  # vexlo-cli's Debian package (make deb) and the checks of it and of its manual.
  dpkg-dev lintian man-db
  # Makers of the trailer-kind samples (tests/make_kind_samples.py).
  zip p7zip-full bzip2 xz-utils zstd sqlite3 qpdf sox libsox-fmt-mp3
  gstreamer1.0-tools gstreamer1.0-plugins-good
)

# `scripts/setup.sh bench` adds the tools vexlo-cli is measured against
# (bench/peers) and unzip for binwalk's ZIP step; GNU time, for peak memory,
# is in the list above already.
if [ "${1:-}" = bench ]; then
  packages+=(pngcheck libimage-exiftool-perl binwalk foremost unzip)
fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}" >&2
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${sudo_cmd[@]}" dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
# A mirror caught mid-sync fails an index now and then: try again, then go
# on with the lists that came (the install says so if a package is missing).
for attempt in 1 2 3; do
  "${sudo_cmd[@]}" apt-get update -qq && break
  echo "setup: package lists incomplete (attempt $attempt of 3)" >&2
  [ "$attempt" = 3 ] || sleep 20
done
install=("${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends)
if ! "${install[@]}" "${missing[@]}" >/dev/null; then
  # With one architecture's security list missing, its libraries and the
  # other's differ in version and wine32 cannot be installed; the release's
  # own suite alone gives both the same.
  release=$(. /etc/os-release && echo "$VERSION_CODENAME")
  echo "setup: installing from $release without its updates" >&2
  "${install[@]}" -t "$release" "${missing[@]}" >/dev/null
fi
