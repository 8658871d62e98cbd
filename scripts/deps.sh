#!/usr/bin/env bash
# Installs what is missing on a Debian machine, in two groups:
#
#   scripts/deps.sh programs   what the library and the programs need
#   scripts/deps.sh python     the programs' group and what the Python package
#                              needs to build (pip install . in a venv)
#   scripts/deps.sh tests      all of that, and what the tests need (default)
#   scripts/deps.sh bench      the programs' group and the profiler (perf) that
#                              the decoder benchmark's profiles were taken with
#
# A capability that needs a package adds it to the group that needs it.
set -euo pipefail
group=${1:-tests}
case "$group" in
  programs | python | tests | bench) ;;
  *) echo "usage: scripts/deps.sh [programs|python|tests|bench]" >&2; exit 2 ;;
esac

missing=()

# --- program deps: compiler, build tools, the SIMD library of the decoders.
command -v cmake >/dev/null 2>&1 || missing+=(cmake)
command -v g++ >/dev/null 2>&1 || missing+=(g++)
command -v make >/dev/null 2>&1 || missing+=(make)
[ -f /usr/include/hwy/highway.h ] || missing+=(libhwy-dev)
# The run ledger reads JSON with nlohmann-json (headers only).
[ -f /usr/include/nlohmann/json.hpp ] || missing+=(nlohmann-json3-dev)

# --- test deps: GoogleTest; clang with its sanitizer and libFuzzer runtimes
# for the fuzz harnesses; valgrind, under which the converter runs once.
if [ "$group" = tests ]; then
  [ -f /usr/include/gtest/gtest.h ] || missing+=(libgtest-dev)
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
  # Open MPI for the cluster engine and its mpirun tests.
  for package in openmpi-bin libopenmpi-dev; do
    dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
  done
  # The Python package (built when pybind11 and the headers are present)
  # and its pytest suite, run by CTest.
  for package in python3-dev python3-pybind11 python3-numpy python3-scipy python3-matplotlib \
                 python3-pytest; do
    dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
  done
fi

# --- benchmarks: perf, for profiles of the decoder (perf record -e cpu-clock).
if [ "$group" = bench ]; then
  dpkg -s linux-perf >/dev/null 2>&1 || missing+=(linux-perf)
fi

# --- the Python package alone: headers, pybind11, numpy, and venv and pip.
if [ "$group" = python ]; then
  for package in python3-dev python3-pybind11 python3-numpy python3-venv python3-pip; do
    dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
  done
fi

if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
