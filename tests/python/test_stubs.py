"""The type stubs match the module that is imported, and typed code written against them checks.

Two layouts are covered. In the checkout the stubs are the tree under ``stubs/`` and reach mypy
through MYPYPATH. In an installed wheel they are the stub-only package ``brenk-stubs`` beside the
extension, and mypy has to find them by itself, so MYPYPATH is cleared: a wheel without its
stubs fails here.
"""

from __future__ import annotations

import os
import runpy
import subprocess
import sys
import sysconfig
from pathlib import Path

import pytest

import brenk
from helpers import child_env

ROOT = Path(__file__).resolve().parents[2]
TYPING = ROOT / "tests" / "typing"
ALLOWLIST = ROOT / "stubs" / "allowlist.txt"
MYPY_TIMEOUT = 600  # a hang guard; mypy takes seconds


def _mypy_unavailable() -> str | None:
    if sys.implementation.name != "cpython" or sys.version_info[:2] != (3, 14):
        return "mypy runs on CPython 3.14 only"
    try:
        import mypy.api  # noqa: F401
        import mypy.stubtest  # noqa: F401
    except ImportError as error:
        return f"mypy is not importable: {error}"
    return None


needs_mypy = pytest.mark.skipif(_mypy_unavailable() is not None, reason=str(_mypy_unavailable()))


def _installed() -> bool:
    """Whether brenk was imported from this interpreter's site-packages, as a wheel installs it."""
    paths = sysconfig.get_paths()
    return Path(brenk.__file__).resolve().parent in {Path(paths[key]).resolve() for key in ("platlib", "purelib")}


def _run_mypy(module: str, args: list[str], cwd: Path) -> subprocess.CompletedProcess[str]:
    # The child imports the very module this process imported.
    env = child_env(unset=("MYPYPATH",))
    if not _installed():
        env["MYPYPATH"] = str(ROOT / "stubs")
    return subprocess.run(
        [sys.executable, "-m", module, *args],
        cwd=cwd,
        env=env,
        stdin=subprocess.DEVNULL,
        capture_output=True,
        text=True,
        timeout=MYPY_TIMEOUT,
        check=False,
    )


@needs_mypy
def test_stubtest_finds_no_differences(tmp_path: Path) -> None:
    proc = _run_mypy("mypy.stubtest", ["brenk", "--allowlist", str(ALLOWLIST)], tmp_path)
    assert proc.returncode == 0, proc.stdout + proc.stderr


@needs_mypy
@pytest.mark.parametrize("name", ["example.py", "rejected.py"])
def test_typed_code_passes_strict_mypy(tmp_path: Path, name: str) -> None:
    # rejected.py marks every line that must fail with `type: ignore[code]`; strict mode reports
    # the marks that no longer match an error.
    args = ["--strict", "--no-incremental", "--cache-dir", os.devnull, str(TYPING / name)]
    proc = _run_mypy("mypy", args, tmp_path)
    assert proc.returncode == 0, proc.stdout + proc.stderr
    assert proc.stdout.startswith("Success:"), proc.stdout


@needs_mypy
def test_stubs_of_the_checkout_pass_strict_mypy(tmp_path: Path) -> None:
    # Errors inside an installed package are not reported, so the stub sources are checked here.
    args = ["--strict", "--no-incremental", "--cache-dir", os.devnull, str(ROOT / "stubs" / "brenk")]
    proc = _run_mypy("mypy", args, tmp_path)
    assert proc.returncode == 0, proc.stdout + proc.stderr


def test_typed_example_runs() -> None:
    lines = runpy.run_path(str(TYPING / "example.py"))["main"]()
    assert lines == [
        "curl: Cmp CmpType.GreaterOrEqual (4)",
        "curl: IfThen -> Depends",
        "pinned to 3.0.2",
        "outline built: PackageOutline",
        "9 constraint classes",
    ]
