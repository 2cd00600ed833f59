#!/usr/bin/env bash
# Installs what building and testing Quillon needs, from Debian packages.
# Quiet and quick when everything is already there. Arguments name further packages.
set -euo pipefail

packages=(
    cmake g++ make clang-format
    libfltk1.3-dev zlib1g-dev libsocketcan-dev pkg-config libcairo2-dev
    libgtest-dev libbenchmark-dev nlohmann-json3-dev
    xvfb xauth xdotool fonts-dejavu-core
    python3-can can-utils  # the tests read and write logs with these tools
    user-mode-linux kmod  # a Linux kernel with vcan for the SocketCAN tests (scripts/kernel-check.sh)
    "$@"  # extra packages for one task, such as the fuzzer's compiler
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
echo "Installing missing packages: ${missing[*]}"
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
