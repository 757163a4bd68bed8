"""Turning Python objects into constraints and option values, and constraints back into objects."""

import array
import collections
import enum
import math
from decimal import Decimal
from fractions import Fraction

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
from brenk.package.outline import PackageOutline
from brenk.package.version import Version
from helpers import LenRaises, UserSeq, capture_unraisable, panic_type, render

pytestmark = [pytest.mark.smoke, pytest.mark.tsan]


# ---------------------------------------------------------------- sample types


class MyStr(str):
    pass


class MyInt(int):
    pass


class MyFloat(float):
    pass


class Colour(enum.IntEnum):
    RED = 4


class Index:
    def __init__(self, v):
        self.v = v

    def __index__(self):
        return self.v


class Flt:
    def __init__(self, v):
        self.v = v

    def __float__(self):
        return self.v


class IndexAndFloat:
    def __index__(self):
        return 3

    def __float__(self):
        return 9.5


class IntOnly:
    def __int__(self):
        return 5


class RaisingIndex:
    def __index__(self):
        raise ValueError("no index")


class RaisingFloat:
    def __float__(self):
        raise ValueError("no float")


def _fake_numpy_bool(truth):
    """A type named bool_ living in a module named numpy; the boolean test keys on those names."""
    ns = {"__module__": "numpy", "__bool__": lambda self: truth, "__index__": lambda self: 42}
    return type("bool_", (), ns)()


def _fake_numpy_bool_without_truth():
    ns = {"__module__": "numpy"}
    return type("bool_", (), ns)()


def _np():
    return pytest.importorskip("numpy", exc_type=ImportError)


# (id, factory, exact result type, expected value)
ACCEPTED = [
    ("true", lambda: True, bool, True),
    ("false", lambda: False, bool, False),
    ("one", lambda: 1, int, 1),
    ("zero", lambda: 0, int, 0),
    ("minus_one", lambda: -1, int, -1),
    ("int_max", lambda: 2**63 - 1, int, 9223372036854775807),
    ("int_min", lambda: -(2**63), int, -9223372036854775808),
    ("above_int_max", lambda: 2**63, float, 9223372036854775808.0),
    ("below_int_min", lambda: -(2**63) - 1, float, -9223372036854775808.0),
    ("big_int_as_float", lambda: 10**300, float, 1e300),
    ("float_one", lambda: 1.0, float, 1.0),
    ("float_two", lambda: 2.0, float, 2.0),
    ("float_minus_one", lambda: -1.0, float, -1.0),
    ("float_fraction", lambda: 0.1, float, 0.1),
    ("nan", lambda: math.nan, float, math.nan),
    ("inf", lambda: math.inf, float, math.inf),
    ("minus_inf", lambda: -math.inf, float, -math.inf),
    ("minus_zero", lambda: -0.0, float, -0.0),
    ("str", lambda: "x", str, "x"),
    ("empty_str", lambda: "", str, ""),
    ("numeric_str", lambda: "5", str, "5"),
    ("non_ascii_str", lambda: "ünï✓😀\0", str, "ünï✓😀\0"),
    ("str_subclass", lambda: MyStr("sub"), str, "sub"),
    ("int_subclass", lambda: MyInt(7), int, 7),
    ("int_enum", lambda: Colour.RED, int, 4),
    ("float_subclass", lambda: MyFloat(1.25), float, 1.25),
    ("index_object", lambda: Index(5), int, 5),
    ("index_minus_one", lambda: Index(-1), int, -1),
    ("index_too_big", lambda: Index(2**70), float, float(2**70)),
    ("float_object", lambda: Flt(2.5), float, 2.5),
    ("float_object_minus_one", lambda: Flt(-1.0), float, -1.0),
    ("index_before_float", lambda: IndexAndFloat(), int, 3),
    ("decimal", lambda: Decimal("2.5"), float, 2.5),
    ("decimal_integral", lambda: Decimal(7), float, 7.0),
    ("decimal_nan", lambda: Decimal("NaN"), float, math.nan),
    ("fraction", lambda: Fraction(1, 2), float, 0.5),
    ("fake_numpy_bool", lambda: _fake_numpy_bool(True), bool, True),
    ("fake_numpy_bool_false", lambda: _fake_numpy_bool(False), bool, False),
    ("numpy_bool_true", lambda: _np().bool_(True), bool, True),
    ("numpy_bool_false", lambda: _np().bool_(False), bool, False),
    ("numpy_int64", lambda: _np().int64(-1), int, -1),
    ("numpy_int8", lambda: _np().int8(-3), int, -3),
    ("numpy_uint64_max", lambda: _np().uint64(2**64 - 1), float, 18446744073709551615.0),
    ("numpy_float64", lambda: _np().float64(2.5), float, 2.5),
    ("numpy_float32", lambda: _np().float32(0.5), float, 0.5),
    ("numpy_0d_int_array", lambda: _np().array(6), int, 6),
]

# (id, factory) for objects no test accepts
REJECTED = [
    ("none", lambda: None),
    ("list", lambda: [1]),
    ("empty_list", lambda: []),
    ("tuple", lambda: (1,)),
    ("dict", lambda: {"a": 1}),
    ("set", lambda: {1}),
    ("object", lambda: object()),
    ("bytes", lambda: b"5"),
    ("complex", lambda: 1 + 2j),
    ("cmptype_member", lambda: CmpType.Less),
    ("int_2_1024", lambda: 2**1024),
    ("int_10_400", lambda: 10**400),
    ("int_minus_10_400", lambda: -(10**400)),
    ("lone_surrogate", lambda: "\ud800"),
    ("inner_lone_surrogate", lambda: "a\udfffb"),
    ("int_only", lambda: IntOnly()),
    ("raising_index", lambda: RaisingIndex()),
    ("raising_float", lambda: RaisingFloat()),
    ("decimal_snan", lambda: Decimal("sNaN")),
    ("fake_numpy_bool_without_truth", _fake_numpy_bool_without_truth),
    ("numpy_array", lambda: _np().array([1.5, 2.5])),
]


def _check_value(got, expected_type, expected):
    if expected_type is Version:
        assert type(got) is Version
        assert str(got) == str(expected)
        return
    assert type(got) is expected_type, (got, expected_type)
    if isinstance(expected, float) and math.isnan(expected):
        assert math.isnan(got)
    else:
        assert got == expected
        if isinstance(expected, float):
            assert math.copysign(1.0, got) == math.copysign(1.0, expected)


ENTRY_IDS = ["constructor", "setter", "numof_element", "value_setter"]


def _through(entry, obj):
    """Convert obj through one of the module's entry points and return the value it holds."""
    if entry == "constructor":
        v = Maximize(obj).item
    elif entry == "setter":
        m = Minimize(0)
        m.item = obj
        v = m.item
    elif entry == "numof_element":
        (v,) = NumOf([obj]).of
    else:
        v = Maximize(0).item
        v.value = obj
    assert type(v) is Value
    return v.value


@pytest.mark.parametrize("entry", ENTRY_IDS)
@pytest.mark.parametrize("make, expected_type, expected", [c[1:] for c in ACCEPTED], ids=[c[0] for c in ACCEPTED])
def test_accepted_values(entry, make, expected_type, expected):
    _check_value(_through(entry, make()), expected_type, expected)


@pytest.mark.parametrize("make, expected_type, expected", [c[1:] for c in ACCEPTED], ids=[c[0] for c in ACCEPTED])
def test_accepted_values_in_an_outline(make, expected_type, expected):
    obj = make()
    PackageOutline("p", [obj], set_options={"k": obj}, set_defaults={"k": obj})


def test_version_value_is_copied_into_a_new_object():
    ver = Version("1.2.0-rc1+build5")
    for entry in ENTRY_IDS:
        got = _through(entry, ver)
        assert type(got) is Version and got is not ver
        assert str(got) == "1.2.0-rc1+build5"
        assert repr(got) == repr(ver)
    v = Maximize(ver).item
    assert v.value is not v.value


@pytest.mark.parametrize("entry", ["constructor", "setter", "numof_element"])
@pytest.mark.parametrize("make", [c[1] for c in REJECTED], ids=[c[0] for c in REJECTED])
def test_rejected_as_constraint(entry, make):
    obj = make()
    name = {"constructor": "item", "setter": "item", "numof_element": "of"}[entry]
    with pytest.raises(TypeError) as info:
        _through(entry, obj)
    assert type(info.value) is TypeError
    assert str(info.value) == f"argument '{name}': cannot convert '{type(obj)}' to Constraint"


@pytest.mark.parametrize("make", [c[1] for c in REJECTED], ids=[c[0] for c in REJECTED])
def test_rejected_as_option_value(make):
    obj = make()
    v = Maximize(0).item
    with pytest.raises(TypeError) as info:
        v.value = obj
    assert type(info.value) is TypeError
    assert str(info.value) == f"argument 'value': cannot cast Python type '{type(obj)}' to SpecOptionValue"
    assert v.value == 0
    for param in ("set_options", "set_defaults") if obj is not None else ("set_options",):
        with pytest.raises(TypeError) as info:
            PackageOutline("p", **{param: {"k": obj}})
        assert str(info.value) == f"argument '{param}': cannot cast Python type '{type(obj)}' to SpecOptionValue"
    with pytest.raises(TypeError) as info:
        PackageOutline("p", [Depends("ok"), obj])
    assert str(info.value) == f"argument 'constraints': cannot convert '{type(obj)}' to Constraint"


@pytest.mark.parametrize("make", [c[1] for c in REJECTED], ids=[c[0] for c in REJECTED])
def test_rejected_right_operand_falls_back_to_python(make):
    obj = make()
    d = Depends("a")
    if type(obj).__module__ == "numpy" and type(obj).__name__ == "ndarray":
        pytest.skip("numpy arrays compare element-wise when asked the reflected question")
    assert (d == obj) is False
    assert (d != obj) is True
    with pytest.raises(TypeError, match="not supported"):
        d < obj


def test_value_object_yields_its_own_value():
    # the class test comes before the value tests: a Value holding "5" stays a string
    five = Maximize("5").item
    got = Maximize(five).item
    assert type(got.value) is str and got.value == "5"
    one = Maximize(True).item
    assert Maximize(one).item.value is True


# ---------------------------------------------------------------- unprintable type names


class LoudMeta(type):
    def __str__(cls):
        raise RuntimeError("type has no text")


class Unprintable(metaclass=LoudMeta):
    pass


@pytest.mark.thread_unsafe(reason="replaces sys.unraisablehook, which is process-wide")
def test_unprintable_type_name_uses_fallback_and_reports():
    with capture_unraisable() as seen:
        with pytest.raises(TypeError) as info:
            Maximize(Unprintable())
        assert str(info.value) == "argument 'item': cannot convert '<unprintable LoudMeta object>' to Constraint"
        assert len(seen) == 1 and isinstance(seen[0].exc_value, RuntimeError)
        seen.clear()
        v = Maximize(0).item
        with pytest.raises(TypeError) as info:
            v.value = Unprintable()
        assert str(info.value) == "argument 'value': cannot cast Python type '<unprintable LoudMeta object>' to SpecOptionValue"
        assert len(seen) == 1


# ---------------------------------------------------------------- constraint_to_object


CONSTRAINT_SAMPLES = {
    "Cmp": lambda: Cmp(SpecOption("p", "o"), 3, CmpType.Equal),
    "Depends": lambda: Depends("libx"),
    "IfThen": lambda: IfThen(Depends("c"), Depends("t")),
    "Maximize": lambda: Maximize(2.5),
    "Minimize": lambda: Minimize(Depends("m")),
    "NumOf": lambda: NumOf([Depends("a"), 1]),
    "SpecOption": lambda: SpecOption("p", "o"),
    "Value": lambda: Maximize("v").item,
}


@pytest.mark.parametrize("kind", list(CONSTRAINT_SAMPLES))
def test_objects_come_back_as_their_own_class(kind):
    obj = CONSTRAINT_SAMPLES[kind]()
    for got in (Maximize(obj).item, NumOf([obj]).of[0], IfThen(obj, 1).cond, Cmp(1, obj, CmpType.Less).rhs):
        assert type(got) is type(obj) and type(got).__name__ == kind
        assert got is not obj
        assert render(got) == render(obj)


# ---------------------------------------------------------------- sequences


class IterOnlyWorks(UserSeq):
    """Indexing is broken; only iteration gives the elements."""

    def __getitem__(self, i):
        raise AssertionError("indexed")

    def __iter__(self):
        return iter(self.items)


class IterOnly:
    def __iter__(self):
        return iter([Depends("a")])


class MyDict(dict):
    pass


def _gen():
    yield Depends("a")


SEQ_ACCEPTED = [
    ("list", lambda: [Depends("a"), 1], "NumOf( Depends( a ), 1 )"),
    ("tuple", lambda: (Depends("a"), Depends("b")), "NumOf( Depends( a ), Depends( b ) )"),
    ("empty", lambda: [], "NumOf(  )"),
    ("duplicates", lambda: [Depends("a")] * 3, "NumOf( Depends( a ), Depends( a ), Depends( a ) )"),
    ("range", lambda: range(3), "NumOf( 0, 1, 2 )"),
    ("bytes", lambda: b"ab", "NumOf( 97, 98 )"),
    ("deque", lambda: collections.deque(["x", 2.5]), "NumOf( x, 2.5 )"),
    ("array", lambda: array.array("i", [4, 5]), "NumOf( 4, 5 )"),
    ("user_list", lambda: collections.UserList([True]), "NumOf( true )"),
    ("user_sequence", lambda: UserSeq([Depends("u"), 7]), "NumOf( Depends( u ), 7 )"),
    ("length_raises", lambda: LenRaises([Depends("l")]), "NumOf( Depends( l ) )"),
    ("iterated_not_indexed", lambda: IterOnlyWorks([1, 2]), "NumOf( 1, 2 )"),
    ("nested", lambda: [NumOf([1]), NumOf([])], "NumOf( NumOf( 1 ), NumOf(  ) )"),
]

SEQ_REJECTED = [
    ("str", lambda: "ab", "Can't extract `str` to `Vec`"),
    ("empty_str", lambda: "", "Can't extract `str` to `Vec`"),
    ("str_subclass", lambda: MyStr("ab"), "Can't extract `str` to `Vec`"),
    ("int", lambda: 5, "'int' object cannot be cast as 'Sequence'"),
    ("none", lambda: None, "'NoneType' object cannot be cast as 'Sequence'"),
    ("set", lambda: {1}, "'set' object cannot be cast as 'Sequence'"),
    ("frozenset", lambda: frozenset(), "'frozenset' object cannot be cast as 'Sequence'"),
    ("dict", lambda: {1: 2}, "'dict' object cannot be cast as 'Sequence'"),
    ("dict_subclass", lambda: MyDict(), "'MyDict' object cannot be cast as 'Sequence'"),
    ("dict_keys", lambda: {1: 2}.keys(), "'dict_keys' object cannot be cast as 'Sequence'"),
    ("generator", _gen, "'generator' object cannot be cast as 'Sequence'"),
    ("iterator", lambda: iter([1]), "'list_iterator' object cannot be cast as 'Sequence'"),
    ("iterable_only", lambda: IterOnly(), "'IterOnly' object cannot be cast as 'Sequence'"),
    ("constraint", lambda: Depends("a"), "'Depends' object cannot be cast as 'Sequence'"),
]


@pytest.mark.parametrize("make, text", [c[1:] for c in SEQ_ACCEPTED], ids=[c[0] for c in SEQ_ACCEPTED])
def test_sequences_accepted(make, text):
    assert render(NumOf(make())) == text
    n = NumOf([])
    n.of = make()
    assert render(n) == text
    PackageOutline("p", make())


@pytest.mark.parametrize("make, message", [c[1:] for c in SEQ_REJECTED], ids=[c[0] for c in SEQ_REJECTED])
def test_sequences_rejected(make, message):
    with pytest.raises(TypeError) as info:
        NumOf(make())
    assert type(info.value) is TypeError
    assert str(info.value) == f"argument 'of': {message}"
    n = NumOf([1])
    with pytest.raises(TypeError) as info:
        n.of = make()
    assert str(info.value) == f"argument 'of': {message}"
    assert render(n) == "NumOf( 1 )"
    if make() is None:
        return  # None means "no constraints" to an outline
    with pytest.raises(TypeError) as info:
        PackageOutline("p", make())
    assert str(info.value) == f"argument 'constraints': {message}"


def test_string_is_never_iterated():
    class LoudStr(str):
        def __iter__(self):
            raise AssertionError("iterated")

        def __len__(self):
            raise AssertionError("measured")

    with pytest.raises(TypeError, match="Can't extract `str` to `Vec`"):
        NumOf(LoudStr("ab"))


class IterRaises(UserSeq):
    def __init__(self, exc):
        super().__init__([])
        self.exc = exc

    def __iter__(self):
        yield Depends("first")
        raise self.exc


class MyTypeError(TypeError):
    pass


def test_iteration_errors():
    # a plain TypeError is attributed to the argument and keeps its cause
    cause = KeyError("k")
    err = TypeError("boom")
    err.__cause__ = cause
    with pytest.raises(TypeError) as info:
        NumOf(IterRaises(err))
    assert type(info.value) is TypeError
    assert str(info.value) == "argument 'of': boom"
    assert info.value.__cause__ is cause
    # a subclass of TypeError and other types pass through unchanged
    sub = MyTypeError("sub")
    with pytest.raises(MyTypeError) as info:
        NumOf(IterRaises(sub))
    assert info.value is sub
    val = ValueError("v")
    with pytest.raises(ValueError) as info:
        NumOf(IterRaises(val))
    assert info.value is val
    with pytest.raises(TypeError) as info:
        PackageOutline("p", IterRaises(TypeError("bad")))
    assert str(info.value) == "argument 'constraints': bad"


def test_element_mutating_the_list_during_conversion():
    lst = [Depends("a"), None, Depends("b")]

    class Shrinks:
        def __index__(self):
            lst[:] = [Depends("p"), Depends("q"), Depends("r")]
            return 7

    lst[1] = Shrinks()
    # the list is walked with its iterator: after the second element comes whatever is third now
    assert render(NumOf(lst)) == "NumOf( Depends( a ), 7, Depends( r ) )"

    lst2 = [None, Depends("never")]

    class Clears:
        def __index__(self):
            lst2.clear()
            return 1

    lst2[0] = Clears()
    assert render(NumOf(lst2)) == "NumOf( 1 )"

    lst3 = [None]

    class Grows:
        calls = 0

        def __index__(self):
            Grows.calls += 1
            if Grows.calls < 3:
                lst3.append(Grows())
            return Grows.calls

    lst3[0] = Grows()
    assert render(NumOf(lst3)) == "NumOf( 1, 2, 3 )"


# ---------------------------------------------------------------- internal failures from callbacks


@pytest.mark.thread_unsafe(reason="its gc.collect() would free IfThen garbage of other threads on this one")
def test_panic_from_callbacks_propagates():
    Panic = panic_type()
    assert issubclass(Panic, BaseException) and not issubclass(Panic, Exception)

    class PanicIndex:
        def __index__(self):
            raise Panic("from index")

    class PanicFloat:
        def __float__(self):
            raise Panic("from float")

    class PanicLen(UserSeq):
        def __len__(self):
            raise Panic("from len")

    class PanicIter(UserSeq):
        def __iter__(self):
            raise Panic("from iter")

    calls = [
        lambda: Maximize(PanicIndex()),
        lambda: Maximize(PanicFloat()),
        lambda: NumOf([PanicIndex()]),
        lambda: setattr(Maximize(0).item, "value", PanicIndex()),
        lambda: setattr(Maximize(0).item, "value", PanicFloat()),
        lambda: setattr(Minimize(0), "item", PanicFloat()),
        lambda: Cmp(SpecOption("p", "o"), PanicIndex(), CmpType.Equal),
        lambda: Cmp(1, 1, CmpType.Equal).if_then(PanicIndex()),
        lambda: NumOf([1]) == PanicIndex(),
        lambda: NumOf([1]) < PanicFloat(),
        lambda: Depends("a") == PanicIndex(),
        lambda: PackageOutline("p", [PanicIndex()]),
        lambda: PackageOutline("p", set_options={"k": PanicIndex()}),
        lambda: PackageOutline("p", set_defaults={"k": PanicFloat()}),
        lambda: NumOf(PanicLen([1])),
        lambda: NumOf(PanicIter([1])),
    ]
    for call in calls:
        with pytest.raises(BaseException) as info:
            call()
        assert isinstance(info.value, Panic), (call, info.value)
