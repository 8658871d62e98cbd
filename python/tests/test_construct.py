"""Constructions: the same files as `tanner construct` for the same seed,
refusals as exceptions, and the stream shared safely between threads."""

import re
import threading

import pytest

import ldpcgraph
from conftest import EXAMPLES, assertinterrupted, runpython, tanner, tannerfailure

IRREGULAR = dict(vdeg=[2, 3, 8], vfrac=[0.5, 0.3, 0.2], cdeg=[7, 8], cfrac=[0.5, 0.5])


def irregularargs(options):
    args = ["irregular"]
    for key in ("vdeg", "vfrac", "cdeg", "cfrac"):
        args += ["--" + key, ",".join(map(str, options[key]))]
    args += ["--length", str(options["length"])]
    if options.get("edge_fractions"):
        args.append("--edge-fractions")
    return args


# (what to build, seed as Python gives it, seed as tanner takes it)
CASES = (
    ("irregular", dict(IRREGULAR, length=500), "1,2,3", "1,2,3"),
    ("irregular", dict(IRREGULAR, length=500), (1, 2, 3), "1,2,3"),
    ("irregular", dict(IRREGULAR, length=777, edge_fractions=True), 2**40 + 5, str(2**40 + 5)),
    ("irregular", dict(vdeg=[3], vfrac=[1.0], cdeg=[6], cfrac=[1.0], length=1000), 0, "0"),
    ("irregular", dict(vdeg=[3], vfrac=[1.0], cdeg=[6], cfrac=[1.0], length=1000), 2**48 - 1,
     "65535,65535,65535"),
    ("proto", dict(lift=50), "42", "42"),
    ("proto", dict(lift=1), "65535,0,7", "65535,0,7"),
)


@pytest.mark.parametrize("ensemble,options,seed,tannerseed", CASES)
def test_constructions_equal_tanner_construct(ensemble, options, seed, tannerseed, work):
    if ensemble == "irregular":
        graph, start = ldpcgraph.construct_irregular(seed=seed, **options)
        args = irregularargs(options)
    else:
        graph, start = ldpcgraph.construct_proto(EXAMPLES / "half-rate.proto", options["lift"],
                                                 seed=seed)
        args = ["proto", EXAMPLES / "half-rate.proto", "--lift", options["lift"]]
    run = tanner("construct", *args, "--seed", tannerseed, work / "theirs.code")
    printed = re.search(r"graph stream state: (\d+),(\d+),(\d+)", run.stdout).groups()
    assert start == tuple(map(int, printed))
    graph.write(work / "ours.code")
    assert (work / "ours.code").read_bytes() == (work / "theirs.code").read_bytes()
    tanner("construct", *args, "--seed", tannerseed, "--alist", "--unpadded",
           work / "theirs.alist")
    graph.export(work / "ours.alist", padded=False)
    assert (work / "ours.alist").read_bytes() == (work / "theirs.alist").read_bytes()
    # The returned state builds the same graph again.
    if ensemble == "irregular":
        again, _ = ldpcgraph.construct_irregular(seed=start, **options)
    else:
        again, _ = ldpcgraph.construct_proto(EXAMPLES / "half-rate.proto", options["lift"],
                                             seed=start)
    assert again.fingerprint() == graph.fingerprint()


BADSEEDS = (" 1", "-1", "1,2", "1,2,3,4", "65536,0,0", "1,,2", "x", "", str(2**48), 2**48, -1,
            (1, 2), (1, 2, 70000), 1.5)


@pytest.mark.parametrize("seed", BADSEEDS)
def test_bad_seeds_raise(seed):
    with pytest.raises(ValueError, match=r"seed takes W0,W1,W2 \(each 0..65535\) or an integer"):
        ldpcgraph.construct_irregular(seed=seed, length=100, **IRREGULAR)


BADIRREGULAR = (
    (dict(IRREGULAR, length=0), "length"),
    (dict(IRREGULAR, vdeg=[3, 2], length=100), "vdeg"),
    (dict(IRREGULAR, cdeg=[0, 8], length=100), "cdeg"),
    (dict(IRREGULAR, vfrac=[0.5, 0.5], length=100), "vfrac"),
    (dict(IRREGULAR, vdeg=[], vfrac=[], length=100), "vdeg"),
    (dict(IRREGULAR, vfrac=[5, 3, 2], length=100), "vfrac fractions must sum to 1, not 10"),
    (dict(IRREGULAR, cfrac=[1.001, -0.001], length=100), "cfrac fractions must not be negative"),
)


@pytest.mark.parametrize("options,word", BADIRREGULAR)
def test_refused_distributions_raise(options, word):
    with pytest.raises(ValueError, match=word):
        ldpcgraph.construct_irregular(**options)


@pytest.mark.parametrize("degrees,length", [((3, 6), 999), ((3, 6), 1001), ((4, 8), 1001),
                                            ((3, 4), 1002)])
def test_unbuildable_distributions_raise_the_program_message(degrees, length, work):
    """The construction's balancing cannot close these: refused, never aborted."""
    vdeg, cdeg = degrees
    message = tannerfailure("construct", "irregular", "--vdeg", vdeg, "--vfrac", "1", "--cdeg",
                            cdeg, "--cfrac", "1", "--length", length, work / "out.code")
    with pytest.raises(ValueError) as raised:
        ldpcgraph.construct_irregular([vdeg], [1.0], [cdeg], [1.0], length)
    assert str(raised.value) == message


@pytest.mark.parametrize("content", ["2 0\n/* c */\n0\n0\n", "0 3\n/* c */\n",
                                     "2 1\n/* c */\n0\n0\n"])
def test_unliftable_protographs_raise_the_program_message(content, work):
    path = work / "empty.proto"
    path.write_text("/* a */\n/* b */\n" + content)
    message = tannerfailure("construct", "proto", path, "--lift", "3", work / "out.code")
    with pytest.raises(ldpcgraph.FormatError) as raised:
        ldpcgraph.construct_proto(path, 3)
    assert str(raised.value) == message


def test_bad_protofiles_raise_the_program_message(work):
    bad = work / "bad.proto"
    bad.write_text("/* a */\n/* b */\n2 1\n/* c */\n1 0 0\n1 3 0\n")
    message = tannerfailure("construct", "proto", bad, "--lift", "2", work / "out.code")
    with pytest.raises(ldpcgraph.FormatError) as raised:
        ldpcgraph.construct_proto(bad, 2)
    assert str(raised.value) == message
    with pytest.raises(FileNotFoundError):
        ldpcgraph.construct_proto(work / "missing.proto", 2)
    with pytest.raises(ValueError, match="lift"):
        ldpcgraph.construct_proto(EXAMPLES / "half-rate.proto", 0)


def test_threads_draw_from_the_stream_one_at_a_time():
    """Constructions from several threads give the graphs of their seeds."""
    seeds = list(range(1, 13))
    expected = [ldpcgraph.construct_irregular(seed=s, length=3000, **IRREGULAR)[0].fingerprint()
                for s in seeds]
    results = [None] * len(seeds)

    def build(index):
        graph, _ = ldpcgraph.construct_irregular(seed=seeds[index], length=3000, **IRREGULAR)
        results[index] = graph.fingerprint()

    threads = [threading.Thread(target=build, args=(i,)) for i in range(len(seeds))]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert results == expected


# Circulant liftings that find no shift are refused with tanner's message and
# leave the interpreter whole (the refused record was once freed twice).
@pytest.mark.parametrize("options", [dict(lift=5, girth=8), dict(lift=1), dict(lift=1, girth=6)])
def test_refused_circulant_liftings_raise(options, work):
    args = ["--girth", str(options["girth"])] if "girth" in options else []
    message = tannerfailure("construct", "proto", EXAMPLES / "half-rate.proto", "--lift",
                            options["lift"], "--circulant", *args, work / "out.code")
    for _ in range(3):
        with pytest.raises(ldpcgraph.FormatError) as raised:
            ldpcgraph.construct_circulant(EXAMPLES / "half-rate.proto", **options)
        assert str(raised.value) == message


# Memory the library cannot have is a MemoryError, and the interpreter goes on.
@pytest.mark.parametrize("call", [
    "ldpcgraph.construct_proto(%r, 100000000)" % str(EXAMPLES / "half-rate.proto"),
    "ldpcgraph.construct_irregular([3], [1.0], [6], [1.0], 300000000)",
    "ldpcgraph.Graph.from_matrix([[100000000]], multigraph=True)",
])
def test_memory_exhaustion_is_a_memory_error(call):
    run = runpython("import ldpcgraph\ntry:\n    %s\nexcept MemoryError:\n"
                    "    print('memory', ldpcgraph.Graph.read(%r).n)\n"
                    % (call, str(EXAMPLES / "hamming7.alist")), memory=1500000 * 1024)
    assert run.returncode == 0 and run.stdout == "memory 7\n", run.stderr


def test_ctrl_c_interrupts_peg():
    assertinterrupted("ldpcgraph.construct_peg(500000, vdeg=[3], vfrac=[1.0], length=1000000)")
