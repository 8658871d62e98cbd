"""Shared fixtures: the tanner program of the same build, the source tree."""

import json
import os
import pathlib
import subprocess

import pytest

SOURCE = pathlib.Path(os.environ.get("LDPC_SOURCE_DIR", pathlib.Path(__file__).parents[2]))
EXAMPLES = SOURCE / "examples"

# The optional bindings the module was built with (CMake says which); the
# tests of the others are not collected.
FEATURES = [f for f in os.environ.get("LDPC_PYTHON_FEATURES", "").split(",") if f]
collect_ignore = ["test_%s.py" % f for f in ("decoding", "shortcycles", "threshold")
                  if f not in FEATURES]


def tannerpath():
    path = os.environ.get("TANNER")
    if not path or not os.access(path, os.X_OK):
        raise RuntimeError("TANNER must name the tanner program of this build")
    return path


def tanner(*args, check=True):
    """Runs tanner; returns the completed process (text output)."""
    run = subprocess.run([tannerpath(), *map(str, args)], capture_output=True, text=True)
    if check and run.returncode != 0:
        raise AssertionError("tanner %s: status %d\n%s" % (args, run.returncode, run.stderr))
    return run


def tannerfailure(*args):
    """The message tanner prints for a failure (status 1), without "tanner: "."""
    run = tanner(*args, check=False)
    assert run.returncode == 1, (args, run.returncode, run.stderr)
    message = run.stderr.strip().splitlines()[-1]
    assert message.startswith("tanner: "), message
    return message[len("tanner: "):]


def tannerstats(path):
    return json.loads(tanner("stats", "--json", path).stdout)


@pytest.fixture
def work(tmp_path):
    return tmp_path
