#!/usr/bin/env python3
"""Builds the sdist and the wheels from a clean tree, checks them as a packager would, and runs
the test suite against each installed wheel.

    tests/packaging/check_wheels.py [--keep] [PYTEST ARGS...]

1. Copies the files git would commit (tracked and untracked, minus ignored ones) to a scratch
   directory, so nothing from build/ or an earlier install can leak in.
2. Builds the sdist there (`python -m build --sdist --no-isolation` when `build` is installed,
   otherwise through the PEP 517 hook of the backend named in pyproject.toml) and unpacks it.
3. In the unpacked sdist runs `pip wheel --no-build-isolation --no-deps --no-index .` for CPython
   3.14, free-threaded 3.13t, CPython 3.15 and, once it exists, free-threaded 3.14t; then
   `auditwheel repair` to manylinux_2_17 (artifacts.py: the tag, nothing grafted in, exactly the
   files a wheel should hold, the license metadata) and `twine check --strict` on every artifact.
4. Installs each wheel into a fresh virtual environment and runs tests/python of this checkout
   with it from a directory outside the checkout, after checking that `brenk` is imported from
   the environment (so the build tree cannot stand in for the wheel).
5. Installs the sdist itself with pip into a fresh 3.14 environment and runs the smoke tests.

The sdist and the repaired wheels are left in build/dist. The last line is "N passed, M failed";
the exit status is non-zero on any failure. A missing interpreter is an error inside the sysroot
or on CI and a skip elsewhere (3.14t: always a skip, no build of it exists here yet). --keep keeps
the scratch directory and prints its path.
"""
from __future__ import annotations

import os
import shutil
import subprocess
import sys
import tarfile
import tempfile
import time
import tomllib
from dataclasses import dataclass, field
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tools"))
from results import Result, count_junit, summarize  # noqa: E402  (tools/results.py)

from artifacts import (  # noqa: E402  (beside this script)
    RUNNER, STUBS, ArtifactError, check_sdist_metadata, check_wheel_files, check_wheel_metadata, repair, symbol_versions,
    twine_check)

DIST = ROOT / "build" / "dist"
STRICT = bool(os.environ.get("BRENK_IN_SYSROOT") or os.environ.get("CI"))
DIST_PACKAGES = "/usr/lib/python3/dist-packages"  # Debian's pure-Python pip, pytest, build backend
SMOKE = ["-m", "smoke"]  # what the sdist install runs: every type built, converted, compared, released


@dataclass
class Target:
    name: str
    candidates: list[str]
    tag: str  # the wheel's interpreter-ABI tag
    soabi: str  # the extension's file name part
    env: dict[str, str] = field(default_factory=dict)
    # Where pip and pytest come from: the system site (a venv option) or PYTHONPATH.
    system_site: bool = False
    borrow_path: bool = False
    optional: bool = False  # skipped wherever it is missing, with a note


TARGETS = [
    Target("py314", ["python3.14"], "cp314-cp314", "cpython-314", system_site=True),
    Target("py313t", [os.environ.get("BRENK_PY313T", ""), "python3.13t"], "cp313-cp313t",
           "cpython-313t", {"PYTHON_GIL": "0"}, borrow_path=True),
    Target("py315", ["python3.15"], "cp315-cp315", "cpython-315", system_site=True),
    # Built the day a free-threaded 3.14 is installed; Debian does not package one yet.
    Target("py314t", ["python3.14t"], "cp314-cp314t", "cpython-314t", {"PYTHON_GIL": "0"},
           borrow_path=True, optional=True),
]


def note(msg: str) -> None:
    print(f"check_wheels: {msg}", file=sys.stderr, flush=True)


def step(msg: str) -> None:
    print(f"\n===== {msg}", flush=True)


def run(cmd: list[str], cwd: Path, env: dict[str, str]) -> None:
    print("+ " + " ".join(cmd), flush=True)
    subprocess.run(cmd, check=True, cwd=cwd, env=env)


def clean_env(target: Target | None = None) -> dict[str, str]:
    """Our environment without anything that could put another build of brenk on the path."""
    env = {k: v for k, v in os.environ.items()
           if k not in ("PYTHONPATH", "PYTHONHOME", "PYTHONSTARTUP", "VIRTUAL_ENV", "MYPYPATH")}
    env["PYTHONDONTWRITEBYTECODE"] = "1"  # keep __pycache__ out of the checkout's tests
    if target:
        env.update(target.env)
        if target.borrow_path and Path(DIST_PACKAGES).is_dir():
            env["PYTHONPATH"] = DIST_PACKAGES
    return env


def find_python(target: Target) -> str | None:
    for candidate in target.candidates:
        if candidate and (path := shutil.which(candidate)):
            return path
    return None


def copy_clean_tree(dest: Path) -> None:
    listed = subprocess.run(["git", "-C", str(ROOT), "ls-files", "-z", "--cached", "--others",
                             "--exclude-standard"], check=True, capture_output=True).stdout
    for rel in sorted(set(filter(None, listed.decode().split("\0")))):
        src = ROOT / rel
        if not src.is_file():  # deleted in the work tree, or a submodule
            continue
        (dest / rel).parent.mkdir(parents=True, exist_ok=True)
        shutil.copy2(src, dest / rel)


def build_sdist(python: str, src: Path, out: Path) -> Path:
    env = clean_env()
    have_build = subprocess.run([python, "-c", "import build"], cwd=src, env=env,
                                capture_output=True).returncode == 0
    if have_build:
        run([python, "-m", "build", "--sdist", "--no-isolation", "--outdir", str(out), str(src)],
            cwd=src, env=env)
    else:
        backend = tomllib.loads((src / "pyproject.toml").read_text())["build-system"]["build-backend"]
        module, _, obj = backend.partition(":")
        hooks = f"{module}.{obj}" if obj else module
        hook = f"import {module}; print({hooks}.build_sdist({str(out)!r}))"
        run([python, "-c", hook], cwd=src, env=env)
    sdists = sorted(out.glob("*.tar.gz"))
    if len(sdists) != 1:
        raise SystemExit(f"expected one sdist in {out}, found {[p.name for p in sdists]}")
    return sdists[0]


def check_sdist(sdist: Path, dest: Path) -> Path:
    with tarfile.open(sdist) as tar:
        names = tar.getnames()
        tar.extractall(dest, filter="data")
    top = names[0].split("/")[0]
    rel = {n.removeprefix(top + "/") for n in names}
    wanted = ["pyproject.toml", "CMakeLists.txt", "LICENSE", "src/python/module.cpp",
              *(f"stubs/brenk/{s}" for s in STUBS)]
    missing = [w for w in wanted if w not in rel]
    stray = [n for n in rel if n.startswith("build/") or n.endswith(".so") or "__pycache__" in n]
    if missing or stray:
        raise SystemExit(f"{sdist.name}: missing {missing}, should not contain {stray[:10]}")
    print(f"{sdist.name}: {len(names)} entries, stubs and sources present", flush=True)
    return dest / top


def check_wheel(wheel: Path, target: Target, scratch: Path) -> str:
    """Checks the repaired wheel; returns the symbol versions its extension binds."""
    if f"-{target.tag}-" not in wheel.name:
        raise ArtifactError(f"{wheel.name}: expected the tag {target.tag}")
    check_wheel_files(wheel, target.soabi)
    check_wheel_metadata(wheel)
    return symbol_versions(wheel, scratch / target.name)


def test_install(python: str, artifact: Path, target: Target, scratch: Path, args: list[str], label: str) -> Result:
    """Installs ARTIFACT (a wheel, or the sdist, which pip then builds) into a fresh environment
    and runs pytest ARGS (default: the whole suite) with it."""
    result = Result(label)
    name = label.replace(" ", "-")
    venv = scratch / f"venv-{name}"
    env = clean_env(target)
    venv_args = ["--system-site-packages"] if target.system_site else []
    run([python, "-m", "venv", "--without-pip", *venv_args, str(venv)], cwd=scratch, env=env)
    vpython = str(venv / "bin" / "python")
    run([vpython, "-m", "pip", "install", "--no-build-isolation", "--no-index", "--no-deps", "--no-cache-dir",
         "--disable-pip-version-check", str(artifact)], env=env, cwd=scratch)
    report = scratch / f"{name}.xml"
    cmd = [vpython, "-c", RUNNER, "-p", "no:cacheprovider", "-rfE", f"--rootdir={ROOT}",
           f"--junitxml={report}"]
    if subprocess.run([vpython, "-c", "import pytest_timeout"], env=env, cwd=scratch,
                      capture_output=True).returncode == 0:
        cmd.append("--timeout=900")  # a hang guard, not a speed goal
    cmd += args or [str(ROOT / "tests" / "python")]
    rundir = scratch / f"run-{name}"  # outside the checkout: its build/ is never on the path
    rundir.mkdir()
    print("+ " + " ".join(cmd[:2]) + " RUNNER " + " ".join(cmd[3:]), flush=True)
    status = subprocess.run(cmd, env=env, cwd=rundir).returncode
    if report.exists():
        count_junit(report, result)
    if status != 0 and result.failed == 0:
        result.failed += 1
        result.problem = f"exit status {status}"
    return result


def build_wheel(python: str, src: Path, target: Target, scratch: Path) -> Path:
    """The wheel pip builds from the unpacked sdist, repaired and checked; copied to build/dist."""
    out = scratch / f"wheel-{target.name}"
    run([python, "-m", "pip", "wheel", "--no-build-isolation", "--no-deps", "--no-index", "--no-cache-dir",
         "--disable-pip-version-check", "-w", str(out), "."], cwd=src, env=clean_env(target))
    built = sorted(out.glob("*.whl"))
    if len(built) != 1:
        raise ArtifactError(f"expected one wheel in {out}, found {[p.name for p in built]}")
    wheel = repair(built[0], scratch / f"repaired-{target.name}")
    print(f"{wheel.name}: binds {check_wheel(wheel, target, scratch)}", flush=True)
    return Path(shutil.copy2(wheel, DIST))


def main(argv: list[str]) -> int:
    keep = "--keep" in argv
    args = [a for a in argv if a != "--keep"]
    started = time.monotonic()
    pythons: dict[str, str] = {}
    results: list[Result] = []
    for target in TARGETS:
        if python := find_python(target):
            pythons[target.name] = python
        elif target.optional:
            note(f"{target.name}: not built, {' or '.join(target.candidates)} is not installed")
        elif STRICT:
            note(f"{target.name}: no interpreter ({' or '.join(filter(None, target.candidates))})")
            return 1
        else:
            note(f"{target.name}: skipped, interpreter not installed")
            results.append(Result(f"{target.name} wheel", problem="skipped: interpreter not installed"))
    if not pythons:
        return 1
    sdist_target = next(t for t in TARGETS if t.name == ("py314" if "py314" in pythons else next(iter(pythons))))

    scratch = Path(tempfile.mkdtemp(prefix="brenk-wheels-"))
    try:
        shutil.rmtree(DIST, ignore_errors=True)
        DIST.mkdir(parents=True)
        step("clean tree")
        tree = scratch / "tree"
        copy_clean_tree(tree)
        step("sdist")
        sdist = build_sdist(pythons[sdist_target.name], tree, DIST)
        src = check_sdist(sdist, scratch / "sdist")
        check_sdist_metadata(sdist)
        wheels: dict[str, Path] = {}
        for target in TARGETS:
            if target.name in pythons:
                step(f"wheel for {target.name}")
                wheels[target.name] = build_wheel(pythons[target.name], src, target, scratch)
        step("twine check")
        twine_check([sdist, *wheels.values()])
        for target in TARGETS:
            if target.name in wheels:
                step(f"tests against the installed {target.name} wheel")
                results.append(test_install(pythons[target.name], wheels[target.name], target, scratch, args,
                                            f"{target.name} wheel"))
        step(f"the sdist installed by pip for {sdist_target.name}")
        results.append(test_install(pythons[sdist_target.name], sdist, sdist_target, scratch,
                                    [*SMOKE, str(ROOT / "tests" / "python")], "sdist install"))
    except (subprocess.CalledProcessError, SystemExit, ArtifactError) as error:
        note(f"failed: {error}")
        results.append(Result("packaging", failed=1, problem=str(error)))
    finally:
        if keep:
            note(f"scratch directory kept: {scratch}")
        else:
            shutil.rmtree(scratch, ignore_errors=True)

    step("built")
    for path in sorted(DIST.glob("*")):
        print(f"{path.relative_to(ROOT)}: {path.stat().st_size:,} bytes")
    print(f"took {time.monotonic() - started:.0f} s")
    return summarize(results)


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv[1:]))
    except KeyboardInterrupt:
        sys.exit(130)
