"""Memory comes back: after a large working set of pooled constraints is dropped, the process
keeps only a small reserve. Each case runs in a fresh interpreter, whose resident size has not
been shaped by other tests."""

import os
import sysconfig

import pytest

from helpers import run_python

pytestmark = [
    pytest.mark.thread_unsafe(reason="measures the resident size of child processes holding hundreds of MiB"),
    # Sanitizers and valgrind keep freed memory in quarantine, and the free-threaded build's
    # allocator keeps its own pages: resident size says nothing there.
    pytest.mark.skipif(
        "asan" in os.environ.get("LD_PRELOAD", "") or "vgpreload" in os.environ.get("LD_PRELOAD", ""),
        reason="resident size is meaningless under a sanitizer or valgrind",
    ),
    pytest.mark.skipif(bool(sysconfig.get_config_var("Py_GIL_DISABLED")), reason="free-threaded allocator"),
]

# Without slab release these keep about twice the bound.
KEPT_MIB = 16

BUILDERS = {
    "depends_list": "held = [Depends('a') for _ in range(2_000_000)]",
    "cmp_list": "held = [Cmp(SpecOption('p', 'o'), i, CmpType.Equal) for i in range(1_000_000)]",
    "if_then_num_of_chain": """
held = Depends('x')
for i in range(1_500_000):
    held = IfThen(Depends('c'), held) if i % 2 else NumOf([held])
""",
}


@pytest.mark.parametrize("kind", BUILDERS)
def test_dropped_constraints_give_memory_back(kind):
    code = f"""
import gc
from brenk.package.constraint import Cmp, CmpType, Depends, IfThen, NumOf, SpecOption

def resident_kib():
    with open("/proc/self/status") as status:
        return next(int(line.split()[1]) for line in status if line.startswith("VmRSS:"))

warm = [Depends('w'), Cmp(SpecOption('p', 'o'), 1, CmpType.Equal), IfThen(Depends('c'), NumOf([]))]
gc.collect()
before = resident_kib()
{BUILDERS[kind]}
grown = resident_kib() - before
del held
gc.collect()
print(grown, resident_kib() - before)
"""
    done = run_python(code).check()
    grown, kept = map(int, done.stdout.split())
    assert grown > 2 * KEPT_MIB * 1024, "the working set is too small to show anything"
    assert kept <= KEPT_MIB * 1024, f"{kind}: kept {kept / 1024:.1f} MiB of {grown / 1024:.1f} MiB"

