"""Allocation failures at every entry point and in `import brenk`.

Each call fails its n-th allocation, for every n until the call no longer meets a failure, and
must end in MemoryError or in its usual outcome; the module keeps working afterwards, and on the
debug build the leak check reruns the sweeps. Two injectors: the interpreter's own
(_testcapi.set_nomemory: Python's allocators), swept in this process, and a preloaded operator
new (tests/support/failing_new.cpp: the module's C++ allocations), swept in one child with the
log on. Only `import brenk` needs a fresh interpreter per index.
"""

from __future__ import annotations

import json
import os
import re
import sys
import sysconfig
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

import pytest

from entry_points import entry_points, outcome, raised_by
from helpers import _brenk_dir, run_python

testcapi = pytest.importorskip("_testcapi")
HERE = Path(__file__).resolve().parent
FAILING_NEW = Path(_brenk_dir()) / "libbrenk_failing_new.so"
# A call that meets no failure for this many indices in a row has none left to meet.
SETTLED = 20
MOST_INDICES = 3000

pytestmark = pytest.mark.thread_unsafe(reason="set_nomemory fails every thread's allocations")
# 3.13's free-threaded PyList_New frees a list whose item array it failed to allocate, with that
# array uninitialised: any list made under set_nomemory can crash the interpreter itself.
python_allocations_fail_safely = pytest.mark.skipif(
    sys.version_info[:2] == (3, 13) and bool(sysconfig.get_config_var("Py_GIL_DISABLED")),
    reason="CPython 3.13t crashes in PyList_New when its item array cannot be allocated",
)


def with_nomemory(call, n: int) -> str:
    testcapi.set_nomemory(n, n + 1)
    try:
        raised = raised_by(call)
    finally:
        testcapi.remove_mem_hooks()
    return "ok" if raised is None else raised.__name__


def sweep(name: str, call, usual: str, inject) -> None:
    settled = 0
    for n in range(MOST_INDICES):
        got = inject(call, n)
        assert got in (usual, "MemoryError"), f"{name}: allocation {n} failed gives {got}, usually {usual}"
        settled = settled + 1 if got == usual else 0
        if settled == SETTLED:
            return


@python_allocations_fail_safely
def test_every_entry_point_meets_python_allocation_failures():
    calls = entry_points()
    usual = {name: outcome(call) for name, call in calls.items()}
    for name, call in calls.items():
        sweep(name, call, usual[name], with_nomemory)
    assert {name: outcome(call) for name, call in entry_points().items()} == usual


CHILD_SWEEP = """
import ctypes, json, sys
sys.path.insert(0, {here!r})
import brenk
from entry_points import entry_points, outcome, raised_by
lib = ctypes.CDLL(None)
def with_failing_new(call, n, to):
    lib.brenk_fail_new(n, to)
    try:
        return outcome(call)
    finally:
        lib.brenk_fail_new_off()
brenk.init_tracing()
calls = entry_points()
usual = {{name: outcome(call) for name, call in calls.items()}}
results = {{}}
for name, call in calls.items():
    seen = []
    lib.brenk_fail_new(-1, -1)
    raised_by(call)
    made = lib.brenk_fail_new_off()  # the operator new calls one normal call makes
    # The n-th call alone, and every call from the n-th on (so that failure paths fail too).
    for n in range(made + 1):
        seen.append(with_failing_new(call, n, n + 1))
        seen.append(with_failing_new(call, n, -1))
    results[name] = [usual[name], seen]
results["after"] = [usual, {{name: outcome(call) for name, call in entry_points().items()}}]
with open({report!r}, "w") as out:
    json.dump(results, out)
"""


def run_with_failing_new(code: str):
    if not FAILING_NEW.exists():
        pytest.skip(f"{FAILING_NEW.name} is not built (sanitizer builds have their own allocator)")
    return run_python(code, set_env={"LD_PRELOAD": str(FAILING_NEW), "NO_COLOR": "1"})


def test_every_entry_point_meets_cxx_allocation_failures(tmp_path):
    report = tmp_path / "report.json"
    run_with_failing_new(CHILD_SWEEP.format(here=str(HERE), report=str(report))).check()
    results = json.loads(report.read_text())
    usual, after = results.pop("after")
    assert after == usual
    for name, (normal, seen) in results.items():
        odd = {(n // 2, "from" if n % 2 else "only"): got for n, got in enumerate(seen) if got not in (normal, "MemoryError")}
        assert not odd, f"{name}: usually {normal}, with operator new failing at call n: {odd}"


IMPORT_CHILD = """
import sys
{arm}
try:
    import brenk
    first = "ok"
except BaseException as error:
    first = type(error).__name__
{disarm}
import brenk
from brenk.package.constraint import Depends
(Depends("a") == True).if_then(Depends("b"))
print(first)
"""


def import_with(n: int, arm: str, disarm: str, reports: Path, set_env=None):
    """The first import's outcome with allocation n failing; the child, for a look when it is odd.
    A sanitizer's reports go to files of this child's own under `reports`."""
    env = dict(set_env or {})
    if "ASAN_OPTIONS" in os.environ:
        env["ASAN_OPTIONS"] = re.sub(r"log_path=[^:]*", f"log_path={reports / str(n)}", os.environ["ASAN_OPTIONS"])
    done = run_python(IMPORT_CHILD.format(arm=arm.format(n=n), disarm=disarm), set_env=env)
    sanitizer = [p.read_text() for p in reports.glob(f"{n}.*")]
    if sanitizer:
        return "sanitizer report", done, sanitizer
    return (done.stdout.decode().strip() if done.returncode == 0 else "crashed"), done, sanitizer


@python_allocations_fail_safely
def test_import_meets_python_allocation_failures(tmp_path):
    # Past the module's own initialisation the failing allocation reaches the interpreter's
    # bookkeeping of single-phase modules, whose failures it does not handle (a failed update of
    # its extension cache is ignored): the sweep ends at the first index the import survives,
    # which is the first past PyInit_brenk (every failure inside it raises).
    arm = "import _testcapi; _testcapi.set_nomemory({n}, {n} + 1)"
    disarm = "_testcapi.remove_mem_hooks()"
    with ThreadPoolExecutor(max_workers=os.cpu_count() or 2) as pool:
        for start in range(0, MOST_INDICES, 32):
            indices = range(start, start + 32)
            outcomes = pool.map(lambda n: import_with(n, arm, disarm, tmp_path), indices)
            for n, (got, child, report) in zip(indices, outcomes, strict=True):
                if got == "ok":
                    return
                assert got in ("MemoryError", "RuntimeError"), f"allocation {n}: {got}\n{child.stderr}{report}"
    pytest.fail(f"import failed at every one of the first {MOST_INDICES} allocations")


def test_import_meets_cxx_allocation_failures(tmp_path):
    arm = "import ctypes; ctypes.CDLL(None).brenk_fail_new({n}, {n} + 1)"
    disarm = "print(ctypes.CDLL(None).brenk_fail_new_off(), file=sys.stderr)"
    made = run_with_failing_new(IMPORT_CHILD.format(arm=arm.format(n=-1), disarm=disarm)).check()
    calls = int(made.stderr.split()[-1])
    assert calls > 0

    def one(n: int) -> str:
        return import_with(n, arm, disarm, tmp_path, {"LD_PRELOAD": str(FAILING_NEW)})

    with ThreadPoolExecutor(max_workers=os.cpu_count() or 2) as pool:
        for n, (got, child, report) in enumerate(pool.map(one, range(calls))):
            assert got in ("ok", "MemoryError", "RuntimeError"), f"operator new call {n}: {got}\n{child.stderr}{report}"


if __name__ == "__main__":
    sys.exit(pytest.main([__file__, "-v"]))
