"""Conventions shared by every callable: argument binding, error attribution,
internal failures, the IfThen thread check and the rendering of unprintable
objects into messages."""

import sysconfig

import pytest

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
from helpers import IFTHEN_DROPPED, IFTHEN_SENT, capture_unraisable, run_in_thread

pytestmark = [pytest.mark.smoke, pytest.mark.tsan]


FREE_THREADED = bool(sysconfig.get_config_var("Py_GIL_DISABLED"))


def spec():
    return SpecOption("p", "o")


def cmp():
    return Cmp(SpecOption("p", "o"), 3, CmpType.Equal)


def if_then_method(*args, **kwargs):
    return cmp().if_then(*args, **kwargs)


D = Depends("d")

# ---------------------------------------------------------------- binding messages

# (id, callable, positional, keywords, message)
BINDING_ERRORS = [
    # Too many positional arguments; reported before any keyword is looked at.
    ("depends-2", Depends, ("a", "b"), {}, "Depends.__new__() takes 1 positional arguments but 2 were given"),
    ("depends-3", Depends, ("a", "b", "c"), {}, "Depends.__new__() takes 1 positional arguments but 3 were given"),
    ("depends-2-kw", Depends, ("a", "b"), {"nom": 1}, "Depends.__new__() takes 1 positional arguments but 2 were given"),
    ("depends-2-dup", Depends, ("a", "b"), {"name": 1}, "Depends.__new__() takes 1 positional arguments but 2 were given"),
    ("cmp-4", Cmp, (1, 2, CmpType.Less, 4), {}, "Cmp.__new__() takes 3 positional arguments but 4 were given"),
    ("ifthen-3", IfThen, (D, D, D), {}, "IfThen.__new__() takes 2 positional arguments but 3 were given"),
    ("maximize-2", Maximize, (1, 2), {}, "Maximize.__new__() takes 1 positional arguments but 2 were given"),
    ("minimize-2", Minimize, (1, 2), {}, "Minimize.__new__() takes 1 positional arguments but 2 were given"),
    ("numof-2", NumOf, ([], []), {}, "NumOf.__new__() takes 1 positional arguments but 2 were given"),
    ("specoption-3", SpecOption, ("p", "o", "x"), {}, "SpecOption.__new__() takes 2 positional arguments but 3 were given"),
    ("if_then-2", if_then_method, (D, D), {}, "Cmp.if_then() takes 1 positional arguments but 2 were given"),
    (
        "outline-5",
        PackageOutline,
        ("p", None, None, None, None),
        {},
        "PackageOutline.__new__() takes from 1 to 4 positional arguments but 5 were given",
    ),
    (
        "outline-6-extra",
        PackageOutline,
        ("p", None, None, None, None, None),
        {"colour": 1},
        "PackageOutline.__new__() takes from 1 to 4 positional arguments but 6 were given",
    ),
    # A keyword for a parameter already filled by position.
    ("depends-dup", Depends, ("a",), {"name": "b"}, "Depends.__new__() got multiple values for argument 'name'"),
    ("cmp-dup", Cmp, (1,), {"lhs": 2}, "Cmp.__new__() got multiple values for argument 'lhs'"),
    ("cmp-dup-op", Cmp, (1, 2, CmpType.Less), {"op": CmpType.Less}, "Cmp.__new__() got multiple values for argument 'op'"),
    (
        "specoption-dup",
        SpecOption,
        ("p",),
        {"package_name": "q"},
        "SpecOption.__new__() got multiple values for argument 'package_name'",
    ),
    ("if_then-dup", if_then_method, (D,), {"then": D}, "Cmp.if_then() got multiple values for argument 'then'"),
    (
        "outline-dup",
        PackageOutline,
        ("p", []),
        {"constraints": []},
        "PackageOutline.__new__() got multiple values for argument 'constraints'",
    ),
    # Unknown keywords, reported before missing arguments.
    ("depends-unexpected", Depends, (), {"nom": "a"}, "Depends.__new__() got an unexpected keyword argument 'nom'"),
    ("cmp-unexpected", Cmp, (), {"lhs": 1, "bogus": 2}, "Cmp.__new__() got an unexpected keyword argument 'bogus'"),
    ("ifthen-case", IfThen, (D,), {"Then": D}, "IfThen.__new__() got an unexpected keyword argument 'Then'"),
    ("if_then-unexpected", if_then_method, (), {"than": D}, "Cmp.if_then() got an unexpected keyword argument 'than'"),
    ("maximize-unexpected", Maximize, (1,), {"kwargs": 1}, "Maximize.__new__() got an unexpected keyword argument 'kwargs'"),
    # Keywords are taken in call order: whichever fault comes first is reported.
    ("order-dup-first", Cmp, (1,), {"lhs": 2, "bogus": 3}, "Cmp.__new__() got multiple values for argument 'lhs'"),
    ("order-unexpected-first", Cmp, (1,), {"bogus": 3, "lhs": 2}, "Cmp.__new__() got an unexpected keyword argument 'bogus'"),
    # Missing required arguments, listed in parameter order.
    ("cmp-0", Cmp, (), {}, "Cmp.__new__() missing 3 required positional arguments: 'lhs', 'rhs', and 'op'"),
    ("cmp-1", Cmp, (1,), {}, "Cmp.__new__() missing 2 required positional arguments: 'rhs' and 'op'"),
    ("cmp-2", Cmp, (1, 2), {}, "Cmp.__new__() missing 1 required positional argument: 'op'"),
    ("cmp-kw-rhs", Cmp, (), {"rhs": 1}, "Cmp.__new__() missing 2 required positional arguments: 'lhs' and 'op'"),
    ("cmp-kw-op", Cmp, (), {"op": CmpType.Less}, "Cmp.__new__() missing 2 required positional arguments: 'lhs' and 'rhs'"),
    ("cmp-kw-lhs-op", Cmp, (), {"op": CmpType.Less, "lhs": 1}, "Cmp.__new__() missing 1 required positional argument: 'rhs'"),
    ("ifthen-0", IfThen, (), {}, "IfThen.__new__() missing 2 required positional arguments: 'cond' and 'then'"),
    ("ifthen-1", IfThen, (D,), {}, "IfThen.__new__() missing 1 required positional argument: 'then'"),
    ("ifthen-kw-then", IfThen, (), {"then": D}, "IfThen.__new__() missing 1 required positional argument: 'cond'"),
    (
        "specoption-0",
        SpecOption,
        (),
        {},
        "SpecOption.__new__() missing 2 required positional arguments: 'package_name' and 'option_name'",
    ),
    (
        "specoption-kw",
        SpecOption,
        (),
        {"option_name": "o"},
        "SpecOption.__new__() missing 1 required positional argument: 'package_name'",
    ),
    ("depends-0", Depends, (), {}, "Depends.__new__() missing 1 required positional argument: 'name'"),
    ("maximize-0", Maximize, (), {}, "Maximize.__new__() missing 1 required positional argument: 'item'"),
    ("minimize-0", Minimize, (), {}, "Minimize.__new__() missing 1 required positional argument: 'item'"),
    ("numof-0", NumOf, (), {}, "NumOf.__new__() missing 1 required positional argument: 'of'"),
    ("if_then-0", if_then_method, (), {}, "Cmp.if_then() missing 1 required positional argument: 'then'"),
    ("outline-0", PackageOutline, (), {}, "PackageOutline.__new__() missing 1 required positional argument: 'name'"),
    (
        "outline-kw-only-constraints",
        PackageOutline,
        (),
        {"constraints": []},
        "PackageOutline.__new__() missing 1 required positional argument: 'name'",
    ),
]


@pytest.mark.parametrize(
    ("fn", "args", "kwargs", "message"), [row[1:] for row in BINDING_ERRORS], ids=[row[0] for row in BINDING_ERRORS]
)
def test_binding_errors(fn, args, kwargs, message):
    with pytest.raises(TypeError) as excinfo:
        fn(*args, **kwargs)
    assert type(excinfo.value) is TypeError
    assert str(excinfo.value) == message


# (id, call, check of the result)
KEYWORD_CALLS = [
    ("cmp", lambda: Cmp(op=CmpType.Less, rhs=2, lhs=1), lambda c: (c.lhs.value, c.rhs.value, int(c.op)) == (1, 2, 0)),
    ("cmp-mixed", lambda: Cmp(1, op=CmpType.Greater, rhs=2), lambda c: (c.lhs.value, c.rhs.value, int(c.op)) == (1, 2, 5)),
    ("depends", lambda: Depends(name="a"), lambda d: d.on == "a"),
    ("ifthen", lambda: IfThen(then=Depends("b"), cond=Depends("a")), lambda i: (i.cond.on, i.then.on) == ("a", "b")),
    ("maximize", lambda: Maximize(item=1), lambda m: m.item.value == 1),
    ("minimize", lambda: Minimize(item=2.5), lambda m: m.item.value == 2.5),
    ("numof", lambda: NumOf(of=[D, 1]), lambda n: [type(x).__name__ for x in n.of] == ["Depends", "Value"]),
    (
        "specoption",
        lambda: SpecOption(option_name="o", package_name="p"),
        lambda s: (s.package_name, s.option_name) == ("p", "o"),
    ),
    ("if_then", lambda: cmp().if_then(then=Depends("x")), lambda i: i.then.on == "x"),
    ("outline", lambda: PackageOutline(set_defaults={"a": None}, name="p"), lambda o: type(o) is PackageOutline),
    ("outline-positional", lambda: PackageOutline("p", [D], {"a": 1}, {"b": None}), lambda o: type(o) is PackageOutline),
]


@pytest.mark.parametrize(("call", "check"), [row[1:] for row in KEYWORD_CALLS], ids=[row[0] for row in KEYWORD_CALLS])
def test_keyword_and_positional_binding(call, check):
    assert check(call())


# ---------------------------------------------------------------- attribution


class Outer:
    class Inner:
        pass


# (id, call, message)
CONVERSION_ERRORS = [
    ("cmp-op-int", lambda: Cmp(1, 2, 1), "argument 'op': 'int' object cannot be cast as 'CmpType'"),
    ("cmp-op-str", lambda: Cmp(1, 2, "Less"), "argument 'op': 'str' object cannot be cast as 'CmpType'"),
    ("cmp-op-class", lambda: Cmp(1, 2, CmpType), "argument 'op': 'type' object cannot be cast as 'CmpType'"),
    ("cmp-lhs", lambda: Cmp(None, 2, CmpType.Less), "argument 'lhs': cannot convert '<class 'NoneType'>' to Constraint"),
    ("cmp-rhs", lambda: Cmp(1, [], CmpType.Less), "argument 'rhs': cannot convert '<class 'list'>' to Constraint"),
    # Converted in parameter order, whatever the keyword order.
    ("cmp-order", lambda: Cmp(op=1, rhs=None, lhs=None), "argument 'lhs': cannot convert '<class 'NoneType'>' to Constraint"),
    ("depends-int", lambda: Depends(5), "argument 'name': 'int' object cannot be cast as 'str'"),
    ("depends-bytes", lambda: Depends(b"a"), "argument 'name': 'bytes' object cannot be cast as 'str'"),
    ("depends-qualname", lambda: Depends(Outer.Inner()), "argument 'name': 'Outer.Inner' object cannot be cast as 'str'"),
    ("specoption-2nd", lambda: SpecOption("p", None), "argument 'option_name': 'NoneType' object cannot be cast as 'str'"),
    ("specoption-1st", lambda: SpecOption(1, None), "argument 'package_name': 'int' object cannot be cast as 'str'"),
    ("outline-name", lambda: PackageOutline(None), "argument 'name': 'NoneType' object cannot be cast as 'str'"),
    ("ifthen-then", lambda: IfThen(D, None), "argument 'then': cannot convert '<class 'NoneType'>' to Constraint"),
    ("if_then-then", lambda: cmp().if_then({}), "argument 'then': cannot convert '<class 'dict'>' to Constraint"),
    ("maximize-item", lambda: Maximize(object), "argument 'item': cannot convert '<class 'type'>' to Constraint"),
]


@pytest.mark.parametrize("call,message", [row[1:] for row in CONVERSION_ERRORS], ids=[row[0] for row in CONVERSION_ERRORS])
def test_conversion_errors_are_attributed(call, message):
    with pytest.raises(TypeError) as excinfo:
        call()
    assert type(excinfo.value) is TypeError
    assert str(excinfo.value) == message


def _set(obj, name, value):
    setattr(obj, name, value)


# (id, object factory, property, bad value, message)
SETTER_ERRORS = [
    ("on", lambda: Depends("a"), "on", 5, "argument 'on': 'int' object cannot be cast as 'str'"),
    ("op", cmp, "op", 3, "argument 'op': 'int' object cannot be cast as 'CmpType'"),
    ("lhs", cmp, "lhs", None, "argument 'lhs': cannot convert '<class 'NoneType'>' to Constraint"),
    ("package_name", spec, "package_name", 1, "argument 'package_name': 'int' object cannot be cast as 'str'"),
    ("value", lambda: cmp().rhs, "value", [], "argument 'value': cannot cast Python type '<class 'list'>' to SpecOptionValue"),
]


@pytest.mark.parametrize(
    "factory,name,value,message", [row[1:] for row in SETTER_ERRORS], ids=[row[0] for row in SETTER_ERRORS]
)
def test_setter_errors_are_attributed(factory, name, value, message):
    obj = factory()
    with pytest.raises(TypeError) as excinfo:
        setattr(obj, name, value)
    assert type(excinfo.value) is TypeError
    assert str(excinfo.value) == message


class Recorder:
    """Records every conversion attempt that reaches Python code."""

    def __init__(self):
        self.calls = []

    def __index__(self):
        self.calls.append("index")
        return 1


def test_first_failed_argument_stops_conversion():
    later = Recorder()
    with pytest.raises(TypeError, match="argument 'lhs'"):
        Cmp(None, later, CmpType.Less)
    assert later.calls == []

    earlier = Recorder()
    with pytest.raises(TypeError, match="argument 'rhs'"):
        Cmp(earlier, None, CmpType.Less)
    assert earlier.calls == ["index"]


class FailingSequence:
    """A sequence whose iteration raises after yielding one element."""

    def __init__(self, exc):
        self.exc = exc

    def __len__(self):
        return 2

    def __getitem__(self, index):
        raise AssertionError("elements are read by iteration, not by index")

    def __iter__(self):
        yield Depends("a")
        raise self.exc


class TypeErrorSubclass(TypeError):
    pass


def _numof_ctor(seq):
    NumOf(seq)


def _numof_setter(seq):
    NumOf([]).of = seq


def _outline_positional(seq):
    PackageOutline("p", seq)


def _outline_keyword(seq):
    PackageOutline("p", constraints=seq)


SEQUENCE_TARGETS = [
    ("numof", _numof_ctor, "of"),
    ("numof-setter", _numof_setter, "of"),
    ("outline", _outline_positional, "constraints"),
    ("outline-kw", _outline_keyword, "constraints"),
]


@pytest.mark.parametrize("target,param", [row[1:] for row in SEQUENCE_TARGETS], ids=[row[0] for row in SEQUENCE_TARGETS])
@pytest.mark.parametrize("with_cause", [True, False])
def test_exact_typeerror_is_prefixed_and_keeps_cause(target, param, with_cause):
    original = TypeError("boom")
    cause = ValueError("root")
    if with_cause:
        original.__cause__ = cause
    with pytest.raises(TypeError) as excinfo:
        target(FailingSequence(original))
    raised = excinfo.value
    assert type(raised) is TypeError
    assert raised is not original
    assert str(raised) == f"argument '{param}': boom"
    assert raised.__cause__ is (cause if with_cause else None)
    assert str(original) == "boom"  # the replaced exception is left alone


@pytest.mark.parametrize("target,param", [row[1:] for row in SEQUENCE_TARGETS], ids=[row[0] for row in SEQUENCE_TARGETS])
@pytest.mark.parametrize(
    "make_exc",
    [lambda: TypeErrorSubclass("boom"), lambda: ValueError("boom"), lambda: KeyError("boom"), lambda: OverflowError("boom")],
    ids=["TypeError-subclass", "ValueError", "KeyError", "OverflowError"],
)
def test_other_exceptions_pass_unchanged(target, param, make_exc):
    original = make_exc()
    with pytest.raises(BaseException) as excinfo:
        target(FailingSequence(original))
    assert excinfo.value is original
    assert "argument" not in str(excinfo.value)


@pytest.mark.parametrize(
    "call",
    [
        lambda: Depends("\udc80"),
        lambda: SpecOption("p", "x\ud800"),
        lambda: PackageOutline("\ud800"),
        lambda: setattr(Depends("a"), "on", "\ud800"),
    ],
    ids=["Depends", "SpecOption", "PackageOutline", "on-setter"],
)
def test_encoding_errors_pass_unchanged(call):
    with pytest.raises(UnicodeEncodeError) as excinfo:
        call()
    assert not str(excinfo.value).startswith("argument")


# ---------------------------------------------------------------- PanicException and the thread check


def _if_then_abc():
    return IfThen(Depends("a"), Depends("b"))


def _panic():
    obj = _if_then_abc()
    outcome = run_in_thread(lambda: obj.cond)
    assert outcome.error is not None
    return outcome


def test_panic_exception_class():
    outcome = _panic()
    exc = outcome.error
    cls = type(exc)
    assert cls.__name__ == "PanicException"
    assert cls.__bases__ == (BaseException,)
    assert not isinstance(exc, Exception)
    assert not outcome.caught_as_exception
    assert isinstance(cls.__doc__, str) and "BaseException" in cls.__doc__
    assert len(exc.args) == 1
    assert str(exc) == exc.args[0]
    assert IFTHEN_SENT in exc.args[0]


def test_panic_exception_is_one_class():
    first = _panic().error
    obj = _if_then_abc()
    second = run_in_thread(lambda: obj == 1).error
    assert type(first) is type(second)


# Every use of an IfThen away from its owning thread.
FOREIGN_USES = [
    ("get-cond", lambda i: i.cond),
    ("get-then", lambda i: i.then),
    ("set-cond", lambda i: setattr(i, "cond", Depends("x"))),
    ("set-then", lambda i: setattr(i, "then", Depends("x"))),
    ("eq", lambda i: i == 1),
    ("eq-none", lambda i: i == None),  # noqa: E711
    ("ne-depends", lambda i: i != Depends("x")),
    ("lt", lambda i: i < 1),
    ("reflected", lambda i: 1 == i),
    ("right-operand", lambda i: Depends("x") == i),
    ("maximize", lambda i: Maximize(i)),
    ("minimize", lambda i: Minimize(i)),
    ("cmp", lambda i: Cmp(i, 1, CmpType.Less)),
    ("cmp-rhs", lambda i: Cmp(1, i, CmpType.Equal)),
    ("ifthen", lambda i: IfThen(i, 1)),
    ("numof", lambda i: NumOf([i])),
    ("numof-second", lambda i: NumOf([Depends("a"), i])),
    ("outline", lambda i: PackageOutline("p", [i])),
    ("if_then", lambda i: cmp().if_then(i)),
    ("setter-of-other", lambda i: setattr(Maximize(1), "item", i)),
    ("setter-of-minimize", lambda i: setattr(Minimize(1), "item", i)),
]


@pytest.mark.parametrize("use", [row[1] for row in FOREIGN_USES], ids=[row[0] for row in FOREIGN_USES])
def test_ifthen_used_on_another_thread(use):
    obj = _if_then_abc()
    outcome = run_in_thread(lambda: use(obj))
    exc = outcome.error
    assert type(exc).__name__ == "PanicException", repr(exc)
    assert not outcome.caught_as_exception
    assert IFTHEN_SENT in str(exc)
    # Nothing changed, and the owning thread can still use it.
    assert (obj.cond.on, obj.then.on) == ("a", "b")
    obj.then = Depends("c")
    assert obj.then.on == "c"


@pytest.mark.no_leak_check("an IfThen dropped away from its thread leaks its payload by design")
@pytest.mark.thread_unsafe(reason="replaces sys.unraisablehook, which is process-wide")
def test_ifthen_results_belong_to_the_thread_that_made_them():
    holder = Maximize(_if_then_abc())

    def work():
        inner = holder.item  # a new IfThen, made on this thread
        made = cmp().if_then(Depends("z"))
        return [inner, made], (inner.cond.on, made.then.on)

    outcome = run_in_thread(work)
    assert outcome.error is None, outcome.error
    objects, texts = outcome.result
    outcome = None
    assert texts == ("a", "z")
    for obj in objects:
        with pytest.raises(BaseException) as excinfo:
            obj.cond  # noqa: B018
        assert type(excinfo.value).__name__ == "PanicException"
        assert IFTHEN_SENT in str(excinfo.value)
    del obj, excinfo
    with capture_unraisable() as seen:
        objects.clear()  # dropped here, away from the thread that created them
    assert _dropped_reports(seen) == [(RuntimeError, IFTHEN_DROPPED)] * 2


def _dropped_reports(seen):
    return [(r.exc_type, str(r.exc_value)) for r in seen]


@pytest.mark.no_leak_check("an IfThen dropped away from its thread leaks its payload by design")
@pytest.mark.thread_unsafe(reason="replaces sys.unraisablehook, which is process-wide")
def test_ifthen_made_on_a_thread_and_dropped_on_main():
    outcome = run_in_thread(_if_then_abc)
    assert outcome.error is None
    with capture_unraisable() as seen:
        outcome.result = None
    assert _dropped_reports(seen) == [(RuntimeError, IFTHEN_DROPPED)]


@pytest.mark.no_leak_check("an IfThen dropped away from its thread leaks its payload by design")
@pytest.mark.thread_unsafe(reason="replaces sys.unraisablehook, which is process-wide")
@pytest.mark.skipif(
    FREE_THREADED,
    reason="the free-threaded interpreter hands the last decref of an object back to its creating thread",
)
def test_ifthen_made_on_main_and_dropped_on_a_thread():
    box = [_if_then_abc()]

    def drop():
        obj = box.pop()
        del obj

    with capture_unraisable() as seen:
        outcome = run_in_thread(drop)
    assert outcome.error is None
    assert _dropped_reports(seen) == [(RuntimeError, IFTHEN_DROPPED)]


@pytest.mark.thread_unsafe(reason="replaces sys.unraisablehook, which is process-wide")
def test_ifthen_dropped_on_its_own_thread_reports_nothing():
    def make_and_drop():
        obj = _if_then_abc()
        assert obj.cond.on == "a"
        del obj

    with capture_unraisable() as seen:
        outcome = run_in_thread(make_and_drop)
        obj = _if_then_abc()
        del obj
    assert outcome.error is None
    assert seen == []


# ---------------------------------------------------------------- unprintable objects


class RaisingStrMeta(type):
    def __str__(cls):
        raise ValueError("no text for this type")


class Unprintable(metaclass=RaisingStrMeta):
    pass


UNPRINTABLE_TYPE = "<unprintable RaisingStrMeta object>"

# (id, call, message)
UNPRINTABLE_CASES = [
    ("cmp-lhs", lambda x: Cmp(x, 1, CmpType.Equal), f"argument 'lhs': cannot convert '{UNPRINTABLE_TYPE}' to Constraint"),
    ("maximize", lambda x: Maximize(x), f"argument 'item': cannot convert '{UNPRINTABLE_TYPE}' to Constraint"),
    ("numof", lambda x: NumOf([1, x]), f"argument 'of': cannot convert '{UNPRINTABLE_TYPE}' to Constraint"),
    ("setter", lambda x: setattr(cmp(), "rhs", x), f"argument 'rhs': cannot convert '{UNPRINTABLE_TYPE}' to Constraint"),
    (
        "value",
        lambda x: setattr(cmp().rhs, "value", x),
        f"argument 'value': cannot cast Python type '{UNPRINTABLE_TYPE}' to SpecOptionValue",
    ),
    (
        "outline-constraints",
        lambda x: PackageOutline("p", [x]),
        f"argument 'constraints': cannot convert '{UNPRINTABLE_TYPE}' to Constraint",
    ),
    (
        "outline-options",
        lambda x: PackageOutline("p", set_options={"a": x}),
        f"argument 'set_options': cannot cast Python type '{UNPRINTABLE_TYPE}' to SpecOptionValue",
    ),
]


@pytest.mark.thread_unsafe(reason="replaces sys.unraisablehook, which is process-wide")
@pytest.mark.parametrize("call,message", [row[1:] for row in UNPRINTABLE_CASES], ids=[row[0] for row in UNPRINTABLE_CASES])
def test_unprintable_type_in_message(call, message):
    with capture_unraisable() as seen:
        with pytest.raises(TypeError) as excinfo:
            call(Unprintable())
    assert str(excinfo.value) == message
    assert len(seen) == 1
    assert seen[0].exc_type is ValueError
    assert str(seen[0].exc_value) == "no text for this type"
    assert seen[0].object is Unprintable


@pytest.mark.thread_unsafe(reason="replaces sys.unraisablehook, which is process-wide")
def test_type_name_messages_do_not_call_str():
    with capture_unraisable() as seen:
        with pytest.raises(TypeError) as excinfo:
            Depends(Unprintable())
    assert str(excinfo.value) == "argument 'name': 'Unprintable' object cannot be cast as 'str'"
    assert seen == []
