"""Decoding: sum-product on a tree code against brute-force bitwise MAP, and
simulate against `tanner simulate --json` for the same seed."""

import itertools
import json

import numpy as np
import pytest

import ldpcgraph
from conftest import EXAMPLES, aspython, assertinterrupted, runpython, tanner, tannerusage

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
    # 8-bit messages: twice the frames per batch, the same batching rules.
    narrow = ldpcgraph.Decoder(graph, decoder="nms", quantization=8)
    assert narrow.lanes == 2 * ldpcgraph.Decoder(graph, decoder="nms").lanes
    whole = narrow.decode(llrs, threads=2)
    parts = [narrow.decode(llrs[k:k + 50]) for k in range(0, len(llrs), 50)]
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
            (lambda: ldpcgraph.Decoder(graph, quantization=8), "min-sum family"),
            (lambda: ldpcgraph.Decoder(graph, decoder="oms", quantization=4), "8 or 16"),
            (lambda: ldpcgraph.Decoder(graph, spa_approximation="quick"), "exact or fast"),
            (lambda: ldpcgraph.Decoder(graph, decoder="nms", spa_approximation="fast"),
             "spa_approximation fast applies to decoder spa only"),
            (lambda: ldpcgraph.simulate(graph, ebn0=[1], decoder="oms", spa_approximation="fast"),
             "spa only, not oms"),
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
    ("irregular", ["--sigma", "0.9,0.8", "--decoder", "oms", "--quantization", "8"],
     dict(sigma=[0.9, 0.8], decoder="oms", quantization=8)),
    ("irregular", ["--sigma", "0.9,0.8", "--spa-approximation", "fast", "--schedule", "layered"],
     dict(sigma=[0.9, 0.8], spa_approximation="fast", schedule="layered")),
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


# Inputs that tanner simulate refuses (status 2) are refused by simulate with
# the same message, its options spelled as keywords.
REFUSALS = (
    (["--erasure", "1.5"], dict(erasure=1.5)),
    (["--crossover", "1"], dict(crossover=1)),
    (["--sigma", "-1"], dict(sigma=-1)),
    (["--sigma", "0"], dict(sigma=[0.5, 0])),
    (["--ebn0", "1", "--rate", "2"], dict(ebn0=1, rate=2)),
    (["--erasure", "0.1", "--rate", "0.5"], dict(erasure=0.1, rate=0.5)),
    (["--ebn0", "1", "--alpha", "0.5"], dict(ebn0=1, alpha=0.5)),
    (["--ebn0", "1", "--decoder", "nms", "--beta", "1"], dict(ebn0=1, decoder="nms", beta=1)),
    (["--ebn0", "1", "--decoder", "nms", "--alpha", "1"], dict(ebn0=1, decoder="nms", alpha=1)),
    (["--ebn0", "1", "--decoder", "oms", "--beta", "5000"], dict(ebn0=1, decoder="oms", beta=5000)),
    (["--ebn0", "1", "--iterations", "-1"], dict(ebn0=1, iterations=-1)),
    (["--ebn0", "1", "--quantization", "8"], dict(ebn0=1, quantization=8)),
    (["--ebn0", "1", "--max-frames", "0"], dict(ebn0=1, max_frames=0)),
    (["--ebn0", "1", "--max-errors", "0"], dict(ebn0=1, max_errors=0)),
    (["--ebn0", "1", "--max-seconds", "-1"], dict(ebn0=1, max_seconds=-1)),
    (["--ebn0", "1", "--min-fer", "2"], dict(ebn0=1, min_fer=2)),
    (["--ebn0", "1", "--threads", "0"], dict(ebn0=1, threads=0)),
)


@pytest.mark.parametrize("args,options", REFUSALS)
def test_simulate_refuses_what_tanner_refuses(args, options):
    code = EXAMPLES / "hamming7.alist"
    message = aspython(tannerusage("simulate", code, *args))
    with pytest.raises(ValueError) as raised:
        ldpcgraph.simulate(code, **options)
    assert str(raised.value) == message


def test_simulate_refuses_points_that_are_not_numbers():
    code = EXAMPLES / "hamming7.alist"
    for options, message in ((dict(ebn0=float("nan")), "ebn0 takes finite values, not nan"),
                             (dict(sigma=[0.5, float("inf")]), "sigma takes finite values above 0"),
                             (dict(ebn0=[]), "ebn0: no points"),
                             (dict(ebn0=list(range(100001))), "a run takes at most 100000")):
        with pytest.raises(ValueError, match=message):
            ldpcgraph.simulate(code, **options)


def test_graphs_without_variable_nodes_are_refused():
    for shape in ((3, 0), (0, 0)):
        graph = ldpcgraph.Graph.from_matrix(np.zeros(shape))
        message = "the graph has no variable nodes \\(%d check nodes\\)" % shape[0]
        for call in (lambda: ldpcgraph.simulate(graph, sigma=0.5),
                     lambda: ldpcgraph.simulate(graph, ebn0=1, rate=0.5),
                     lambda: ldpcgraph.Decoder(graph),
                     lambda: ldpcgraph.decode(graph, np.zeros((1, 0)))):
            with pytest.raises(ValueError, match=message):
                call()


def test_numpy_integers_are_integers_and_bools_are_not():
    code = ldpcgraph.Graph.read(EXAMPLES / "hamming7.alist")
    plain = ldpcgraph.simulate(code, sigma=0.7, seed=1, max_frames=128, threads=1)
    for kind in (np.int64, np.int32, np.uint16):
        numpy = ldpcgraph.simulate(code, sigma=np.float64(0.7), seed=kind(1),
                                   max_frames=kind(128), threads=kind(1), iterations=kind(50))
        assert [dict(p, mbps=0) for p in numpy] == [dict(p, mbps=0) for p in plain]
    assert ldpcgraph.simulate(code, sigma=0.7, seed=(np.int64(1), 0, 0), max_frames=128,
                              threads=1)[0]["frames"] == 128
    for options in (dict(max_frames=True), dict(max_frames=1.5), dict(max_frames="5"),
                    dict(seed=True), dict(threads=2.0)):
        with pytest.raises((TypeError, ValueError)):
            ldpcgraph.simulate(code, sigma=0.7, **options)


def test_defaults_stop_reasons_and_the_sweep_end():
    code = EXAMPLES / "hamming7.alist"
    points = ldpcgraph.simulate(code, crossover=[0.1, 0, 0.05], max_frames=640)
    assert [p["stopped"] for p in points] == ["errors", "frames"]
    assert points[1]["frameerrors"] == 0
    every = ldpcgraph.simulate(code, crossover=[0.1, 0, 0.05], max_frames=640, all_points=True)
    assert len(every) == 3
    timed = ldpcgraph.simulate(code, sigma=0.5, max_frames=10**12, max_errors=10**12,
                               max_seconds=0.3, threads=1)
    assert timed[0]["stopped"] == "time" and timed[0]["frames"] % 64 == 0
    again = ldpcgraph.simulate(code, sigma=0.5, max_frames=timed[0]["frames"], max_errors=10**12,
                               max_seconds=0, threads=2)
    assert dict(again[0], mbps=0, stopped="time") == dict(timed[0], mbps=0)


def test_ensembles_with_girth_give_the_points_of_tanner(work):
    tanner("simulate", "proto", EXAMPLES / "half-rate.proto", "--lift", "40", "--girth", "6",
           "--sigma", "0.8", "--max-frames", "256", "--frames-per-graph", "100", "--seed", "3",
           "--json", work / "girth.json")
    theirs = json.loads((work / "girth.json").read_text())["points"]
    ours = ldpcgraph.simulate(ldpcgraph.ProtographEnsemble(EXAMPLES / "half-rate.proto", 40, girth=6),
                              sigma=0.8, max_frames=256, frames_per_graph=100, seed=3)
    assert len(ours) == len(theirs) == 1
    for key, value in ours[0].items():
        if key != "mbps":
            assert value == pytest.approx(theirs[0][key], rel=1e-9), key
    with pytest.raises(ValueError, match="girth takes an even number"):
        ldpcgraph.simulate(ldpcgraph.IrregularEnsemble([3], [1], [6], [1], 100, girth=5), sigma=0.8)


def test_ctrl_c_interrupts_simulate():
    assertinterrupted("ldpcgraph.simulate(%r, ebn0=[0] * 5, max_frames=10**12, max_errors=10**12,"
                      " max_seconds=0, threads=2)" % str(EXAMPLES / "hamming7.alist"))


def test_memory_exhaustion_in_an_ensemble_is_a_memory_error():
    run = runpython(
        "import ldpcgraph\n"
        "try:\n"
        "    ldpcgraph.simulate(ldpcgraph.ProtographEnsemble(%r, 100000000), sigma=0.5,"
        " max_frames=1)\n"
        "except MemoryError:\n"
        "    print('memory', ldpcgraph.Graph.read(%r).n)\n"
        % (str(EXAMPLES / "half-rate.proto"), str(EXAMPLES / "hamming7.alist")),
        memory=1500000 * 1024)
    assert run.returncode == 0 and run.stdout == "memory 7\n", run.stderr


# Ledgers: simulate(ledger=..., resume=True) and merge, against the run
# without a ledger and against tanner, which reads and writes the same files.
LEDGERRUN = dict(ebn0=[1, 2, 3], decoder="nms", max_errors=60, max_frames=20000, max_seconds=0,
                 seed=(1, 0, 0), threads=2)
LEDGERARGS = ["--ebn0", "1:3:1", "--decoder", "nms", "--max-errors", "60", "--max-frames", "20000",
              "--max-seconds", "0", "--threads", "2"]


def counts(rows):
    """The rows without their wall-clock figure and the Eb/N0 a ledger lacks."""
    return [{k: v for k, v in row.items() if k not in ("mbps", "ebn0")} for row in rows]


@pytest.fixture
def ledgercode(work):
    path = work / "c96.code"
    tanner("construct", "peg", "--vdeg", "3", "--vfrac", "1", "--length", "96", "--checks", "48", path)
    return path


def test_a_ledger_resumed_from_any_cut_gives_the_uninterrupted_points(ledgercode, work):
    plain = ldpcgraph.simulate(ledgercode, **LEDGERRUN)
    ledger = work / "run.ledger"
    assert counts(ldpcgraph.simulate(ledgercode, ledger=ledger, **LEDGERRUN)) == counts(plain)
    lines = ledger.read_text().splitlines(keepends=True)
    assert len(lines) > 10
    # Cut as a killed run leaves it: at a few lines, the last one torn.
    for keep in (1, 2, len(lines) // 3, len(lines) - 1):
        cut = work / ("cut%d.ledger" % keep)
        cut.write_text("".join(lines[:keep]) + lines[keep][: len(lines[keep]) // 2])
        resumed = ldpcgraph.simulate(ledgercode, ledger=cut, resume=True, **LEDGERRUN)
        assert counts(resumed) == counts(plain), keep
        assert counts(ldpcgraph.merge(cut)) == counts(plain), keep
    # tanner resumes the ledger that Python wrote (nothing left to decode)
    # and gives the same points.
    tanner("simulate", ledgercode, *LEDGERARGS, "--ledger", ledger, "--resume", "--json", work / "t.json")
    theirs = json.loads((work / "t.json").read_text())["points"]
    assert counts(theirs) == [{k: pytest.approx(v, rel=1e-9) if isinstance(v, float) else v
                               for k, v in row.items()} for row in counts(plain)]


def test_merge_of_tanner_shards_gives_the_one_process_points(ledgercode, work):
    plain = ldpcgraph.simulate(ledgercode, min_fer=0.05, **LEDGERRUN)
    shards = []
    for k in (1, 2):
        shards.append(work / ("shard%d.ledger" % k))
        tanner("simulate", ledgercode, *LEDGERARGS, "--min-fer", "0.05", "--shard", "%d/2" % k,
               "--ledger", shards[-1])
    merged = ldpcgraph.merge(*shards)
    assert counts(merged) == counts(plain)
    assert all(row["mbps"] == 0 and row["ebn0"] is None for row in merged)
    assert ldpcgraph.merge(shards[1], str(shards[0])) == merged
    with pytest.raises(ValueError, match="shard 2/2 is missing"):
        ldpcgraph.merge(shards[0])


def test_ledgers_that_do_not_fit_the_run_are_refused(ledgercode, work):
    ledger = work / "run.ledger"
    ldpcgraph.simulate(ledgercode, ledger=ledger, **LEDGERRUN)
    before = ledger.read_text()
    refusals = (
        (dict(LEDGERRUN, ledger=ledger), "run.ledger"),  # exists, and no resume
        (dict(LEDGERRUN, ledger=ledger, resume=True, seed=2), "seed"),
        (dict(LEDGERRUN, ledger=ledger, resume=True, max_errors=61), "maxerrors"),
        (dict(LEDGERRUN, resume=True), "resume=True needs ledger=PATH"),
    )
    for options, message in refusals:
        with pytest.raises(ValueError, match=message):
            ldpcgraph.simulate(ledgercode, **options)
    assert ledger.read_text() == before
    with pytest.raises(ValueError, match="an ensemble's run is recorded by tanner"):
        ldpcgraph.simulate(ldpcgraph.IrregularEnsemble([3], [1], [6], [1], 96), ebn0=2,
                           ledger=work / "e.ledger")
    bad = work / "bad.ledger"
    bad.write_text("hello\n")
    with pytest.raises(ValueError, match="bad.ledger:1: "):
        ldpcgraph.merge(bad)
    with pytest.raises(ValueError, match="one ledger at least"):
        ldpcgraph.merge()


# The transmit chain: random codewords over 16-QAM, information-bit errors
# counted.
CHAINRUN = dict(LEDGERRUN, ebn0=[2, 4, 6], codeword="random", modulation="16qam", all_points=True)
CHAINARGS = LEDGERARGS[2:] + ["--ebn0", "2,4,6", "--codeword", "random", "--modulation", "16qam",
                              "--all-points"]


def test_a_ledger_of_the_transmit_chain_resumes_and_merges_as_tanner_does(ledgercode, work):
    plain = ldpcgraph.simulate(ledgercode, **CHAINRUN)
    assert all(row["infobiterrors"] > 0 and "infober" in row for row in plain)
    ledger = work / "chain.ledger"
    assert counts(ldpcgraph.simulate(ledgercode, ledger=ledger, **CHAINRUN)) == counts(plain)
    lines = ledger.read_text().splitlines(keepends=True)
    assert '"modulation":"16qam"' in lines[0] and '"infobits":48}' in lines[0]
    assert all('"infobiterrors":' in line for line in lines[1:])
    for keep in (1, len(lines) // 2, len(lines) - 1):
        cut = work / ("chaincut%d.ledger" % keep)
        cut.write_text("".join(lines[:keep]) + lines[keep][: len(lines[keep]) // 2])
        resumed = ldpcgraph.simulate(ledgercode, ledger=cut, resume=True, **CHAINRUN)
        assert counts(resumed) == counts(plain), keep
        assert counts(ldpcgraph.merge(cut)) == counts(plain), keep
    # tanner's shards merged here, and tanner resuming the ledger written here.
    shards = []
    for k in (1, 2):
        shards.append(work / ("chainshard%d.ledger" % k))
        tanner("simulate", ledgercode, *CHAINARGS, "--shard", "%d/2" % k, "--ledger", shards[-1])
    assert counts(ldpcgraph.merge(*shards)) == counts(plain)
    tanner("simulate", ledgercode, *CHAINARGS, "--ledger", ledger, "--resume", "--json", work / "t.json")
    theirs = json.loads((work / "t.json").read_text())["points"]
    assert counts(theirs) == [{k: pytest.approx(v, rel=1e-9) if isinstance(v, float) else v
                               for k, v in row.items()} for row in counts(plain)]
    before = ledger.read_text()
    for options, message in ((dict(modulation="64qam"), 'modulation is "16qam"'),
                             (dict(demapper="maxlog"), 'demapper is "exact"'),
                             (dict(interleave=True), 'interleave is "none"')):
        with pytest.raises(ValueError, match=message):
            ldpcgraph.simulate(ledgercode, ledger=ledger, resume=True, **dict(CHAINRUN, **options))
    assert ledger.read_text() == before
