"""Tanner graphs of LDPC codes: files, matrices, constructions, statistics.

    import ldpcgraph
    g = ldpcgraph.Graph.read("examples/hamming7.alist")
    print(g.girth())

Errors carry the messages of the command-line tool: FormatError (a
ValueError) for malformed input, OSError for files that cannot be opened or
written.
"""

import os as _os
import sys as _sys

from . import _build

try:
    import numpy as _np

    from . import _ldpcgraph
except ImportError as _error:
    # Another interpreter than the one the package was built for (a pyenv
    # python3 before Debian's on PATH) lacks numpy or cannot load the module.
    raise ImportError(
        "ldpcgraph was built for %s (Python %s) and needs numpy there; this is %s (Python "
        "%d.%d): run it as '%s -m ...' or with that interpreter (%s)"
        % (_build.INTERPRETER, _build.VERSION, _sys.executable, _sys.version_info[0],
           _sys.version_info[1], _build.INTERPRETER, _error)) from _error

from ._ldpcgraph import *  # noqa: F401,F403,E402  (every binding the module was built with)
from ._ldpcgraph import Graph  # noqa: E402

__all__ = [name for name in dir(_ldpcgraph) if not name.startswith("_")]

# Decoding, when the extension was built with the decoding library.
if hasattr(_ldpcgraph, "Decoder"):
    _CHANNELS = ("ebn0", "sigma", "erasure", "crossover")

    def decode(graph, llrs, decoder="spa", schedule="flooding", iterations=50, early_stop=True,
               alpha=None, beta=None, threads=1, posteriors=False):
        """Decodes a frames x n numpy batch of channel LLRs (log P(0)/P(1)) on
        graph: (decisions, satisfied, iterations[, posteriors]), as
        Decoder(graph, ...).decode(llrs, threads, posteriors). alpha (nms,
        default 0.8) and beta (oms, default 0.25) only with their decoder."""
        compiled = Decoder(graph, decoder, schedule, iterations, early_stop, alpha, beta)
        return compiled.decode(llrs, threads, posteriors)

    class IrregularEnsemble:
        """Graphs of length variable nodes drawn from a degree distribution
        (fractions of nodes, or of edges with edge_fractions), as
        `tanner simulate irregular` draws them; girth (even, >= 4) rids every
        graph of shorter cycles as --girth does (4: no parallel edges)."""

        def __init__(self, vdeg, vfrac, cdeg, cfrac, length, edge_fractions=False, girth=0):
            self.vdeg, self.vfrac, self.cdeg, self.cfrac = vdeg, vfrac, cdeg, cfrac
            self.length, self.edge_fractions, self.girth = length, edge_fractions, girth

        def __repr__(self):
            return ("IrregularEnsemble(vdeg=%r, vfrac=%r, cdeg=%r, cfrac=%r, length=%r, "
                    "edge_fractions=%r, girth=%r)" % (self.vdeg, self.vfrac, self.cdeg,
                                                      self.cfrac, self.length,
                                                      self.edge_fractions, self.girth))

    class ProtographEnsemble:
        """Random liftings of the protograph in protofile by the factor lift,
        as `tanner simulate proto` draws them; girth (even, >= 4) rids every
        graph of shorter cycles as --girth does (4: no parallel edges)."""

        def __init__(self, protofile, lift, girth=0):
            self.protofile, self.lift, self.girth = protofile, lift, girth

        def __repr__(self):
            return "ProtographEnsemble(protofile=%r, lift=%r, girth=%r)" % (
                self.protofile, self.lift, self.girth)

    def simulate(code, ebn0=None, sigma=None, erasure=None, crossover=None, **options):
        """The points of `tanner simulate --json` (a list of dicts under its
        keys) at the Eb/N0 values (dB), sigmas, erasure or crossover
        probabilities given, for a Graph, a code file, or an ensemble
        (IrregularEnsemble, ProtographEnsemble) whose graphs are drawn afresh
        every frames_per_graph frames (default 1000). options: rate, decoder,
        schedule, iterations, early_stop, alpha (nms only), beta (oms only),
        quantization, spa_approximation ("exact" or "fast", spa only), max_errors (default 100), max_frames (default 10^6), max_seconds
        (per point, default 60; 0: none), all_points (default False: the
        sweep stops after a point without frame errors), min_fer, seed (as
        for constructions; default 1), threads (default: all cores) and, for
        an ensemble, frames_per_graph. Each point says why it stopped
        ("stopped": "errors", "frames" or "time"). The inputs are checked as
        tanner checks them (ValueError); Ctrl-C raises KeyboardInterrupt
        after the blocks in flight. The same seed gives the same counts,
        whatever the thread count.

        ledger=PATH records every finished block in PATH as the run goes (a
        code, not an ensemble), as `tanner simulate --ledger`; with
        resume=True the blocks it holds are taken and the run goes on, with
        the counts of an uninterrupted run (a ledger of another
        configuration, the transmit chain's settings included, raises
        ValueError naming the difference).

        A StandardCode (from standard()) is sent as its standard sends it:
        punctured, shortened (filler) and rate-matched bits, Eb/N0 at
        information bits per sent bit, as `tanner simulate standard`. For a
        Graph, punctured=[nodes] and shortened=[nodes] give a pattern as
        `--punctured` and `--shortened` do."""
        given = [(name, values) for name, values in zip(_CHANNELS, (ebn0, sigma, erasure,
                                                                    crossover))
                 if values is not None]
        if len(given) != 1:
            raise ValueError("give one of ebn0, sigma, erasure, crossover")
        channel, points = given[0]
        points = list(_np.atleast_1d(points).astype(float))
        if isinstance(code, IrregularEnsemble):
            return _ldpcgraph._simulate_irregular(
                list(code.vdeg), list(code.vfrac), list(code.cdeg), list(code.cfrac),
                code.length, code.edge_fractions, code.girth, points, channel, **options)
        if isinstance(code, ProtographEnsemble):
            return _ldpcgraph._simulate_proto(code.protofile, code.lift, code.girth, points,
                                              channel, **options)
        if isinstance(code, StandardCode):
            if "punctured" in options or "shortened" in options:
                raise ValueError("a standard code brings its own pattern: no punctured or shortened")
            return _ldpcgraph._simulate_standard(code.request, points, channel, **options)
        if not isinstance(code, Graph):
            path = _os.fspath(code)
            code = Graph.read(path)
            if _os.fsencode(path).endswith(b".qc"):
                # The flag line's punctured block columns, as tanner takes them.
                filepunctured = qc_punctured(path)
                if filepunctured:
                    given = options.get("punctured") or []
                    options["punctured"] = sorted(set(filepunctured) | set(given))
        return _ldpcgraph._simulate(code, points, channel, **options)

    def merge(*ledgers):
        """The points of the run whose ledgers (one run's, or the shards of
        `tanner simulate --shard K/N`) are given, as simulate returns them:
        the blocks taken in frame order under the run's stopping rules, so
        the counts are those of the one-process run ("ebn0" is None and
        "mbps" 0: a ledger keeps channel parameters and decodes nothing;
        "infobiterrors" and "infober" where the run counted them).
        ValueError names a ledger that is refused, or the shard that must
        go on or is missing."""
        paths = [_os.fspath(path) for path in ledgers]
        if not paths:
            raise ValueError("merge expects one ledger at least")
        return _ldpcgraph._merge_ledgers(paths)

    class StandardCode:
        """A code of a communication standard, as standard() builds it:
        graph (a Graph, nodes in the standard's bit order), family, rate,
        source (standard and clause), length, info (information bits),
        lift, punctured and shortened (node lists), sent (bits sent) and
        order (the nodes in the order they are sent, repeats included)."""

        def __init__(self, request):
            self.request = dict(request)
            self.graph, fields = _ldpcgraph._standard(self.request)
            for key, value in fields.items():
                setattr(self, key, value)

        def __repr__(self):
            shown = ", ".join("%s=%r" % item for item in self.request.items() if item[1] is not None)
            return "StandardCode(%s)" % shown

    def standard(family, rate=None, length=None, lift=None, info=None, rv=None, lbrm=None):
        """The code of a standard as `tanner construct standard` builds it:
        family as `tanner construct standard --list` names them (nr-bg1,
        nr-bg2, nr, wifi, wimax, dvbs2, dvbs2-short, ar4ja, ccsds-c2,
        10gbase-t), rate as the standard writes it ("1/2", "2/3A"), length,
        lift, info (information bits), rv and lbrm (5G NR rate matching).
        ValueError names a parameter the standard does not define."""
        return StandardCode({"family": family, "rate": rate, "length": length, "lift": lift,
                             "info": info, "rv": rv, "lbrm": lbrm})

    __all__ += ["decode", "simulate", "merge", "standard", "StandardCode", "IrregularEnsemble",
                "ProtographEnsemble"]

# Error floors, when the extension was built with the floors library.
if hasattr(_ldpcgraph, "_floor"):
    import warnings as _warnings

    def _floorpoints(ebn0, sigma):
        if (ebn0 is None) == (sigma is None):
            raise ValueError("give one of ebn0, sigma")
        channel, points = ("ebn0", ebn0) if sigma is None else ("sigma", sigma)
        return channel, list(_np.atleast_1d(points).astype(float))

    def _ascode(code):
        return code if isinstance(code, Graph) else Graph.read(code)

    def _warnunconverged(where, diagnostic, what):
        _warnings.warn("the estimate at %s did not converge (%s); %s" % (
            where, diagnostic or "stopped", what), RuntimeWarning, stacklevel=3)

    def floor(code, ebn0=None, sigma=None, check=False, **options):
        """The points of `tanner floor --json` (dicts under its keys: fer,
        ferlow, ferhigh, ber, converged, diagnostic, decodes, seconds, ...):
        the FER and BER of a decoder at each Eb/N0 (dB) or sigma by
        multicanonical Monte-Carlo (BPSK over AWGN, the all-zero word).
        options as tanner floor takes them: rate, decoder, schedule,
        iterations, early_stop, alpha, beta, quantization, seed (default 1),
        threads, max_decodes, precision, chains. The estimate depends on the
        seed, not on threads. A point that did not converge keeps
        converged False and raises a RuntimeWarning: its figures are not to
        be trusted. check=True adds "check" to the first point: direct
        Monte-Carlo there, as --check. ledger=PATH records every finished
        point in PATH as tanner floor --ledger does; with resume=True the
        points it holds are taken and the others estimated, the rows those of
        the run without interruption (ValueError for a ledger of another
        configuration)."""
        channel, points = _floorpoints(ebn0, sigma)
        rows = _ldpcgraph._floor(_ascode(code), points, channel, check, **options)
        for row in rows:
            if not row["converged"]:
                where = "%g dB" % row["ebn0"] if row["ebn0"] is not None else "sigma %g" % row["sigma"]
                _warnunconverged(where, row["diagnostic"], "its figures are not to be trusted")
        return rows

    def trapping_sets(code, ebn0=None, sigma=None, max_size=12, top=20, **options):
        """The report of `tanner trapping --json`: the estimator run at one
        point (default Eb/N0 4 dB) and the failing sets of variable nodes
        its chains visited, by decreasing share of the failures ("sets":
        dicts with a, b, elementary, absorbing, samples, share and
        variables, the node list), at most top sets of at most max_size
        nodes. options as floor(). A RuntimeWarning when the estimate did
        not converge."""
        if ebn0 is None and sigma is None:
            ebn0 = 4.0
        channel, points = _floorpoints(ebn0, sigma)
        if len(points) != 1:
            raise ValueError("trapping_sets takes one point")
        report = _ldpcgraph._trapping_sets(_ascode(code), points[0], channel, max_size=max_size,
                                           top=top, **options)
        if not report["converged"]:
            _warnunconverged("the point", report["diagnostic"], "the shares are not to be trusted")
        return report

    def absorbing_sets(code, max_size=4, keep=100000):
        """The connected elementary absorbing sets of at most max_size
        variable nodes, exactly, as `tanner absorbing --json` counts them:
        "counts" (dicts a, b, count, fully), "sets" (node lists by (a, b),
        at most keep of them; the counts go on), "examined", "complete".
        The work grows fast with max_size: small codes or small sizes."""
        return _ldpcgraph._absorbing_sets(_ascode(code), max_size, keep)

    __all__ += ["floor", "trapping_sets", "absorbing_sets"]


def _from_matrix(matrix, multigraph=False):
    """The graph of a parity-check matrix (M x N) over GF(2): a scipy sparse
    matrix or anything numpy takes as a 2-D array, whose entries are
    non-negative integers (or booleans) taken mod 2, so that an entry of 2
    is no edge. With multigraph=True an entry k gives k parallel edges
    instead. Sockets, degree tables and maxima are those that converting
    the matrix's alist file gives."""
    import scipy.sparse

    if scipy.sparse.issparse(matrix):
        csc = scipy.sparse.csc_matrix(matrix, copy=True)
    else:
        dense = _np.asarray(matrix)
        if dense.ndim != 2:
            raise ValueError("matrix: expects a 2-D matrix, not %d-D" % dense.ndim)
        csc = scipy.sparse.csc_matrix(dense)
    csc.sum_duplicates()
    csc.eliminate_zeros()
    data = csc.data
    if data.dtype == bool:
        counts = _np.ones(data.shape, dtype=_np.int64)
    else:
        counts = data.astype(_np.int64)
        if not _np.array_equal(counts, data) or (counts < 0).any():
            raise ValueError("matrix: entries must be non-negative integers")
    if not multigraph:
        counts = counts % 2
    m, n = csc.shape
    rows = _np.repeat(csc.indices.astype(_np.int32), counts)
    # Column c's edges start after the counts of every entry before it.
    colstart = _np.concatenate(([0], _np.cumsum(counts)))[csc.indptr]
    return Graph._from_columns(m, n, colstart.astype(_np.int64), rows)


def _to_scipy(self):
    """The parity-check matrix as an M x N scipy CSR matrix (int32); parallel
    edges add up, so an entry is the number of edges between its nodes."""
    import scipy.sparse

    rowstart, columns = self._csr()
    matrix = scipy.sparse.csr_matrix(
        (_np.ones(columns.shape, dtype=_np.int32), columns, rowstart), shape=(self.m, self.n))
    matrix.sum_duplicates()
    return matrix


Graph.from_matrix = staticmethod(_from_matrix)
Graph.to_scipy = _to_scipy
