#!/usr/bin/env bash
# Installs the build and test dependencies when they are missing (Debian).
set -euo pipefail

missing=()
command -v cmake >/dev/null 2>&1 || missing+=(cmake)
command -v g++ >/dev/null 2>&1 || missing+=(g++)
command -v make >/dev/null 2>&1 || missing+=(make)
[ -f /usr/include/gtest/gtest.h ] || missing+=(libgtest-dev)

# The fuzz harnesses need clang with its sanitizer and libFuzzer runtimes;
# the converter runs once under valgrind.
fuzzerruntime() {
  local dir
  dir=$(clang++ -print-resource-dir 2>/dev/null) || return 1
  compgen -G "$dir/lib/linux/libclang_rt.fuzzer-*.a" >/dev/null
}
if ! command -v clang++ >/dev/null 2>&1; then
  missing+=(clang libclang-rt-dev)
elif ! fuzzerruntime; then
  missing+=("libclang-rt-$(clang++ -dumpversion | cut -d. -f1)-dev")
fi
command -v valgrind >/dev/null 2>&1 || missing+=(valgrind)

if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
