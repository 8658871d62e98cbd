"""Error floors from Python against tanner floor, trapping and absorbing on
the same files: the same estimates for the same seed, the same failing
sets and counts, the same refusals; the sets' classes checked against the
parity-check matrix directly."""

import json
import warnings

import numpy as np
import pytest

import ldpcgraph
from conftest import tanner


def arraycode(p):
    """The (3, p) array code: p^2 bits, 3 p checks, block (r, c) the
    identity shifted by r c."""
    h = np.zeros((3 * p, p * p), dtype=np.int64)
    for r in range(3):
        for c in range(p):
            for i in range(p):
                h[r * p + i, c * p + (i + r * c) % p] = 1
    return h


@pytest.fixture(scope="module")
def codes(tmp_path_factory):
    work = tmp_path_factory.mktemp("floors")
    paths = {}
    for p in (7, 13):
        paths[p] = work / ("array%d.alist" % p)
        ldpcgraph.Graph.from_matrix(arraycode(p)).export(paths[p])
    return paths


def inducedclass(h, nodes):
    """(a, b, elementary, absorbing) of a variable-node set from H alone."""
    degrees = h[:, nodes].sum(axis=1)
    odd = degrees % 2 == 1
    sub = h[:, nodes]
    absorbing = all((sub[:, k] * ~odd).sum() > (sub[:, k] * odd).sum() for k in range(len(nodes)))
    return len(nodes), int(odd.sum()), bool(degrees.max() <= 2), absorbing


ESTIMATE = dict(decoder="nms", alpha=0.5, iterations=30, chains=32, precision=3,
                max_decodes=400000)
SAME = ("fer", "ferlow", "ferhigh", "ber", "converged", "decodes", "flatness", "roundtrips")


def test_estimates_are_tanners_for_any_thread_count(codes, tmp_path):
    out = tmp_path / "f.json"
    tanner("floor", codes[13], "--ebn0", "5", "--decoder", "nms", "--alpha", "0.5",
           "--iterations", "30", "--chains", "32", "--precision", "3", "--max-decodes", "400000",
           "--threads", "1", "--check", "--json", out)
    theirs = json.loads(out.read_text())
    for threads in (1, 2):
        rows = ldpcgraph.floor(codes[13], ebn0=5, threads=threads, check=threads == 1, **ESTIMATE)
        assert [{k: r[k] for k in SAME} for r in rows] == [
            {k: r[k] for k in SAME} for r in theirs["points"]]
    check = ldpcgraph.floor(codes[13], ebn0=5, check=True, **ESTIMATE)[0]["check"]
    assert (check["frames"], check["frameerrors"]) == (theirs["check"]["frames"],
                                                       theirs["check"]["frameerrors"])


def test_unconverged_estimates_warn(codes):
    with pytest.warns(RuntimeWarning, match="did not converge"):
        rows = ldpcgraph.floor(codes[13], ebn0=6, max_decodes=1000, decoder="nms", threads=1)
    assert rows[0]["converged"] is False and rows[0]["diagnostic"]


@pytest.mark.parametrize("call,error", [
    (lambda g: ldpcgraph.floor(g, decoder="nms"), "give one of ebn0, sigma"),
    (lambda g: ldpcgraph.floor(g, ebn0=4, sigma=0.5), "give one of ebn0, sigma"),
    (lambda g: ldpcgraph.floor(g, ebn0=4, alpha=0.5), "alpha"),
    (lambda g: ldpcgraph.floor(g, ebn0=4, decoder="nms", alpha=1.5), "alpha"),
    (lambda g: ldpcgraph.floor(g, sigma=-1), "sigma"),
    (lambda g: ldpcgraph.floor(g, ebn0=4, precision=1), "precision must exceed 1"),
    (lambda g: ldpcgraph.floor(g, ebn0=4, chains=1), "chains must be at least 2"),
    (lambda g: ldpcgraph.floor(g, ebn0=4, max_decodes=10), "max_decodes"),
    (lambda g: ldpcgraph.floor(g, ebn0=4, rate=2), "rate must lie in"),
    (lambda g: ldpcgraph.trapping_sets(g, ebn0=[4, 5]), "one point"),
    (lambda g: ldpcgraph.absorbing_sets(g, max_size=0), "max_size"),
])
def test_refusals(codes, call, error):
    with pytest.raises(ValueError, match=error):
        call(ldpcgraph.Graph.read(codes[7]))


def test_unknown_keywords_are_type_errors(codes):
    with pytest.raises(TypeError, match="bogus"):
        ldpcgraph.floor(codes[7], ebn0=4, bogus=1)


def test_absorbing_sets_count_as_tanner_and_classify_from_the_matrix(codes):
    report = ldpcgraph.absorbing_sets(codes[7], max_size=3)
    theirs = json.loads(tanner("absorbing", codes[7], "--max-size", "3", "--json").stdout)
    assert report["counts"] == theirs["counts"] and report["examined"] == theirs["examined"]
    # p^2 (p - 1) = 294 (3, 3) absorbing sets in the (3, 7) array code.
    assert {"a": 3, "b": 3, "count": 294, "fully": report["counts"][0]["fully"]} in report["counts"]
    h = arraycode(7)
    assert len(report["sets"]) == sum(c["count"] for c in report["counts"])
    for nodes in report["sets"]:
        a, b, elementary, absorbing = inducedclass(h, nodes)
        assert elementary and absorbing and a <= 3
    kept = ldpcgraph.absorbing_sets(codes[7], max_size=3, keep=5)
    assert kept["counts"] == report["counts"] and len(kept["sets"]) == 5
    assert all(nodes in report["sets"] for nodes in kept["sets"])


def test_trapping_sets_are_tanners_and_their_classes_hold(codes):
    args = dict(decoder="nms", alpha=0.5, iterations=20, chains=16, max_decodes=200000, threads=1)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", RuntimeWarning)
        report = ldpcgraph.trapping_sets(codes[7], ebn0=4.5, **args)
    theirs = json.loads(tanner("trapping", codes[7], "--ebn0", "4.5", "--decoder", "nms",
                               "--alpha", "0.5", "--iterations", "20", "--chains", "16",
                               "--max-decodes", "200000", "--json", "--threads", "1",
                               check=False).stdout)
    assert report["sets"] == theirs["sets"] and report["distinct"] == theirs["distinct"]
    assert report["sets"]
    h = arraycode(7)
    for found in report["sets"]:
        assert inducedclass(h, found["variables"]) == (
            found["a"], found["b"], found["elementary"], found["absorbing"])


def test_ledger_resumes_and_tanner_reads_it(codes, tmp_path):
    quick = dict(decoder="nms", alpha=0.5, iterations=10, chains=8, max_decodes=20000)
    withoutseconds = lambda rows: [{k: v for k, v in r.items() if k != "seconds"} for r in rows]
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", RuntimeWarning)
        whole = ldpcgraph.floor(codes[7], ebn0=[4, 4.5], threads=1, **quick)
        ledger = tmp_path / "floor.ledger"
        first = ldpcgraph.floor(codes[7], ebn0=4, ledger=str(ledger), threads=1, **quick)
        resumed = ldpcgraph.floor(codes[7], ebn0=[4, 4.5], ledger=str(ledger), resume=True,
                                  threads=2, **quick)
        assert withoutseconds(resumed) == withoutseconds(whole)
        assert resumed[0] == first[0]
        with pytest.raises(ValueError, match="seed"):
            ldpcgraph.floor(codes[7], ebn0=[4, 4.5], ledger=str(ledger), resume=True, seed=2,
                            **quick)
        with pytest.raises(ValueError, match="resume"):
            ldpcgraph.floor(codes[7], ebn0=4, ledger=str(ledger), **quick)
    # tanner floor goes on with the ledger Python wrote: every point recorded.
    out = tmp_path / "f.json"
    tanner("floor", codes[7], "--ebn0", "4,4.5", "--decoder", "nms", "--alpha", "0.5",
           "--iterations", "10", "--chains", "8", "--max-decodes", "20000", "--ledger", ledger,
           "--resume", "--json", out, check=False)
    assert [r["fer"] for r in json.loads(out.read_text())["points"]] == [r["fer"] for r in resumed]
