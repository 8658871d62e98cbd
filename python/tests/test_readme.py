"""The README's Python example runs and does what its comments say."""

import contextlib
import io
import os
import re

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
