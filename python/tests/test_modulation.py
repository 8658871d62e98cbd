"""modulate and demodulate against the constellation formulas of TS 38.211
clause 5.1 written out here and the likelihood ratio evaluated directly."""

import numpy as np
import pytest

import ldpcgraph

BITS = {"bpsk": 1, "qpsk": 2, "16qam": 4, "64qam": 6, "256qam": 8}


def point(name, b):
    s = 1 - 2 * np.asarray(b, dtype=float)
    if name == "bpsk":
        return complex(s[0], s[0]) / np.sqrt(2)
    if name == "qpsk":
        return complex(s[0], s[1]) / np.sqrt(2)
    if name == "16qam":
        return complex(s[0] * (2 - s[2]), s[1] * (2 - s[3])) / np.sqrt(10)
    if name == "64qam":
        return complex(s[0] * (4 - s[2] * (2 - s[4])), s[1] * (4 - s[3] * (2 - s[5]))) / np.sqrt(42)
    return complex(s[0] * (8 - s[2] * (4 - s[4] * (2 - s[6]))),
                   s[1] * (8 - s[3] * (4 - s[5] * (2 - s[7])))) / np.sqrt(170)


def table(name):
    q = BITS[name]
    labels = (np.arange(2 ** q)[:, None] >> np.arange(q - 1, -1, -1)) & 1
    return labels, np.array([point(name, b) for b in labels])


@pytest.mark.parametrize("name", BITS)
def test_modulate_is_the_table(name):
    labels, points = table(name)
    bits = labels.reshape(1, -1)
    assert np.allclose(ldpcgraph.modulate(bits, name)[0], points, atol=1e-15)
    assert abs(np.mean(np.abs(points) ** 2) - 1) < 1e-12


@pytest.mark.parametrize("name", BITS)
@pytest.mark.parametrize("n0", [1.5, 0.1, 1e-3])
@pytest.mark.parametrize("demapper", ["exact", "maxlog"])
def test_demodulate_is_the_likelihood_ratio(name, n0, demapper):
    rng = np.random.default_rng(BITS[name])
    labels, points = table(name)
    q = BITS[name]
    sent = points[rng.integers(0, 2 ** q, size=(3, 11))]
    h = (rng.normal(size=sent.shape) + 1j * rng.normal(size=sent.shape)) / np.sqrt(2)
    for gains in (None, h):
        g = np.ones(sent.shape) if gains is None else gains
        y = g * sent + np.sqrt(n0 / 2) * (rng.normal(size=sent.shape) + 1j * rng.normal(size=sent.shape))
        llr = ldpcgraph.demodulate(y, n0, name, demapper=demapper, gains=gains)
        assert llr.shape == (3, 11 * q)
        metric = -np.abs(y[..., None] - g[..., None] * points) ** 2 / n0  # frames x s x 2^q
        for bit in range(q):
            zero, one = metric[..., labels[:, bit] == 0], metric[..., labels[:, bit] == 1]
            if demapper == "exact":
                want = np.logaddexp.reduce(zero, axis=-1) - np.logaddexp.reduce(one, axis=-1)
            else:
                want = zero.max(axis=-1) - one.max(axis=-1)
            got = llr[:, bit::q]
            assert np.allclose(got, want, rtol=1e-9, atol=1e-9), (name, bit)


def test_refusals():
    with pytest.raises(ValueError, match="not a whole number of 16qam symbols"):
        ldpcgraph.modulate(np.zeros((1, 6)), "16qam")
    with pytest.raises(ValueError, match="8psk"):
        ldpcgraph.modulate(np.zeros((1, 6)), "8psk")
    with pytest.raises(ValueError, match="not 0 or 1"):
        ldpcgraph.modulate(np.full((1, 2), 3), "qpsk")
    with pytest.raises(ValueError, match="n0"):
        ldpcgraph.demodulate(np.zeros((1, 2)), 0.0, "qpsk")
    with pytest.raises(ValueError, match="demapper"):
        ldpcgraph.demodulate(np.zeros((1, 2)), 1.0, "qpsk", demapper="max")
    with pytest.raises(ValueError, match="gains"):
        ldpcgraph.demodulate(np.zeros((1, 2)), 1.0, "qpsk", gains=np.ones((1, 3)))


def test_simulate_with_random_codewords_and_16qam_is_tanners_run(work):
    from conftest import tanner
    import json

    code = work / "c.code"
    tanner("construct", "irregular", "--vdeg", "3", "--vfrac", "1", "--cdeg", "6", "--cfrac", "1",
           "--length", "240", "--encoder", code)
    rows = ldpcgraph.simulate(str(code), ebn0=[5.0, 7.0], modulation="16qam", max_frames=320,
                              all_points=True, threads=2)
    tanner("simulate", code, "--ebn0", "5,7", "--modulation", "16qam", "--max-frames", "320",
           "--all-points", "--threads", "2", "--json", work / "t.json")
    points = json.loads((work / "t.json").read_text())["points"]
    for row, point in zip(rows, points):
        for key in ("frames", "frameerrors", "biterrors", "infobiterrors", "undetected"):
            assert row[key] == point[key], key
    zero = ldpcgraph.simulate(str(code), ebn0=[3.0], max_frames=128)
    assert "infobiterrors" not in zero[0]
    with pytest.raises(ValueError, match="wrong curve"):
        ldpcgraph.simulate(str(code), ebn0=[3.0], modulation="64qam", codeword="zero")
    with pytest.raises(ValueError, match="fading takes fast or block:L"):
        ldpcgraph.simulate(str(code), ebn0=[3.0], fading="block:0")
    with pytest.raises(ValueError, match="AWGN"):
        ldpcgraph.simulate(str(code), erasure=[0.3], modulation="qpsk")
