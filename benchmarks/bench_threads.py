"""Constructor throughput on two threads against one (free-threaded interpreters)."""

import sys
import threading
import time

from bench_common import loop
from brenk.package.constraint import Cmp, CmpType, Depends, Maximize, NumOf, SpecOption
from brenk.package.outline import PackageOutline
from brenk.package.version import Version


class Plain:
    __slots__ = ("a",)

    def __init__(self, a):
        self.a = a


def thread_scaling(number=200_000):
    """Ops per second on 2 threads relative to 1 thread, for each constructor."""
    s = SpecOption("p", "o")
    v = Version("1.2.3-4")
    c = Cmp(s, v, CmpType.GreaterOrEqual)
    d = Depends("libfoo")
    cases = [
        ("Plain(1) (Python class, __slots__)", lambda: Plain(1)),
        ('Depends("libfoo")', lambda: Depends("libfoo")),
        ('SpecOption("p", "o")', lambda: SpecOption("p", "o")),
        ('Version("1.2.3-4")', lambda: Version("1.2.3-4")),
        ("Maximize(d)", lambda: Maximize(d)),
        ("Cmp(s, v, GreaterOrEqual)", lambda: Cmp(s, v, CmpType.GreaterOrEqual)),
        ("c.if_then(d)", lambda: c.if_then(d)),
        ("NumOf([d, d])", lambda: NumOf([d, d])),
        ('PackageOutline("p", [d])', lambda: PackageOutline("p", [d])),
    ]

    def timed(make, threads):
        barrier = threading.Barrier(threads + 1)

        def work():
            barrier.wait()
            loop(make)(number)

        workers = [threading.Thread(target=work) for _ in range(threads)]
        for w in workers:
            w.start()
        start = time.perf_counter()
        barrier.wait()
        for w in workers:
            w.join()
        return threads * number / (time.perf_counter() - start)

    print(f"Python {sys.version.split()[0]}, GIL enabled: {sys._is_gil_enabled()}")
    print(f"{'constructor':40} {'1 thread Mops/s':>16} {'2 threads / 1':>14}")
    for name, make in cases:
        one = max(timed(make, 1) for _ in range(3))
        two = max(timed(make, 2) for _ in range(3))
        print(f"{name:40} {one / 1e6:16.2f} {two / one:14.2f}")
