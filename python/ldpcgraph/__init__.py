"""Tanner graphs of LDPC codes: files, matrices, constructions, statistics.

    import ldpcgraph
    g = ldpcgraph.Graph.read("examples/hamming7.alist")
    print(g.girth())

Errors carry the messages of the command-line tool: FormatError (a
ValueError) for malformed input, OSError for files that cannot be opened or
written.
"""

import numpy as _np

from . import _ldpcgraph
from ._ldpcgraph import *  # noqa: F401,F403  (every binding the module was built with)
from ._ldpcgraph import Graph

__all__ = [name for name in dir(_ldpcgraph) if not name.startswith("_")]

# Decoding, when the extension was built with the decoding library.
if hasattr(_ldpcgraph, "Decoder"):
    _CHANNELS = ("ebn0", "sigma", "erasure", "crossover")

    def decode(graph, llrs, decoder="spa", schedule="flooding", iterations=50, early_stop=True,
               alpha=0.75, beta=0.5, threads=1, posteriors=False):
        """Decodes a frames x n numpy batch of channel LLRs (log P(0)/P(1)) on
        graph: (decisions, satisfied, iterations[, posteriors]), as
        Decoder(graph, ...).decode(llrs, threads, posteriors)."""
        compiled = Decoder(graph, decoder, schedule, iterations, early_stop, alpha, beta)
        return compiled.decode(llrs, threads, posteriors)

    class IrregularEnsemble:
        """Graphs of length variable nodes drawn from a degree distribution
        (fractions of nodes, or of edges with edge_fractions), as
        `tanner simulate irregular` draws them."""

        def __init__(self, vdeg, vfrac, cdeg, cfrac, length, edge_fractions=False):
            self.vdeg, self.vfrac, self.cdeg, self.cfrac = vdeg, vfrac, cdeg, cfrac
            self.length, self.edge_fractions = length, edge_fractions

        def __repr__(self):
            return ("IrregularEnsemble(vdeg=%r, vfrac=%r, cdeg=%r, cfrac=%r, length=%r, "
                    "edge_fractions=%r)" % (self.vdeg, self.vfrac, self.cdeg, self.cfrac,
                                            self.length, self.edge_fractions))

    class ProtographEnsemble:
        """Random liftings of the protograph in protofile by the factor lift,
        as `tanner simulate proto` draws them."""

        def __init__(self, protofile, lift):
            self.protofile, self.lift = protofile, lift

        def __repr__(self):
            return "ProtographEnsemble(protofile=%r, lift=%r)" % (self.protofile, self.lift)

    def simulate(code, ebn0=None, sigma=None, erasure=None, crossover=None, **options):
        """The points of `tanner simulate --json` (a list of dicts under its
        keys) at the Eb/N0 values (dB), sigmas, erasure or crossover
        probabilities given, for a Graph, a code file, or an ensemble
        (IrregularEnsemble, ProtographEnsemble) whose graphs are drawn afresh
        every frames_per_graph frames (default 1000). options: rate, decoder,
        schedule, iterations, early_stop, alpha, beta, max_errors,
        max_frames, min_fer, seed (as for constructions; default 1),
        threads (default: all cores) and, for an ensemble, frames_per_graph.
        The same seed gives the same counts, whatever the thread count."""
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
                code.length, code.edge_fractions, points, channel, **options)
        if isinstance(code, ProtographEnsemble):
            return _ldpcgraph._simulate_proto(code.protofile, code.lift, points, channel,
                                              **options)
        if not isinstance(code, Graph):
            code = Graph.read(code)
        return _ldpcgraph._simulate(code, points, channel, **options)

    __all__ += ["decode", "simulate", "IrregularEnsemble", "ProtographEnsemble"]


def _from_matrix(matrix):
    """The graph of a parity-check matrix (M x N): a scipy sparse matrix or
    anything numpy takes as a 2-D array. Entry k > 1 gives k parallel edges;
    entries must be non-negative integers. Sockets, degree tables and maxima
    are those that converting the matrix's alist file gives."""
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
