"""A package recipe written against brenk's type stubs; it must pass ``mypy --strict``.

The comparison operators return ``Any`` (they build constraints, not booleans), so the results
are bound to annotated names before they flow into typed code. The script also runs: the tests
execute it against the built module.
"""

from __future__ import annotations

from collections.abc import Iterable, Mapping, Sequence

import brenk
import brenk.package.constraint
from brenk.package.constraint import (
    Cmp,
    CmpType,
    Depends,
    IfThen,
    Maximize,
    Minimize,
    NumOf,
    SpecOption,
    Value,
)
from brenk.package.outline import PackageOutline
from brenk.package.version import Version

OptionValue = bool | int | float | str | Version


def requires_when(package: str, option: str, dependency: str) -> IfThen:
    """``dependency`` is needed when ``package`` is built with ``option`` switched on."""
    # The constructor takes any operands; only the operators check the two sides' types.
    enabled = Cmp(SpecOption(package, option), True, CmpType.Equal)
    return enabled.if_then(Depends(dependency))


def pulls_in(feature: str, dependency: str) -> IfThen:
    """Depending on ``feature`` means depending on ``dependency`` too."""
    used: Cmp = Depends(feature) == True  # noqa: E712 - builds a constraint, not a bool
    return used.if_then(Depends(dependency))


def at_least(version_of: str, minimum: str) -> Cmp:
    """The option ``version`` of ``version_of`` is ``minimum`` or newer."""
    return Cmp(SpecOption(version_of, "version"), Version(minimum), CmpType.GreaterOrEqual)


def same_option(option: str, packages: Sequence[str]) -> list[Cmp]:
    """Every package after the first sets ``option`` like the first."""
    first = SpecOption(packages[0], option)
    rules: list[Cmp] = []
    for other in packages[1:]:
        rule: Cmp = SpecOption(other, option) == first
        rules.append(rule)
    return rules


def optional_features(names: Iterable[str]) -> tuple[NumOf, Cmp]:
    """A count of the optional features and the rule that at least two of them are in."""
    count = NumOf([Depends(name) for name in names])
    at_least_two: Cmp = count >= 2
    return count, at_least_two


def describe(outline_name: str, constraints: Sequence[object]) -> list[str]:
    """One line per constraint naming its class and, for comparisons, the operator."""
    lines: list[str] = []
    for item in constraints:
        if isinstance(item, Cmp):
            op: CmpType = item.op
            lines.append(f"{outline_name}: Cmp {op!r} ({int(op)})")
        elif isinstance(item, IfThen):
            then: object = item.then
            lines.append(f"{outline_name}: IfThen -> {type(then).__name__}")
        elif isinstance(item, (Depends, SpecOption, NumOf, Maximize, Minimize)):
            lines.append(f"{outline_name}: {type(item).__name__}")
    return lines


def option_value(rule: Cmp) -> OptionValue | None:
    """The literal on the right of ``rule``, if it is one."""
    rhs: object = rule.rhs
    if isinstance(rhs, Value):
        value: OptionValue = rhs.value
        return value
    return None


def recipe(options: Mapping[str, OptionValue]) -> PackageOutline:
    count, enough_features = optional_features(["docs", "tests", "examples"])
    constraints: list[object] = [
        Depends("zlib"),
        requires_when("curl", "ssl", "openssl"),
        pulls_in("http2", "nghttp2"),
        at_least("openssl", "3.0.2"),
        *same_option("debug", ["curl", "zlib", "openssl"]),
        enough_features,
        Maximize(count),
        Minimize(NumOf([Depends("legacy-compat")])),
    ]
    return PackageOutline(
        "curl",
        constraints,
        set_options=dict(options),
        set_defaults={"ssl": True, "threads": None, "min_tls": Version("1.2")},
    )


def main() -> list[str]:
    outline = recipe({"threads": 4, "ratio": 0.5, "backend": "epoll", "ssl": True})
    pinned = at_least("openssl", "3.0.2")
    lines = describe("curl", [pinned, requires_when("curl", "ssl", "openssl")])
    found = option_value(pinned)
    lines.append(f"pinned to {found}")
    lines.append(f"outline built: {type(outline).__name__}")
    members: list[str] = list(brenk.package.constraint.__all__)
    lines.append(f"{len(members)} constraint classes")
    return lines


if __name__ == "__main__":
    for line in main():
        print(line)
