"""ldpcgraph.Encoder: codewords against the parity-check matrix, the
information positions, tanner encode on the same file, and refusals."""

import numpy as np
import pytest

import ldpcgraph
from conftest import tanner


def gf2rank(h):
    h = h.copy() % 2
    rank = 0
    for col in range(h.shape[1]):
        rows = np.nonzero(h[rank:, col])[0]
        if rows.size == 0:
            continue
        pivot = rank + rows[0]
        h[[rank, pivot]] = h[[pivot, rank]]
        for r in np.nonzero(h[:, col])[0]:
            if r != rank:
                h[r] ^= h[rank]
        rank += 1
        if rank == h.shape[0]:
            break
    return rank


def randommatrix(m, n, weight, seed):
    rng = np.random.default_rng(seed)
    h = np.zeros((m, n), dtype=np.int64)
    for v in range(n):
        h[rng.choice(m, size=weight, replace=False), v] = 1
    return h


MATRICES = [
    randommatrix(10, 20, 3, 1),
    randommatrix(48, 96, 3, 2),
    np.vstack([randommatrix(6, 24, 2, 3), np.zeros((2, 24), dtype=np.int64)]),  # rank below m
]
MATRICES[2][6] = MATRICES[2][0] ^ MATRICES[2][1]
MATRICES[2][7] = MATRICES[2][2] ^ MATRICES[2][3] ^ MATRICES[2][4]


@pytest.mark.parametrize("h", MATRICES)
def test_codewords_satisfy_every_check_and_keep_the_word_at_the_positions(h):
    encoder = ldpcgraph.Encoder(ldpcgraph.Graph.from_matrix(h))
    assert encoder.n == h.shape[1]
    assert encoder.k == h.shape[1] - gf2rank(h)
    assert encoder.rank == gf2rank(h)
    u = np.random.default_rng(5).integers(0, 2, size=(50, encoder.k), dtype=np.uint8)
    c = encoder.encode(u)
    assert c.shape == (50, encoder.n) and c.dtype == np.uint8
    assert not ((h @ c.T.astype(np.int64)) % 2).any()
    assert (c[:, encoder.positions] == u).all()
    # one word alone, and any integer type
    assert (encoder.encode(u[3].astype(np.int32)) == c[3]).all()


def test_encoder_information_of_a_file_and_tanner_encode_agree(work):
    code = work / "c.code"
    tanner("construct", "irregular", "--vdeg", "3", "--vfrac", "1", "--cdeg", "6", "--cfrac", "1",
           "--length", "240", "--encoder", code)
    graph = ldpcgraph.Graph.read(code)
    encoder = ldpcgraph.Encoder(graph)
    assert encoder.kind == "triangular" and encoder.gap >= 0
    assert list(encoder.positions) == list(range(encoder.k))
    words = np.random.default_rng(1).integers(0, 2, size=(8, encoder.k), dtype=np.uint8)
    (work / "words").write_text("".join("".join(map(str, w)) + "\n" for w in words))
    out = tanner("encode", code, work / "words", "-").stdout.split()
    assert [list(map(int, line)) for line in out] == encoder.encode(words).tolist()
    assert "Encoder" in repr(encoder)


def test_refusals_are_value_errors():
    encoder = ldpcgraph.Encoder(ldpcgraph.Graph.from_matrix(MATRICES[0]))
    with pytest.raises(ValueError, match="the code has K = 10"):
        encoder.encode(np.zeros((2, 9), dtype=np.uint8))
    with pytest.raises(ValueError, match="word 1, bit 4: 2 is not 0 or 1"):
        u = np.zeros((2, 10), dtype=np.uint8)
        u[1, 4] = 2
        encoder.encode(u)
    with pytest.raises(ValueError):
        encoder.encode(np.zeros((2, 2, 10)))
    with pytest.raises(ValueError, match="memory"):
        ldpcgraph.Encoder(ldpcgraph.Graph.from_matrix(MATRICES[0]), memory_limit=0)
