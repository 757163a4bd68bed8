"""Mechanical checks of the source tree: the layering rules of src/, clang-format, ruff, and that
the README's table of commands is tools/commands.py's.

Layering rules, read from the text with comments and string literals blanked out:
- core-python: src/core includes no Python.h and names nothing of the C API (Py*, _Py*);
- bare-refcount: Py_INCREF, Py_DECREF, Py_NewRef and their X/CLEAR/SETREF forms appear only in the
  reference handle (src/python/ref.hpp) and inside functions whose name says dealloc;
- include-up: no #include "../...": the binding reaches core headers through the include path.
"""

from __future__ import annotations

import importlib.util
import os
import re
import shutil
import subprocess
import warnings
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
STRICT = bool(os.environ.get("BRENK_IN_SYSROOT") or os.environ.get("CI"))
REF_HANDLE = "src/python/ref.hpp"
FORMATTED = ["src", "include", "tests/core", "tests/host", "tests/support", "fuzz", "examples/host"]
RUFF_CHECKED = ["tests", "tools", "tools/dev", "benchmarks", "examples"]

# Violations tolerated for now, as (rule, path prefix): reported as warnings, not failures. An
# entry that no longer matches anything fails, so the set only shrinks. Empty: keep it so.
PENDING: set[tuple[str, str]] = set()

# Comments, string and character literals (raw strings included); a digit separator is no quote.
HIDDEN = re.compile(
    r'//[^\n]*|/\*.*?\*/|\bR"([^(\s]{0,16})\(.*?\)\1"|"(?:\\.|[^"\\\n])*"|(?<!\w)\'(?:\\.|[^\'\\\n])*\'', re.S
)
PYTHON_H = re.compile(r'^[ \t]*#[ \t]*include[ \t]*[<"]Python\.h[>"]', re.M)
C_API_NAME = re.compile(r"\b_?Py(?:[A-Z]|_)\w*")
REFCOUNT = re.compile(r"\bPy_(?:X?INCREF|X?DECREF|CLEAR|X?SETREF|X?NewRef)\b")
INCLUDE_UP = re.compile(r'^[ \t]*#[ \t]*include[ \t]*"\.\./[^"\n]*"', re.M)
NOT_FUNCTIONS = {"if", "for", "while", "switch", "catch", "return", "sizeof", "alignof", "decltype", "noexcept"}


def blank(match: re.Match[str]) -> str:
    return re.sub(r"[^\n]", " ", match.group())


def bare_refcounts(code: str) -> list[int]:
    """Offsets of reference-count macros outside every function whose name contains dealloc."""
    scopes: list[str] = []  # the function (or "") each open brace belongs to
    head = 0
    found = []
    for m in re.finditer(r"[{};]|" + REFCOUNT.pattern, code):
        if m.group() == "{":
            names = [n for n in re.findall(r"(~?\w+)\s*\(", code[head : m.start()]) if n not in NOT_FUNCTIONS]
            scopes.append(names[0] if names else "")
        elif m.group() == "}":
            scopes = scopes[:-1]
        elif m.group() != ";":
            if not any("dealloc" in scope for scope in scopes):
                found.append(m.start())
            continue
        head = m.end()
    return found


def layering(path: str, text: str) -> list[tuple[str, str]]:
    """(rule, "path:line: what") for every layering violation in one source file."""
    code = HIDDEN.sub(blank, text)

    def at(offset: int, what: str) -> str:
        return f"{path}:{text.count(chr(10), 0, offset) + 1}: {what}"

    found = [("include-up", at(m.start(), m.group().strip())) for m in INCLUDE_UP.finditer(text)]
    if path.startswith("src/core/"):
        found += [("core-python", at(m.start(), "Python.h")) for m in PYTHON_H.finditer(text)]
        found += [("core-python", at(m.start(), m.group())) for m in C_API_NAME.finditer(code)]
    if path != REF_HANDLE:
        found += [("bare-refcount", at(offset, REFCOUNT.match(code, offset).group())) for offset in bare_refcounts(code)]
    return found


def sources(*tops: str) -> list[str]:
    return sorted(str(p.relative_to(ROOT)) for top in tops for p in (ROOT / top).rglob("*") if p.suffix in (".cpp", ".hpp"))


def report(rule: str, violations: list[str]) -> None:
    """Fails on violations outside PENDING and on PENDING entries that match nothing; warns of the rest."""
    prefixes = [prefix for r, prefix in PENDING if r == rule]
    new = [v for v in violations if not any(v.startswith(prefix) for prefix in prefixes)]
    stale = [prefix for prefix in prefixes if not any(v.startswith(prefix) for v in violations)]
    pending = sorted(set(violations) - set(new))
    if pending:
        warnings.warn(f"{rule}: {len(pending)} pending\n" + "\n".join(pending), stacklevel=2)
    assert not stale, f"{rule}: nothing left under {stale}: remove them from PENDING"
    assert not new, f"{rule}:\n" + "\n".join(new)


def tool(name: str) -> str:
    path = shutil.which(name)
    if path is None:
        if STRICT:
            pytest.fail(f"{name} is not installed")
        pytest.skip(f"{name} is not installed")
    return path


@pytest.mark.parametrize("rule", ["core-python", "bare-refcount", "include-up"])
def test_layering(rule):
    violations = [where for path in sources("src") for r, where in layering(path, (ROOT / path).read_text()) if r == rule]
    report(rule, violations)


def test_clang_format():
    files = sources(*FORMATTED)
    done = subprocess.run([tool("clang-format"), "--dry-run", "--Werror", *files], cwd=ROOT, capture_output=True,
                          text=True)
    flagged = sorted({line.split(":", 1)[0] for line in done.stderr.splitlines() if ": error: " in line})
    assert done.returncode == 0 or flagged, done.stderr


def test_readme_lists_the_commands():
    spec = importlib.util.spec_from_file_location("commands", ROOT / "tools" / "commands.py")
    commands = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(commands)
    assert commands.markdown() in (ROOT / "README.md").read_text(), (
        "README.md's table of commands is not tools/commands.py's: paste `tools/dev help --markdown`"
    )


def test_ruff():
    done = subprocess.run([tool("ruff"), "check", "--no-cache", "--output-format=concise", *RUFF_CHECKED], cwd=ROOT,
                          capture_output=True, text=True)
    assert done.returncode == 0, done.stdout + done.stderr


# (path, text, the rules it breaks)
CASES = [
    ("src/core/a.hpp", "#include <Python.h>\n", ["core-python"]),
    ("src/core/a.cpp", "int f(PyObject* o);\n", ["core-python"]),
    ("src/core/a.cpp", '// PyObject\n/* Py_DECREF */ const char* s = "PyErr"; char c = \'P\';\n', []),
    ("src/python/a.cpp", "void f(PyObject* o) { if (o) { Py_DECREF(o); } }\n", ["bare-refcount"]),
    ("src/python/a.cpp", "static void x_dealloc(PyObject* o) noexcept\n{\n    if (o) { Py_DECREF(o); }\n}\n", []),
    ("src/python/a.cpp", "void dealloc(PyObject* o) { }\nvoid g(PyObject* o) { Py_XINCREF(o); }\n", ["bare-refcount"]),
    ("src/python/a.cpp", 'const char* s = R"x(Py_CLEAR(o))x";\n', []),
    ("src/python/ref.hpp", "~Ref() { Py_XDECREF(p_); }\n", []),
    ("src/python/a.cpp", "PyObject* f(PyObject* o) { return Py_NewRef(o); }\nPyObject* g() { return Py_XNewRef(0); }\n",
     ["bare-refcount", "bare-refcount"]),
    ("src/python/a.cpp", '#include "../core/version.hpp"\n', ["include-up"]),
]


@pytest.mark.parametrize("path, text, rules", CASES)
def test_rules_flag_exactly_these(path, text, rules):
    assert [rule for rule, _ in layering(path, text)] == rules
