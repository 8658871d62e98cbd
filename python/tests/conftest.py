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
collect_ignore = ["test_%s.py" % f for f in ("decoding", "shortcycles", "threshold", "encoding",
                                                  "modulation", "floors")
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


def tannerusage(*args):
    """The message of a usage error of tanner (status 2), without
    "tanner COMMAND: " and the hint that follows."""
    run = tanner(*args, check=False)
    assert run.returncode == 2, (args, run.returncode, run.stderr)
    first = run.stderr.splitlines()[0]
    return first.split(": ", 1)[1]


def aspython(message):
    """A tanner message with its options spelled as Python keywords:
    --max-frames as max_frames."""
    import re

    return re.sub(r"--([a-z][a-z-]*)", lambda m: m.group(1).replace("-", "_"), message)


SANITIZED = "asan" in os.environ.get("LD_PRELOAD", "")


def runpython(code, memory=None, interrupt=None, timeout=120):
    """Runs code in a fresh interpreter of this one, with the package of the
    tests; returns the completed process. memory: at most that many bytes
    of address space (under the sanitizers, whose shadow memory does not
    fit such a limit, allocations above a quarter of it fail instead);
    interrupt: SIGINT that many seconds after the code prints its first
    line; the output is then (first line, the rest, seconds from the
    signal to the end)."""
    import signal
    import sys
    import time

    env = dict(os.environ)
    prefix = ""
    if memory is not None:
        if SANITIZED:
            env["ASAN_OPTIONS"] = "detect_leaks=0:allocator_may_return_null=1:max_allocation_size_mb=%d" % (
                memory // 4 >> 20)
        else:
            prefix = ("import resource\nresource.setrlimit(resource.RLIMIT_AS, (%d, %d))\n"
                      % (memory, memory))
    process = subprocess.Popen([sys.executable, "-c", prefix + code], stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, text=True, env=env)
    if interrupt is None:
        out, err = process.communicate(timeout=timeout)
        return subprocess.CompletedProcess(process.args, process.returncode, out, err)
    first = process.stdout.readline()
    time.sleep(interrupt)
    process.send_signal(signal.SIGINT)
    sent = time.monotonic()
    out, err = process.communicate(timeout=timeout)
    return subprocess.CompletedProcess(process.args, process.returncode,
                                       (first, out, time.monotonic() - sent), err)


# A call that runs until interrupted prints "started" and then, when Ctrl-C
# arrives, "interrupted"; any other end prints what it was.
INTERRUPTIBLE = """
import sys
import ldpcgraph
print("started", flush=True)
try:
    %s
    print("finished")
except KeyboardInterrupt:
    print("interrupted")
print(ldpcgraph.Graph.read(%r).n)
"""


def assertinterrupted(call):
    """Runs call (Python text) in a fresh interpreter, interrupts it after a
    second and checks that KeyboardInterrupt came within seconds and left
    the interpreter usable."""
    run = runpython(INTERRUPTIBLE % (call, str(EXAMPLES / "hamming7.alist")), interrupt=1.0)
    first, rest, seconds = run.stdout
    assert run.returncode == 0, run.stderr
    assert first == "started\n" and rest == "interrupted\n7\n", (rest, run.stderr)
    assert seconds < 30, seconds
