"""Error-rate curves from the JSON results of `tanner simulate --json`.

    python3 -m ldpcgraph.plot RESULTS.json... -o fer.png

draws the frame error rate (with its confidence interval as a band) and the
bit error rate against the channel parameter, one curve per file, on a
logarithmic scale. The channel parameter is Eb/N0 in dB ("ebn0"), else the
erasure probability ("erasure"), the crossover probability ("crossover") or
sigma, whichever the points carry.

From Python: ldpcgraph.plot.plot(["a.json", "b.json"], "fer.png"); a curve may
also be given as the results themselves (the dict of a JSON file, or the list
of points that ldpcgraph.simulate returns).
"""

import argparse
import json
import os
import sys

# Channel parameters in order of preference, with their axis labels.
AXES = (("ebn0", "Eb/N0 (dB)"), ("erasure", "erasure probability"),
        ("crossover", "crossover probability"), ("sigma", "noise standard deviation sigma"))


class ResultsError(ValueError):
    """A results file that cannot be plotted; the message names the file."""


def load(path):
    """The results of one file: a dict with "config" and "points"."""
    if isinstance(path, list):
        return {"config": {}, "points": path}
    if isinstance(path, dict):
        results = path
        if not isinstance(results.get("points"), list):
            raise ResultsError('results: expects an object with a "points" list')
        return results
    try:
        with open(path, encoding="utf-8") as handle:
            results = json.load(handle)
    except OSError as error:
        raise ResultsError("%s: %s" % (path, error.strerror)) from None
    except (ValueError, UnicodeDecodeError) as error:
        raise ResultsError("%s: not JSON: %s" % (path, error)) from None
    if not isinstance(results, dict) or not isinstance(results.get("points"), list):
        raise ResultsError('%s: expects an object with a "points" list' % path)
    return results


def xaxis(points, path):
    """The key of the channel parameter that every point carries."""
    for key, label in AXES:
        if points and all(isinstance(p, dict) and key in p for p in points):
            return key, label
    raise ResultsError("%s: the points carry none of %s"
                       % (path, ", ".join('"%s"' % key for key, _ in AXES)))


def column(points, key, path):
    values = []
    for index, point in enumerate(points):
        value = point.get(key)
        if not isinstance(value, (int, float)) or isinstance(value, bool):
            raise ResultsError('%s: point %d has no number "%s"' % (path, index + 1, key))
        values.append(float(value))
    return values


def plot(paths, output, labels=None, title=None):
    """Draws the curves of the results files in paths into output (the
    format follows its suffix, e.g. .png, .pdf, .svg). An entry of paths may
    be the results themselves: a dict with "points", or a list of points.
    labels: one per curve (default: the file names without their suffix,
    "curve N" for results given directly)."""
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as pyplot

    if labels is not None and len(labels) != len(paths):
        raise ResultsError("%d labels for %d files" % (len(labels), len(paths)))
    curves = []
    axis = None
    for index, source in enumerate(paths):
        points = load(source)["points"]
        path = source if isinstance(source, (str, os.PathLike)) else "curve %d" % (index + 1)
        key, label = xaxis(points, path)
        if axis is not None and key != axis[0]:
            raise ResultsError('%s: its points are over "%s", those before over "%s"'
                               % (path, key, axis[0]))
        axis = (key, label)
        points = sorted(points, key=lambda p: p[key])
        name = (labels[index] if labels is not None
                else os.path.splitext(os.path.basename(path))[0])
        curves.append((name, {k: column(points, k, path)
                              for k in (key, "fer", "ferlow", "ferhigh", "ber")}))

    figure, (ferplot, berplot) = pyplot.subplots(1, 2, figsize=(11, 4.5))
    for name, values in curves:
        x = values[axis[0]]
        line, = ferplot.plot(x, values["fer"], marker="o", label=name)
        ferplot.fill_between(x, values["ferlow"], values["ferhigh"], color=line.get_color(),
                             alpha=0.2, linewidth=0)
        berplot.plot(x, values["ber"], marker="o", color=line.get_color(), label=name)
    for subplot, rate in ((ferplot, "frame error rate (95% confidence band)"),
                          (berplot, "bit error rate")):
        subplot.set_yscale("log", nonpositive="mask")
        subplot.set_xlabel(axis[1])
        subplot.set_ylabel(rate)
        subplot.grid(True, which="both", alpha=0.3)
        subplot.legend()
    if title:
        figure.suptitle(title)
    figure.tight_layout()
    figure.savefig(output)
    pyplot.close(figure)


def main(argv=None):
    parser = argparse.ArgumentParser(
        prog="python3 -m ldpcgraph.plot",
        description="FER and BER curves from `tanner simulate --json` results, one curve "
                    "per file.")
    parser.add_argument("results", nargs="+", metavar="RESULTS.json")
    parser.add_argument("-o", "--output", required=True, metavar="FILE",
                        help="image to write (.png, .pdf, .svg)")
    parser.add_argument("--labels", metavar="A,B,..", help="curve names, one per file")
    parser.add_argument("--title")
    options = parser.parse_args(argv)
    labels = options.labels.split(",") if options.labels is not None else None
    try:
        plot(options.results, options.output, labels, options.title)
    except (ResultsError, OSError) as error:
        print("plot: %s" % error, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
