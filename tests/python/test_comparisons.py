"""Comparison operators building Cmp objects, their type check, text rendering and if_then."""

import inspect
import operator

import pytest

import brenk  # noqa: F401
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
from brenk.package.version import Version
from helpers import render

pytestmark = [pytest.mark.smoke, pytest.mark.tsan]


# (symbol, function, CmpType member name, int value)
OPS = [
    ("<", operator.lt, "Less", 0),
    ("<=", operator.le, "LessOrEqual", 1),
    ("==", operator.eq, "Equal", 3),
    ("!=", operator.ne, "NotEqual", 2),
    (">", operator.gt, "Greater", 5),
    (">=", operator.ge, "GreaterOrEqual", 4),
]
OP_IDS = ["lt", "le", "eq", "ne", "gt", "ge"]
REFLECTED = {"<": ">", "<=": ">=", "==": "==", "!=": "!=", ">": "<", ">=": "<="}
BY_SYMBOL = {o[0]: o for o in OPS}

# name -> (factory, value type or None, rendering)
CONSTRAINTS = {
    "Cmp": (lambda: Cmp(SpecOption("p", "o"), 3, CmpType.Equal), "Bool", "[ Package 'p' -> Option 'o' ] == [ 3 ]"),
    "Depends": (lambda: Depends("x"), "Bool", "Depends( x )"),
    "IfThen": (lambda: IfThen(Depends("c"), Depends("t")), None, "If( Depends( c ) ) Then [ Depends( t ) ]"),
    "Maximize": (lambda: Maximize(2.5), None, "Maximize( 2.5 )"),
    "Minimize": (lambda: Minimize(7), None, "Minimize( 7 )"),
    "NumOf": (lambda: NumOf([Depends("a"), Depends("b")]), "Int", "NumOf( Depends( a ), Depends( b ) )"),
    "SpecOption": (lambda: SpecOption("p", "o"), "Unknown", "Package 'p' -> Option 'o'"),
    "ValueBool": (lambda: Maximize(True).item, "Bool", "true"),
    "ValueInt": (lambda: Maximize(3).item, "Int", "3"),
    "ValueFloat": (lambda: Maximize(2.5).item, "Float", "2.5"),
    "ValueStr": (lambda: Maximize("s").item, "Str", "s"),
    "ValueVersion": (lambda: Maximize(Version("1.2.0-rc1")).item, "Version", "1.2.0-rc1"),
}
PLAIN = {
    "True": (lambda: True, "Bool", "true"),
    "int": (lambda: 3, "Int", "3"),
    "float": (lambda: 2.5, "Float", "2.5"),
    "str": (lambda: "s", "Str", "s"),
    "Version": (lambda: Version("1.2.0-rc1"), "Version", "1.2.0-rc1"),
}


def _type_text(kind):
    return "None" if kind is None else f"Some({kind})"


# The operators accepted between two value types, written out: one row per left type, one column
# per right type, None for a constraint without a value type.
TYPES = ["Unknown", "Bool", "Int", "Float", "Str", "Version", None]
ALL, EQ, NO = {"<", "<=", "==", "!=", ">", ">="}, {"==", "!="}, set()
ACCEPTED = [
    # Unknown Bool Int Float Str Version None
    [ALL, NO, NO, NO, NO, NO, NO],  # Unknown
    [NO, EQ, NO, NO, NO, NO, NO],  # Bool
    [NO, NO, ALL, NO, NO, NO, NO],  # Int
    [NO, NO, NO, ALL, NO, NO, NO],  # Float
    [NO, NO, NO, NO, ALL, NO, NO],  # Str
    [NO, NO, NO, NO, NO, ALL, NO],  # Version
    [NO, NO, NO, NO, NO, NO, NO],  # None
]


def _accepted(lkind, rkind, sym):
    return sym in ACCEPTED[TYPES.index(lkind)][TYPES.index(rkind)]


def _check_outcome(run, left, lkind, ltext, right, rkind, rtext, sym):
    _, _, member, value = BY_SYMBOL[sym]
    if _accepted(lkind, rkind, sym):
        result = run()
        assert type(result) is Cmp
        assert type(result.lhs) is type(left)
        assert type(result.rhs) is (type(right) if isinstance(right, CONSTRAINT_CLASSES) else Value)
        assert int(result.op) == value
        assert repr(result.op) == f"CmpType.{member}"
        assert render(result) == f"[ {ltext} ] {sym} [ {rtext} ]"
    else:
        with pytest.raises(NotImplementedError) as info:
            run()
        assert str(info.value) == (
            f"Cannot compare type {_type_text(lkind)} from constraint {ltext} "
            f"with type {_type_text(rkind)} from constraint {rtext} using operator '{sym}'"
        )


CONSTRAINT_CLASSES = (Cmp, Depends, IfThen, Maximize, Minimize, NumOf, SpecOption, Value)


@pytest.mark.exhaustive
@pytest.mark.parametrize("op", OPS, ids=OP_IDS)
@pytest.mark.parametrize("rname", list(CONSTRAINTS) + list(PLAIN))
@pytest.mark.parametrize("lname", list(CONSTRAINTS))
def test_decision_table(lname, rname, op):
    sym, fn, _, _ = op
    lmake, lkind, ltext = CONSTRAINTS[lname]
    rmake, rkind, rtext = CONSTRAINTS.get(rname) or PLAIN[rname]
    left, right = lmake(), rmake()
    _check_outcome(lambda: fn(left, right), left, lkind, ltext, right, rkind, rtext, sym)


@pytest.mark.parametrize("op", OPS, ids=OP_IDS)
@pytest.mark.parametrize("rname", list(CONSTRAINTS))
@pytest.mark.parametrize("pname", list(PLAIN))
def test_plain_value_on_the_left_is_reflected(pname, rname, op):
    # p OP x is asked of x as x REFLECTED(OP) p, so x ends up on the left of the Cmp
    sym, fn, _, _ = op
    pmake, pkind, ptext = PLAIN[pname]
    xmake, xkind, xtext = CONSTRAINTS[rname]
    p, x = pmake(), xmake()
    _check_outcome(lambda: fn(p, x), x, xkind, xtext, p, pkind, ptext, REFLECTED[sym])


def test_messages_from_the_examples():
    with pytest.raises(NotImplementedError) as info:
        SpecOption("p", "o") < 3
    assert str(info.value) == (
        "Cannot compare type Some(Unknown) from constraint Package 'p' -> Option 'o' "
        "with type Some(Int) from constraint 3 using operator '<'"
    )
    with pytest.raises(NotImplementedError) as info:
        Depends("x") <= Depends("y")
    assert str(info.value) == (
        "Cannot compare type Some(Bool) from constraint Depends( x ) "
        "with type Some(Bool) from constraint Depends( y ) using operator '<='"
    )
    # Int and Float never mix, even when both render as 1
    with pytest.raises(NotImplementedError) as info:
        Maximize(1.0).item == Maximize(1).item
    assert str(info.value) == (
        "Cannot compare type Some(Float) from constraint 1 with type Some(Int) from constraint 1 using operator '=='"
    )


def test_refusal_is_an_exception_not_a_fallback():
    s = SpecOption("p", "o")
    for call in (lambda: s == 5, lambda: 5 == s, lambda: s != 5, lambda: Maximize(1) == Maximize(1)):
        with pytest.raises(NotImplementedError):
            call()


def test_reflected_numof():
    n = NumOf([Depends("a")])
    c = 3 < n
    assert type(c) is Cmp
    assert type(c.lhs) is NumOf
    assert type(c.rhs) is Value and c.rhs.value == 3
    assert repr(c.op) == "CmpType.Greater"
    c = 3 == n
    assert type(c.lhs) is NumOf and repr(c.op) == "CmpType.Equal"


def test_equality_yields_a_truthy_cmp():
    n = NumOf([])
    c = n == 5
    assert type(c) is Cmp and bool(c) is True
    c = n != 5
    assert type(c) is Cmp and bool(c) is True
    assert Depends("a") in [Depends("b")]
    assert [Depends("b")].index(Depends("a")) == 0


def test_comparison_results_are_independent_copies():
    n = NumOf([Depends("a")])
    r = n == 5
    n.of = []
    assert render(r) == "[ NumOf( Depends( a ) ) ] == [ 5 ]"
    lhs = r.lhs
    lhs.of = [1, 2]
    assert render(r) == "[ NumOf( Depends( a ) ) ] == [ 5 ]"


class Unconvertible:
    pass


class ReflectsEq:
    def __eq__(self, other):
        return "reflected"

    __hash__ = None


@pytest.mark.parametrize("name", list(CONSTRAINTS))
@pytest.mark.parametrize(
    "make", [lambda: None, lambda: [1], lambda: {}, lambda: Unconvertible()], ids=["None", "list", "dict", "object"]
)
def test_unconvertible_right_operand_uses_python_fallbacks(name, make):
    x, y = CONSTRAINTS[name][0](), make()
    assert (x == y) is False
    assert (x != y) is True
    assert (y == x) is False
    for fn in (operator.lt, operator.le, operator.gt, operator.ge):
        with pytest.raises(TypeError, match="not supported"):
            fn(x, y)
    assert x.__eq__(y) is NotImplemented
    assert x.__lt__(y) is NotImplemented


def test_other_operand_answers_when_conversion_fails():
    assert (Depends("a") == ReflectsEq()) == "reflected"


# ---------------------------------------------------------------- rendering


@pytest.mark.parametrize(
    "build, text",
    [
        (
            lambda: Cmp(SpecOption("pkg", "opt"), True, CmpType.Equal),
            "[ Package 'pkg' -> Option 'opt' ] == [ true ]",
        ),
        (
            lambda: IfThen(Cmp(SpecOption("pkg", "opt"), True, CmpType.Equal), Depends("libx")),
            "If( [ Package 'pkg' -> Option 'opt' ] == [ true ] ) Then [ Depends( libx ) ]",
        ),
        (lambda: NumOf([Depends("a"), Depends("b")]), "NumOf( Depends( a ), Depends( b ) )"),
        (lambda: Maximize(2.5), "Maximize( 2.5 )"),
        (lambda: Minimize(Depends("a")), "Minimize( Depends( a ) )"),
        (lambda: NumOf([]), "NumOf(  )"),
        (lambda: NumOf([Depends("a")]), "NumOf( Depends( a ) )"),
        (
            lambda: NumOf([NumOf([1, 2]), NumOf([]), NumOf([3])]),
            "NumOf( NumOf( 1, 2 ), NumOf(  ), NumOf( 3 ) )",
        ),
        (lambda: SpecOption("it's", "o'"), "Package 'it's' -> Option 'o''"),
        (lambda: Depends(""), "Depends(  )"),
        (lambda: Maximize("5").item, "5"),
        (lambda: Cmp("a", Cmp("b", "c", CmpType.Equal), CmpType.Less), "[ a ] < [ [ b ] == [ c ] ]"),
        (lambda: IfThen(IfThen(1, 2), IfThen(3, 4)), "If( If( 1 ) Then [ 2 ] ) Then [ If( 3 ) Then [ 4 ] ]"),
        (lambda: Maximize(Minimize(Maximize(0))), "Maximize( Minimize( Maximize( 0 ) ) )"),
    ],
)
def test_rendering(build, text):
    assert render(build()) == text


@pytest.mark.parametrize("op", OPS, ids=OP_IDS)
def test_operator_text_in_rendering(op):
    sym, _, member, _ = op
    assert render(Cmp(1, 2, getattr(CmpType, member))) == f"[ 1 ] {sym} [ 2 ]"


def test_rendering_survives_release_of_the_source():
    inner = NumOf([Depends("a"), Cmp(1, 2, CmpType.Less)])
    outer = Maximize(inner)
    del inner
    copy = outer.item
    del outer
    assert render(copy) == "NumOf( Depends( a ), [ 1 ] < [ 2 ] )"


# ---------------------------------------------------------------- if_then

IF_THEN_DOC = "Wrap this condition in an IfThen constraint.\n\ncond.if_then(then) => If ( cond ) Then ( then )"


def test_if_then_builds_an_implication():
    c = Cmp(SpecOption("pkg", "opt"), True, CmpType.Equal)
    i = c.if_then(Depends("libx"))
    assert type(i) is IfThen
    assert type(i.cond) is Cmp and type(i.then) is Depends
    assert render(i) == "If( [ Package 'pkg' -> Option 'opt' ] == [ true ] ) Then [ Depends( libx ) ]"
    # later changes to c leave the implication alone
    c.op = CmpType.NotEqual
    c.lhs = Depends("other")
    assert render(i) == "If( [ Package 'pkg' -> Option 'opt' ] == [ true ] ) Then [ Depends( libx ) ]"
    assert render(c.if_then(then=5)) == "If( [ Depends( other ) ] != [ true ] ) Then [ 5 ]"
    assert c.if_then(2.5).then.value == 2.5


def test_if_then_on_an_operator_result():
    i = (SpecOption("p", "o") == SpecOption("q", "r")).if_then(Depends("x"))
    assert render(i) == "If( [ Package 'p' -> Option 'o' ] == [ Package 'q' -> Option 'r' ] ) Then [ Depends( x ) ]"


def test_if_then_documentation():
    assert Cmp.if_then.__doc__ == IF_THEN_DOC
    assert Cmp.if_then.__text_signature__ == "($self, then)"
    c = Cmp(1, 2, CmpType.Less)
    assert list(inspect.signature(c.if_then).parameters) == ["then"]
    for cls in (Depends, IfThen, Maximize, Minimize, NumOf, SpecOption, Value):
        assert not hasattr(cls, "if_then")


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda c: c.if_then(), "Cmp.if_then() missing 1 required positional argument: 'then'"),
        (lambda c: c.if_then(1, 2), "Cmp.if_then() takes 1 positional arguments but 2 were given"),
        (lambda c: c.if_then(1, then=2), "Cmp.if_then() got multiple values for argument 'then'"),
        (lambda c: c.if_then(when=1), "Cmp.if_then() got an unexpected keyword argument 'when'"),
        (lambda c: c.if_then(None), "argument 'then': cannot convert '<class 'NoneType'>' to Constraint"),
        (lambda c: c.if_then([Depends("a")]), "argument 'then': cannot convert '<class 'list'>' to Constraint"),
    ],
)
def test_if_then_errors(call, message):
    c = Cmp(1, 2, CmpType.Less)
    with pytest.raises(TypeError) as info:
        call(c)
    assert type(info.value) is TypeError
    assert str(info.value) == message
    assert render(c) == "[ 1 ] < [ 2 ]"


# ---------------------------------------------------------------- callbacks during a comparison


def _sneaky(kind, action):
    """A right operand whose conversion runs `action` (via __index__ or __float__)."""

    class Sneaky:
        pass

    if kind == "index":
        Sneaky.__index__ = lambda self: action() or 3
    else:
        Sneaky.__float__ = lambda self: action() or 2.5
    return Sneaky()


@pytest.mark.parametrize("kind", ["index", "float"])
def test_setting_the_left_object_during_its_comparison_is_refused(kind):
    left = NumOf([Depends("a")]) if kind == "index" else Maximize(1.5).item
    before = render(left)
    errors = []

    def action():
        try:
            if kind == "index":
                left.of = []
            else:
                left.value = 9.0
        except RuntimeError as e:
            errors.append(str(e))

    result = left == _sneaky(kind, action)
    assert errors == ["Already borrowed"]
    assert render(left) == before
    rhs = "3" if kind == "index" else "2.5"
    assert render(result) == f"[ {before} ] == [ {rhs} ]"


@pytest.mark.parametrize("kind", ["index", "float"])
def test_refused_setter_escaping_the_callback_makes_the_operand_unconvertible(kind):
    left = NumOf([Depends("a")]) if kind == "index" else Maximize(1.5).item
    before = render(left)

    def action():
        if kind == "index":
            left.of = []
        else:
            left.value = 9.0

    other = _sneaky(kind, action)
    assert (left == other) is False
    with pytest.raises(TypeError, match="not supported"):
        left < other
    assert render(left) == before


def test_reading_the_left_object_during_its_comparison_works():
    n = NumOf([Depends("a")])
    seen = []
    result = n < _sneaky("index", lambda: seen.append(render(n)))
    assert seen == ["NumOf( Depends( a ) )"]
    assert render(result) == "[ NumOf( Depends( a ) ) ] < [ 3 ]"


def test_setting_the_cmp_during_if_then_is_refused():
    c = Cmp(1, 2, CmpType.Less)
    errors = []

    def action():
        try:
            c.lhs = Depends("changed")
        except RuntimeError as e:
            errors.append(str(e))

    i = c.if_then(_sneaky("index", action))
    assert errors == ["Already borrowed"]
    assert render(i) == "If( [ 1 ] < [ 2 ] ) Then [ 3 ]"
    assert render(c) == "[ 1 ] < [ 2 ]"


def test_setting_a_property_during_its_own_setter_conversion_works():
    c = Cmp(1, 2, CmpType.Less)

    def action():
        c.lhs = Depends("inner")
        assert render(c) == "[ Depends( inner ) ] < [ 2 ]"

    c.lhs = _sneaky("index", action)
    assert render(c) == "[ 3 ] < [ 2 ]"
