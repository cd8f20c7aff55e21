#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need, when missing.
set -euo pipefail
packages=(
  cmake ninja-build g++ python3 libgtest-dev googletest libloki-dev libboost-dev libbenchmark-dev
  clang libclang-rt-14-dev erlang-base erlang-asn1
  g++-powerpc-linux-gnu qemu-user util-linux iproute2
  libpri-dev libss7-dev tshark
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""; [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -qq
  # tshark asks whether to install dumpcap setuid; the tests read files only.
  echo "wireshark-common wireshark-common/install-setuid boolean false" | $sudo debconf-set-selections
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
