"""Nanoseconds per operation on the hot paths, beside interpreter floors, and the resident
memory of deep and shared trees."""

import gc
import sys
import time

from bench_common import chain, loop, per_op, status_kib
from brenk.package.constraint import Cmp, CmpType, Depends, Maximize, NumOf, SpecOption
from brenk.package.outline import PackageOutline
from brenk.package.version import Version


def shared_tree_refusal():
    """Peak extra MiB and ms of refusing a comparison whose side is 64 levels of one shared Cmp
    (2**64 leaves once rendered; the message keeps a bounded prefix)."""
    c = Depends("a")
    for _ in range(64):
        c = Cmp(c, c, CmpType.Equal)
    with open("/proc/self/clear_refs", "w") as clear:
        clear.write("5")  # restarts the peak (VmHWM) at the current resident size
    before = status_kib("VmRSS")
    start = time.perf_counter_ns()
    try:
        _ = c < True
    except NotImplementedError:
        pass
    elapsed = time.perf_counter_ns() - start
    return (status_kib("VmHWM") - before) / 1024, elapsed / 1e6


def timing_report():
    # First, while the peak resident size is still the current one.
    refusal_mib, refusal_ms = shared_tree_refusal()
    n = 200_000
    rows = []

    def add(name, ns, goal=None):
        rows.append((name, ns, goal))

    floor_object = per_op(loop(object), n)
    floor = per_op(loop(lambda: complex(1.0, 2.0)), n)
    empty = per_op(loop(lambda: None), n)
    # The lambda loop overhead is in every figure; take it out of all of them alike.
    floor_object -= empty
    floor -= empty
    add("object()", floor_object)
    add("complex(1.0, 2.0)", floor)

    def bench(name, fn, goal=None, number=n):
        add(name, per_op(loop(fn), number) - empty, goal)

    bench('Version("1.2.0-rc1+build5")', lambda: Version("1.2.0-rc1+build5"), 3)
    v = Version("1.2.0-rc1+build5")
    bench("str(version)", lambda: str(v), 2)
    bench("repr(version)", lambda: repr(v))

    s = SpecOption("p", "o")
    s2 = SpecOption("q", "o")
    eq = CmpType.Equal
    bench("Cmp(SpecOption, 3, CmpType.Equal)", lambda: Cmp(s, 3, eq), 4)
    c = Cmp(s, 3, eq)
    bench("cmp.lhs", lambda: c.lhs, 2)
    small = Maximize(Depends("x"))
    big = Maximize(chain(100_000))
    bench("maximize.item (1-node item)", lambda: small.item, 2)
    bench("maximize.item (100,000-node item)", lambda: big.item, 2)
    bench("SpecOption == SpecOption", lambda: s == s2, 3)
    num = NumOf([Depends("a"), Depends("b")])
    bench("NumOf > 1", lambda: num > 1, 3)
    dep = Depends("libx")
    bench("cmp.if_then(Depends)", lambda: c.if_then(dep), 3)

    for depth in (10_000, 100_000):
        best = float("inf")
        for _ in range(3):
            start = time.perf_counter_ns()
            chain(depth)
            best = min(best, (time.perf_counter_ns() - start) / depth)
        add(f"m = Maximize(m), n={depth:,} (per wrap)", best, 3)

    for count in (1_000, 100_000):
        items = [Depends(f"d{i}") for i in range(count)]
        reps = max(1, 200_000 // count)
        ns = per_op(loop(lambda items=items: PackageOutline("p", items)), reps) / count
        add(f"PackageOutline, {count:,} constraints (per constraint)", ns, 1)
    options = {f"option{i}": i for i in range(1_000)}
    ns = per_op(loop(lambda: PackageOutline("p", set_options=options)), 200) / 1_000
    add("PackageOutline, 1,000 set_options (per entry)", ns, 1)

    gc.collect()
    before = status_kib("VmRSS")
    deep = chain(1_000_000)
    after = status_kib("VmRSS")
    del deep

    print(f"Python {sys.version.split()[0]}")
    print(f"{'operation':52} {'ns/op':>9} {'x complex':>10} {'goal':>6}")
    for name, ns, goal in rows:
        ratio = ns / floor
        verdict = "" if goal is None else ("ok" if ratio <= goal else "MISS")
        goal_text = "" if goal is None else f"<= {goal}x"
        print(f"{name:52} {ns:9.1f} {ratio:10.2f} {goal_text:>6} {verdict}")
    print(f"1,000,000-deep Maximize chain: +{(after - before) / 1024:.1f} MiB resident (goal <= 64 MB)")
    print(f"refused comparison of a 64-deep shared Cmp: +{refusal_mib:.1f} MiB peak, {refusal_ms:.1f} ms"
          " (goal < 64 MiB)")
