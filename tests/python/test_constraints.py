"""The constraint classes: constructors, properties, CmpType and class-level behaviour."""

import inspect
import weakref

import pytest

import brenk  # noqa: F401  (makes the brenk.package.* entries in sys.modules)
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


class MyStr(str):
    pass


# One instance of each class, built fresh per use (IfThen objects are bound to their thread).
FACTORIES = {
    "Cmp": lambda: Cmp(SpecOption("p", "o"), 3, CmpType.Equal),
    "Depends": lambda: Depends("libx"),
    "IfThen": lambda: IfThen(Depends("c"), Depends("t")),
    "Maximize": lambda: Maximize(2.5),
    "Minimize": lambda: Minimize(Depends("m")),
    "NumOf": lambda: NumOf([Depends("a"), Depends("b")]),
    "SpecOption": lambda: SpecOption("p", "o"),
    "Value": lambda: Maximize(7).item,
}
CLASSES = {
    "Cmp": Cmp,
    "Depends": Depends,
    "IfThen": IfThen,
    "Maximize": Maximize,
    "Minimize": Minimize,
    "NumOf": NumOf,
    "SpecOption": SpecOption,
    "Value": Value,
}
MEMBERS = [("Less", 0), ("LessOrEqual", 1), ("NotEqual", 2), ("Equal", 3), ("GreaterOrEqual", 4), ("Greater", 5)]
CONSTRAINT_PROPS = [
    ("Cmp", "lhs"),
    ("Cmp", "rhs"),
    ("IfThen", "cond"),
    ("IfThen", "then"),
    ("Maximize", "item"),
    ("Minimize", "item"),
]
ALL_PROPS = CONSTRAINT_PROPS + [
    ("Cmp", "op"),
    ("Depends", "on"),
    ("NumOf", "of"),
    ("SpecOption", "package_name"),
    ("SpecOption", "option_name"),
    ("Value", "value"),
]


# ---------------------------------------------------------------- constructors


def test_cmp_converts_plain_operands():
    c = Cmp(SpecOption("pkg", "opt"), 3, CmpType.Equal)
    lhs, rhs = c.lhs, c.rhs
    assert type(lhs) is SpecOption
    assert (lhs.package_name, lhs.option_name) == ("pkg", "opt")
    assert type(rhs) is Value
    assert type(rhs.value) is int and rhs.value == 3
    assert int(c.op) == 3
    assert render(c) == "[ Package 'pkg' -> Option 'opt' ] == [ 3 ]"


@pytest.mark.parametrize(
    "build, text",
    [
        (lambda: Depends("libx"), "Depends( libx )"),
        (lambda: IfThen(Depends("c"), True), "If( Depends( c ) ) Then [ true ]"),
        (lambda: Maximize(2.5), "Maximize( 2.5 )"),
        (lambda: Minimize("s"), "Minimize( s )"),
        (lambda: NumOf([Depends("a"), 2]), "NumOf( Depends( a ), 2 )"),
        (lambda: NumOf([]), "NumOf(  )"),
        (lambda: SpecOption("p", "o"), "Package 'p' -> Option 'o'"),
        # constructors never consult the comparison check
        (lambda: Cmp(Depends("a"), 2.5, CmpType.Less), "[ Depends( a ) ] < [ 2.5 ]"),
        (lambda: Cmp(Maximize(1), IfThen(1, 2), CmpType.Greater), "[ Maximize( 1 ) ] > [ If( 1 ) Then [ 2 ] ]"),
    ],
)
def test_constructor_contents(build, text):
    assert render(build()) == text


def test_constructors_accept_keywords():
    c = Cmp(op=CmpType.Less, rhs=2, lhs=NumOf(of=[]))
    assert render(c) == "[ NumOf(  ) ] < [ 2 ]"
    assert render(SpecOption(option_name="o", package_name="p")) == "Package 'p' -> Option 'o'"
    assert render(IfThen(then=Depends(name="t"), cond=True)) == "If( true ) Then [ Depends( t ) ]"
    assert render(Maximize(item=1)) == "Maximize( 1 )"
    assert render(Minimize(item=1)) == "Minimize( 1 )"


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda: Cmp(), "Cmp.__new__() missing 3 required positional arguments: 'lhs', 'rhs', and 'op'"),
        (lambda: Cmp(1), "Cmp.__new__() missing 2 required positional arguments: 'rhs' and 'op'"),
        (lambda: Cmp(1, 2), "Cmp.__new__() missing 1 required positional argument: 'op'"),
        (lambda: Cmp(rhs=1), "Cmp.__new__() missing 2 required positional arguments: 'lhs' and 'op'"),
        (lambda: Cmp(1, 2, CmpType.Less, 4), "Cmp.__new__() takes 3 positional arguments but 4 were given"),
        (lambda: IfThen(1), "IfThen.__new__() missing 1 required positional argument: 'then'"),
        (lambda: Depends("a", "b"), "Depends.__new__() takes 1 positional arguments but 2 were given"),
        (lambda: Depends("a", name="b"), "Depends.__new__() got multiple values for argument 'name'"),
        (lambda: Depends(nom="a"), "Depends.__new__() got an unexpected keyword argument 'nom'"),
        (lambda: Depends(name="a", nom="b"), "Depends.__new__() got an unexpected keyword argument 'nom'"),
        # keywords are taken in call order
        (lambda: Depends("a", name="b", nom="c"), "Depends.__new__() got multiple values for argument 'name'"),
        (lambda: Depends("a", nom="c", name="b"), "Depends.__new__() got an unexpected keyword argument 'nom'"),
        (lambda: Maximize(), "Maximize.__new__() missing 1 required positional argument: 'item'"),
        (lambda: Minimize(1, 2), "Minimize.__new__() takes 1 positional arguments but 2 were given"),
        (lambda: NumOf(), "NumOf.__new__() missing 1 required positional argument: 'of'"),
        (lambda: NumOf([], of=[]), "NumOf.__new__() got multiple values for argument 'of'"),
        (lambda: SpecOption("p"), "SpecOption.__new__() missing 1 required positional argument: 'option_name'"),
        (lambda: SpecOption("p", "o", "x"), "SpecOption.__new__() takes 2 positional arguments but 3 were given"),
        (lambda: SpecOption("p", "o", colour=1), "SpecOption.__new__() got an unexpected keyword argument 'colour'"),
    ],
)
def test_constructor_binding_errors(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert type(info.value) is TypeError
    assert str(info.value) == message


@pytest.mark.parametrize(
    "call, exc, message",
    [
        (lambda: Cmp(None, 2, 3), TypeError, "argument 'lhs': cannot convert '<class 'NoneType'>' to Constraint"),
        (lambda: Cmp(1, None, 3), TypeError, "argument 'rhs': cannot convert '<class 'NoneType'>' to Constraint"),
        # op is converted last: lhs and rhs were fine
        (lambda: Cmp(1, 2, 3), TypeError, "argument 'op': 'int' object cannot be cast as 'CmpType'"),
        (lambda: Cmp(None, None, None), TypeError, "argument 'lhs': cannot convert '<class 'NoneType'>' to Constraint"),
        (lambda: Cmp(1, 2, "=="), TypeError, "argument 'op': 'str' object cannot be cast as 'CmpType'"),
        (lambda: Depends(5), TypeError, "argument 'name': 'int' object cannot be cast as 'str'"),
        (lambda: Depends(b"x"), TypeError, "argument 'name': 'bytes' object cannot be cast as 'str'"),
        (lambda: Depends(None), TypeError, "argument 'name': 'NoneType' object cannot be cast as 'str'"),
        (lambda: IfThen([], 1), TypeError, "argument 'cond': cannot convert '<class 'list'>' to Constraint"),
        (lambda: IfThen(1, {}), TypeError, "argument 'then': cannot convert '<class 'dict'>' to Constraint"),
        (lambda: Maximize(None), TypeError, "argument 'item': cannot convert '<class 'NoneType'>' to Constraint"),
        (lambda: Minimize(object()), TypeError, "argument 'item': cannot convert '<class 'object'>' to Constraint"),
        (lambda: NumOf("ab"), TypeError, "argument 'of': Can't extract `str` to `Vec`"),
        (lambda: NumOf(3), TypeError, "argument 'of': 'int' object cannot be cast as 'Sequence'"),
        (lambda: NumOf([1, None]), TypeError, "argument 'of': cannot convert '<class 'NoneType'>' to Constraint"),
        (lambda: SpecOption(1, "o"), TypeError, "argument 'package_name': 'int' object cannot be cast as 'str'"),
        (lambda: SpecOption(1, 2), TypeError, "argument 'package_name': 'int' object cannot be cast as 'str'"),
        (lambda: SpecOption("p", 2.0), TypeError, "argument 'option_name': 'float' object cannot be cast as 'str'"),
    ],
)
def test_constructor_conversion_errors(call, exc, message):
    with pytest.raises(exc) as info:
        call()
    assert type(info.value) is exc
    assert str(info.value) == message


@pytest.mark.parametrize(
    "call",
    [
        lambda: Depends("\ud800"),
        lambda: SpecOption("p\udfff", "o"),
        lambda: SpecOption("p", "\ud800o"),
    ],
)
def test_lone_surrogate_text_is_an_encoding_error(call):
    # not a TypeError, so it is not attributed to the argument
    with pytest.raises(UnicodeEncodeError):
        call()


TEXTS = ["", " pad ", "it's", 'q"uote', "line\nbreak\r\t", "nul\0byte", "[ ] ( ) ->", "ünï✓", "😀", "x" * 10000]


@pytest.mark.parametrize("text", TEXTS)
def test_texts_are_stored_and_rendered_unchanged(text):
    d = Depends(MyStr(text))
    assert type(d.on) is str and d.on == text
    assert render(d) == f"Depends( {text} )"
    s = SpecOption(text, MyStr(text))
    assert type(s.package_name) is str and type(s.option_name) is str
    assert s.package_name == s.option_name == text
    assert render(s) == f"Package '{text}' -> Option '{text}'"


def test_depends_has_no_name_property():
    d = Depends("a")
    assert not hasattr(d, "name")
    assert d.on == "a"


def test_constructor_stores_a_copy():
    d = Depends("a")
    n = NumOf([d, d])
    m = Maximize(d)
    c = Cmp(d, True, CmpType.Equal)
    i = IfThen(d, d)
    d.on = "b"
    assert render(n) == "NumOf( Depends( a ), Depends( a ) )"
    assert render(m) == "Maximize( Depends( a ) )"
    assert render(c) == "[ Depends( a ) ] == [ true ]"
    assert render(i) == "If( Depends( a ) ) Then [ Depends( a ) ]"


def test_numof_takes_any_sequence_and_keeps_order_and_duplicates():
    a, b = Depends("a"), Depends("b")
    of = NumOf((a, b, a)).of
    assert type(of) is list
    assert [type(x) for x in of] == [Depends, Depends, Depends]
    assert [x.on for x in of] == ["a", "b", "a"]
    assert NumOf([]).of == []


# ---------------------------------------------------------------- getters


@pytest.mark.parametrize("kind, prop", CONSTRAINT_PROPS + [("NumOf", "of"), ("Cmp", "op")])
def test_each_read_is_a_fresh_object(kind, prop):
    obj = FACTORIES[kind]()
    first, second = getattr(obj, prop), getattr(obj, prop)
    assert first is not second
    if prop == "of":
        assert all(x is not y for x, y in zip(first, second, strict=True))


def test_getters_return_objects_of_the_field_variant():
    c = Cmp(Depends("a"), NumOf([]), CmpType.LessOrEqual)
    assert type(c.lhs) is Depends and type(c.rhs) is NumOf
    assert type(c.op) is CmpType
    i = IfThen(Maximize(1), Minimize(2))
    assert type(i.cond) is Maximize and type(i.then) is Minimize
    assert type(Maximize(c).item) is Cmp
    assert type(Minimize(i).item) is IfThen
    assert type(Maximize(SpecOption("p", "o")).item) is SpecOption
    # a Value field comes back as a Value object, never a bare value
    assert type(Maximize(1).item) is Value
    assert [type(x) for x in NumOf([1, "s", c]).of] == [Value, Value, Cmp]


def test_changing_a_read_result_leaves_the_source_alone():
    c = Cmp(SpecOption("pkg", "opt"), 3, CmpType.Equal)
    r = c.rhs
    r.value = 4
    assert c.rhs.value == 3
    lhs = c.lhs
    lhs.package_name = "other"
    assert c.lhs.package_name == "pkg"
    n = NumOf([Depends("a")])
    of = n.of
    of.append(Depends("b"))
    of[0].on = "z"
    assert render(n) == "NumOf( Depends( a ) )"
    op = c.op
    assert int(op) == 3
    assert render(c) == "[ Package 'pkg' -> Option 'opt' ] == [ 3 ]"


# ---------------------------------------------------------------- setters

SET_CASES = [
    ("Cmp", "lhs", Depends("q"), "[ Depends( q ) ] == [ 3 ]"),
    ("Cmp", "rhs", "s", "[ Package 'p' -> Option 'o' ] == [ s ]"),
    ("Cmp", "op", CmpType.Less, "[ Package 'p' -> Option 'o' ] < [ 3 ]"),
    ("Depends", "on", "new", "Depends( new )"),
    ("Depends", "on", MyStr("sub"), "Depends( sub )"),
    ("IfThen", "cond", True, "If( true ) Then [ Depends( t ) ]"),
    ("IfThen", "then", 5, "If( Depends( c ) ) Then [ 5 ]"),
    ("Maximize", "item", Version("01.0"), "Maximize( 1.0 )"),
    ("Minimize", "item", NumOf([]), "Minimize( NumOf(  ) )"),
    ("NumOf", "of", (Depends("x"), 1), "NumOf( Depends( x ), 1 )"),
    ("NumOf", "of", [], "NumOf(  )"),
    ("SpecOption", "package_name", "q", "Package 'q' -> Option 'o'"),
    ("SpecOption", "option_name", "", "Package 'p' -> Option ''"),
    ("Value", "value", 2.5, "2.5"),
    ("Value", "value", "text", "text"),
]


@pytest.mark.parametrize("kind, prop, new, text", SET_CASES, ids=[f"{k}-{p}-{t}" for k, p, _, t in SET_CASES])
def test_setter_replaces_the_field(kind, prop, new, text):
    obj = FACTORIES[kind]()
    setattr(obj, prop, new)
    assert render(obj) == text


def test_setter_stores_a_copy():
    d = Depends("a")
    c = Cmp(1, 2, CmpType.Less)
    c.lhs = d
    d.on = "b"
    assert c.lhs.on == "a"
    lst = [Depends("x")]
    n = NumOf([])
    n.of = lst
    lst.append(Depends("y"))
    lst[0].on = "changed"
    assert render(n) == "NumOf( Depends( x ) )"


def test_op_setter_takes_the_member_value():
    c = FACTORIES["Cmp"]()
    for name, value in MEMBERS:
        c.op = getattr(CmpType, name)
        assert int(c.op) == value
        assert repr(c.op) == f"CmpType.{name}"
    # a CmpType read back from another Cmp works as well
    other = Cmp(1, 2, CmpType.GreaterOrEqual)
    c.op = other.op
    assert repr(c.op) == "CmpType.GreaterOrEqual"


SET_ERRORS = [
    ("Cmp", "lhs", None, TypeError, "argument 'lhs': cannot convert '<class 'NoneType'>' to Constraint"),
    ("Cmp", "rhs", [], TypeError, "argument 'rhs': cannot convert '<class 'list'>' to Constraint"),
    ("Cmp", "op", 3, TypeError, "argument 'op': 'int' object cannot be cast as 'CmpType'"),
    ("Cmp", "op", None, TypeError, "argument 'op': 'NoneType' object cannot be cast as 'CmpType'"),
    ("Depends", "on", 5, TypeError, "argument 'on': 'int' object cannot be cast as 'str'"),
    ("Depends", "on", "\ud800", UnicodeEncodeError, None),
    ("IfThen", "cond", {}, TypeError, "argument 'cond': cannot convert '<class 'dict'>' to Constraint"),
    ("IfThen", "then", None, TypeError, "argument 'then': cannot convert '<class 'NoneType'>' to Constraint"),
    ("Maximize", "item", 2**1024, TypeError, "argument 'item': cannot convert '<class 'int'>' to Constraint"),
    ("Minimize", "item", "\udfff", TypeError, "argument 'item': cannot convert '<class 'str'>' to Constraint"),
    ("NumOf", "of", "ab", TypeError, "argument 'of': Can't extract `str` to `Vec`"),
    ("NumOf", "of", 5, TypeError, "argument 'of': 'int' object cannot be cast as 'Sequence'"),
    ("NumOf", "of", {1, 2}, TypeError, "argument 'of': 'set' object cannot be cast as 'Sequence'"),
    ("NumOf", "of", [Depends("a"), None], TypeError, "argument 'of': cannot convert '<class 'NoneType'>' to Constraint"),
    ("SpecOption", "package_name", b"x", TypeError, "argument 'package_name': 'bytes' object cannot be cast as 'str'"),
    ("SpecOption", "option_name", None, TypeError, "argument 'option_name': 'NoneType' object cannot be cast as 'str'"),
    ("Value", "value", None, TypeError, "argument 'value': cannot cast Python type '<class 'NoneType'>' to SpecOptionValue"),
    ("Value", "value", [1], TypeError, "argument 'value': cannot cast Python type '<class 'list'>' to SpecOptionValue"),
]


@pytest.mark.parametrize(
    "kind, prop, bad, exc, message", SET_ERRORS, ids=[f"{k}-{p}-{type(b).__name__}" for k, p, b, *_ in SET_ERRORS]
)
def test_failed_set_raises_and_changes_nothing(kind, prop, bad, exc, message):
    obj = FACTORIES[kind]()
    before = render(obj)
    with pytest.raises(exc) as info:
        setattr(obj, prop, bad)
    assert type(info.value) is exc
    if message is not None:
        assert str(info.value) == message
    assert render(obj) == before


def test_cmp_type_member_is_not_a_constraint():
    m = Maximize(1)
    with pytest.raises(TypeError) as info:
        m.item = CmpType.Less
    assert str(info.value) == f"argument 'item': cannot convert '{type(CmpType.Less)}' to Constraint"
    assert render(m) == "Maximize( 1 )"


@pytest.mark.parametrize("kind, prop", ALL_PROPS)
def test_properties_cannot_be_deleted(kind, prop):
    obj = FACTORIES[kind]()
    before = render(obj)
    with pytest.raises(AttributeError) as info:
        delattr(obj, prop)
    assert str(info.value) == "can't delete attribute"
    assert render(obj) == before


@pytest.mark.parametrize(
    "build, assign, text",
    [
        (
            lambda: Cmp(Depends("a"), True, CmpType.Equal),
            lambda c: setattr(c, "lhs", c),
            "[ [ Depends( a ) ] == [ true ] ] == [ true ]",
        ),
        (
            lambda: Cmp(Depends("a"), True, CmpType.Equal),
            lambda c: setattr(c, "rhs", c),
            "[ Depends( a ) ] == [ [ Depends( a ) ] == [ true ] ]",
        ),
        (lambda: Maximize(1), lambda m: setattr(m, "item", m), "Maximize( Maximize( 1 ) )"),
        (lambda: Minimize(1), lambda m: setattr(m, "item", m), "Minimize( Minimize( 1 ) )"),
        (lambda: NumOf([1]), lambda n: setattr(n, "of", [n, n]), "NumOf( NumOf( 1 ), NumOf( 1 ) )"),
        (lambda: IfThen(1, 2), lambda i: setattr(i, "cond", i), "If( If( 1 ) Then [ 2 ] ) Then [ 2 ]"),
        (lambda: IfThen(1, 2), lambda i: setattr(i, "then", i), "If( 1 ) Then [ If( 1 ) Then [ 2 ] ]"),
    ],
)
def test_assigning_an_object_to_its_own_property_nests_a_copy(build, assign, text):
    obj = build()
    assign(obj)
    assert render(obj) == text


def test_self_assignment_twice_nests_twice():
    m = Maximize(1)
    m.item = m
    m.item = m
    assert render(m) == "Maximize( Maximize( Maximize( 1 ) ) )"
    c = Cmp(1, 2, CmpType.Less)
    c.lhs = c
    c.lhs = c
    assert render(c) == "[ [ [ 1 ] < [ 2 ] ] < [ 2 ] ] < [ 2 ]"


# ---------------------------------------------------------------- CmpType


@pytest.mark.parametrize("name, value", MEMBERS)
def test_cmptype_members(name, value):
    member = getattr(CmpType, name)
    assert type(member) is CmpType
    assert member is getattr(CmpType, name)
    assert int(member) == value and type(int(member)) is int
    assert repr(member) == f"CmpType.{name}"
    assert str(member) == f"CmpType.{name}"
    assert hash(member) == hash(member)
    assert member == member
    for other_name, _ in MEMBERS:
        if other_name != name:
            assert member != getattr(CmpType, other_name)


def test_cmptype_members_are_class_attributes_in_order():
    names = [n for n, v in vars(CmpType).items() if isinstance(v, CmpType)]
    assert names == [n for n, _ in MEMBERS]


def test_op_reads_are_new_objects_compared_by_identity():
    c = Cmp(SpecOption("pkg", "opt"), 3, CmpType.Equal)
    assert c.op is not CmpType.Equal
    assert not (c.op == CmpType.Equal)
    assert c.op != CmpType.Equal
    assert int(c.op) == int(CmpType.Equal) == 3
    assert repr(c.op) == "CmpType.Equal"
    assert {CmpType.Equal: 1}.get(c.op) is None


def test_cmptype_is_not_an_index():
    import operator

    with pytest.raises(TypeError):
        operator.index(CmpType.Less)
    with pytest.raises(TypeError):
        float(CmpType.Greater)


def test_cmptype_members_take_no_attributes():
    with pytest.raises(AttributeError):
        CmpType.Less.foo = 1


# ---------------------------------------------------------------- classes


@pytest.mark.parametrize("cls", [Value, CmpType])
def test_classes_without_constructor_cannot_be_instantiated(cls):
    with pytest.raises(TypeError, match="cannot create"):
        cls()
    with pytest.raises(TypeError):
        cls(1)


@pytest.mark.parametrize("kind", list(FACTORIES))
def test_constraint_objects_are_unhashable(kind):
    obj = FACTORIES[kind]()
    assert CLASSES[kind].__hash__ is None
    with pytest.raises(TypeError):
        hash(obj)
    with pytest.raises(TypeError):
        {obj}


@pytest.mark.parametrize("cls", list(CLASSES.values()) + [CmpType])
def test_classes_cannot_be_subclassed(cls):
    with pytest.raises(TypeError):
        type("Sub", (cls,), {})


@pytest.mark.parametrize("kind", list(FACTORIES))
def test_instances_have_no_dict_or_weakref(kind):
    obj = FACTORIES[kind]()
    with pytest.raises(AttributeError):
        obj.undeclared = 1
    assert not hasattr(obj, "__dict__")
    with pytest.raises(TypeError):
        weakref.ref(obj)


@pytest.mark.parametrize("kind", list(FACTORIES))
def test_repr_is_the_default(kind):
    obj = FACTORIES[kind]()
    assert repr(obj).startswith("<")
    assert kind in repr(obj)
    assert str(obj) == repr(obj)


@pytest.mark.parametrize("kind", list(FACTORIES))
def test_constraint_objects_are_truthy(kind):
    assert bool(FACTORIES[kind]())


@pytest.mark.parametrize(
    "cls, params",
    [
        (Cmp, ["lhs", "rhs", "op"]),
        (Depends, ["name"]),
        (IfThen, ["cond", "then"]),
        (Maximize, ["item"]),
        (Minimize, ["item"]),
        (NumOf, ["of"]),
        (SpecOption, ["package_name", "option_name"]),
    ],
)
def test_constructor_signatures(cls, params):
    assert list(inspect.signature(cls).parameters) == params


@pytest.mark.parametrize(
    "cls, props",
    [
        (Cmp, {"lhs", "rhs", "op"}),
        (Depends, {"on"}),
        (IfThen, {"cond", "then"}),
        (Maximize, {"item"}),
        (Minimize, {"item"}),
        (NumOf, {"of"}),
        (SpecOption, {"package_name", "option_name"}),
        (Value, {"value"}),
    ],
)
def test_declared_properties(cls, props):
    declared = {n for n, v in vars(cls).items() if inspect.isdatadescriptor(v) and not n.startswith("__")}
    assert declared == props
