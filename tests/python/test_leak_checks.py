"""The leak checks themselves: the --refleaks plugin finds leaks, and the module under test is
built for the interpreter's debug mode (otherwise the reference total would not see its objects)."""

from __future__ import annotations

import os
import struct
import subprocess
import sys
import sysconfig
import textwrap
import xml.etree.ElementTree as ET
from pathlib import Path

import pytest

import brenk
from helpers import SUBPROCESS_TIMEOUT, child_env

PY_DEBUG = bool(sysconfig.get_config_var("Py_DEBUG"))
debug_only = pytest.mark.skipif(not hasattr(sys, "gettotalrefcount"), reason="needs a debug interpreter")

# Functions only a Py_DEBUG build of the headers calls from Py_INCREF/Py_DECREF.
DEBUG_REFCOUNT_SYMBOLS = {"_Py_NegativeRefcount", "_Py_INCREF_IncRefTotal"}


def _undefined_dynamic_symbols(path: str) -> set[str]:
    """The names a 64-bit little-endian ELF file imports, read from its .dynsym section."""
    data = Path(path).read_bytes()
    if data[:4] != b"\x7fELF" or data[4] != 2 or data[5] != 1:
        pytest.skip("not a 64-bit little-endian ELF file")
    (shoff,) = struct.unpack_from("<Q", data, 0x28)
    shentsize, shnum = struct.unpack_from("<HH", data, 0x3A)
    # Elf64_Shdr: name, type, flags, addr, offset, size, link, info, addralign, entsize
    sections = [struct.unpack_from("<IIQQQQIIQQ", data, shoff + i * shentsize) for i in range(shnum)]
    names = set()
    for _, kind, _, _, offset, size, link, _, _, entsize in sections:
        if kind != 11:  # SHT_DYNSYM
            continue
        strings = sections[link][4]
        for pos in range(offset, offset + size, entsize):
            name, _info, _other, shndx = struct.unpack_from("<IBBH", data, pos)  # Elf64_Sym
            if shndx == 0 and name:  # SHN_UNDEF: imported
                start = strings + name
                names.add(data[start : data.index(b"\0", start)].decode())
    return names


def test_module_matches_the_interpreters_debug_mode():
    assert hasattr(sys, "gettotalrefcount") == PY_DEBUG
    imported = _undefined_dynamic_symbols(brenk.__file__)
    assert "PyModule_Create2" in imported or "PyModuleDef_Init" in imported  # the reader works
    if PY_DEBUG:
        assert DEBUG_REFCOUNT_SYMBOLS <= imported, f"{brenk.__file__} was not compiled with Py_DEBUG"
    else:
        assert not DEBUG_REFCOUNT_SYMBOLS & imported, f"{brenk.__file__} was compiled with Py_DEBUG"


# Each test below states its expected outcome under --refleaks=1:3 in its name's table entry.
LEAKY_TESTS = '''
import subprocess
import sys

import pytest
from hypothesis import given, settings, strategies as st

_kept = []
_shared = object()
_cache = []
_runs = []
_module_setups = []


def test_clean():
    values = [[i] for i in range(100)]
    values.clear()


def test_cache_filled_on_the_first_run():
    if not _cache:
        _cache.extend([i] for i in range(100))


def test_keeps_new_objects():
    _kept.append([])


def test_keeps_references_only():
    _kept.append(_shared)


@pytest.mark.no_refcount_check("references only")
def test_keeps_references_only_marked():
    _kept.append(_shared)


@pytest.mark.no_leak_check("a documented leak")
def test_keeps_new_objects_marked():
    _kept.append([])


def test_keeps_new_objects_and_starts_a_child():
    _kept.append([])
    subprocess.run([sys.executable, "-c", "pass"], check=True)


def test_fails_when_repeated():
    _runs.append(None)
    assert len(_runs) == 1


@pytest.fixture(scope="module")
def module_resource():
    _module_setups.append(None)
    return object()


@pytest.fixture
def fresh_list():
    return []


def test_fixtures(module_resource, fresh_list):
    assert len(_module_setups) == 1, "a module fixture was set up again"
    assert fresh_list == [], "a function fixture was reused"
    fresh_list.append(module_resource)


@settings(max_examples=20, database=None, derandomize=True)
@given(st.text())
def test_hypothesis_clean(text):
    text.upper()


@settings(max_examples=20, database=None, derandomize=True)
@given(st.integers())
def test_hypothesis_keeps_new_objects(n):
    _kept.append([n])


@pytest.mark.parametrize("scale", [1, 2])
@settings(max_examples=20, database=None, derandomize=True)
@given(st.integers())
def test_hypothesis_parametrized_clean(scale, n):
    str(scale * n)
'''

# test name: (outcome, text expected in the failure message, text it must not contain)
EXPECTED = {
    "test_clean": ("passed", None, None),
    "test_cache_filled_on_the_first_run": ("passed", None, None),
    "test_keeps_new_objects": ("failed", "memory blocks grew on every measured run", None),
    "test_keeps_references_only": ("failed", "references grew on every measured run", "memory blocks"),
    "test_keeps_references_only_marked": ("passed", None, None),
    "test_keeps_new_objects_marked": ("passed", None, None),
    "test_keeps_new_objects_and_starts_a_child": ("passed", None, None),
    "test_fails_when_repeated": ("failed", "assert 2 == 1", None),
    "test_fixtures": ("passed", None, None),
    "test_hypothesis_clean": ("passed", None, None),
    "test_hypothesis_keeps_new_objects": ("failed", "memory blocks grew on every measured run", None),
    # hypothesis' own plugin adds to a parametrized test's settings on every run
    "test_hypothesis_parametrized_clean[1]": ("passed", None, None),
    "test_hypothesis_parametrized_clean[2]": ("passed", None, None),
}


def _run_pytest(tmp_path: Path, *args: str) -> subprocess.CompletedProcess[str]:
    env = child_env(unset=("PYTEST_ADDOPTS",))
    env["PYTHONPATH"] = os.pathsep.join([str(Path(__file__).parent), env["PYTHONPATH"]])
    return subprocess.run(
        [sys.executable, "-m", "pytest", "-p", "refleak_plugin", "-p", "no:cacheprovider", *args],
        cwd=tmp_path,
        env=env,
        capture_output=True,
        text=True,
        stdin=subprocess.DEVNULL,
        timeout=SUBPROCESS_TIMEOUT,
        check=False,
    )


@pytest.fixture(scope="module")
def leaky_run(tmp_path_factory: pytest.TempPathFactory) -> tuple[dict[str, tuple[str, str]], str]:
    """Runs LEAKY_TESTS under --refleaks=1:3; returns each test's outcome and message, and stdout."""
    tmp_path = tmp_path_factory.mktemp("leaky")
    (tmp_path / "test_leaky.py").write_text(textwrap.dedent(LEAKY_TESTS))
    proc = _run_pytest(tmp_path, "--refleaks=1:3", "--junitxml=report.xml", "-rA", "test_leaky.py")
    assert proc.returncode == 1, f"exit status {proc.returncode}\n{proc.stdout}\n{proc.stderr}"
    results = {}
    for case in ET.parse(tmp_path / "report.xml").getroot().iter("testcase"):
        failure = case.find("failure")
        if failure is None:
            results[case.get("name")] = ("passed", "")
        else:
            results[case.get("name")] = ("failed", f"{failure.get('message')}\n{failure.text}")
    return results, proc.stdout


@debug_only
@pytest.mark.parametrize("name", EXPECTED)
def test_leak_check_outcome(leaky_run, name):
    results, stdout = leaky_run
    outcome, wanted, unwanted = EXPECTED[name]
    got, message = results[name]
    assert got == outcome, f"{name}: {message}\n{stdout}"
    if wanted:
        assert wanted in message
    if unwanted:
        assert unwanted not in message


@debug_only
def test_leak_check_summary(leaky_run):
    results, stdout = leaky_run
    assert set(results) == set(EXPECTED)
    assert "10 tests rerun (1 warm-up, 3 measured), 3 leaked" in stdout
    assert "run once, starts a child process: 1" in stdout
    assert "run once, marked: a documented leak: 1" in stdout
    assert "memory blocks only: references only: 1" in stdout
    assert "passed on the first run, failed on run 2" in stdout


@pytest.mark.parametrize(
    "option, message",
    [
        ("3", "--refleaks expects WARMUPS:RUNS"),
        ("a:b", "--refleaks expects WARMUPS:RUNS"),
        ("0:3", "at least one warm-up and one measured run"),
        ("1:0", "at least one warm-up and one measured run"),
        pytest.param(
            "1:1",
            "needs a debug build",
            marks=pytest.mark.skipif(hasattr(sys, "gettotalrefcount"), reason="a debug interpreter accepts it"),
        ),
    ],
)
def test_bad_refleaks_option_is_a_usage_error(tmp_path, option, message):
    (tmp_path / "test_nothing.py").write_text("def test_nothing():\n    pass\n")
    proc = _run_pytest(tmp_path, f"--refleaks={option}", "test_nothing.py")
    assert proc.returncode == pytest.ExitCode.USAGE_ERROR, proc.stdout + proc.stderr
    assert message in proc.stderr
