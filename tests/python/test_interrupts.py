"""Exceptions that must end a call propagate unchanged from every hook at every site.

A conversion step that fails means "not this kind of value" and the next step is tried, but an
interrupt, a request to exit, a memory or recursion error or any other BaseException that is not
an Exception says nothing about the value: it ends the call, also where a failed conversion would
otherwise become NotImplemented, a TypeError or a fall-through to the next step.
"""

import pytest

from brenk.package.constraint import Depends, Maximize, NumOf
from brenk.package.outline import PackageOutline


class Stop(BaseException):
    """A BaseException of the user's own, as a framework might define for cancellation."""


FATAL = [KeyboardInterrupt, SystemExit, GeneratorExit, Stop, MemoryError, RecursionError]


def raiser(kind):
    def hook(*args):
        raise kind("from a hook")

    return hook


# Each makes an object that is not a constraint or an option value by itself, with one hook that
# raises `kind` when the conversion calls it.
VALUE_HOOKS = {
    "__index__": lambda kind: type("Indexed", (), {"__index__": raiser(kind)})(),
    "__float__": lambda kind: type("Floating", (), {"__float__": raiser(kind)})(),
    "numpy-like __bool__": lambda kind: type("bool_", (), {"__module__": "numpy", "__bool__": raiser(kind)})(),
    "metaclass __str__": lambda kind: type("Meta", (type,), {"__str__": raiser(kind)})("Opaque", (), {})(),
}
# A sequence whose protocol raises.
SEQUENCE_HOOKS = {
    "__iter__": lambda kind: type("Seq", (list,), {"__iter__": raiser(kind)})([Depends("a")]),
    "__len__": lambda kind: type("Seq", (list,), {"__len__": raiser(kind)})([Depends("a")]),
}


def set_attribute(obj, name, value):
    setattr(obj, name, value)


VALUE_SITES = {
    "constructor argument": lambda x: Maximize(x),
    "property setter": lambda x: set_attribute(Maximize(1), "item", x),
    "operator right operand": lambda x: Depends("a") == x,
    "list item": lambda x: NumOf([Depends("a"), x]),
    "option value": lambda x: PackageOutline("p", set_options={"o": x}),
    "option default": lambda x: PackageOutline("p", set_defaults={"o": x}),
}
SEQUENCE_SITES = {
    "constructor argument": lambda seq: NumOf(seq),
    "property setter": lambda seq: set_attribute(NumOf([]), "of", seq),
    "outline constraints": lambda seq: PackageOutline("p", seq),
}
CASES = [(hook, site) for hook in VALUE_HOOKS for site in VALUE_SITES
         # Without the log, a failed right operand builds no message, so str() is never asked.
         if (hook, site) != ("metaclass __str__", "operator right operand")]


@pytest.mark.parametrize("hook, site", CASES)
def test_fatal_exception_from_a_value_hook_propagates(hook, site):
    for kind in FATAL:
        with pytest.raises(kind, match="from a hook"):
            VALUE_SITES[site](VALUE_HOOKS[hook](kind))


@pytest.mark.parametrize("hook", SEQUENCE_HOOKS)
@pytest.mark.parametrize("site", SEQUENCE_SITES)
def test_fatal_exception_from_a_sequence_hook_propagates(hook, site):
    for kind in FATAL:
        with pytest.raises(kind, match="from a hook"):
            SEQUENCE_SITES[site](SEQUENCE_HOOKS[hook](kind))


def test_a_failing_index_hook_is_asked_once():
    # The integer step and the float step both read __index__; a hook that fails (or re-enters the
    # module, where each level would double the calls) must be called once per conversion.
    calls = []

    class Indexed:
        def __index__(self):
            calls.append(1)
            raise ValueError("no integer")

    with pytest.raises(TypeError, match="cannot convert"):
        Maximize(Indexed())
    assert len(calls) == 1


def test_reentrant_index_hook_ends_at_the_recursion_limit():
    class Reenters:
        def __index__(self):
            Maximize(Reenters())
            return 1

    with pytest.raises(RecursionError):
        Maximize(Reenters())
