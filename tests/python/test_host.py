"""brenk-eval: its JSON against an independent rendering and the schema, its exit statuses and its output file."""

from __future__ import annotations

import functools
import json
import subprocess
import sys
from pathlib import Path

import brenk
import pytest
from host_oracle import outline_line
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

EVAL = Path(brenk.__file__).resolve().parent / "brenk-eval"
SCHEMA = Path(__file__).resolve().parents[2] / "docs" / "outline.schema.json"
pytestmark = pytest.mark.skipif(not EVAL.exists(), reason="brenk-eval is not built beside the module")

PRELUDE = (
    "from brenk.package.outline import PackageOutline\n"
    "from brenk.package.constraint import Cmp, CmpType, Depends, IfThen, Maximize, Minimize, NumOf, SpecOption\n"
    "from brenk.package.version import Version\n"
)


def run_eval(*args: str, cwd: Path) -> subprocess.CompletedProcess[str]:
    return subprocess.run([str(EVAL), *args], cwd=cwd, capture_output=True, text=True, timeout=120)


def write(path: Path, body: str) -> str:
    path.write_text(PRELUDE + body, encoding="utf-8")
    return path.name


# Sources of values and trees: each strategy yields Python source text, so that one text is run
# by brenk-eval and, in this process, rendered by the oracle.
texts = st.text(st.characters(exclude_categories=["Cs"]), max_size=8)
versions = st.sampled_from(["1", "1.2.3", "0.10-rc1+build", "2.*", "3.>", "4294967296.1", "1.x"])
floats = st.floats(allow_nan=True, allow_infinity=True)
values = st.one_of(
    st.booleans().map(repr),
    st.integers(-(2**63), 2**63 - 1).map(repr),
    floats.map(lambda f: f"float({repr(f)!r})"),
    texts.map(repr),
    versions.map(lambda v: f"Version({v!r})"),
)
leaves = st.one_of(
    values,
    texts.map(lambda t: f"Depends({t!r})"),
    st.tuples(texts, texts).map(lambda p: f"SpecOption({p[0]!r}, {p[1]!r})"),
)
ops = st.sampled_from(["Less", "LessOrEqual", "NotEqual", "Equal", "GreaterOrEqual", "Greater"])


def branches(children: st.SearchStrategy[str]) -> st.SearchStrategy[str]:
    return st.one_of(
        st.tuples(children, children, ops).map(lambda t: f"Cmp({t[0]}, {t[1]}, CmpType.{t[2]})"),
        st.tuples(children, children).map(lambda t: f"IfThen({t[0]}, {t[1]})"),
        children.map(lambda c: f"Maximize({c})"),
        children.map(lambda c: f"Minimize({c})"),
        st.lists(children, max_size=4).map(lambda cs: f"NumOf([{', '.join(cs)}])"),
    )


trees = st.recursive(leaves, branches, max_leaves=12)
option_maps = st.dictionaries(texts, values, max_size=5)
default_maps = st.dictionaries(texts, st.one_of(st.just("None"), values), max_size=5)


def dict_source(entries: list[tuple[str, str]]) -> str:
    return "{" + ", ".join(f"{k!r}: {v}" for k, v in entries) + "}"


@st.composite
def outline_sources(draw: st.DrawFn) -> str:
    name = draw(texts)
    constraints = draw(st.lists(trees, max_size=4))
    options = list(draw(option_maps).items())
    defaults = list(draw(default_maps).items())
    # The same outline twice, its dicts built in opposite orders: the lines must not differ.
    forward = f"({name!r}, [{', '.join(constraints)}], {dict_source(options)}, {dict_source(defaults)})"
    backward = f"({name!r}, [{', '.join(constraints)}], {dict_source(options[::-1])}, {dict_source(defaults[::-1])})"
    return f"args = {forward}\no = PackageOutline(*args)\nreversed_args = {backward}\np = PackageOutline(*reversed_args)\n"


@functools.cache
def validator():
    jsonschema = pytest.importorskip("jsonschema")
    return jsonschema.Draft202012Validator(json.loads(SCHEMA.read_text()))


def lines(text: str) -> list[str]:
    """JSON Lines end at "\n" only (str.splitlines would also split inside texts, at U+0085 and others)."""
    return text.split("\n")[:-1]


def names(text: str) -> list[str]:
    return [json.loads(line)["name"] for line in lines(text)]


@pytest.mark.randomised
@settings(max_examples=60, deadline=None, suppress_health_check=[HealthCheck.function_scoped_fixture])
@given(st.lists(outline_sources(), min_size=1, max_size=3))
def test_lines_equal_the_oracle_and_the_schema(tmp_path_factory, sources):
    tmp = tmp_path_factory.mktemp("oracle")
    scripts = [write(tmp / f"s{i}.py", source) for i, source in enumerate(sources)]
    done = run_eval(*scripts, cwd=tmp)
    assert done.returncode == 0, done.stderr
    expected = []
    for script, source in zip(scripts, sources, strict=True):
        namespace: dict[str, object] = {}
        exec(PRELUDE + source, namespace)
        expected += [outline_line(*namespace["args"], script), outline_line(*namespace["reversed_args"], script)]
    assert done.stdout == "".join(expected)
    for line in lines(done.stdout):
        validator().validate(json.loads(line))


def test_an_outline_of_100000_constraints(tmp_path):
    script = write(tmp_path / "big.py", "cs = [Depends(f'p{i}') for i in range(100000)]\nbig = PackageOutline('big', cs)\n")
    done = run_eval(script, cwd=tmp_path)
    assert done.returncode == 0, done.stderr
    namespace: dict[str, object] = {}
    exec(PRELUDE + "cs = [Depends(f'p{i}') for i in range(100000)]\n", namespace)
    assert done.stdout == outline_line("big", namespace["cs"], None, None, script)


GOOD = "first = PackageOutline('first')\nsecond = PackageOutline('second')\n"


@pytest.mark.parametrize(
    "bodies, status, stdout_names, stderr_has",
    [
        # A raising script contributes nothing; the others still run.
        ([GOOD, "raise ValueError('boom')\n", "third = PackageOutline('third')\n"], 1, ["first", "second", "third"],
         "ValueError: boom"),
        (["x = 1\n"], 0, [], ""),
        # Prints and a closed standard output in a script never reach the lines.
        (["import os, sys\nprint('chatter')\nsys.stdout.close()\nos.close(1)\nc = PackageOutline('c')\n"], 0, ["c"],
         "chatter"),
        # Globals in binding order, a rebound name keeping its place.
        (["b = PackageOutline('b')\na = PackageOutline('a')\nb = PackageOutline('b2')\n"], 0, ["b2", "a"], ""),
        (["import sys\nd = PackageOutline('d')\nsys.exit(0)\n"], 0, ["d"], ""),
        (["import sys\nd = PackageOutline('d')\nsys.exit(3)\n"], 1, [], "SystemExit"),
    ],
)
def test_scripts_and_their_status(tmp_path, bodies, status, stdout_names, stderr_has):
    scripts = [write(tmp_path / f"s{i}.py", body) for i, body in enumerate(bodies)]
    done = run_eval(*scripts, cwd=tmp_path)
    assert done.returncode == status, done.stderr
    assert names(done.stdout) == stdout_names
    assert stderr_has in done.stderr


@pytest.mark.parametrize(
    "args, status, message",
    [
        ([], 2, "no script given"),
        (["--bogus", "x.py"], 2, "unknown option --bogus"),
        (["--max-bytes", "12k", "x.py"], 2, "--max-bytes takes a number"),
        (["--call"], 2, "--call needs a value"),
        (["missing.py"], 1, "cannot read missing.py"),
        (["-o", "no/such/dir/out.jsonl", "x.py"], 3, "cannot create"),
        (["--max-bytes", "10", "x.py"], 4, "--max-bytes"),
    ],
)
def test_command_line_failures(tmp_path, args, status, message):
    write(tmp_path / "x.py", GOOD)
    done = run_eval(*args, cwd=tmp_path)
    assert done.returncode == status
    assert message in done.stderr


def test_closed_standard_output_is_an_output_failure(tmp_path):
    script = write(tmp_path / "x.py", GOOD)
    done = subprocess.run(["sh", "-c", f'"{EVAL}" {script} >&-'], cwd=tmp_path, capture_output=True, text=True)
    assert done.returncode == 3, done.stderr


@pytest.mark.parametrize(
    "later, status, kept",
    [
        ("raise RuntimeError('late')\n", 1, ["first", "second"]),  # complete with what succeeded
        ("import os, signal\nos.kill(os.getpid(), signal.SIGINT)\n", 130, None),  # interrupted: no file
        ("import os, signal\nos.kill(os.getpid(), signal.SIGTERM)\n", 130, None),
        ("for i in range(100):\n    globals()[f'o{i}'] = PackageOutline('x' * 1000)\n", 4, None),  # past --max-bytes: no file
    ],
)
def test_output_file_is_complete_or_absent(tmp_path, later, status, kept):
    (tmp_path / "out.jsonl").write_text("old\n")
    scripts = [write(tmp_path / "a.py", GOOD), write(tmp_path / "b.py", later)]
    done = run_eval("--max-bytes", "50000", "-o", "out.jsonl", *scripts, cwd=tmp_path)
    assert done.returncode == status, done.stderr
    assert done.stdout == ""
    if kept is None:
        assert (tmp_path / "out.jsonl").read_text() == "old\n"
    else:
        assert names((tmp_path / "out.jsonl").read_text()) == kept
    assert sorted(p.name for p in tmp_path.iterdir()) == ["a.py", "b.py", "out.jsonl"]  # no temporary left


@pytest.mark.parametrize(
    "body, status, expected",
    [
        ("def outlines():\n    return [PackageOutline('x'), PackageOutline('y')]\n", 0, ["x", "y"]),
        ("def outlines():\n    yield PackageOutline('g')\n", 0, ["g"]),
        ("def outlines():\n    return PackageOutline('one')\nignored = PackageOutline('no')\n", 0, ["one"]),
        ("def outlines():\n    return [PackageOutline('x'), 3]\n", 1, []),
        ("def outlines():\n    return 3\n", 1, []),
        ("nothing = 1\n", 1, []),
    ],
)
def test_call(tmp_path, body, status, expected):
    done = run_eval("--call", "outlines", write(tmp_path / "c.py", body), cwd=tmp_path)
    assert done.returncode == status, done.stderr
    assert names(done.stdout) == expected


def test_each_script_has_a_namespace_of_its_own(tmp_path):
    first = write(tmp_path / "a.py", "shared = 1\no = PackageOutline('a')\n")
    second = write(tmp_path / "b.py", "assert 'shared' not in globals() and 'o' not in globals()\n")
    done = run_eval(first, second, cwd=tmp_path)
    assert done.returncode == 0, done.stderr


if __name__ == "__main__":
    sys.exit(pytest.main([__file__, *sys.argv[1:]]))
