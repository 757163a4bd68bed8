"""The host half's speed: JSON export of the repository workload, and brenk-eval per script.

Run with `make bench` (after benchmarks/bench.py). Figures are same-run ratios:
- JSON: brenk-eval exports the 76,808 outlines of bench.py's repository (--call returning them)
  minus the same run returning none (so the figure includes brenk-eval buffering each script's
  lines, which keeps a failing script from contributing any), beside json.dumps of an equivalent tree of dicts and lists
  built from the pure-Python model, and beside the time Python spends building the outlines;
- scripts: brenk-eval over 10,000 generated one-package scripts, beside one `python3 script.py`
  process per script (timed over a sample) and an in-process loop that execs each script.
"""

from __future__ import annotations

import json
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import brenk
from bench_workload import build_native, build_python, repository

EVAL = Path(brenk.__file__).resolve().parent / "brenk-eval"
WRITER = Path(brenk.__file__).resolve().parent / "brenk_json_bench"
HERE = Path(__file__).resolve().parent
PACKAGES = 76_808
SCRIPTS = 10_000
PROCESS_SAMPLE = 200

WORKLOAD = f"""
import sys
sys.path.insert(0, {str(HERE)!r})
from bench_workload import build_native, repository
outlines = build_native(repository({PACKAGES}))
def once():
    return outlines
def none():
    return []
"""


def timed(cmd: list[str], **kwargs) -> float:
    started = time.perf_counter()
    done = subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True, **kwargs)
    elapsed = time.perf_counter() - started
    if done.returncode:
        sys.exit(f"bench_host: {cmd[0]} failed ({done.returncode}): {done.stderr[:2000]}")
    return elapsed


def python_data(outline) -> dict:
    """The pure-Python model's outline as the dicts and lists json.dumps takes."""

    def constraint(c):
        kind = type(c).__name__.removeprefix("Py")
        if kind == "Depends":
            return {"kind": kind, "on": c.on}
        if kind == "SpecOption":
            return {"kind": kind, "option_name": c.option_name, "package_name": c.package_name}
        if kind == "Value":
            v = c.value
            return {"kind": kind, "value": {"Version": "".join(map(str, v.parts))} if hasattr(v, "parts") else v}
        if kind == "NumOf":
            return {"kind": kind, "of": [constraint(i) for i in c.of]}
        return {"kind": kind, "lhs": constraint(c.lhs), "op": c.op, "rhs": constraint(c.rhs)}

    def value(v):
        return {"Version": "".join(map(str, v.parts))} if hasattr(v, "parts") else v

    return {"constraints": [constraint(c) for c in outline.constraints], "name": outline.name,
            "set_defaults": {k: value(v) for k, v in outline.set_defaults.items()},
            "set_options": {k: value(v) for k, v in outline.set_options.items()}}


def json_export(tmp: Path) -> None:
    script = tmp / "workload.py"
    script.write_text(WORKLOAD)
    # Standard output to /dev/null: the writer's time, not the disk's (-o would add an fsync).
    # The same run exporting nothing measures everything else: the best of three of each.
    one = min(timed([str(EVAL), "--call", "once", str(script)]) for _ in range(3))
    empty = min(timed([str(EVAL), "--call", "none", str(script)]) for _ in range(3))
    export = max(one - empty, 1e-9)
    size = len(subprocess.run([str(EVAL), "--call", "once", str(script)], capture_output=True, check=True).stdout)
    packages = repository(PACKAGES)
    build = float("inf")
    for _ in range(3):
        started = time.perf_counter()
        native = build_native(packages)
        build = min(build, time.perf_counter() - started)
        del native
    constraints = sum(len(p[1]) + len(p[2]) + len(p[3]) + len(p[4]) for p in packages)
    data = [python_data(o) for o in build_python(packages)]
    dumps = float("inf")
    for _ in range(3):
        started = time.perf_counter()
        for item in data:
            json.dumps(item, sort_keys=True, ensure_ascii=False, separators=(",", ":"))
        dumps = min(dumps, time.perf_counter() - started)
    print(f"JSON export, {PACKAGES:,} outlines, {constraints:,} constraints, {size / 1e6:.1f} MB:")
    print(f"  brenk-eval export  {export:6.3f} s  {size / export / 1e6:7.0f} MB/s  "
          f"{export / constraints * 1e9:5.0f} ns/constraint (with its per-script buffering)")
    if WRITER.exists():
        written, _, alone = subprocess.run([str(WRITER), str(script)], capture_output=True, text=True,
                                           check=True).stdout.split()
        export = float(alone)
        print(f"  the writer alone   {export:6.3f} s  {int(written) / export / 1e6:7.0f} MB/s  "
              f"{export / constraints * 1e9:5.0f} ns/constraint (best of 5, in process)")
    print(f"  json.dumps (dicts) {dumps:6.3f} s  {dumps / export:5.1f}x the writer's time (goal: at least 10x)")
    print(f"  building outlines  {build:6.3f} s  export is {export / build:.2f} of it (goal: at most 0.25)")


def per_script(tmp: Path) -> None:
    packages = repository(SCRIPTS, seed=7)
    folder = tmp / "scripts"
    folder.mkdir()
    paths = []
    for i, (name, plain, versioned, _alternatives, _conflicts, options, defaults) in enumerate(packages):
        path = folder / f"p{i}.py"
        constraints = [f"Depends({d!r})" for d in plain]
        constraints += [f"Cmp(SpecOption({d!r}, 'version'), Version({v!r}), CmpType.GreaterOrEqual)"
                        for d, v in versioned]
        path.write_text(
            "from brenk.package.constraint import Cmp, CmpType, Depends, SpecOption\n"
            "from brenk.package.outline import PackageOutline\n"
            "from brenk.package.version import Version\n\n"
            f"outline = PackageOutline(\n    {name!r},\n    [{', '.join(constraints)}],\n"
            f"    set_options={dict(options)!r},\n    set_defaults={defaults!r},\n)\n")
        paths.append(str(path))
    run = timed([str(EVAL), *paths])
    env = {"PYTHONPATH": str(Path(brenk.__file__).resolve().parent)}
    sample = paths[:PROCESS_SAMPLE]
    processes = sum(timed([sys.executable, "-S", p], env=env) for p in sample) / len(sample)
    started = time.perf_counter()
    for p in paths:
        exec(compile(Path(p).read_bytes(), p, "exec"), {"__name__": "__main__"})
    loop = (time.perf_counter() - started) / len(paths)
    each = run / len(paths)
    print(f"brenk-eval over {SCRIPTS:,} scripts: {each * 1e6:.0f} us/script; one process per script "
          f"{processes * 1e3:.1f} ms ({processes / each:.0f}x, goal: at least 50x); "
          f"exec loop in Python {loop * 1e6:.0f} us/script")


def main() -> None:
    if not EVAL.exists():
        print(f"bench_host: {EVAL} is not built; skipped")
        return
    with tempfile.TemporaryDirectory(prefix="brenk-bench-") as scratch:
        json_export(Path(scratch))
        per_script(Path(scratch))


if __name__ == "__main__":
    main()
