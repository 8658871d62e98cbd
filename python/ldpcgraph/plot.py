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


def isnumber(value):
    return isinstance(value, (int, float)) and not isinstance(value, bool)


def xaxis(points, path):
    """The key of the channel parameter that every point carries as a number
    ("ebn0" is null where the rate was not known: sigma is taken then)."""
    for key, label in AXES:
        if points and all(isinstance(p, dict) and isnumber(p.get(key)) for p in points):
            return key, label
    raise ResultsError("%s: the points carry none of %s as a number in every point"
                       % (path, ", ".join('"%s"' % key for key, _ in AXES)))


def column(points, key, path):
    values = []
    for index, point in enumerate(points):
        value = point.get(key)
        if not isnumber(value):
            raise ResultsError('%s: point %d has no number "%s"' % (path, index + 1, key))
        values.append(float(value))
    return values


def imageformat(output, figure):
    """The image format that the suffix of output names (png without one);
    ResultsError for a suffix matplotlib does not write."""
    suffix = os.path.splitext(os.fspath(output))[1][1:].lower()
    if not suffix:
        return "png"
    supported = figure.canvas.get_supported_filetypes()
    if suffix not in supported:
        raise ResultsError("%s: unknown image type '.%s'; the suffix names one of %s"
                           % (os.fspath(output), suffix,
                              ", ".join("." + name for name in sorted(supported))))
    return suffix


def writeimage(output, data):
    """Writes data to output whole: a regular file through a temporary file
    beside it, renamed into place once written; anything else (a device, a
    pipe) directly. OSError names the file and the reason."""
    path = os.fspath(output)
    if os.path.exists(path) and not os.path.isfile(path):
        with open(path, "wb") as handle:
            handle.write(data)
        return
    directory = os.path.dirname(os.path.abspath(path))
    temporary = os.path.join(directory, ".%s.tmp%d" % (os.path.basename(path), os.getpid()))
    try:
        with open(temporary, "wb") as handle:
            handle.write(data)
            handle.flush()
            os.fsync(handle.fileno())
        os.replace(temporary, path)
    except BaseException:
        if os.path.exists(temporary):
            os.unlink(temporary)
        raise


def drawcurve(ferplot, berplot, name, values, key):
    """One curve: FER with its band where the FER is positive, the upper
    bound of points without frame errors as a downward marker with an
    arrow, and the BER."""
    x, fer = values[key], values["fer"]
    line, = ferplot.plot(x, fer, marker="o", label=name)
    colour = line.get_color()
    positive = [f > 0 for f in fer]
    ferplot.fill_between(x, values["ferlow"], values["ferhigh"], where=positive,
                         interpolate=False, color=colour, alpha=0.2, linewidth=0)
    for px, high, shown in zip(x, values["ferhigh"], positive):
        if not shown and high > 0:
            ferplot.plot([px], [high], marker="v", color=colour, linestyle="none")
            ferplot.annotate("", xy=(px, high / 4), xytext=(px, high),
                             arrowprops=dict(arrowstyle="->", color=colour))
    berplot.plot(x, values["ber"], marker="o", color=colour, label=name)


def plot(paths, output, labels=None, title=None):
    """Draws the curves of the results files in paths into output (the
    format follows its suffix, e.g. .png, .pdf, .svg), written whole. An
    entry of paths may be the results themselves: a dict with "points", or
    a list of points. labels: one per curve (default: the file names
    without their suffix, "curve N" for results given directly). A point
    without frame errors shows the upper end of its interval as a marker
    pointing down."""
    import io

    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as pyplot

    if labels is not None and len(labels) != len(paths):
        raise ResultsError("%d labels for %d files" % (len(labels), len(paths)))
    for source in paths:
        if (isinstance(source, (str, bytes, os.PathLike)) and os.path.exists(output)
                and os.path.exists(source) and os.path.samefile(source, output)):
            raise ResultsError("%s: the image would overwrite the results file %s"
                               % (os.fspath(output), os.fspath(source)))
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
    try:
        kind = imageformat(output, figure)
        for name, values in curves:
            drawcurve(ferplot, berplot, name, values, axis[0])
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
        image = io.BytesIO()
        figure.savefig(image, format=kind)
    finally:
        pyplot.close(figure)
    try:
        writeimage(output, image.getvalue())
    except OSError as error:
        raise ResultsError("%s: %s" % (os.fspath(output), error.strerror or error)) from None


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
