"""Hostile callers: legal, if unusual, Python code must end in a clean exception.

One table per class of fault; each case runs in a fresh interpreter, so that a crash fails that
case alone. A case is a script that must exit with status 0; it checks what it expects with
``expect()``.
"""

import textwrap

import pytest

from helpers import run_python

PRELUDE = """
import functools, gc, operator, sys
from brenk.package.constraint import Cmp, CmpType, Depends, IfThen, Maximize, Minimize, NumOf, SpecOption, Value
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


def run_case(body):
    run_python(PRELUDE + textwrap.dedent(body)).check()


# ---------------------------------------------------------------- type names that are not text

# Any object can stand as a class's __module__; a message or a type test that reads it must cope.
@pytest.mark.parametrize("module", ["7", "2**100", "1.5", "None", "(1,)"])
def test_type_with_odd_module(module):
    run_case(
        f"""
        class X:
            pass
        X.__module__ = {module}
        assert (Depends("a") == X()) is False
        expect(TypeError, lambda: Maximize(X()), "argument 'item': cannot convert '<class 'X'>' to Constraint")
        expect(TypeError, lambda: NumOf([X()]), "argument 'of': cannot convert '<class 'X'>' to Constraint")
        expect(TypeError, lambda: PackageOutline("p", set_options={{"k": X()}}),
               "argument 'set_options': cannot cast Python type '<class 'X'>' to SpecOptionValue")
        """
    )
