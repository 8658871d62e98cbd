#!/usr/bin/env bash
# Installs the project into a temporary prefix and builds the example
# simulation program against the installed package: once through
# find_package and ldpc::graphlib, once through pkg-config.
set -euo pipefail
build=$1
source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/prefix" >/dev/null
for f in bin/alistconv bin/tanner include/ldpcgraph/graphstruct.h include/ldpcgraph/simulation.h; do
  [ -e "$work/prefix/$f" ] || { echo "missing after install: $f"; exit 1; }
done

mkdir -p "$work/consumer"
cat > "$work/consumer/CMakeLists.txt" <<EOF
cmake_minimum_required(VERSION 3.25)
project(consumer LANGUAGES CXX)
set(CMAKE_CXX_STANDARD 20)
find_package(ldpcgraph 0.1 REQUIRED)
add_executable(sim "$source/examples/simulate.cpp")
target_link_libraries(sim PRIVATE ldpc::graphlib)
EOF
cmake -S "$work/consumer" -B "$work/consumer/build" -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/consumer/build" >/dev/null
"$work/consumer/build/sim" --help >/dev/null

if command -v pkg-config >/dev/null 2>&1; then
  pcdir=$(dirname "$(find "$work/prefix" -name ldpcgraph.pc)")
  flags=$(PKG_CONFIG_PATH="$pcdir" pkg-config --cflags --libs ldpcgraph)
  # shellcheck disable=SC2086
  g++ -std=c++20 "$source/examples/simulate.cpp" $flags -o "$work/sim-pc"
  "$work/sim-pc" --help >/dev/null
fi
echo "installed package works"
