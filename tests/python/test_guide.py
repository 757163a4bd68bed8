"""Every example of docs/guide.md: the pycon blocks as one doctest (in order, sharing names), and
each command of the console blocks, run by bash with `python` standing for this interpreter."""

import doctest
import re
import subprocess
import sys
from pathlib import Path

import pytest

from helpers import SUBPROCESS_TIMEOUT, child_env

GUIDE = Path(__file__).resolve().parents[2] / "docs" / "guide.md"
BLOCKS = re.findall(r"^```(pycon|console)\n(.*?)^```$", GUIDE.read_text(), re.M | re.S)


def commands():
    """(command, expected output) for every `$ ` line of the console blocks."""
    found = []
    for kind, body in BLOCKS:
        if kind == "console":
            for chunk in re.split(r"^\$ ", body, flags=re.M)[1:]:
                command, _, output = chunk.partition("\n")
                found.append((command, output))
    return found


@pytest.mark.thread_unsafe(reason="doctest swaps sys.stdout, which every thread shares")
def test_python_examples():
    text = "\n".join(body for kind, body in BLOCKS if kind == "pycon")
    test = doctest.DocTestParser().get_doctest(text, {"__name__": "guide"}, GUIDE.name, str(GUIDE), 0)
    report = []
    runner = doctest.DocTestRunner(optionflags=doctest.ELLIPSIS)
    runner.run(test, out=report.append)
    assert runner.failures == 0 and test.examples, "".join(report)


@pytest.mark.parametrize("command, expected", commands())
def test_console_examples(command, expected):
    env = child_env(set_env={"GUIDE_PYTHON": sys.executable}, unset=("NO_COLOR",))
    script = 'python() { "$GUIDE_PYTHON" "$@"; }\n' + command
    done = subprocess.run(["bash", "-c", script], env=env, capture_output=True, text=True, timeout=SUBPROCESS_TIMEOUT)
    assert (done.returncode, done.stdout) == (0, expected), done.stderr
