"""Decoding: sum-product on a tree code against brute-force bitwise MAP, and
simulate against `tanner simulate --json` for the same seed."""

import itertools
import json

import numpy as np
import pytest

import ldpcgraph
from conftest import EXAMPLES, tanner

# A cycle-free code: 9 bits, 4 checks (each joins bits of the tree).
TREE = np.array([[1, 1, 1, 0, 0, 0, 0, 0, 0],
                 [0, 0, 1, 1, 1, 0, 0, 0, 0],
                 [0, 0, 0, 0, 1, 1, 1, 0, 0],
                 [0, 1, 0, 0, 0, 0, 0, 1, 1]])


def bitwisemap(matrix, llr):
    """log P(bit = 0 | y) / P(bit = 1 | y) by summing over every codeword."""
    m, n = matrix.shape
    words = [np.array(x) for x in itertools.product((0, 1), repeat=n)
             if not (matrix @ np.array(x) % 2).any()]
    weights = np.array([np.exp(-(llr * w).sum()) for w in words])
    ones = np.array([[w[i] for w in words] for i in range(n)])
    return np.log(((1 - ones) * weights).sum(axis=1) / (ones * weights).sum(axis=1))


@pytest.mark.parametrize("schedule", ["flooding", "layered"])
def test_sum_product_on_a_tree_is_bitwise_map(schedule):
    graph = ldpcgraph.Graph.from_matrix(TREE)
    llrs = np.random.default_rng(5).normal(1.5, 1.5, size=(40, TREE.shape[1]))
    decisions, satisfied, iterations, posteriors = ldpcgraph.decode(
        graph, llrs, schedule=schedule, early_stop=False, iterations=20, posteriors=True)
    assert decisions.shape == llrs.shape and decisions.dtype == np.uint8
    assert satisfied.dtype == bool and iterations.dtype == np.int32
    for frame in range(len(llrs)):
        expected = bitwisemap(TREE, llrs[frame])
        assert np.allclose(posteriors[frame], expected, rtol=1e-4, atol=1e-4)
        assert np.array_equal(decisions[frame], (posteriors[frame] < 0).astype(np.uint8))
        assert satisfied[frame] == (not (TREE @ decisions[frame] % 2).any())
    assert (iterations == 20).all()


def test_batches_and_threads_do_not_change_decisions():
    graph = ldpcgraph.Graph.read(EXAMPLES / "hamming7.alist")
    llrs = np.random.default_rng(1).normal(1.0, 1.2, size=(333, graph.n))
    for decoder in ("spa", "minsum", "nms", "oms"):
        compiled = ldpcgraph.Decoder(graph, decoder=decoder, schedule="layered")
        whole = compiled.decode(llrs, threads=2)
        parts = [compiled.decode(llrs[k:k + 50]) for k in range(0, len(llrs), 50)]
        for got, pieces in zip(whole, zip(*parts)):
            assert np.array_equal(got, np.concatenate(pieces))


def test_bad_decoding_arguments_raise():
    graph = ldpcgraph.Graph.read(EXAMPLES / "hamming7.alist")
    for call, message in (
            (lambda: ldpcgraph.decode(graph, np.zeros((2, 6))), "frames x 7"),
            (lambda: ldpcgraph.decode(graph, np.zeros(7)), "2-D"),
            (lambda: ldpcgraph.Decoder(graph, decoder="bp"), "spa, minsum"),
            (lambda: ldpcgraph.Decoder(graph, schedule="serial"), "flooding"),
            (lambda: ldpcgraph.Decoder(graph, decoder="nms", alpha=1.5), "alpha"),
            (lambda: ldpcgraph.simulate(graph, ebn0=[1], sigma=[1]), "one of"),
            (lambda: ldpcgraph.simulate(graph, ebn0=[1], seed="1,2"), "seed"),
            (lambda: ldpcgraph.simulate(ldpcgraph.IrregularEnsemble([3], [1], [6], [1], 999),
                                        ebn0=[1]), "998 and 1000"),
            (lambda: ldpcgraph.simulate(ldpcgraph.ProtographEnsemble(
                EXAMPLES / "half-rate.proto", 5), ebn0=[1], frames_per_graph=0),
             "frames_per_graph")):
        with pytest.raises(ValueError, match=message):
            call()


SIMULATIONS = (
    ("hamming7.alist", ["--ebn0", "0,1.5,3"], dict(ebn0=[0, 1.5, 3])),
    ("irregular", ["--sigma", "0.9,0.8", "--decoder", "nms", "--schedule", "layered"],
     dict(sigma=[0.9, 0.8], decoder="nms", schedule="layered")),
    ("irregular", ["--erasure", "0.45,0.3", "--decoder", "minsum"],
     dict(erasure=[0.45, 0.3], decoder="minsum")),
    ("hamming7.alist", ["--crossover", "0.1,0.05", "--iterations", "5", "--no-early-stop"],
     dict(crossover=[0.1, 0.05], iterations=5, early_stop=False)),
    ("irregular ensemble", ["--ebn0", "1,2", "--frames-per-graph", "40"],
     dict(ebn0=[1, 2], frames_per_graph=40)),
    ("protograph ensemble", ["--erasure", "0.45", "--frames-per-graph", "30"],
     dict(erasure=[0.45], frames_per_graph=30)),
)

# Ensembles: tanner's code arguments and the same ensemble for simulate.
ENSEMBLES = {
    "irregular ensemble": (
        ["irregular", "--vdeg", "2,3,8", "--vfrac", "0.5,0.3,0.2", "--cdeg", "7,8", "--cfrac",
         "0.5,0.5", "--length", "400"],
        lambda: ldpcgraph.IrregularEnsemble([2, 3, 8], [0.5, 0.3, 0.2], [7, 8], [0.5, 0.5], 400)),
    "protograph ensemble": (
        ["proto", EXAMPLES / "half-rate.proto", "--lift", "50"],
        lambda: ldpcgraph.ProtographEnsemble(EXAMPLES / "half-rate.proto", 50)),
}


@pytest.mark.parametrize("code,args,options", SIMULATIONS)
def test_simulate_gives_the_points_of_tanner_simulate(code, args, options, work):
    if code in ENSEMBLES:
        codeargs, ensemble = ENSEMBLES[code]
        path = ensemble()
    elif code == "irregular":
        tanner("construct", "irregular", "--vdeg", "2,3,8", "--vfrac", "0.5,0.3,0.2", "--cdeg",
               "7,8", "--cfrac", "0.5,0.5", "--length", "400", "--seed", "9",
               work / "code.code")
        path = work / "code.code"
    else:
        path = EXAMPLES / code
    if code not in ENSEMBLES:
        codeargs, path = [path], str(path)
    common = ["--max-errors", "30", "--seed", "3,4,5", "--threads", "2"]
    tanner("simulate", *codeargs, *args, *common, "--json", work / "theirs.json")
    theirs = json.loads((work / "theirs.json").read_text())["points"]
    ours = ldpcgraph.simulate(path, max_errors=30, seed=(3, 4, 5), threads=1, **options)
    assert len(ours) == len(theirs)
    for mine, their in zip(ours, theirs):
        assert mine.keys() == their.keys()
        for key, value in mine.items():
            if key == "mbps":
                continue
            if isinstance(value, float):
                assert value == pytest.approx(their[key], rel=1e-9), key
            else:
                assert value == their[key], key
