"""The canonical JSON of outlines, rendered in Python from the classes' own properties.

An independent second implementation of the format in docs/host.md: tests compare the native
writer's bytes (through brenk-eval) with what this computes from the objects a script built.
"""

from __future__ import annotations

import json
import math
from typing import Any

from brenk.package.constraint import Cmp, Depends, IfThen, Maximize, Minimize, NumOf, SpecOption, Value
from brenk.package.version import Version


def value_data(v: Any) -> Any:
    if isinstance(v, Version):
        return {"Version": str(v)}
    if isinstance(v, float) and not math.isfinite(v):
        return {"Float": "NaN" if math.isnan(v) else ("Infinity" if v > 0 else "-Infinity")}
    return v  # bool, int, finite float (repr digits) and str are JSON as Python writes them


def constraint_data(c: Any) -> dict[str, Any]:
    if isinstance(c, Cmp):
        return {"kind": "Cmp", "lhs": constraint_data(c.lhs), "op": repr(c.op).split(".")[1],
                "rhs": constraint_data(c.rhs)}
    if isinstance(c, Depends):
        return {"kind": "Depends", "on": c.on}
    if isinstance(c, IfThen):
        return {"cond": constraint_data(c.cond), "kind": "IfThen", "then": constraint_data(c.then)}
    if isinstance(c, (Maximize, Minimize)):
        return {"item": constraint_data(c.item), "kind": type(c).__name__}
    if isinstance(c, NumOf):
        return {"kind": "NumOf", "of": [constraint_data(i) for i in c.of]}
    if isinstance(c, SpecOption):
        return {"kind": "SpecOption", "option_name": c.option_name, "package_name": c.package_name}
    if isinstance(c, Value):
        return {"kind": "Value", "value": value_data(c.value)}
    # A plain value a script passed where a constraint goes: the outline stores it as a Value.
    return {"kind": "Value", "value": value_data(c)}


def outline_line(name: str, constraints: list[Any] | None, set_options: dict[str, Any] | None,
                 set_defaults: dict[str, Any] | None, script: str) -> str:
    data = {
        "constraints": [constraint_data(c) for c in constraints or []],
        "name": name,
        "script": script,
        "set_defaults": {k: None if v is None else value_data(v) for k, v in (set_defaults or {}).items()},
        "set_options": {k: value_data(v) for k, v in (set_options or {}).items()},
    }
    # Sorting str keys orders them by code point, which is the bytewise order of their UTF-8.
    return json.dumps(data, sort_keys=True, ensure_ascii=False, separators=(",", ":"), allow_nan=False) + "\n"
