#!/usr/bin/env python3
"""The wheel smoke check of `make test`: one CPython 3.14 wheel built as a user's pip would build
it, repaired and checked as check_wheels.py checks every wheel (the manylinux_2_17 tag, nothing
grafted in, its files, its license metadata, the symbol versions it binds), installed into a fresh
virtual environment and imported from there by a few tests.

    tests/packaging/smoke_wheel.py --junitxml=REPORT

The CMake tree stays in build/wheel-smoke, so a warm run only relinks what changed. The full
per-interpreter suite against every wheel, from a clean tree and the sdist, is `make wheels`.
"""
from __future__ import annotations

import os
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

from artifacts import RUNNER, ArtifactError, check_wheel_files, check_wheel_metadata, repair, run, symbol_versions

ROOT = Path(__file__).resolve().parents[2]
WORK = ROOT / "build" / "wheel-smoke"
# Every type built, converted, compared and rendered, a version parsed: the import path and the
# module's main entry points, in a few seconds.
TESTS = [str(ROOT / "tests" / "python" / name) for name in ("test_binding.py", "test_version.py")]


def main(argv: list[str]) -> int:
    started = time.monotonic()
    python = shutil.which("python3.14")
    if python is None:
        print("smoke_wheel: python3.14 is not installed", file=sys.stderr)
        return 1
    env = {k: v for k, v in os.environ.items() if k not in ("PYTHONPATH", "PYTHONHOME", "VIRTUAL_ENV")}
    env["PYTHONDONTWRITEBYTECODE"] = "1"
    scratch = Path(tempfile.mkdtemp(prefix="brenk-wheel-smoke-"))
    try:
        run([python, "-m", "pip", "wheel", "--no-build-isolation", "--no-deps", "--no-index",
             "--disable-pip-version-check", f"--config-settings=build-dir={WORK / 'cmake'}", "-w",
             str(scratch / "built"), str(ROOT)], env=env)
        built = sorted((scratch / "built").glob("*.whl"))
        if len(built) != 1:
            raise ArtifactError(f"expected one wheel, found {[p.name for p in built]}")
        wheel = repair(built[0], scratch / "repaired")
        check_wheel_files(wheel, "cpython-314")
        check_wheel_metadata(wheel)
        print(f"{wheel.name}: binds {symbol_versions(wheel, scratch)}", flush=True)
        venv = scratch / "venv"
        run([python, "-m", "venv", "--without-pip", "--system-site-packages", str(venv)], env=env)
        vpython = str(venv / "bin" / "python")
        run([vpython, "-m", "pip", "install", "--no-index", "--no-deps", "--disable-pip-version-check",
             str(wheel)], env=env)
        rundir = scratch / "run"
        rundir.mkdir()
        cmd = [vpython, "-c", RUNNER, "-p", "no:cacheprovider", "-q", "-rfE", f"--rootdir={ROOT}", *argv, *TESTS]
        status = subprocess.run(cmd, env=env, cwd=rundir).returncode
    except (ArtifactError, subprocess.CalledProcessError) as error:
        print(f"smoke_wheel: failed: {error}", file=sys.stderr, flush=True)
        status = 1
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    print(f"smoke_wheel: {time.monotonic() - started:.0f} s", flush=True)
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
