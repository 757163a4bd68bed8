"""A generated repository of package descriptions held as outlines, beside a pure-Python
(`__slots__`) implementation of the same classes, each built in a fresh process."""

import gc
import random
import sys

from bench_common import NO_NATIVE, in_subprocess, native_in_use, status_kib
from brenk.package.constraint import Cmp, CmpType, Depends, NumOf, SpecOption
from brenk.package.outline import PackageOutline
from brenk.package.version import Version

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
    native = None if native_before is None else native_in_use() - native_before
    rss = (status_kib("VmRSS") - rss_before) * 1024
    python = deep_python_bytes(outlines, shared + [outlines])
    constraints = sum(len(p[1]) + len(p[2]) + len(p[3]) + len(p[4]) for p in packages)
    return {"native": native, "python": python, "rss": rss, "constraints": constraints}


def workload_totals(count=76_808):
    results = {which: in_subprocess("--workload", which, count) for which in ("native", "python")}
    mib = 1024 * 1024
    print(f"\nrepository workload: {count:,} packages, {results['native']['constraints']:,} constraints")
    if results["native"]["native"] is None:
        rss_ratio = results["native"]["rss"] / results["python"]["rss"]
        print(f"{NO_NATIVE}; RSS brenk / pure Python: {rss_ratio:.2f}")
        return
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
