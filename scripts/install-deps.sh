#!/usr/bin/env bash
# Installs the Debian packages the build needs, skipping those already present. Run as root.
set -euo pipefail
packages=(cmake g++ g++-multilib make googletest libgtest-dev libyaml-cpp-dev libcli11-dev
          clang lld llvm dmidecode valgrind libclang-rt-14-dev libbenchmark-dev ccache)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
