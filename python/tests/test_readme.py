"""The README's Python example runs and does what its comments say."""

import contextlib
import io
import json
import os
import re

import pytest

from conftest import EXAMPLES, SOURCE, tanner


def readmeexample():
    text = (SOURCE / "README.md").read_text()
    section = text[text.index("\n## Python\n"):]
    section = section[:section.index("\n## ", 1)]
    return re.search(r"```python\n(.*?)```", section, re.S).group(1)


def test_readme_example_runs(work):
    (work / "examples").symlink_to(EXAMPLES)
    printed = io.StringIO()
    here = os.getcwd()
    os.chdir(work)
    try:
        with contextlib.redirect_stdout(printed):
            exec(compile(readmeexample(), "README.md", "exec"), {})
    finally:
        os.chdir(here)
    assert printed.getvalue().split()[:2] == ["4", "3"]
    tanner("construct", "proto", EXAMPLES / "half-rate.proto", "--lift", "100", "--seed", "42",
           "--alist", work / "theirs.alist")
    assert (work / "lifted.alist").read_bytes() == (work / "theirs.alist").read_bytes()
    assert (work / "fer.png").read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"


def readmeblock(first):
    """The README's fenced block whose first line is first."""
    text = (SOURCE / "README.md").read_text()
    for match in re.finditer(r"```\w*\n(.*?)```", text, re.S):
        if match.group(1).startswith(first):
            return match.group(1)
    raise AssertionError("no README block starts with %r" % first)


def comparable(output):
    """The lines of a run without what depends on the machine or the clock:
    the Mb/s column of the table, the instruction set, batch width and
    thread count of the decoder line."""
    lines, column = [], None
    for line in output.splitlines():
        line = re.sub(r"; \w+, \d+ frames per batch, \d+ threads?;", "; ...;", line)
        fields = line.split()
        if "Mb/s" in fields:
            # A row's field of that column: the header's "FER 95% interval"
            # and "bit errors" are one field each in a row.
            column = fields.index("Mb/s") - 3
            fields.remove("Mb/s")
            line = " ".join(fields)
        elif column is not None and fields and not line.startswith("#"):
            del fields[column]
            line = " ".join(fields)
        lines.append(line)
    return lines


GOLDEN = [
    # (set-up commands, command, first line of the README block it prints)
    ([], ["simulate", "irregular", "--vdeg", "3", "--vfrac", "1", "--cdeg", "6", "--cfrac", "1",
          "--length", "2000", "--ebn0", "1.0:2.0:0.25", "--decoder", "nms", "--schedule",
          "layered", "--min-fer", "1e-3", "--max-seconds", "0"],  # no time limit: slow builds
     "# irregular ensemble, 2000 variable nodes asked for"),
    ([["construct", "peg", "--vdeg", "3", "--vfrac", "1", "--length", "576", "--checks", "288",
       "c576.code"]],
     ["simulate", "c576.code", "--ebn0", "1:2.5:0.5", "--decoder", "nms", "--max-errors", "50",
      "--max-seconds", "0"],
     "# c576.code: 576 bits"),
    ([["construct", "irregular", "--vdeg", "3", "--vfrac", "1", "--cdeg", "6", "--cfrac", "1",
       "--length", "2000", "--encoder", "code.code"]],
     ["simulate", "code.code", "--ebn0", "3:4.5:0.5", "--modulation", "16qam", "--max-errors",
      "50", "--max-frames", "5000", "--max-seconds", "0"],  # a sanitizer build needs over 60 s
     "# code.code: 2000 bits"),
]


@pytest.mark.parametrize("setup,command,first", GOLDEN, ids=["irregular", "ledger", "16qam"])
def test_readme_outputs_are_what_the_commands_print(work, setup, command, first):
    """The README's printed runs, run again: the same table, line for line,
    up to the speed column and the machine's instruction set."""
    here = os.getcwd()
    os.chdir(work)
    try:
        for args in setup:
            tanner(*args)
        printed = tanner(*command).stdout
    finally:
        os.chdir(here)
    assert comparable(printed) == comparable(readmeblock(first))


def test_readme_thresholds_are_what_tanner_computes():
    block = readmeblock("$ tanner threshold")
    runs = re.findall(r"^\$ tanner (.*)\n((?:[^$].*\n)*)", block, re.M)
    assert len(runs) == 4
    here = os.getcwd()
    for args, shown in runs:
        os.chdir(SOURCE)
        try:
            printed = tanner(*args.split()).stdout
        finally:
            os.chdir(here)
        if "--json" in args:
            theirs = json.loads(printed)
            for key, value in re.findall(r'"(\w+)": ([-\d.]+)', shown):
                assert theirs[key] == pytest.approx(float(value), abs=0, rel=0), key
            continue
        # The README shows the result lines of the report, in its order.
        shown = [line.split("  #")[0].rstrip() for line in shown.splitlines()]
        assert [line for line in printed.splitlines() if line in shown] == shown
