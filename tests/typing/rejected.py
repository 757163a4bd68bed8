"""Misuse the type stubs must reject; checked with ``mypy --strict``, never run.

Every line below carries ``# type: ignore[code]`` for the error it must cause. Strict mode warns
about unused ignores, so a stub that stops catching one of these fails the check, and so does an
error with a different code.
"""

from __future__ import annotations

import brenk
from brenk.package.constraint import Cmp, CmpType, Depends, IfThen, NumOf, SpecOption
from brenk.package.outline import PackageOutline
from brenk.package.version import Version

# Texts must be str.
Depends(5)  # type: ignore[arg-type]
SpecOption("pkg", b"opt")  # type: ignore[arg-type]
Version(1.2)  # type: ignore[arg-type]
PackageOutline(None)  # type: ignore[arg-type]

# The operator is a CmpType member, not its number.
Cmp(SpecOption("a", "x"), SpecOption("b", "x"), 3)  # type: ignore[arg-type]
CmpType.Lesser  # type: ignore[attr-defined]

# Required parameters and the names they go by.
SpecOption("pkg")  # type: ignore[call-arg]
Depends(on="zlib")  # type: ignore[call-arg]
Cmp(1, 2, CmpType.Less).if_then()  # type: ignore[call-arg]
brenk.init_tracing(True)  # type: ignore[call-arg]
brenk.main_entry("x")  # type: ignore[call-arg]

# Properties keep their declared types; there are no others.
dep = Depends("zlib")
dep.on = 5  # type: ignore[assignment]
dep.name  # type: ignore[attr-defined]
cmp = Cmp(1, 2, CmpType.Less)
cmp.op = 1  # type: ignore[assignment]
opt = SpecOption("pkg", "opt")
opt.package_name = None  # type: ignore[assignment]
Version("1.2").parts  # type: ignore[attr-defined]

# Only Cmp turns into an implication.
dep.if_then(Depends("x"))  # type: ignore[attr-defined]
NumOf([]).if_then(Depends("x"))  # type: ignore[attr-defined]

# The result of if_then is an IfThen, not another Cmp.
chained: Cmp = cmp.if_then(dep)  # type: ignore[assignment]
implied: IfThen = cmp.if_then(dep)

# No class can be subclassed.
class MyDepends(Depends):  # type: ignore[misc]
    pass

# Versions are not numbers.
int(Version("1"))  # type: ignore[call-overload]
