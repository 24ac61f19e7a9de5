#!/usr/bin/env bash
# Installs every Debian package the project builds, tests and runs with.
# Idempotent: packages already present are skipped, so a second run takes seconds.
set -euo pipefail

packages=(
  # build tools
  cmake ninja-build g++ pkg-config ccache
  # libraries
  qt6-base-dev zlib1g-dev libpng-dev libjpeg62-turbo-dev libopenjp2-7-dev
  liblcms2-dev libcurl4-openssl-dev libgtest-dev
  # fonts the drawing tests measure text with
  fonts-dejavu-core fonts-liberation2
  # a display server for tests and screenshots
  xvfb
  # the X11 clipboard tool the clipboard tests read and write with, and the window lister the
  # viewer's start-up tests look at its windows with
  xclip x11-utils
  # reference tools the tests compare decoded images against
  imagemagick libtiff-tools netpbm libopenjp2-tools python3 python3-pil pngcheck
  libimage-exiftool-perl icc-profiles-free qpdf liblcms2-utils libjpeg-turbo-progs
  # the fuzz configuration: clang 14 with its libFuzzer and sanitizer runtimes
  clang libclang-rt-14-dev
  # peers of the benchmarks, called in process
  libvips-dev libmagick++-dev libimagequant-dev
  # the viewer benchmark's peer program, its key sender and its screen grabber
  qimgv xdotool python3-xlib
  # the CMYK press profile of the colour conversion
  libgs-common
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

if [ "$(id -u)" -ne 0 ]; then
  echo "setup.sh: installing ${missing[*]} needs root" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
