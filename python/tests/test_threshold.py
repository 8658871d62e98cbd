"""Thresholds: the figures of `tanner threshold --json`, and the exact erasure
threshold of the (3,6)-regular ensemble from the literature."""

import json

import pytest

import ldpcgraph
from conftest import EXAMPLES, assertinterrupted, tanner

CASES = (
    (["--channel", "bec", "--vdeg", "3", "--vfrac", "1", "--cdeg", "6", "--cfrac", "1"],
     dict(channel="bec", vdeg=[3], vfrac=[1], cdeg=[6], cfrac=[1])),
    (["--channel", "bec", "--vdeg", "2,3,8", "--vfrac", "0.3,0.4,0.3", "--cdeg", "7,8",
      "--cfrac", "0.5,0.5", "--edge-fractions"],
     dict(channel="bec", vdeg=[2, 3, 8], vfrac=[0.3, 0.4, 0.3], cdeg=[7, 8], cfrac=[0.5, 0.5],
          edge_fractions=True)),
    (["--channel", "awgn", "--vdeg", "3", "--vfrac", "1", "--cdeg", "6", "--cfrac", "1",
      "--decoder", "nms", "--alpha", "0.75", "--precision", "0.01", "--step", "0.05"],
     dict(channel="awgn", vdeg=[3], vfrac=[1], cdeg=[6], cfrac=[1], decoder="nms", alpha=0.75,
          precision=0.01, step=0.05)),
    ([EXAMPLES / "half-rate.proto", "--channel", "bec", "--punctured", "0"],
     dict(channel="bec", protofile=EXAMPLES / "half-rate.proto", punctured=[0])),
    ([EXAMPLES / "half-rate.proto", "--channel", "awgn"],
     dict(channel="awgn", protofile=str(EXAMPLES / "half-rate.proto"))),
)


@pytest.mark.parametrize("args,options", CASES)
def test_threshold_equals_tanner_threshold(args, options):
    theirs = json.loads(tanner("threshold", "--json", *args).stdout)
    ours = ldpcgraph.threshold(**options)
    assert ours.keys() == theirs.keys()
    for key, value in ours.items():
        if isinstance(value, float):
            assert value == pytest.approx(theirs[key], rel=1e-9, abs=1e-12), key
        else:
            assert value == theirs[key], key


def test_regular_erasure_threshold_from_the_literature():
    figures = ldpcgraph.threshold("bec", vdeg=[3], vfrac=[1.0], cdeg=[6], cfrac=[1.0])
    assert figures["threshold"] == pytest.approx(0.4294398, abs=1e-6)
    assert figures["rate"] == pytest.approx(0.5) and figures["limit"] == pytest.approx(0.5)


def test_bad_threshold_arguments_raise(work):
    (work / "bad.proto").write_text("/* a */\n/* b */\n1 1\n/* c */\n1 4 0\n")
    for call, kind, message in (
            (lambda: ldpcgraph.threshold("bsc", vdeg=[3], vfrac=[1], cdeg=[6], cfrac=[1]),
             ValueError, "bec, awgn"),
            (lambda: ldpcgraph.threshold("bec"), ValueError, "either"),
            (lambda: ldpcgraph.threshold("bec", vdeg=[3], vfrac=[1], cdeg=[6], cfrac=[1, 0]),
             ValueError, "cfrac"),
            (lambda: ldpcgraph.threshold("bec", vdeg=[2, 3], vfrac=[0.5, 0.4999], cdeg=[6],
                                         cfrac=[1]),
             ValueError, "vfrac fractions must sum to 1, not 0.9999"),
            (lambda: ldpcgraph.threshold("bec", vdeg=[3, 2], vfrac=[0.5, 0.5], cdeg=[6],
                                         cfrac=[1]),
             ValueError, "vdeg must be positive and increasing"),
            (lambda: ldpcgraph.threshold("bec", protofile=work / "bad.proto"),
             ldpcgraph.FormatError, "bad.proto: "),
            (lambda: ldpcgraph.threshold("bec", protofile=work / "none.proto"),
             FileNotFoundError, "none.proto: No such file")):
        with pytest.raises(kind, match=message):
            call()


def test_ctrl_c_interrupts_density_evolution_within_a_step():
    # One bisection step of this fine grid takes well over the test's limit,
    # so only an interruption inside the step can pass.
    assertinterrupted('ldpcgraph.threshold("awgn", vdeg=[3], vfrac=[1.0], cdeg=[6], cfrac=[1.0],'
                      ' method="de", step=0.002, range=60, tolerance=1e-12, iterations=10**6)')
