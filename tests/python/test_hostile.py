"""Hostile callers: legal, if unusual, Python code must end in a clean exception.

One table per class of fault, each a dict of scripts; each script runs in a fresh interpreter, so
that a crash fails that case alone, and must exit with status 0, checking what it expects with
``expect()``.
"""

import os
import sys
import textwrap

import pytest

from helpers import run_python

PRELUDE = """
import functools, gc, operator
from brenk.package.constraint import Cmp, CmpType, Depends, Maximize, NumOf, SpecOption
from brenk.package.outline import PackageOutline
from brenk.package.version import Version

def expect(exc_type, fn, message=None):
    try:
        fn()
    except BaseException as exc:
        assert type(exc) is exc_type, repr(exc)
        assert message is None or str(exc) == message, str(exc)
    else:
        raise AssertionError(f"no {exc_type.__name__}")
"""

# Under the address sanitizer every object is made a heap block of its own, so that a use of a
# freed object is reported instead of reading a recycled block.
SANITIZED = "libasan" in os.environ.get("LD_PRELOAD", "")


def run_case(*parts):
    code = PRELUDE + "".join(textwrap.dedent(part) for part in parts)
    run_python(code, set_env={"PYTHONMALLOC": "malloc"} if SANITIZED else None).check()


def table(cases, marks=None):
    """Parametrize values for a dict of case name -> script."""
    return [pytest.param(body, id=name, marks=(marks or {}).get(name, ())) for name, body in cases.items()]


# ---------------------------------------------------------------- type names that are not text

# Any object can stand as a class's __module__; a message or a type test that reads it must cope.
@pytest.mark.parametrize("module", ["7", "2**100", "1.5", "None", "(1,)"])
def test_type_with_odd_module(module):
    run_case(f"""
        class X:
            pass
        X.__module__ = {module}
        assert (Depends("a") == X()) is False
        expect(TypeError, lambda: Maximize(X()), "argument 'item': cannot convert '<class 'X'>' to Constraint")
        expect(TypeError, lambda: NumOf([X()]), "argument 'of': cannot convert '<class 'X'>' to Constraint")
        expect(TypeError, lambda: PackageOutline("p", set_options={{"k": X()}}),
               "argument 'set_options': cannot cast Python type '<class 'X'>' to SpecOptionValue")
        """)


# ---------------------------------------------------------------- objects made without their constructor

# The classes are mutable: with __new__ replaced, object.__new__ makes an instance whose payload
# was never built. Every use of it is refused, and dropping it is safe.
UNCONSTRUCTED = """
def unconstructed(cls):
    cls.__new__ = lambda c, *a, **k: object.__new__(c)
    return cls.__new__(cls), f"'{cls.__name__}' object was not created by its constructor"
"""
UNCONSTRUCTED_CASES = {
    "constraint_and_outline": """
        d, M = unconstructed(Depends)
        expect(TypeError, lambda: d.on, M)
        expect(TypeError, lambda: setattr(d, "on", "x"), M)
        expect(TypeError, lambda: d == 1, M)
        expect(TypeError, lambda: SpecOption("p", "o") == d, M)
        expect(TypeError, lambda: Maximize(d), "argument 'item': " + M)
        expect(TypeError, lambda: PackageOutline("p", [d]), "argument 'constraints': " + M)
        outline, _ = unconstructed(PackageOutline)
        del d, outline
        """,
    "if_then": """
        c, M = unconstructed(Cmp)
        expect(TypeError, lambda: c.if_then(Depends("a")), M)
        """,
    "version": """
        v, M = unconstructed(Version)
        expect(TypeError, lambda: str(v), M)
        expect(TypeError, lambda: repr(v), M)
        expect(TypeError, lambda: Maximize(v), "argument 'item': " + M)
        expect(TypeError, lambda: PackageOutline("p", set_options={"k": v}), "argument 'set_options': " + M)
        """,
    "cmp_type": """
        op, M = unconstructed(CmpType)
        expect(TypeError, lambda: repr(op), M)
        expect(TypeError, lambda: int(op), M)
        expect(TypeError, lambda: Cmp(1, 2, op), "argument 'op': " + M)
        """,
}
# A debug interpreter asserts that a class without a constructor never gets a __new__.
DEBUG_ONLY_CPYTHON_ASSERTS = pytest.mark.skipif(hasattr(sys, "gettotalrefcount"), reason="CPython's own assertion")


@pytest.mark.parametrize("uses", table(UNCONSTRUCTED_CASES, {"cmp_type": DEBUG_ONLY_CPYTHON_ASSERTS}))
def test_object_made_without_constructor(uses):
    run_case(UNCONSTRUCTED, uses)


# ---------------------------------------------------------------- arguments freed during a call

# Converting an Evil drops the caller's references to the arguments of the call in progress: the
# running partial's arguments are replaced, so nothing but the module holds them any more.
REPLACES_ARGUMENTS = """
calls = []
class Evil:
    def __index__(self):
        calls[-1].__setstate__((print, (), {}, None))
        return 1
def call(p):
    calls.append(p)
    return p()
"""
FREED_ARGUMENT_CASES = {
    "keyword_dict_cleared": """
        opts = {}
        class ClearsKeywords:
            def __index__(self):
                for r in gc.get_referrers(opts):
                    if isinstance(r, dict) and r.get("set_options") is opts:
                        r.clear()
                return 1
        opts["a"] = ClearsKeywords()
        class D(dict):
            pass
        PackageOutline.__new__(PackageOutline, "p", **{"set_options": opts, "set_defaults": D(k=None)})
        """,
    "constructor": """
        c = call(functools.partial(Cmp, Evil(), SpecOption("a", "b"), CmpType.Equal))
        assert c.rhs.package_name == "a"
        """,
    "if_then": """
        i = call(functools.partial(Cmp.if_then, SpecOption("a", "b") == SpecOption("c", "d"), Evil()))
        assert i.cond.lhs.option_name == "b"
        """,
    "comparison": """
        c = call(functools.partial(operator.lt, NumOf([Depends("x")]), Evil()))
        assert len(c.lhs.of) == 1
        """,
    "setter": """
        call(functools.partial(setattr, SpecOption("a", "b") == SpecOption("c", "d"), "rhs", Evil()))
        """,
}


@pytest.mark.parametrize("body", table(FREED_ARGUMENT_CASES))
def test_arguments_dropped_by_the_caller_during_a_call(body):
    run_case(REPLACES_ARGUMENTS, body)


# ---------------------------------------------------------------- dictionaries changed while walked

# A walk that sees any change of the keys stops with an internal failure; none may skip or repeat
# a key silently, whatever the sizes and the table's layout.
WALKS = """
def walk(d):
    try:
        PackageOutline("p", set_options=d)
    except BaseException as exc:
        assert type(exc).__name__ == "PanicException", repr(exc)
        return str(exc)
    return "walked"
class V:
    def __init__(self, hook=None):
        self.hook = hook
    def __index__(self):
        if self.hook:
            self.hook()
        return 1
def rebuild(d):
    for i in range(20):
        d[f"g{i}"] = 0
    for i in range(1, 20):
        del d[f"g{i}"]
KEYS_CHANGED = "dictionary keys changed during iteration"
"""
WALK_CASES = {
    "rebuilt_table_skips_a_key": """
        d = {}
        def hook():
            del d["k0"]
            rebuild(d)
        d.update(k0=V(), k1=V(hook), k2=V(), k3=V())
        assert walk(d) == KEYS_CHANGED
        """,
    "rebuilt_table_after_the_last_key": """
        d = {}
        def hook():
            del d["k0"]
            rebuild(d)
        d.update(k0=V(), k1=V(hook))
        assert walk(d) == KEYS_CHANGED
        """,
    "one_key_swapped_at_equal_size": """
        for n in range(1, 13):
            for victim in {0, n - 1}:
                d = {}
                def swap():
                    del d[f"k{victim}"]
                    d["new"] = V()
                d.update({f"k{i}": V(swap if i == 0 else None) for i in range(n)})
                assert walk(d) == KEYS_CHANGED, (n, victim)
        """,
}


@pytest.mark.parametrize("body", table(WALK_CASES))
def test_dictionary_keys_changed_during_walk(body):
    run_case(WALKS, body)
