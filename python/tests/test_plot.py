"""python3 -m ldpcgraph.plot: a PNG from results files, and clear failures."""

import json
import os
import struct
import subprocess
import sys

import pytest

import ldpcgraph.plot

PNG = b"\x89PNG\r\n\x1a\n"


def point(x, key="ebn0", frames=1000, errors=100, bits=500):
    fer = errors / frames
    return {key: x, "sigma": 0.8, "frames": frames, "frameerrors": errors, "fer": fer,
            "ferlow": fer * 0.8, "ferhigh": min(1.0, fer * 1.25), "biterrors": errors * 3,
            "ber": errors * 3 / (frames * bits), "undetected": 0, "iterations": 7.5,
            "mbps": 12.0}


def results(path, points, config=None):
    path.write_text(json.dumps({"config": config or {"decoder": "spa"}, "points": points}))
    return path


def plot(*args):
    """python3 -m ldpcgraph.plot ARGS, as a process."""
    env = dict(os.environ, MPLBACKEND="Agg")
    return subprocess.run([sys.executable, "-m", "ldpcgraph.plot", *map(str, args)],
                          capture_output=True, text=True, env=env)


def plotmain(capsys, *args):
    """The same in this process: (status, standard error)."""
    try:
        status = ldpcgraph.plot.main([str(a) for a in args])
    except SystemExit as leaving:
        status = leaving.code
    return status, capsys.readouterr().err


def pngsize(path):
    data = path.read_bytes()
    assert data[:8] == PNG and data[12:16] == b"IHDR"
    return struct.unpack(">II", data[16:24])


def test_plot_writes_a_png_with_one_curve_per_file(work, capsys):
    a = results(work / "a.json", [point(1.0), point(1.5, errors=20), point(2.0, errors=0)])
    b = results(work / "b.json", [point(x / 4, frames=10**5, errors=100 - 10 * x)
                                  for x in range(8)])
    run = plot(a, b, "-o", work / "fer.png", "--title", "two codes")
    assert run.returncode == 0, run.stderr
    width, height = pngsize(work / "fer.png")
    assert width > 500 and height > 200
    status, error = plotmain(capsys, a, "-o", work / "one.png")
    assert status == 0, error
    # The results themselves draw the same picture as their files.
    ldpcgraph.plot.plot([json.loads(a.read_text())["points"], json.loads(b.read_text())],
                        work / "direct.png", labels=["a", "b"], title="two codes")
    assert (work / "direct.png").read_bytes() == (work / "fer.png").read_bytes()
    assert (work / "one.png").read_bytes() != (work / "fer.png").read_bytes()


@pytest.mark.parametrize("key", ["erasure", "crossover"])
def test_other_channels_plot_over_their_parameter(work, key, capsys):
    path = results(work / "c.json", [point(p / 10, key=key) for p in range(1, 5)])
    status, error = plotmain(capsys, path, "-o", work / "c.png")
    assert status == 0, error
    pngsize(work / "c.png")


def test_plot_failures_name_the_file(work, capsys):
    good = results(work / "good.json", [point(1.0)])
    erasure = results(work / "erasure.json", [point(0.3, key="erasure")])
    (work / "broken.json").write_text("{")
    nofer = results(work / "nofer.json", [{"ebn0": 1.0}])
    cases = (
        ((work / "missing.json",), "missing.json: No such file or directory"),
        ((work / "broken.json",), "broken.json: not JSON"),
        ((nofer,), 'nofer.json: point 1 has no number "fer"'),
        ((good, erasure), 'erasure.json: its points are over "erasure"'),
        ((good, "--labels", "a,b"), "2 labels for 1 files"),
    )
    for args, message in cases:
        status, error = plotmain(capsys, *args, "-o", work / "out.png")
        assert status == 1 and error.startswith("plot: ") and message in error, (args, error)
        assert not (work / "out.png").exists()
    assert plotmain(capsys, good)[0] == 2  # no -o: a usage error


def test_zero_errors_null_points_and_bad_outputs(work, capsys):
    zero = results(work / "z.json", [point(1.0), point(2.0, errors=0)])
    # ebn0 null (no rate known): the curve is drawn over sigma.
    nulls = results(work / "n.json", [dict(point(None), sigma=0.7), dict(point(None), sigma=0.9)])
    for source in (zero, nulls):
        status, error = plotmain(capsys, source, "-o", work / "ok.png")
        assert status == 0, error
        pngsize(work / "ok.png")
    status, error = plotmain(capsys, zero, "-o", work / "x.unknownkind")
    assert status == 1 and "unknown image type '.unknownkind'" in error
    assert not (work / "x.unknownkind").exists()
    if os.path.exists("/dev/full"):
        run = plot(zero, "-o", "/dev/full")
        assert run.returncode == 1 and "No space left on device" in run.stderr, run.stderr
