"""Bytes per held object, each row measured in a process of its own."""

import gc
import sys

from bench_common import NO_NATIVE, in_subprocess, native_in_use, status_kib
from brenk.package.constraint import Cmp, CmpType, Depends, Maximize, SpecOption
from brenk.package.outline import PackageOutline
from brenk.package.version import Version

MEMORY_ROWS = [
    ('Depends("libfoo")', lambda: Depends("libfoo"), 64),
    ('SpecOption("libfoo", "version")', lambda: SpecOption("libfoo", "version"), 80),
    ('Version("1.2.3-4")', lambda: Version("1.2.3-4"), 80),
    ("Maximize(1)", lambda: Maximize(1), 80),
    (
        "Cmp(SpecOption, Version, GreaterOrEqual)",
        lambda: Cmp(SpecOption("libfoo", "version"), Version("1.2.3-4"), CmpType.GreaterOrEqual),
        200,
    ),
    (
        "  .if_then(Depends)",
        lambda: Cmp(SpecOption("libfoo", "version"), Version("1.2.3-4"), CmpType.GreaterOrEqual).if_then(
            Depends("libfoo")
        ),
        240,
    ),
    (
        "PackageOutline, 4 set_options",
        lambda: PackageOutline(
            "libfoo",
            set_options={"version": Version("1.2.3-4"), "priority": 3, "essential": False, "section": "libs"},
        ),
        256,
    ),
    (
        "PackageOutline, 2 set_defaults",
        lambda: PackageOutline("libfoo", set_defaults={"multi_arch": None, "section": "libs"}),
        160,
    ),
]


def measure_row(index, count=100_000):
    """Bytes per live object of one row, in a process of its own: freed blocks that an
    allocator keeps for reuse would otherwise hide the next row's growth."""
    make = MEMORY_ROWS[index][1]
    held = [None] * count
    make()
    gc.collect()
    native_before = native_in_use()
    rss_before = status_kib("VmRSS")
    for i in range(count):
        held[i] = make()
    native = None if native_before is None else (native_in_use() - native_before) / count
    rss = (status_kib("VmRSS") - rss_before) * 1024 / count
    return {"native": native, "size": sys.getsizeof(held[0]), "rss": rss}


def memory_rows():
    print(f"\n{'object held (100,000 live)':42} {'native':>7} {'object':>7} {'total':>7} {'budget':>7}   {'RSS':>6}")
    for index, (name, _, budget) in enumerate(MEMORY_ROWS):
        r = in_subprocess("--row", index)
        if r["native"] is None:
            print(f"{name:42} {'-':>7} {r['size']:7} {'-':>7} {budget:7} {'':4} {r['rss']:6.1f}   {NO_NATIVE}")
            continue
        total = round(r["native"] + r["size"], 1)
        verdict = "ok" if total <= budget else "MISS"
        print(f"{name:42} {r['native']:7.1f} {r['size']:7} {total:7.1f} {budget:7} {verdict:4} {r['rss']:6.1f}")
