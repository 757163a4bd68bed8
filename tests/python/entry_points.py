"""One call of every public entry point, for the allocation-failure sweeps.

Imported by test_allocation_failures.py and by the child interpreters it starts, so the cases
are written once. Each case allocates on as many paths as a short call can: long texts that need a
UTF-8 copy, a constraint list stored outside its node, option maps, failure messages.
"""

from __future__ import annotations

from collections.abc import Callable

import brenk
from brenk.package.constraint import Cmp, CmpType, Depends, IfThen, Maximize, Minimize, NumOf, SpecOption
from brenk.package.outline import PackageOutline
from brenk.package.version import Version


def fresh_text() -> str:
    """A new str whose UTF-8 form is not cached yet, so that reading it allocates."""
    return "".join(["\N{LATIN SMALL LETTER E WITH ACUTE}"] * 40)


def entry_points() -> dict[str, Callable[[], object]]:
    """Name -> a call of one entry point, over objects made here (outside any injected failure)
    and texts made within the call."""
    d = Depends("a")
    s = SpecOption("p", "o")
    c = Cmp(s, 3, CmpType.Equal)
    i = c.if_then(d)
    n = NumOf([d, 2])
    v = Version("1.2.0-rc1")
    val = c.rhs
    m = Maximize(2.5)
    many = [Depends(str(k)) for k in range(300)]
    wide = SpecOption("p" * 64000, "o")
    # An object whose type's str() is long: its conversion failure makes a long message and log record.
    long_named = type("LongName", (type,), {"__str__": lambda cls: "t" * 64000})("Odd", (), {})()

    def setters() -> None:
        c.rhs = fresh_text()
        n.of = many
        val.value = fresh_text()
        d.on = fresh_text()
        s.option_name = fresh_text()
        c.op = CmpType.Less
        i.then = v
        m.item = n

    return {
        "Depends": lambda: Depends(fresh_text()),
        "SpecOption": lambda: SpecOption(fresh_text(), "o"),
        "Cmp": lambda: Cmp(s, fresh_text(), CmpType.Equal),
        "IfThen": lambda: IfThen(c, d),
        "Maximize": lambda: Maximize(2.5),
        "Minimize": lambda: Minimize(v),
        "NumOf": lambda: NumOf(many),
        "Version": lambda: Version("1.2.0-rc1+b5.*"),
        "Version refused": lambda: Version("1.x*"),
        "reprs": lambda: (repr(v), str(v), repr(CmpType.Less), int(CmpType.Equal)),
        "PackageOutline": lambda: PackageOutline("pkg", [i, c, d], {"a": 1, "b": fresh_text(), "c": v}, {"d": None, "e": 2.5}),
        "PackageOutline keyword": lambda: PackageOutline("pkg", colour=1),
        "getters": lambda: (c.lhs, c.rhs, c.op, i.cond, i.then, n.of, val.value, s.package_name, d.on, m.item),
        "setters": setters,
        "comparisons": lambda: (s == s, d == True, n > 2, 3 < n),  # noqa: E712 (builds a Cmp)
        "refused comparison": lambda: wide < 3,
        "unconvertible": lambda: Maximize(None),
        "unconvertible operand": lambda: d == None,  # noqa: E711 (falls back to identity)
        "unconvertible long-named operand": lambda: d == long_named,
        "if_then": lambda: c.if_then(fresh_text()),
        "main_entry": brenk.main_entry,
    }


def raised_by(call: Callable[[], object]) -> type[BaseException] | None:
    """The class of the exception the call raised, or None. Allocates nothing of its own, so it can
    run while allocations are made to fail."""
    try:
        call()
    except BaseException as error:  # noqa: B036 (PanicException is not an Exception)
        return type(error)
    return None


def outcome(call: Callable[[], object]) -> str:
    """'ok' or the name of the exception the call raised."""
    raised = raised_by(call)
    return "ok" if raised is None else raised.__name__
