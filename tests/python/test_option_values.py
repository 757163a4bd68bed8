"""Option values held by Value objects: what they read back as and how they are written out."""

import math
from decimal import Decimal

import pytest

import brenk  # noqa: F401
from brenk.package.constraint import Cmp, CmpType, Depends, Maximize, NumOf, SpecOption, Value
from brenk.package.outline import PackageOutline
from brenk.package.version import Version
from helpers import render

pytestmark = pytest.mark.smoke


try:
    from hypothesis import given, settings
    from hypothesis import strategies as st
except ImportError:  # the free-threaded interpreter may run without it
    given = None

def value_of(x):
    v = Maximize(x).item
    assert type(v) is Value
    return v


# ---------------------------------------------------------------- text form


@pytest.mark.parametrize(
    "x, text",
    [
        (1.0, "1"),
        (2.0, "2"),
        (-1.0, "-1"),
        (100.0, "100"),
        (0.1, "0.1"),
        (0.3, "0.3"),
        (2.5, "2.5"),
        (-1.5, "-1.5"),
        (1 / 3, "0.3333333333333333"),
        (123.456, "123.456"),
        (1e-7, "0.0000001"),
        (1.5e-5, "0.000015"),
        (1e16, "10000000000000000"),
        (1e21, "1000000000000000000000"),
        (1e22, "10000000000000000000000"),
        (2.0**63, "9223372036854776000"),
        (2.0**53 + 2, "9007199254740994"),
        (5e-324, "0." + "0" * 323 + "5"),
        (1.7976931348623157e308, "17976931348623157" + "0" * 292),
        (-0.0, "-0"),
        (0.0, "0"),
        (math.nan, "NaN"),
        (-math.nan, "NaN"),
        (math.inf, "inf"),
        (-math.inf, "-inf"),
        (-3.402823466e38, "-340282346600000000000000000000000000000"),
        (1.25e-30, "0.00000000000000000000000000000125"),
    ],
)
def test_float_text(x, text):
    assert render(x) == text
    assert render(value_of(x)) == text


def _shortest_plain(x):
    """Shortest round-tripping digits (Python's repr) written out without an exponent."""
    s = format(Decimal(repr(x)), "f")
    if "." in s:
        s = s.rstrip("0").rstrip(".")
    return s


if given is not None:

    @settings(max_examples=300, deadline=None)
    @given(st.floats(allow_nan=False, allow_infinity=False))
    def test_float_text_is_shortest_and_round_trips(x):
        text = render(x)
        assert "e" not in text and "E" not in text
        assert float(text) == x
        assert math.copysign(1.0, float(text)) == math.copysign(1.0, x)
        assert text == _shortest_plain(x)


@pytest.mark.parametrize(
    "x, text",
    [
        (0, "0"),
        (42, "42"),
        (-1, "-1"),
        (2**63 - 1, "9223372036854775807"),
        (-(2**63), "-9223372036854775808"),
        (1234567, "1234567"),
        (True, "true"),
        (False, "false"),
        ("", ""),
        ("5", "5"),
        ("it's \"raw\" [ ] ( )", "it's \"raw\" [ ] ( )"),
        ("line\nbreak\ttab\0nul", "line\nbreak\ttab\0nul"),
        ("ünï✓😀", "ünï✓😀"),
        (Version("1.2.3"), "1.2.3"),
        (Version("01.002-rc1+build5"), "1.2-rc1+build5"),
        (Version("1.*"), "1.*"),
        (Version("2.>"), "2.>"),
    ],
)
def test_other_value_text(x, text):
    assert render(x) == text


def test_int_float_and_str_render_alike():
    assert render(1) == render(1.0) == render("1") == "1"
    assert type(value_of(1).value) is int
    assert type(value_of(1.0).value) is float
    assert type(value_of("1").value) is str


# ---------------------------------------------------------------- reading values back


@pytest.mark.parametrize(
    "x, expected_type",
    [
        (True, bool),
        (False, bool),
        (0, int),
        (-1, int),
        (2**63 - 1, int),
        (2.0, float),
        (-1.0, float),
        (-0.0, float),
        ("", str),
        ("text", str),
    ],
)
def test_value_reads_back(x, expected_type):
    v = value_of(x)
    got = v.value
    assert type(got) is expected_type
    assert got == x
    if expected_type is float:
        assert math.copysign(1.0, got) == math.copysign(1.0, x)


def test_bool_value_reads_back_as_the_singletons():
    assert value_of(True).value is True
    assert value_of(False).value is False


def test_nan_reads_back_as_nan():
    got = value_of(math.nan).value
    assert type(got) is float and math.isnan(got)


def test_version_value_reads_back_as_a_new_version_each_time():
    ver = Version("1.2.0-rc1")
    v = value_of(ver)
    a, b = v.value, v.value
    assert type(a) is Version and type(b) is Version
    assert a is not b and a is not ver
    assert str(a) == str(b) == "1.2.0-rc1"
    assert repr(a) == repr(ver)


def test_value_reads_are_independent_of_each_other():
    c = Cmp(SpecOption("p", "o"), 3, CmpType.Equal)
    first = c.rhs
    first.value = 4
    assert c.rhs.value == 3
    assert first.value == 4


# ---------------------------------------------------------------- writing values


@pytest.mark.parametrize(
    "new, expected_type, text",
    [
        (True, bool, "true"),
        (-7, int, "-7"),
        (0.5, float, "0.5"),
        ("s", str, "s"),
        (Version("3.1"), Version, "3.1"),
    ],
)
def test_value_setter(new, expected_type, text):
    v = value_of("old")
    v.value = new
    assert type(v.value) is expected_type
    assert render(v) == text


@pytest.mark.parametrize(
    "make",
    [
        lambda: Maximize(1).item,  # a Value object is a constraint, not an option value
        lambda: Depends("a"),
        lambda: SpecOption("p", "o"),
        lambda: NumOf([]),
        lambda: CmpType.Equal,
    ],
    ids=["value_object", "depends", "spec_option", "num_of", "cmp_type"],
)
def test_constraint_objects_are_not_option_values(make):
    obj = make()
    v = value_of(1)
    with pytest.raises(TypeError) as info:
        v.value = obj
    assert str(info.value) == f"argument 'value': cannot cast Python type '{type(obj)}' to SpecOptionValue"
    assert v.value == 1
    with pytest.raises(TypeError) as info:
        PackageOutline("p", set_options={"k": obj})
    assert str(info.value) == f"argument 'set_options': cannot cast Python type '{type(obj)}' to SpecOptionValue"


def test_setter_runs_conversion_before_taking_the_object():
    # conversion may run Python code; that code can use the object being assigned to
    v = value_of(1)
    seen = []

    class Sneaky:
        def __index__(self):
            seen.append(v.value)
            v.value = "inner"
            seen.append(v.value)
            return 99

    v.value = Sneaky()
    assert seen == [1, "inner"]
    assert v.value == 99


def test_value_setter_keeps_no_reference():
    class Idx:
        def __init__(self):
            self.n = 5

        def __index__(self):
            return self.n

    obj = Idx()
    v = value_of(0)
    v.value = obj
    obj.n = 6
    assert v.value == 5


# ---------------------------------------------------------------- option references


def test_spec_option_stores_texts_without_checks():
    s = SpecOption("", "")
    assert (s.package_name, s.option_name) == ("", "")
    assert render(s) == "Package '' -> Option ''"
    s.package_name = " Pkg "
    s.option_name = "OPT"
    assert (s.package_name, s.option_name) == (" Pkg ", "OPT")
    assert render(s) == "Package ' Pkg ' -> Option 'OPT'"


def test_spec_option_texts_are_independent():
    s = SpecOption("p", "o")
    t = Maximize(s).item
    t.package_name = "changed"
    assert s.package_name == "p"
    assert t.package_name == "changed"
