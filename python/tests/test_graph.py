"""Graph: files, matrices and statistics against tanner on the same files,
and the matrix against an independent reading of the alist row lists."""

import math
import os
import re
import subprocess
import sys
import threading

import numpy as np
import pytest
import scipy.sparse

import ldpcgraph
from conftest import EXAMPLES, tanner, tannerfailure, tannerstats


def alistrows(path):
    """H from the row lists of an alist file (which the library never reads):
    an independent view of the matrix of a file written by tanner export."""
    tokens = [int(t) for line in open(path) if not line.lstrip().startswith("#")
              for t in line.split()]
    n, m, vmax, cmax = tokens[:4]
    colw, roww = tokens[4:4 + n], tokens[4 + n:4 + n + m]
    rest = tokens[4 + n + m:]
    padded = len(rest) == n * vmax + m * cmax
    rowlists = rest[n * vmax:] if padded else rest[sum(colw):]
    matrix = np.zeros((m, n), dtype=np.int64)
    position = 0
    for r in range(m):
        width = cmax if padded else roww[r]
        for column in rowlists[position:position + width]:
            if column > 0:
                matrix[r, column - 1] += 1
        position += width
    return matrix


def writealist(matrix, path):
    """A padded alist file of a 0/1 (or counting) matrix, rows of each column
    in increasing order: what the converter should make of the matrix."""
    matrix = np.asarray(matrix)
    m, n = matrix.shape
    columns = [[r + 1 for r in range(m) for _ in range(matrix[r, c])] for c in range(n)]
    rows = [[c + 1 for c in range(n) for _ in range(matrix[r, c])] for r in range(m)]
    vmax, cmax = max(map(len, columns)), max(map(len, rows))
    lines = ["%d %d" % (n, m), "%d %d" % (vmax, cmax),
             " ".join(str(len(c)) for c in columns), " ".join(str(len(r)) for r in rows)]
    lines += [" ".join(map(str, c + [0] * (vmax - len(c)))) for c in columns]
    lines += [" ".join(map(str, r + [0] * (cmax - len(r)))) for r in rows]
    path.write_text("\n".join(lines) + "\n")


@pytest.fixture(scope="module")
def codes(tmp_path_factory):
    """Code description files written by tanner: a converted code, an
    irregular graph, a protograph lifting, one with parallel edges and a
    cycle-free one."""
    work = tmp_path_factory.mktemp("codes")
    (work / "parallel.alist").write_text("2 2\n2 2\n2 2\n2 2\n1 1\n1 2\n1 2\n1 2\n")
    (work / "tree.alist").write_text("3 2\n2 2\n1 2 1\n2 2\n1\n1 2\n2\n1 2\n2 3\n")
    files = {}
    for name in ("parallel", "tree"):
        tanner("convert", work / (name + ".alist"), work / (name + ".code"))
        files[name] = work / (name + ".code")
    tanner("convert", EXAMPLES / "hamming7.alist", work / "hamming7.code")
    files["hamming7"] = work / "hamming7.code"
    tanner("construct", "irregular", "--vdeg", "2,3,8", "--vfrac", "0.5,0.3,0.2", "--cdeg",
           "7,8", "--cfrac", "0.5,0.5", "--length", "300", "--seed", "1,2,3",
           work / "irregular.code")
    files["irregular"] = work / "irregular.code"
    tanner("construct", "proto", EXAMPLES / "half-rate.proto", "--lift", "25", "--seed", "7",
           work / "proto.code")
    files["proto"] = work / "proto.code"
    # Two variable and two check nodes joined by 60,000 edges each: more
    # 4-cycles than a signed 64-bit count holds.
    ldpcgraph.Graph.from_matrix([[60000, 60000], [60000, 60000]], multigraph=True).write(
        work / "heavy.code")
    files["heavy"] = work / "heavy.code"
    return files


NAMES = ("hamming7", "irregular", "proto", "parallel", "tree")


def assertsame(ours, theirs):
    """Equal figures; floats as tanner prints them (%.10g)."""
    assert ours.keys() == theirs.keys()
    for key, value in ours.items():
        if isinstance(value, float):
            assert math.isclose(value, theirs[key], rel_tol=1e-9, abs_tol=1e-12), key
        elif isinstance(value, list):
            assert len(value) == len(theirs[key]), key
            for a, b in zip(value, theirs[key]):
                assertsame(a, b)
        else:
            assert value == theirs[key], key


@pytest.mark.parametrize("name", NAMES + ("heavy", "hamming7.alist", "hamming7-unpadded.alist"))
def test_stats_equal_tanner_stats(codes, name):
    path = codes[name] if name in codes else EXAMPLES / name
    theirs = tannerstats(path)
    del theirs["file"]
    graph = ldpcgraph.Graph.read(path)
    ours = graph.stats()
    assertsame(ours, theirs)
    assert ours["fingerprint"] == graph.fingerprint()
    assert (graph.girth(), graph.four_cycles(), graph.parallel_edges()) == (
        theirs["girth"], theirs["fourcycles"], theirs["paralleledges"])
    assert (graph.n, graph.m, graph.num_edges) == (
        theirs["vnodenum"], theirs["cnodenum"], theirs["edges"])
    for side, rows in (("variable", theirs["vdegrees"]), ("check", theirs["cdegrees"])):
        table = graph.degree_distribution(side)
        assert list(table["degree"]) == [row["degree"] for row in rows]
        assert list(table["nodes"]) == [row["nodes"] for row in rows]
        assert np.allclose(table["nodefraction"], [row["nodefraction"] for row in rows])
        assert np.allclose(table["edgefraction"], [row["edgefraction"] for row in rows])


@pytest.mark.parametrize("name", NAMES)
def test_files_round_trip_as_tanner_writes_them(codes, name, work):
    graph = ldpcgraph.Graph.read(codes[name])
    graph.write(work / "again.code")
    assert (work / "again.code").read_bytes() == codes[name].read_bytes()
    for padded, flags in ((True, ()), (False, ("--unpadded",))):
        graph.export(work / "ours.alist", padded=padded)
        tanner("export", *flags, codes[name], work / "theirs.alist")
        assert (work / "ours.alist").read_bytes() == (work / "theirs.alist").read_bytes()
        # Reading either dialect back gives what converting it gives.
        tanner("convert", work / "theirs.alist", work / "converted.code")
        ldpcgraph.Graph.read(str(work / "ours.alist")).write(str(work / "fromalist.code"))
        assert (work / "fromalist.code").read_bytes() == (work / "converted.code").read_bytes()


@pytest.mark.parametrize("name", NAMES)
def test_matrix_round_trips(codes, name, work):
    graph = ldpcgraph.Graph.read(codes[name])
    matrix = graph.to_scipy()
    assert isinstance(matrix, scipy.sparse.csr_matrix) and matrix.shape == (graph.m, graph.n)
    tanner("export", codes[name], work / "h.alist")
    expected = alistrows(work / "h.alist")
    assert np.array_equal(matrix.toarray(), expected)
    # From the matrix, in every form, the graph that converting its alist
    # file gives, byte for byte.
    writealist(expected, work / "sorted.alist")
    tanner("convert", work / "sorted.alist", work / "converted.code")
    forms = [matrix, matrix.tocoo(), matrix.toarray(), expected.tolist()]
    if matrix.max() <= 1:
        forms.append(matrix.toarray().astype(bool))
    # Parallel edges add up in to_scipy: the round trip reads counts back.
    for form in forms:
        again = ldpcgraph.Graph.from_matrix(form, multigraph=True)
        again.write(work / "frommatrix.code")
        assert (work / "frommatrix.code").read_bytes() == (work / "converted.code").read_bytes()
        assert again.fingerprint() == graph.fingerprint()


@pytest.mark.parametrize("name", NAMES)
def test_edges_are_the_graph(codes, name):
    graph = ldpcgraph.Graph.read(codes[name])
    edges = graph.edges()
    counts = np.zeros((graph.m, graph.n), dtype=np.int64)
    np.add.at(counts, (edges["check"], edges["variable"]), 1)
    assert np.array_equal(counts, graph.to_scipy().toarray())
    # Sockets: each node's sockets are exactly 0..degree-1.
    for node, socket, degrees in (("variable", "vsocket", graph.variable_degrees),
                                  ("check", "csocket", graph.check_degrees)):
        assert np.array_equal(np.bincount(edges[node], minlength=len(degrees)), degrees)
        order = np.lexsort((edges[socket], edges[node]))
        starts = np.concatenate(([0], np.cumsum(degrees)[:-1]))
        expected = np.arange(len(order)) - np.repeat(starts, degrees)
        assert np.array_equal(edges[socket][order], expected)


def test_bad_matrices_raise():
    for matrix, message in (([[1, -1]], "non-negative integers"), ([[0.5, 1]], "integers"),
                            (np.zeros((2, 2, 2)), "2-D")):
        with pytest.raises(ValueError, match=message):
            ldpcgraph.Graph.from_matrix(matrix)


# Malformed inputs: the exception carries what tanner prints after "tanner: ".
BADFILES = (
    ("short.alist", "3 2\n2 2\n1 1\n", "stats"),
    ("range.alist", "2 1\n1 2\n1 1\n2\n1\n5\n1 2\n", "stats"),
    ("word.alist", "2 1\n1 2\n1 x\n", "stats"),
    ("blank.code", "\n  /* only a comment */\n", "stats"),
    ("short.code", None, "stats"),
    ("mirror.code", None, "stats"),
)


@pytest.mark.parametrize("name,content,command", BADFILES)
def test_bad_files_raise_the_program_message(codes, name, content, command, work):
    path = work / name
    if name == "short.code":
        text = codes["hamming7"].read_text()
        path.write_text(text[:len(text) // 2])
    elif name == "mirror.code":
        # The first edge of variable node 0 names the wrong socket.
        lines = codes["hamming7"].read_text().splitlines(True)
        first = next(i for i, line in enumerate(lines) if "tosocket" in line) + 1
        fields = lines[first].split()
        fields[2] = "1"
        lines[first] = " ".join(fields) + "\n"
        path.write_text("".join(lines))
    else:
        path.write_text(content)
    args = ("convert", path, work / "out.code") if command == "convert" else ("stats", path)
    message = tannerfailure(*args)
    with pytest.raises(ldpcgraph.FormatError) as raised:
        ldpcgraph.Graph.read(path)
    assert str(raised.value) == message
    assert not (work / "out.code").exists()


def test_files_that_cannot_be_opened_raise_oserror(codes, work):
    for path, kind in ((work / "missing.code", FileNotFoundError), (work, IsADirectoryError)):
        with pytest.raises(kind) as raised:
            ldpcgraph.Graph.read(path)
        assert str(raised.value) == tannerfailure("stats", path)
    graph = ldpcgraph.Graph.read(codes["hamming7"])
    for target in (work / "nodir" / "out", work):
        message = tannerfailure("export", codes["hamming7"], target)
        for write in (graph.write, graph.export):
            with pytest.raises(OSError) as raised:
                write(target)
            assert str(raised.value) == message


def test_long_calls_let_other_threads_run(codes):
    """Statistics from several threads at once equal those of one thread."""
    graphs = [ldpcgraph.Graph.read(codes[name]) for name in NAMES]
    expected = [graph.stats() for graph in graphs]
    results = [None] * (4 * len(graphs))

    def work(index):
        results[index] = graphs[index % len(graphs)].stats()

    threads = [threading.Thread(target=work, args=(i,)) for i in range(len(results))]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert results == expected * 4


def test_from_matrix_grows_with_the_edges():
    """One column joined to every row among many light columns: the work and
    memory follow the 65,000 edges, not columns x largest weight (3 x 10^8)."""
    m, n = 5000, 60001
    rows = np.concatenate([np.arange(n - 1) % m, np.arange(m)])
    columns = np.concatenate([np.arange(n - 1), np.full(m, n - 1)])
    matrix = scipy.sparse.csc_matrix((np.ones(len(rows), dtype=np.int8), (rows, columns)),
                                     shape=(m, n))
    graph = ldpcgraph.Graph.from_matrix(matrix)
    assert graph.num_edges == n - 1 + m
    assert graph.variable_degrees[-1] == m and (graph.variable_degrees[:-1] == 1).all()
    assert (graph.to_scipy() != matrix).nnz == 0


def test_python_forms_of_paths_matrices_and_fingerprints():
    path = os.path.join(os.environ["LDPC_SOURCE_DIR"], "examples", "hamming7.alist")
    graph = ldpcgraph.Graph.read(path)
    assert ldpcgraph.Graph.read(os.fsencode(path)).fingerprint() == graph.fingerprint()
    printed = re.search(r"fingerprint +([0-9a-f]+)", tanner("stats", path).stdout).group(1)
    assert graph.fingerprint() == printed == graph.stats()["fingerprint"]
    # Over GF(2) an entry counts mod 2; multigraph=True keeps k parallel edges.
    for entries, plain, multi in (([[2, 1, 3]], 2, 6), ([[4, 0, 0]], 0, 4), ([[1, 1, 1]], 3, 3)):
        assert ldpcgraph.Graph.from_matrix(entries).num_edges == plain
        assert ldpcgraph.Graph.from_matrix(entries, multigraph=True).num_edges == multi


def test_import_error_names_the_interpreter_built_for():
    run = subprocess.run([sys.executable, "-c", "import sys; sys.modules['numpy'] = None; "
                          "import ldpcgraph"], capture_output=True, text=True)
    assert run.returncode != 0
    assert "ldpcgraph was built for " in run.stderr and "needs numpy there" in run.stderr


QCFAULTS = (
    ("shift.qc", "2 1 3\n1 3\n"),             # a shift beyond Z - 1
    ("row.qc", "2 2 3\n1 -1\n0\n"),           # a short row
    ("flags.qc", "2 1 3\n1 -1\n1 0 1\n"),     # a flag line of the wrong length
    ("header.qc", "2 1\n1 -1\n"),             # a header of two numbers
)


def test_base_matrix_files_read_as_tanner_reads_them(work):
    """A 2 x 3 base matrix lifted by Z = 3 against its expansion written out
    by hand (block shift s puts row i's one in column (i + s) mod 3), by
    name and by format='qc'; the flag line's punctured column; the faults
    tanner names, raised with its message."""
    text = "3 2 3\n1 -1 0\n\n0 2 -1\n1 0 1\n"
    path = work / "small.qc"
    path.write_text(text)
    circulant = lambda s: np.roll(np.eye(3, dtype=np.int64), s, axis=1)
    zero = np.zeros((3, 3), dtype=np.int64)
    expected = np.block([[circulant(1), zero, circulant(0)], [circulant(0), circulant(2), zero]])
    assert expected[0, 1] == 1
    plain = work / "small.txt"
    plain.write_text(text)
    for graph in (ldpcgraph.Graph.read(path), ldpcgraph.Graph.read(plain, format="qc")):
        assert (graph.to_scipy().toarray() == expected).all()
        assert graph.fingerprint() == tannerstats(path)["fingerprint"]
    assert ldpcgraph.qc_punctured(path) == [3, 4, 5]
    with pytest.raises(ValueError, match="format takes 'qc'"):
        ldpcgraph.Graph.read(path, format="alist")
    for name, content in QCFAULTS:
        bad = work / name
        bad.write_text(content)
        message = tannerfailure("stats", bad)
        for read in (ldpcgraph.Graph.read, ldpcgraph.qc_punctured):
            with pytest.raises(ldpcgraph.FormatError) as raised:
                read(bad)
            assert str(raised.value) == message
