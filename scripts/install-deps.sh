#!/usr/bin/env bash
# Installs every Debian package that Gridmint's build, tests, benchmarks and
# fuzzers need on a fresh Debian 12 machine. Safe to run again.
#   scripts/install-deps.sh          build, test, bench, fuzz (what CI needs)
#   scripts/install-deps.sh --look   also Xvfb, a Japanese font and ImageMagick,
#                                    for looking at the desktop program by hand
set -euo pipefail

look=0
for arg in "$@"; do
  case "$arg" in
    --look) look=1 ;;
    *) echo "usage: $0 [--look]" >&2; exit 2 ;;
  esac
done

packages=(
  build-essential g++ cmake ninja-build ccache pkg-config
  libpng-dev libpng16-16 zlib1g-dev libdeflate-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev clang-format clang-tidy
  python3 python3-pil
  qt6-base-dev qt6-base-dev-tools libqt6svg6 libgl-dev
  libcli11-dev nlohmann-json3-dev
)
if [ "$look" = 1 ]; then
  packages+=(xvfb xauth imagemagick fonts-ipafont-gothic)
fi

sudo_cmd=()
if [ "$(id -u)" != 0 ]; then sudo_cmd=(sudo); fi

export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
# Installing an already installed package upgrades it: this brings libpng to
# the current security release (1.6.39-2+deb12u6 or later). The older build
# skips the gAMA correction on 8-bit palette files but not on 1/2/4-bit ones.
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${packages[@]}"

have=$(dpkg-query -W -f='${Version}' libpng16-16)
if dpkg --compare-versions "$have" lt "1.6.39-2+deb12u6"; then
  echo "libpng16-16 $have is older than 1.6.39-2+deb12u6" >&2
  exit 1
fi
