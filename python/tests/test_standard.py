"""Standard codes and transmission patterns from Python against the tanner
program of the same build: the same graphs and patterns, the same counts for
the same seed, the same refusals."""

import json

import pytest

import ldpcgraph
from conftest import tanner

CODES = [
    ("nr", {"info": 40, "length": 100}),
    ("nr", {"info": 500, "length": 1000, "rv": 2}),
    ("nr-bg2", {"lift": 8}),
    ("wifi", {"rate": "1/2", "length": 648}),
    ("wimax", {"rate": "2/3A", "length": 576}),
    ("ar4ja", {"rate": "1/2", "info": 1024}),
    ("ccsds-c2", {"length": 8160}),
]


def options(params):
    args = []
    for key, value in params.items():
        args += ["--" + key, value]
    return args


@pytest.mark.parametrize("family,params", CODES)
def test_graphs_and_patterns_are_tanners(tmp_path, family, params):
    code = ldpcgraph.standard(family, **params)
    out = tmp_path / "c.code"
    report = json.loads(tanner("construct", "standard", family, *options(params), out, "--json").stdout)
    assert code.graph.fingerprint() == report["fingerprint"]
    assert (code.sent, len(code.punctured), len(code.shortened)) == (
        report["sent"], report["punctured"], report["shortened"])
    assert code.info == report["standard"]["info"] and code.source == report["standard"]["source"]
    assert len(code.order) <= code.sent  # the C2 code appends two zero bits
    assert set(code.order).isdisjoint(code.shortened)


def counts(points):
    return [(p["frames"], p["frameerrors"], p["biterrors"], p.get("infobiterrors")) for p in points]


@pytest.mark.parametrize("extra", [{}, {"codeword": "random", "modulation": "16qam"},
                                   {"modulation": "16qam", "interleave": True}])
def test_simulations_count_as_tanner_does(tmp_path, extra):
    code = ldpcgraph.standard("nr", info=40, length=100)
    run = dict(max_frames=1000, max_errors=30, threads=2, seed=3, all_points=True)
    rows = ldpcgraph.simulate(code, ebn0=[1, 3], **run, **extra)
    out = tmp_path / "run.json"
    args = ["simulate", "standard", "nr", "--info", 40, "--length", 100, "--ebn0", "1,3",
            "--max-frames", 1000, "--max-errors", 30, "--threads", 2, "--seed", 3, "--all-points",
            "--json", out]
    for key, value in extra.items():
        args += ["--" + key] if value is True else ["--" + key, value]
    tanner(*args)
    assert counts(rows) == counts(json.loads(out.read_text())["points"])


def test_patterns_of_a_graph_count_as_tanner_does(tmp_path):
    path = tmp_path / "c.code"
    tanner("construct", "peg", "--vdeg", 3, "--vfrac", 1, "--length", 96, "--checks", 48, path)
    graph = ldpcgraph.Graph.read(path)
    rows = ldpcgraph.simulate(graph, ebn0=[2], punctured=[0, 1, 2, 3], shortened=[90, 91],
                              max_frames=640, threads=2, decoder="nms")
    out = tmp_path / "run.json"
    tanner("simulate", path, "--ebn0", 2, "--punctured", "0-3", "--shortened", "90,91",
           "--max-frames", 640, "--threads", 2, "--decoder", "nms", "--json", out)
    points = json.loads(out.read_text())["points"]
    assert counts(rows) == counts(points)
    assert rows[0]["ber"] == pytest.approx(points[0]["ber"])


@pytest.mark.parametrize("chain", [{}, dict(modulation="16qam", codeword="random")])
def test_ledgers_of_standard_codes_resume(tmp_path, chain):
    code = ldpcgraph.standard("nr", info=40, length=100)
    ledger = tmp_path / "run.ledger"
    run = dict(ebn0=[1, 3], max_frames=1000, max_errors=30, threads=2, **chain)
    whole = ldpcgraph.simulate(code, ledger=str(ledger), **run)
    assert ("infobiterrors" in whole[0]) == bool(chain)
    assert counts(ldpcgraph.merge(ledger)) == counts(whole)
    lines = ledger.read_text().splitlines(keepends=True)
    ledger.write_text("".join(lines[:3]))
    again = ldpcgraph.simulate(code, ledger=str(ledger), resume=True, **run)
    assert counts(again) == counts(whole)
    other = ldpcgraph.standard("nr", info=40, length=120)
    with pytest.raises(ValueError, match="another configuration"):
        ldpcgraph.simulate(other, ledger=str(ledger), resume=True, **run)


@pytest.mark.parametrize("call,message", [
    (lambda: ldpcgraph.standard("wifi", rate="1/7", length=648), "rate 1/7 is not defined"),
    (lambda: ldpcgraph.standard("nosuch"), "nosuch"),
    (lambda: ldpcgraph.simulate(ldpcgraph.standard("wifi", rate="1/2", length=648), ebn0=[2],
                                punctured=[0]), "its own pattern"),
    (lambda: ldpcgraph.simulate(ldpcgraph.standard("wifi", rate="1/2", length=648), ebn0=[2],
                                resume=True, modulation="16qam"), "resume=True needs ledger=PATH"),
])
def test_refusals(call, message):
    with pytest.raises(ValueError, match=message):
        call()


def test_base_matrix_files_simulate_with_their_flag_line(tmp_path):
    """simulate of a .qc path punctures what its flag line punctures, as
    tanner simulate of the same file does, and counts as tanner counts."""
    path = tmp_path / "code.qc"
    path.write_text("6 3 16\n0 3 -1 5 0 -1\n7 -1 0 2 0 0\n-1 1 9 -1 -1 0\n0 1 1 1 1 1\n")
    run = dict(max_frames=640, max_errors=30, threads=2, seed=5, all_points=True)
    rows = ldpcgraph.simulate(path, ebn0=[2, 4], **run)
    graph = ldpcgraph.Graph.read(path)
    assert counts(rows) == counts(ldpcgraph.simulate(
        graph, ebn0=[2, 4], punctured=ldpcgraph.qc_punctured(path), **run))
    out = tmp_path / "run.json"
    tanner("simulate", path, "--ebn0", "2,4", "--max-frames", 640, "--max-errors", 30,
           "--threads", 2, "--seed", 5, "--all-points", "--json", out)
    assert counts(rows) == counts(json.loads(out.read_text())["points"])
