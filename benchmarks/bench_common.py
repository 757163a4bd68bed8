"""What the benchmark modules share: timing loops, resident-set readings, the native heap
reading, and running one measurement in a fresh process."""

import ctypes
import gc
import json
import resource
import subprocess
import sys
import time
from pathlib import Path

from brenk.package.constraint import Depends, Maximize

REPEATS = 7
ENTRY = Path(__file__).with_name("bench.py")


def per_op(fn, number):
    """Best ns per call of fn() over REPEATS runs of `number` calls."""
    best = float("inf")
    for _ in range(REPEATS):
        gc.disable()
        start = time.perf_counter_ns()
        fn(number)
        elapsed = time.perf_counter_ns() - start
        gc.enable()
        best = min(best, elapsed / number)
    return best


def loop(make):
    """Wraps a zero-argument callable into a timing loop with minimal overhead."""

    def run(n, make=make):
        for _ in range(n):
            make()

    return run


def chain(depth):
    m = Depends("x")
    for _ in range(depth):
        m = Maximize(m)
    return m


def status_kib(field):
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss


class _Mallinfo2(ctypes.Structure):
    _fields_ = [
        (name, ctypes.c_size_t)
        for name in (
            "arena", "ordblks", "smblks", "hblks", "hblkhd", "usmblks", "fsmblks", "uordblks", "fordblks", "keepcost"
        )
    ]


# glibc 2.33 and later; elsewhere the native figures are missing and the reports say so.
_mallinfo2 = getattr(ctypes.CDLL(None), "mallinfo2", None)
if _mallinfo2 is not None:
    _mallinfo2.restype = _Mallinfo2
NO_NATIVE = "no mallinfo2 here: native bytes not measured"


def native_in_use():
    """Bytes glibc has handed out: small chunks (with their headers) plus mmapped blocks; None
    where the C library has no mallinfo2."""
    if _mallinfo2 is None:
        return None
    info = _mallinfo2()
    return info.uordblks + info.hblkhd


def in_subprocess(*args):
    out = subprocess.run([sys.executable, str(ENTRY), *map(str, args)], capture_output=True, text=True, check=True)
    return json.loads(out.stdout)


