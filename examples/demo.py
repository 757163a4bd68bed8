"""A tour of brenk: versions, constraints built with operators, and package outlines.

Run with `make demo`. Log lines are written by the module straight to standard output,
so every print here flushes to keep the two in order.
"""

import functools

import brenk
from brenk.package.constraint import (
    Cmp,
    CmpType,
    Depends,
    IfThen,
    Maximize,
    Minimize,
    NumOf,
    SpecOption,
)
from brenk.package.outline import PackageOutline
from brenk.package.version import Version

say = functools.partial(print, flush=True)


def section(title):
    say()
    say(f"== {title}")


section("Versions")
for text in ["1.2.0-rc1+build5", "01.002", "2.>", "1.*.x"]:
    v = Version(text)
    say(f"{text!r:22} -> str {str(v)!r}")
    say(f"{'':22}    {v!r}")
for bad in ["", "1..2", "1.>.2", "1_0", "1.é"]:
    try:
        Version(bad)
    except ValueError as error:
        say(f"{bad!r:22} -> ValueError: {error}")

section("The diagnostic log (written by the module to standard output)")
brenk.init_tracing()

section("Constraints and their properties")
openssl = SpecOption("openssl", "version")
say("SpecOption:", openssl.package_name, "/", openssl.option_name)
shared = SpecOption("zlib", "shared")
cmp = Cmp(shared, True, CmpType.Equal)
say("Cmp(zlib.shared, True, Equal): rhs.value =", cmp.rhs.value, "op =", repr(cmp.op), "int(op) =", int(cmp.op))
say("every read is a fresh object:", cmp.rhs is not cmp.rhs)
needs = NumOf([Depends("libx"), Depends("liby"), Depends("libz")])
say("NumOf.of ->", [d.on for d in needs.of])
goal = Maximize(NumOf([Depends("docs"), Depends("tests")]))
say("Maximize.item ->", type(goal.item).__name__)

section("Operators build type-checked comparisons")
with_tls = SpecOption("curl", "tls") == SpecOption("openssl", "enabled")
say("curl.tls == openssl.enabled ->", type(with_tls).__name__, repr(with_tls.op))
at_least_two = 2 <= needs
say("2 <= NumOf(...) ->", type(at_least_two).__name__, repr(at_least_two.op), "(reflected: the NumOf is lhs)")
# Value objects only come from conversions, here of a Version:
version_value = Cmp(openssl, Version("3.0"), CmpType.GreaterOrEqual).rhs
say("a Version inside a constraint ->", type(version_value).__name__, str(version_value.value))
rule = (Depends("ssl") == True).if_then(Depends("openssl"))  # noqa: E712
say("if_then ->", type(rule).__name__, "cond:", type(rule.cond).__name__, "then:", rule.then.on)
say("a list is not a constraint, so == falls back:", Depends("a") == [1, 2])
for label, attempt in [
    ("SpecOption < 3", lambda: SpecOption("p", "o") < 3),
    ("Depends <= Depends", lambda: Depends("x") <= Depends("y")),
    ("Minimize(2.5) == 1", lambda: Minimize(2.5) == 1),
]:
    try:
        attempt()
    except NotImplementedError as error:
        say(f"{label}: NotImplementedError: {error}")

section("Package outlines")
outline = PackageOutline(
    "curl",
    [Depends("openssl"), rule, at_least_two, goal, IfThen(with_tls, Depends("ca-certificates"))],
    set_options={"tls": True, "http2": "auto", "min_version": Version("8.0")},
    set_defaults={"zstd": None, "threads": 4},
)
say("built", type(outline).__name__)
for label, attempt in [
    ("extra keyword", lambda: PackageOutline("curl", colour="blue", size=3)),
    ("bad constraint", lambda: PackageOutline("curl", [Depends("x"), {"not": "a constraint"}])),
    ("bad option value", lambda: PackageOutline("curl", set_options={"tls": [True]})),
    ("str as constraints", lambda: PackageOutline("curl", "openssl")),
    ("too many arguments", lambda: PackageOutline("a", None, None, None, None)),
]:
    try:
        attempt()
    except (TypeError, ValueError) as error:
        say(f"{label}: {type(error).__name__}: {error}")

section("The entry function")
brenk.main_entry()
