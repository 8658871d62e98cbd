#!/usr/bin/env bash
# Installs the project as the README says and builds the example simulation
# program against the installed package: once through find_package and
# ldpc::decoding, once through pkg-config, each found through exactly the
# set-up lines the README gives (taken from it). The programs and the
# package report one version.
set -euo pipefail
build=$1
source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

export HOME="$work/home"
mkdir -p "$HOME"
unset PKG_CONFIG_PATH CMAKE_PREFIX_PATH
cmake --install "$build" --prefix "$HOME/.local" >/dev/null
for f in bin/alistconv bin/tanner include/ldpcgraph/graphstruct.h include/ldpcgraph/allocate.h \
         include/ldpcgraph/simulation.h \
         include/ldpcgraph/irregular.h include/ldpcgraph/ldpcgraph_version.h \
         include/ldpcgraph/decoder.h include/ldpcgraph/channel.h include/ldpcgraph/montecarlo.h \
         include/ldpcgraph/shortcycles.h; do
  [ -e "$HOME/.local/$f" ] || { echo "missing after install: $f"; exit 1; }
done
setup=$(grep -E '^export (PKG_CONFIG_PATH|CMAKE_PREFIX_PATH)=' "$source/README.md")
[ "$(printf '%s\n' "$setup" | wc -l)" -eq 2 ] || { echo "README lacks the two set-up lines"; exit 1; }
eval "$setup"
version=$("$HOME/.local/bin/tanner" --version | awk '{print $NF}')

mkdir -p "$work/consumer"
cat > "$work/consumer/CMakeLists.txt" <<EOF
cmake_minimum_required(VERSION 3.25)
project(consumer LANGUAGES CXX)
set(CMAKE_CXX_STANDARD 20)
find_package(ldpcgraph 0.1 REQUIRED)
add_executable(sim "$source/examples/simulate.cpp")
target_link_libraries(sim PRIVATE ldpc::analysis ldpc::decoding ldpc::graphlib)
EOF
cmake -S "$work/consumer" -B "$work/consumer/build" >/dev/null
cmake --build "$work/consumer/build" >/dev/null
"$work/consumer/build/sim" --help >/dev/null
[ "$("$work/consumer/build/sim" --version | awk '{print $NF}')" = "$version" ] ||
  { echo "simulate and tanner report different versions"; exit 1; }
[ "$("$HOME/.local/bin/alistconv" --version | awk '{print $NF}')" = "$version" ] ||
  { echo "alistconv and tanner report different versions"; exit 1; }

if command -v pkg-config >/dev/null 2>&1; then
  [ "$(pkg-config --modversion ldpcgraph)" = "$version" ] ||
    { echo "the pkg-config file gives another version"; exit 1; }
  flags=$(pkg-config --cflags --libs ldpcgraph)
  # shellcheck disable=SC2086
  g++ -std=c++20 "$source/examples/simulate.cpp" $flags -o "$work/sim-pc"
  "$work/sim-pc" --help >/dev/null
fi
# The Python package, when the build made it: importable from the prefix
# with the PYTHONPATH line the README gives.
if compgen -G "$build/python/ldpcgraph/_ldpcgraph*.so" >/dev/null; then
  pythonsetup=$(grep -E '^export PYTHONPATH=' "$source/README.md" | sed 's/ *#.*$//')
  [ -n "$pythonsetup" ] || { echo "README lacks the PYTHONPATH line"; exit 1; }
  eval "$pythonsetup"
  (cd "$work" && /usr/bin/python3 -c '
import sys, ldpcgraph, ldpcgraph.plot
assert ldpcgraph.__file__.startswith(sys.argv[1]), ldpcgraph.__file__
assert ldpcgraph.Graph.read(sys.argv[2]).girth() == 4
' "$HOME/.local" "$source/examples/hamming7.alist")
fi
echo "installed package works"
