#!/usr/bin/env bash
# Installs the Debian packages the project needs. Idempotent: packages already present are
# skipped, so a second run takes a moment.
#   bash scripts/setup.sh          everything: building, running, the tests and the benchmarks
#   bash scripts/setup.sh --run    only what building and running the viewer need
set -euo pipefail

# What building and running the viewer need.
run_packages=(
  # build tools
  cmake ninja-build g++ pkg-config ccache python3
  # libraries
  qt6-base-dev zlib1g-dev libpng-dev libjpeg62-turbo-dev libopenjp2-7-dev
  liblcms2-dev libcurl4-openssl-dev
  # a font for the window's texts
  fonts-dejavu-core
  # the CMYK press profile of the colour conversion
  libgs-common
)

# What the tests and the benchmarks add.
test_packages=(
  libgtest-dev
  # fonts the drawing tests measure text with
  fonts-liberation2
  # a display server for tests and screenshots, and a window manager for the tests where the
  # keyboard focus matters
  xvfb openbox
  # the X11 clipboard tool the clipboard tests read and write with, and the window lister the
  # viewer's start-up tests look at its windows with
  xclip x11-utils
  # reference tools the tests compare decoded images against
  imagemagick libtiff-tools netpbm libopenjp2-tools python3-pil python3-numpy python3-psd-tools pngcheck libwmf-bin
  libimage-exiftool-perl icc-profiles-free qpdf liblcms2-utils libjpeg-turbo-progs icoutils
  # the FTP server the address loading is tested against (HTTP comes with python3)
  python3-pyftpdlib
  # the PostScript and PDF renderers the document writers are checked with
  ghostscript poppler-utils
  # real icons of the desktop's file types, for the shell file-icon lookups
  adwaita-icon-theme
  # the fuzz configuration: clang 14 with its libFuzzer and sanitizer runtimes
  clang libclang-rt-14-dev
  # peers of the benchmarks, called in process
  libvips-dev libmagick++-dev libimagequant-dev
  # the viewer benchmark's peer program, its key sender and its screen grabber
  qimgv xdotool python3-xlib
)

packages=("${run_packages[@]}")
case "${1:-}" in
  --run) ;;
  "") packages+=("${test_packages[@]}") ;;
  *) echo "usage: setup.sh [--run]" >&2; exit 2 ;;
esac

# One query for the whole list: a query per package took seconds.
installed=$(dpkg-query -W -f='${Package} ${Status}\n' "${packages[@]}" 2>/dev/null |
            awk '$NF == "installed" { print $1 }' || true)
missing=()
for p in "${packages[@]}"; do
  grep -qx "$p" <<<"$installed" || missing+=("$p")
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
