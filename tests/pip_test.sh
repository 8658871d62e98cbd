#!/usr/bin/env bash
# Installs the Python package as the README says, with pip into a virtual
# environment (Debian's pip and setuptools, no build isolation, nothing
# fetched), and uses it from outside the source tree.
set -euo pipefail
python=$1
source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"; rm -rf "$source/python/ldpcgraph.egg-info"' EXIT

"$python" -m venv --system-site-packages "$work/venv"
LDPC_PIP_BUILD="$work/build" PIP_NO_INDEX=1 \
  "$work/venv/bin/pip" install -q --no-build-isolation "$source" >"$work/pip.log" 2>&1 ||
  { cat "$work/pip.log"; exit 1; }
cd "$work"
"$work/venv/bin/python" - "$source/examples/hamming7.alist" <<'PY'
import sys
import ldpcgraph
assert ldpcgraph.__file__.startswith(sys.prefix), ldpcgraph.__file__
g = ldpcgraph.Graph.read(sys.argv[1])
assert (g.girth(), g.stats()["fourcycles"]) == (4, 3)
assert hasattr(ldpcgraph, "Decoder") and hasattr(ldpcgraph, "threshold")
PY
echo "pip install: ldpcgraph $("$work/venv/bin/pip" show ldpcgraph | awk '/^Version/ {print $2}')"
