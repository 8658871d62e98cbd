"""Graphs without short cycles: the files of `tanner construct` with --girth,
peg and --circulant for the same seed, local girths against the girth, and the
JSON report of tanner construct against tanner stats."""

import json
import re

import numpy as np
import pytest

import ldpcgraph
from conftest import EXAMPLES, tanner, tannerfailure, tannerstats

PROTO = EXAMPLES / "half-rate.proto"
REGULAR = dict(vdeg=[3], vfrac=[1.0], cdeg=[6], cfrac=[1.0])

CASES = (
    (lambda: ldpcgraph.construct_irregular(length=400, girth=6, seed=11, **REGULAR),
     ["irregular", "--vdeg", "3", "--vfrac", "1", "--cdeg", "6", "--cfrac", "1", "--length",
      "400", "--girth", "6", "--seed", "11"]),
    (lambda: ldpcgraph.construct_proto(PROTO, 60, girth=6, seed="1,2,3"),
     ["proto", PROTO, "--lift", "60", "--girth", "6", "--seed", "1,2,3"]),
    (lambda: ldpcgraph.construct_peg(100, vdeg=[2, 3], vfrac=[0.5, 0.5], length=200, seed=5),
     ["peg", "--vdeg", "2,3", "--vfrac", "0.5,0.5", "--length", "200", "--checks", "100",
      "--seed", "5"]),
    (lambda: ldpcgraph.construct_peg(60, degrees=[3] * 120, girth=6, seed=2),
     ["peg", "--degrees", "DEGREES", "--checks", "60", "--girth", "6", "--seed", "2"]),
    (lambda: ldpcgraph.construct_circulant(PROTO, lift=31, girth=8, seed=3),
     ["proto", PROTO, "--lift", "31", "--circulant", "--girth", "8", "--seed", "3"]),
)


@pytest.mark.parametrize("build,args", CASES)
def test_constructions_equal_tanner_construct(build, args, work):
    (work / "degrees.txt").write_text(" ".join(["3"] * 120) + "\n")
    args = [work / "degrees.txt" if a == "DEGREES" else a for a in args]
    run = tanner("construct", *args, work / "theirs.code")
    built = build()
    graph = built[0]
    graph.write(work / "ours.code")
    assert (work / "ours.code").read_bytes() == (work / "theirs.code").read_bytes()
    if "--girth" in args:
        target = int(args[args.index("--girth") + 1])
        assert graph.girth() is None or graph.girth() >= target
    if "--circulant" in args:
        printed = run.stdout.split("variable nodes):\n", 1)[1]
        assert built[2] == printed
        # The printed shift matrix builds the same graph again.
        (work / "shifts.txt").write_text(built[2])
        again, _, _ = ldpcgraph.construct_circulant(PROTO, lift=31, shifts=work / "shifts.txt")
        assert again.fingerprint() == graph.fingerprint()


@pytest.mark.parametrize("name", ["hamming7", "peg"])
def test_local_girths_give_the_girth(name):
    if name == "peg":
        graph, _ = ldpcgraph.construct_peg(50, vdeg=[2, 3], vfrac=[0.5, 0.5], length=100)
    else:
        graph = ldpcgraph.Graph.read(EXAMPLES / "hamming7.alist")
    local = graph.local_girths()
    assert len(local) == graph.n
    assert local[local > 0].min() == graph.girth()
    tree = ldpcgraph.Graph.from_matrix(np.array([[1, 1, 0], [0, 1, 1]]))
    assert list(tree.local_girths()) == [0, 0, 0]


def test_refusals_raise_with_the_program_message(work):
    with pytest.raises(ValueError, match="even number"):
        ldpcgraph.construct_irregular(length=100, girth=5, **REGULAR)
    message = tannerfailure("construct", "irregular", "--vdeg", "3", "--vfrac", "1", "--cdeg",
                            "6", "--cfrac", "1", "--length", "40", "--girth", "12",
                            work / "out.code")
    with pytest.raises(ValueError) as raised:
        ldpcgraph.construct_irregular(length=40, girth=12, **REGULAR)
    assert str(raised.value) == message
    with pytest.raises(ValueError, match="expects protofile or shifts"):
        ldpcgraph.construct_circulant(lift=3)


JSON_CONSTRUCTIONS = (
    ["irregular", "--vdeg", "2,3,8", "--vfrac", "0.5,0.3,0.2", "--cdeg", "7,8", "--cfrac",
     "0.5,0.5", "--length", "500", "--girth", "6"],
    ["proto", EXAMPLES / "half-rate.proto", "--lift", "40"],
    ["proto", EXAMPLES / "half-rate.proto", "--lift", "64", "--circulant", "--girth", "8"],
    ["peg", "--vdeg", "2,3", "--vfrac", "0.5,0.5", "--length", "200", "--checks", "100"],
)


@pytest.mark.parametrize("args", JSON_CONSTRUCTIONS)
def test_construct_json_reports_the_graph_the_text_run_writes(args, work):
    text = tanner("construct", *args, "--seed", "7", work / "text.code").stdout
    report = json.loads(tanner("construct", *args, "--seed", "7", "--json",
                               work / "json.code").stdout)
    assert (work / "json.code").read_bytes() == (work / "text.code").read_bytes()
    stats = tannerstats(work / "json.code")
    assert report["seed"] == "7,0,0" and report["output"] == str(work / "json.code")
    assert (report["variablenodes"], report["checknodes"], report["edges"]) == \
        (stats["vnodenum"], stats["cnodenum"], stats["edges"])
    assert report["fingerprint"] == stats["fingerprint"]
    assert "fingerprint %s\n" % report["fingerprint"] in text
    if "girth" in report:
        assert report["girth"] == stats["girth"]
    if "cycleremoval" in report:
        assert report["cycleremoval"]["girth"] == stats["girth"] >= int(args[-1])
    if "distributions" in report:
        for side, key in (("variable", "vdegrees"), ("check", "cdegrees")):
            realised = {row["degree"]: row["nodes"] for row in report["distributions"][side]
                        if row["nodes"]}
            assert realised == {row["degree"]: row["nodes"] for row in stats[key]}
    if "checkdegrees" in report:
        assert report["checkdegrees"] == [{"degree": row["degree"], "nodes": row["nodes"]}
                                          for row in stats["cdegrees"]]
        assert sum(row["nodes"] for row in report["localgirth"]) == stats["vnodenum"]
