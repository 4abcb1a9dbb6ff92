#!/usr/bin/env bash
# Installs the Debian packages the build and its checks need (clang-format and clang-tidy for the format
# and lint checks, gcovr for the coverage report, capstone for the images' block coverage; dmidecode and
# pciutils' lspci read the tables and dumps boardsim writes), skipping those already present. Run as root.
# qemu-user only where this machine's kernel refuses 32-bit x86 programs: the 32-bit trees then start
# their programs through qemu-i386 (cmake/ia32_programs.cmake).
set -euo pipefail
packages=(cmake ninja-build g++ g++-multilib make googletest libgtest-dev libyaml-cpp-dev libcli11-dev
          clang lld llvm dmidecode valgrind libclang-rt-14-dev libbenchmark-dev ccache libunicorn-dev
          uefitool-cli clang-format clang-tidy gcovr pciutils libcapstone-dev)
updated=0
install_missing() {  # packages...
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  ((${#missing[@]})) || return 0
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  if ((!updated)); then
    apt-get update -qq
    updated=1
  fi
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
}
install_missing "${packages[@]}"

# Does the kernel start a 32-bit program? Build a minimal one and try.
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
echo 'int main(void) { return 0; }' > "$probe/probe.c"
if gcc -m32 -o "$probe/probe" "$probe/probe.c" 2>"$probe/log" && ! "$probe/probe" 2>/dev/null; then
  echo "this kernel does not run 32-bit x86 programs: the 32-bit trees use qemu-i386"
  install_missing qemu-user
fi
