"""Round trips with generated inputs: version texts through str(), plain values through
Value.value, and constraint trees through their constructors, setters and getters."""

import math
import string
import struct

import pytest
from hypothesis import assume, example, given, settings
from hypothesis import strategies as st

from brenk.package.constraint import Cmp, CmpType, Depends, IfThen, Maximize, Minimize, NumOf, SpecOption, Value
from brenk.package.version import Version
from helpers import render

INT64_MIN, INT64_MAX = -(2**63), 2**63 - 1
OPERATORS = [CmpType.Less, CmpType.LessOrEqual, CmpType.NotEqual, CmpType.Equal, CmpType.GreaterOrEqual, CmpType.Greater]

# ---------------------------------------------------------------- versions

number_segment = st.builds(
    lambda zeros, n: "0" * zeros + str(n),
    st.integers(0, 3),
    # around the largest number part, 2**32 - 1: above it the digits stay text
    st.one_of(st.integers(0, 10**6), st.integers(2**32 - 3, 2**32 + 3), st.integers(0, 10**25)),
)
text_segment = st.text(string.ascii_letters + string.digits, min_size=1, max_size=8)
segment = st.one_of(number_segment, text_segment, st.just("*"))


@st.composite
def version_texts(draw):
    """Texts the parser accepts: segments joined by separators, a '>' possibly last."""
    parts = [draw(segment)]
    for _ in range(draw(st.integers(0, 6))):
        parts += [draw(st.sampled_from(".-+")), draw(segment)]
    if draw(st.booleans()):
        parts += [draw(st.sampled_from(".-+")), ">"] if draw(st.booleans()) else []
        parts = parts or [">"]
    return "".join(parts)


@settings(max_examples=300)
@given(st.one_of(version_texts(), st.text("0123456789.-+*>aZ", max_size=14)))
@example("00000000004294967296.*-x+>")
@example(">")
def test_version_text_reparses_to_the_same_parts(text):
    try:
        version = Version(text)
    except ValueError:
        assume(False)
    again = Version(str(version))
    assert repr(again) == repr(version)
    assert str(again) == str(version)


@settings(max_examples=100)
@given(version_texts())
def test_version_value_keeps_its_parts(text):
    version = Version(text)
    got = Maximize(version).item.value
    assert type(got) is Version and got is not version
    assert repr(got) == repr(version) and str(got) == str(version)


# ---------------------------------------------------------------- plain values

class VersionText(str):
    """Stands for Version(self) among generated values: the leak check copies every example it
    replays, and a Version cannot be copied."""


def make(x):
    return Version(x) if type(x) is VersionText else x


texts = st.text(st.characters(exclude_categories=["Cs"]), max_size=12)
plain_values = st.one_of(
    st.booleans(),
    st.integers(INT64_MIN, INT64_MAX),
    st.integers(INT64_MIN - 2**70, INT64_MIN - 1),
    st.integers(INT64_MAX + 1, INT64_MAX + 2**70),
    st.floats(),
    texts,
    version_texts().map(VersionText),
)


def expected_value(x):
    """What Value.value gives back for x: ints beyond 64 bits come back as floats."""
    if isinstance(x, int) and not isinstance(x, bool) and not INT64_MIN <= x <= INT64_MAX:
        return float(x)
    return x


def value_key(x):
    """A comparable form of a plain value that tells apart types, -0.0 from 0.0 and equal NaNs."""
    if type(x) is float:
        return ("float", struct.pack("<d", x) if not math.isnan(x) else "nan")
    if type(x) is Version:
        return ("version", repr(x), str(x))
    return (type(x).__name__, x)


@settings(max_examples=300)
@given(plain_values)
@example(-0.0)
@example(math.nan)
@example(2**63)
def test_value_reads_back_what_was_converted(x):
    x = make(x)
    want = value_key(expected_value(x))
    assert value_key(Maximize(x).item.value) == want
    assert value_key(Cmp(SpecOption("p", "o"), x, CmpType.Equal).rhs.value) == want
    holder = Maximize(0).item
    holder.value = x
    assert type(holder) is Value
    assert value_key(holder.value) == want


@settings(max_examples=200)
@given(plain_values)
def test_value_text_is_the_same_whichever_way_the_value_came(x):
    x = make(x)
    assert render(x) == render(Maximize(x).item) == render(Maximize(x).item.value)


# ---------------------------------------------------------------- constraint trees

# A tree is described by nested tuples, ("value", x) at the leaves; expected() gives what the
# getters read back, read() what they did.
leaves = st.one_of(
    plain_values.map(lambda x: ("value", x)),
    texts.map(lambda name: ("depends", name)),
    st.tuples(st.just("spec"), texts, texts),
)


def _branches(children):
    return st.one_of(
        st.tuples(st.sampled_from(["maximize", "minimize"]), children),
        st.tuples(st.just("num_of"), st.lists(children, max_size=4)),
        st.tuples(st.just("cmp"), children, children, st.integers(0, 5)),
        st.tuples(st.just("if_then"), children, children),
    )


trees = st.recursive(leaves, _branches, max_leaves=25)


def expected(tree):
    kind, *rest = tree
    if kind == "value":
        return ("value", value_key(expected_value(make(rest[0]))))
    if kind == "num_of":
        return ("num_of", [expected(child) for child in rest[0]])
    return (kind, *(expected(x) if isinstance(x, tuple) else x for x in rest))


def build(tree):
    """The tree made with constructors; plain values are passed as they are."""
    kind, *rest = tree
    if kind == "value":
        return make(rest[0])
    if kind == "depends":
        return Depends(rest[0])
    if kind == "spec":
        return SpecOption(*rest)
    if kind in ("maximize", "minimize"):
        return (Maximize if kind == "maximize" else Minimize)(build(rest[0]))
    if kind == "num_of":
        return NumOf([build(child) for child in rest[0]])
    if kind == "cmp":
        return Cmp(build(rest[0]), build(rest[1]), OPERATORS[rest[2]])
    return IfThen(build(rest[0]), build(rest[1]))


def build_with_setters(tree):
    """The same tree made from placeholders whose every field is then assigned."""
    kind, *rest = tree
    if kind == "value":
        obj = Maximize(0).item
        obj.value = make(rest[0])
    elif kind == "depends":
        obj = Depends("")
        obj.on = rest[0]
    elif kind == "spec":
        obj = SpecOption("", "")
        obj.package_name, obj.option_name = rest
    elif kind in ("maximize", "minimize"):
        obj = (Maximize if kind == "maximize" else Minimize)(0)
        obj.item = build_with_setters(rest[0])
    elif kind == "num_of":
        obj = NumOf([])
        obj.of = tuple(build_with_setters(child) for child in rest[0])
    elif kind == "cmp":
        obj = Cmp(0, 0, CmpType.Less)
        obj.lhs, obj.rhs, obj.op = build_with_setters(rest[0]), build_with_setters(rest[1]), OPERATORS[rest[2]]
    else:
        obj = IfThen(0, 0)
        obj.cond, obj.then = build_with_setters(rest[0]), build_with_setters(rest[1])
    return obj


def read(obj):
    """The tree as the getters show it."""
    kind = type(obj)
    if kind is Value:
        return ("value", value_key(obj.value))
    if kind is Depends:
        return ("depends", obj.on)
    if kind is SpecOption:
        return ("spec", obj.package_name, obj.option_name)
    if kind in (Maximize, Minimize):
        return ("maximize" if kind is Maximize else "minimize", read(obj.item))
    if kind is NumOf:
        children = obj.of
        assert type(children) is list
        return ("num_of", [read(child) for child in children])
    if kind is Cmp:
        return ("cmp", read(obj.lhs), read(obj.rhs), int(obj.op))
    assert kind is IfThen, kind
    return ("if_then", read(obj.cond), read(obj.then))


def as_object(tree):
    """build(tree), with a plain value at the root wrapped so that getters apply."""
    made = build(tree)
    return Maximize(made).item if tree[0] == "value" else made


@settings(max_examples=300)
@given(trees)
def test_getters_read_back_the_constructed_tree(tree):
    assert read(as_object(tree)) == expected(tree)


@settings(max_examples=200)
@given(trees)
def test_setters_store_what_the_getters_read(tree):
    assert read(build_with_setters(tree)) == expected(tree)


def rebuild(described):
    """A tree from what read() gave, with the values made again from their keys."""
    kind, *rest = described
    if kind == "value":
        type_name, payload = rest[0][:2]
        if type_name == "float":
            return ("value", math.nan if payload == "nan" else struct.unpack("<d", payload)[0])
        if type_name == "version":
            return ("value", VersionText(rest[0][2]))
        return ("value", payload)
    if kind == "num_of":
        return ("num_of", [rebuild(child) for child in rest[0]])
    return (kind, *(rebuild(x) if isinstance(x, tuple) else x for x in rest))


@settings(max_examples=200)
@given(trees)
def test_tree_made_again_from_its_getters_renders_the_same(tree):
    obj = as_object(tree)
    again = as_object(rebuild(read(obj)))
    assert render(again) == render(obj)
    assert read(again) == read(obj)


@pytest.mark.parametrize("depth", [1, 50])
@given(tree=trees)
@settings(max_examples=20)
def test_getters_see_through_wrapping(depth, tree):
    obj = as_object(tree)
    wrapped = obj
    for _ in range(depth):
        wrapped = Maximize(wrapped)
    for _ in range(depth):
        wrapped = wrapped.item
    assert read(wrapped) == read(obj)
    assert render(wrapped) == render(obj)
