"""Nanoseconds per operation for brenk's hot paths, beside interpreter floors, and the memory
brenk objects hold.

Run: make bench (or python3 benchmarks/bench.py with brenk importable).
Each figure is the best of several repeats; ratios are against complex(1.0, 2.0) measured
in the same run, which is what the goals are stated in.

Memory: native bytes are glibc's mallinfo2() in-use delta over 100,000 live objects (the
holding list is allocated before the first reading); the repository workload is measured
in a fresh process per implementation, beside its resident-set growth, which sees every
allocator. On a free-threaded interpreter run with PYTHON_GIL=0, `--threads` prints the
2-thread throughput of each constructor relative to 1 thread.
"""

import ctypes
import gc
import json
import random
import resource
import subprocess
import sys
import threading
import time

from brenk.package.constraint import Cmp, CmpType, Depends, Maximize, NumOf, SpecOption
from brenk.package.outline import PackageOutline
from brenk.package.version import Version

REPEATS = 7


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


def main():
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
    memory_rows()
    workload_totals()


class _Mallinfo2(ctypes.Structure):
    _fields_ = [
        (name, ctypes.c_size_t)
        for name in (
            "arena", "ordblks", "smblks", "hblks", "hblkhd", "usmblks", "fsmblks", "uordblks", "fordblks", "keepcost"
        )
    ]


_libc = ctypes.CDLL(None)
_libc.mallinfo2.restype = _Mallinfo2


def native_in_use():
    """Bytes glibc has handed out: small chunks (with their headers) plus mmapped blocks."""
    info = _libc.mallinfo2()
    return info.uordblks + info.hblkhd


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
    native = (native_in_use() - native_before) / count
    rss = (status_kib("VmRSS") - rss_before) * 1024 / count
    return {"native": native, "size": sys.getsizeof(held[0]), "rss": rss}


def in_subprocess(*args):
    out = subprocess.run([sys.executable, __file__, *map(str, args)], capture_output=True, text=True, check=True)
    return json.loads(out.stdout)


def memory_rows():
    print(f"\n{'object held (100,000 live)':42} {'native':>7} {'object':>7} {'total':>7} {'budget':>7}   {'RSS':>6}")
    for index, (name, _, budget) in enumerate(MEMORY_ROWS):
        r = in_subprocess("--row", index)
        total = round(r["native"] + r["size"], 1)
        verdict = "ok" if total <= budget else "MISS"
        print(f"{name:42} {r['native']:7.1f} {r['size']:7} {total:7.1f} {budget:7} {verdict:4} {r['rss']:6.1f}")


# A repository of package descriptions: plain data (names, version texts) that both
# implementations below turn into outlines. Shapes follow real package indexes: most
# packages have a few plain dependencies, some versioned ones, an occasional alternative
# or conflict, and the same handful of options.
WORDS = (
    "ssl crypto z bz2 lzma xml2 xslt png jpeg tiff gif webp ffi curl ssh2 gtk-3 glib2.0 cairo pango "
    "harfbuzz freetype6 fontconfig1 x11 xext xrender xcb1 wayland drm mesa gl1 egl1 gbm1 systemd udev "
    "dbus-1 pam0g acl1 attr1 cap2 selinux1 audit1 uuid1 blkid1 mount1 smartcols1 ncurses6 tinfo6 "
    "readline8 edit2 sqlite3 pq5 mariadb3 ldap-2.5 sasl2 krb5 gssapi-krb5 k5crypto3 com-err2 idn2 "
    "unistring2 psl5 nghttp2 rtmp1 brotli1 zstd1 lz4 snappy1v5 protobuf32 grpc++1.51 boost-system1.83 "
    "icu72 pcre2-8 gmp10 mpfr6 mpc3 isl23 stdc++6 gcc-s1 c6 m6 python3.11 perl5.36 ruby3.1 lua5.4 tcl8.6"
).split()
SECTIONS = ("libs", "devel", "utils", "net", "python", "admin", "text", "graphics", "sound", "x11")


def make_version(rng):
    parts = [str(rng.choice((0, 1, 1, 2, 2, 3, 4, 5, 7, 10, 20230115)))]
    parts += [str(rng.randrange(0, 40)) for _ in range(rng.choice((1, 1, 2, 2, 3)))]
    text = ".".join(parts)
    if rng.random() < 0.15:
        text += rng.choice(("rc1", "b2", "a", "p1", "+dfsg"))
    text += f"-{rng.randrange(1, 12)}"
    if rng.random() < 0.2:
        text += rng.choice(("+b1", "+deb12u1", "+b2", "ubuntu1"))
    return text


def repository(count, seed=20261208):
    rng = random.Random(seed)
    names = []
    for i in range(count):
        kind = rng.random()
        word = rng.choice(WORDS)
        if kind < 0.45:
            name = f"lib{word}"
        elif kind < 0.6:
            name = f"lib{word}-dev"
        elif kind < 0.75:
            name = f"python3-{word.split('-')[0]}"
        else:
            name = f"{word.split('.')[0]}-tools"
        names.append(f"{name}{i}" if rng.random() < 0.9 else name)
    packages = []
    for name in names:
        plain = rng.sample(names, rng.choice((0, 1, 2, 3, 3, 4, 4, 5, 6, 8, 9)))
        versioned = [(rng.choice(names), make_version(rng)) for _ in range(rng.choice((0, 0, 1, 1, 2)))]
        alternatives = [rng.sample(names, 2) for _ in range(rng.random() < 0.2)]
        conflicts = rng.sample(names, rng.random() < 0.1)
        options = {
            "version": make_version(rng),
            "installed_size": rng.randrange(1, 200_000),
            "essential": rng.random() < 0.01,
            "section": rng.choice(SECTIONS),
        }
        defaults = {"multi_arch": None, "section": rng.choice(SECTIONS)}
        packages.append((name, plain, versioned, alternatives, conflicts, options, defaults))
    return packages


def build_native(packages):
    ge = CmpType.GreaterOrEqual
    outlines = []
    for name, plain, versioned, alternatives, conflicts, options, defaults in packages:
        constraints = [Depends(d) for d in plain]
        constraints += [Cmp(SpecOption(d, "version"), Version(v), ge) for d, v in versioned]
        constraints += [NumOf([Depends(a) for a in alt]) >= 1 for alt in alternatives]
        constraints += [Depends(c) == False for c in conflicts]  # noqa: E712
        set_options = dict(options, version=Version(options["version"]))
        outlines.append(PackageOutline(name, constraints, set_options=set_options, set_defaults=defaults))
    return outlines


class PyVersion:
    __slots__ = ("parts",)

    def __init__(self, text):
        parts = []
        start = 0
        for i, c in enumerate(text + "."):
            if c in ".-+":
                segment = text[start:i]
                if segment.isdigit() and int(segment) < 2**32:
                    parts.append(int(segment))
                else:
                    parts.append(segment)
                if i < len(text):
                    parts.append(c)
                start = i + 1
        self.parts = tuple(parts)


class PyConstraint:
    __slots__ = ()

    def _cmp(self, other, op):
        return PyCmp(self, other if isinstance(other, PyConstraint) else PyValue(other), op)

    def __ge__(self, other):
        return self._cmp(other, "GreaterOrEqual")

    def __eq__(self, other):
        return self._cmp(other, "Equal")

    __hash__ = None


class PyDepends(PyConstraint):
    __slots__ = ("on",)

    def __init__(self, on):
        self.on = on


class PySpecOption(PyConstraint):
    __slots__ = ("package_name", "option_name")

    def __init__(self, package_name, option_name):
        self.package_name = package_name
        self.option_name = option_name


class PyValue(PyConstraint):
    __slots__ = ("value",)

    def __init__(self, value):
        self.value = value


class PyNumOf(PyConstraint):
    __slots__ = ("of",)

    def __init__(self, of):
        self.of = list(of)


class PyCmp(PyConstraint):
    __slots__ = ("lhs", "rhs", "op")

    def __init__(self, lhs, rhs, op):
        self.lhs = lhs
        self.rhs = rhs if isinstance(rhs, PyConstraint) else PyValue(rhs)
        self.op = op


class PyOutline:
    __slots__ = ("name", "constraints", "set_options", "set_defaults")

    def __init__(self, name, constraints=None, set_options=None, set_defaults=None):
        self.name = name
        self.constraints = list(constraints or ())
        self.set_options = dict(set_options or {})
        self.set_defaults = dict(set_defaults or {})


def build_python(packages):
    outlines = []
    for name, plain, versioned, alternatives, conflicts, options, defaults in packages:
        constraints = [PyDepends(d) for d in plain]
        constraints += [
            PyCmp(PySpecOption(d, "version"), PyValue(PyVersion(v)), "GreaterOrEqual") for d, v in versioned
        ]
        constraints += [PyNumOf([PyDepends(a) for a in alt]) >= 1 for alt in alternatives]
        constraints += [PyDepends(c) == False for c in conflicts]  # noqa: E712
        set_options = dict(options, version=PyVersion(options["version"]))
        outlines.append(PyOutline(name, constraints, set_options=set_options, set_defaults=defaults))
    return outlines


_is_immortal = getattr(sys, "_is_immortal", lambda obj: False)


def deep_python_bytes(roots, shared):
    """sys.getsizeof over everything reachable from `roots` once, except objects in `shared`
    (the description data), types and immortal objects (small ints, None, bools, ...)."""
    seen = set(map(id, shared))
    total = 0
    stack = list(roots)
    while stack:
        obj = stack.pop()
        if id(obj) in seen or isinstance(obj, type) or _is_immortal(obj):
            continue
        seen.add(id(obj))
        total += sys.getsizeof(obj)
        stack.extend(gc.get_referents(obj))
    return total


def run_workload(which, count):
    packages = repository(count)
    shared = []
    for package in packages:
        for field in package:
            shared.append(field)
            if isinstance(field, (list, tuple)):
                for item in field:
                    shared.append(item)
                    if isinstance(item, (list, tuple)):
                        shared.extend(item)
            elif isinstance(field, dict):
                shared.extend(field.keys())
                shared.extend(field.values())
    build = build_native if which == "native" else build_python
    build(packages[:100])  # warm caches and interned texts before the readings
    gc.collect()
    rss_before = status_kib("VmRSS")
    native_before = native_in_use()
    outlines = build(packages)
    gc.collect()
    native = native_in_use() - native_before
    rss = (status_kib("VmRSS") - rss_before) * 1024
    python = deep_python_bytes(outlines, shared + [outlines])
    constraints = sum(len(p[1]) + len(p[2]) + len(p[3]) + len(p[4]) for p in packages)
    return {"native": native, "python": python, "rss": rss, "constraints": constraints}


def workload_totals(count=76_808):
    results = {which: in_subprocess("--workload", which, count) for which in ("native", "python")}
    mib = 1024 * 1024
    print(f"\nrepository workload: {count:,} packages, {results['native']['constraints']:,} constraints")
    print(f"{'implementation':28} {'native MiB':>11} {'Python MiB':>11} {'total MiB':>10} {'RSS MiB':>8}")
    totals = {}
    for which, label in (("native", "brenk"), ("python", "pure Python (__slots__)")):
        r = results[which]
        totals[which] = r["native"] + r["python"]
        print(f"{label:28} {r['native'] / mib:11.1f} {r['python'] / mib:11.1f} {totals[which] / mib:10.1f}"
              f" {r['rss'] / mib:8.1f}")
    ratio = totals["native"] / totals["python"]
    rss_ratio = results["native"]["rss"] / results["python"]["rss"]
    verdict = "ok" if ratio <= 0.4 else "MISS"
    print(f"ratio brenk / pure Python: {ratio:.2f} (RSS {rss_ratio:.2f}; goal <= 0.4) {verdict}")


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


if __name__ == "__main__":
    if sys.argv[1:2] == ["--row"]:
        print(json.dumps(measure_row(int(sys.argv[2]))))
    elif sys.argv[1:2] == ["--workload"]:
        print(json.dumps(run_workload(sys.argv[2], int(sys.argv[3]))))
    elif sys.argv[1:2] == ["--threads"]:
        thread_scaling()
    else:
        main()
