"""PackageOutline: binding, validation of every argument, and dictionaries changed while walked."""

import collections
import gc
import threading
import types

import pytest

import brenk  # noqa: F401
from brenk.package.constraint import Cmp, CmpType, Depends, IfThen, Maximize, NumOf, SpecOption
from brenk.package.outline import PackageOutline
from brenk.package.version import Version
from helpers import DICT_CHANGED_MESSAGES, LenRaises, UserSeq, panic_type

pytestmark = [pytest.mark.smoke, pytest.mark.tsan]


class MyStr(str):
    pass


def _gen():
    yield Depends("a")


# ---------------------------------------------------------------- successful construction


@pytest.mark.parametrize(
    "args, kwargs",
    [
        (("pkg",), {}),
        (("pkg", None, None, None), {}),
        ((), {"name": "pkg", "constraints": []}),
        ((), {"set_defaults": None, "set_options": None, "constraints": None, "name": "pkg"}),
        (("",), {}),
        ((MyStr("sub"),), {}),
        (("ünï✓ with spaces\n",), {}),
        (("pkg", (Depends("a"), Depends("b"))), {}),
        (("pkg", UserSeq([Depends("a"), 3])), {}),
        (("pkg", LenRaises([Depends("a")])), {}),
        (("pkg", [Depends("a"), Depends("a")]), {}),
        (("pkg", range(3)), {}),
        (("pkg", [SpecOption("p", "o") == SpecOption("q", "o"), NumOf([]) >= 2]), {}),
        pytest.param(
            ("pkg", [IfThen(Depends("x"), Maximize(1))]), {},
            marks=pytest.mark.thread_unsafe(reason="its IfThen argument is bound to the thread that imported the module"),
        ),
        (("pkg", [], {"a": True, "b": 1, "c": 2.5, "d": "s", "e": Version("1.0")}), {}),
        (("pkg",), {"set_defaults": {"a": None, "b": 1, "c": Version("2")}}),
        (("pkg",), {"set_options": collections.OrderedDict(a=1)}),
        (("pkg",), {"set_options": {"": 1, MyStr("k"): 2}}),
        (("pkg", None, {"a": 1}, {"a": None}), {}),
    ],
    ids=[
        "name_only", "positional_nones", "keywords", "all_keywords_none", "empty_name", "str_subclass_name",
        "odd_name", "tuple", "user_sequence", "length_raises", "duplicates", "range", "operator_results",
        "ifthen", "option_kinds", "defaults_with_none", "ordered_dict", "odd_keys", "same_option_in_both",
    ],
)
def test_constructs(args, kwargs):
    outline = PackageOutline(*args, **kwargs)
    assert type(outline) is PackageOutline


def test_keys_with_equal_text_replace_each_other():
    calls = []

    class OddKey(str):
        # distinct dict keys that share one text
        __hash__ = object.__hash__

        def __eq__(self, other):
            calls.append("__eq__")
            return self is other

    class Counted:
        def __init__(self, n):
            self.n = n

        def __index__(self):
            calls.append(self.n)
            return self.n

    set_options = {OddKey("a"): Counted(1), OddKey("a"): Counted(2)}
    set_defaults = {OddKey("a"): None, "a": Counted(3)}
    calls.clear()
    assert type(PackageOutline("pkg", set_options=set_options, set_defaults=set_defaults)) is PackageOutline
    # Every entry is converted once, in order; keys are told apart by their text, never by __eq__.
    assert calls == [1, 2, 3]


def test_outline_is_opaque_and_hashable():
    a, b = PackageOutline("pkg"), PackageOutline("pkg")
    assert a == a and a != b and not (a == b)
    assert hash(a) == hash(a)
    assert {a, b} == {a, b}
    for attr in ("name", "constraints", "set_options", "set_defaults"):
        assert not hasattr(a, attr)
    with pytest.raises(AttributeError):
        a.name = "x"
    with pytest.raises(TypeError):
        a < b
    assert "PackageOutline" in repr(a)


# ---------------------------------------------------------------- binding


@pytest.mark.parametrize(
    "args, kwargs, message",
    [
        ((), {}, "PackageOutline.__new__() missing 1 required positional argument: 'name'"),
        ((), {"constraints": []}, "PackageOutline.__new__() missing 1 required positional argument: 'name'"),
        (
            ("a", "b", "c", "d", "e"),
            {},
            "PackageOutline.__new__() takes from 1 to 4 positional arguments but 5 were given",
        ),
        (
            ("a", "b", "c", "d", "e", "f"),
            {"colour": 1},
            "PackageOutline.__new__() takes from 1 to 4 positional arguments but 6 were given",
        ),
        (("a",), {"name": "b"}, "PackageOutline.__new__() got multiple values for argument 'name'"),
        (("a", []), {"constraints": []}, "PackageOutline.__new__() got multiple values for argument 'constraints'"),
        (
            ("a", None, None, None),
            {"set_defaults": {}},
            "PackageOutline.__new__() got multiple values for argument 'set_defaults'",
        ),
        # an extra keyword is collected, so the missing name is what gets reported
        ((), {"colour": 1}, "PackageOutline.__new__() missing 1 required positional argument: 'name'"),
    ],
)
def test_binding_errors(args, kwargs, message):
    with pytest.raises(TypeError) as info:
        PackageOutline(*args, **kwargs)
    assert type(info.value) is TypeError
    assert str(info.value) == message


# ---------------------------------------------------------------- argument conversion


class IterOnly:
    def __iter__(self):
        return iter([])


@pytest.mark.parametrize(
    "args, kwargs, message",
    [
        ((5,), {}, "argument 'name': 'int' object cannot be cast as 'str'"),
        ((None,), {}, "argument 'name': 'NoneType' object cannot be cast as 'str'"),
        ((b"pkg",), {}, "argument 'name': 'bytes' object cannot be cast as 'str'"),
        (("p", "ab"), {}, "argument 'constraints': Can't extract `str` to `Vec`"),
        (("p", MyStr("")), {}, "argument 'constraints': Can't extract `str` to `Vec`"),
        (("p", _gen()), {}, "argument 'constraints': 'generator' object cannot be cast as 'Sequence'"),
        (("p", {"a"}), {}, "argument 'constraints': 'set' object cannot be cast as 'Sequence'"),
        (("p", {"a": 1}), {}, "argument 'constraints': 'dict' object cannot be cast as 'Sequence'"),
        (("p", iter([])), {}, "argument 'constraints': 'list_iterator' object cannot be cast as 'Sequence'"),
        (("p", IterOnly()), {}, "argument 'constraints': 'IterOnly' object cannot be cast as 'Sequence'"),
        (("p", Depends("a")), {}, "argument 'constraints': 'Depends' object cannot be cast as 'Sequence'"),
        (("p", 3), {}, "argument 'constraints': 'int' object cannot be cast as 'Sequence'"),
        (("p", [Depends("a"), None]), {}, "argument 'constraints': cannot convert '<class 'NoneType'>' to Constraint"),
        (("p", [[Depends("a")]]), {}, "argument 'constraints': cannot convert '<class 'list'>' to Constraint"),
        (("p", None, []), {}, "argument 'set_options': 'list' object cannot be cast as 'dict'"),
        (("p",), {"set_options": "k=v"}, "argument 'set_options': 'str' object cannot be cast as 'dict'"),
        (
            ("p",),
            {"set_options": types.MappingProxyType({})},
            "argument 'set_options': 'mappingproxy' object cannot be cast as 'dict'",
        ),
        (
            ("p",),
            {"set_defaults": collections.UserDict()},
            "argument 'set_defaults': 'UserDict' object cannot be cast as 'dict'",
        ),
        (("p",), {"set_defaults": [("a", 1)]}, "argument 'set_defaults': 'list' object cannot be cast as 'dict'"),
        (("p",), {"set_options": {1: 2}}, "argument 'set_options': 'int' object cannot be cast as 'str'"),
        (("p",), {"set_defaults": {b"k": 2}}, "argument 'set_defaults': 'bytes' object cannot be cast as 'str'"),
        # the key is converted before its value
        (("p",), {"set_options": {1: None}}, "argument 'set_options': 'int' object cannot be cast as 'str'"),
        (
            ("p",),
            {"set_options": {"a": None}},
            "argument 'set_options': cannot cast Python type '<class 'NoneType'>' to SpecOptionValue",
        ),
        (
            ("p",),
            {"set_options": {"a": 1, "b": [1]}},
            "argument 'set_options': cannot cast Python type '<class 'list'>' to SpecOptionValue",
        ),
        (
            ("p",),
            {"set_defaults": {"a": None, "b": Depends("x")}},
            f"argument 'set_defaults': cannot cast Python type '{Depends}' to SpecOptionValue",
        ),
        (
            ("p",),
            {"set_defaults": {"a": 10**400}},
            "argument 'set_defaults': cannot cast Python type '<class 'int'>' to SpecOptionValue",
        ),
        # arguments are converted in parameter order; the first failure wins
        ((5, "ab", [], []), {}, "argument 'name': 'int' object cannot be cast as 'str'"),
        (("p", "ab", [], []), {}, "argument 'constraints': Can't extract `str` to `Vec`"),
        (("p", [], [], []), {}, "argument 'set_options': 'list' object cannot be cast as 'dict'"),
        (("p", [], {1: 1}, {2: 2}), {}, "argument 'set_options': 'int' object cannot be cast as 'str'"),
        # every argument is converted before extra keywords are looked at
        ((5,), {"colour": 1}, "argument 'name': 'int' object cannot be cast as 'str'"),
        (("p",), {"colour": 1, "set_options": {1: 2}}, "argument 'set_options': 'int' object cannot be cast as 'str'"),
        (
            ("p",),
            {"size": 1, "set_defaults": {"a": []}},
            "argument 'set_defaults': cannot cast Python type '<class 'list'>' to SpecOptionValue",
        ),
    ],
)
def test_conversion_errors(args, kwargs, message):
    with pytest.raises(TypeError) as info:
        PackageOutline(*args, **kwargs)
    assert type(info.value) is TypeError
    assert str(info.value) == message


@pytest.mark.parametrize(
    "args, kwargs",
    [
        (("\ud800",), {}),
        (("p",), {"set_options": {"\udfff": 1}}),
        (("p",), {"set_options": {"k": 1}, "\ud800": 1}),
    ],
    ids=["name", "key", "extra_keyword"],
)
def test_lone_surrogates_end_in_encoding_errors(args, kwargs):
    with pytest.raises(UnicodeEncodeError):
        PackageOutline(*args, **kwargs)


class _BadIter(UserSeq):
    def __init__(self, exc):
        super().__init__([])
        self.exc = exc

    def __iter__(self):
        raise self.exc


class MyTypeError(TypeError):
    pass


def test_iteration_errors_are_attributed_only_when_exactly_type_error():
    cause = KeyError("k")
    err = TypeError("boom")
    err.__cause__ = cause
    with pytest.raises(TypeError) as info:
        PackageOutline("p", _BadIter(err))
    assert type(info.value) is TypeError
    assert str(info.value) == "argument 'constraints': boom"
    assert info.value.__cause__ is cause
    sub = MyTypeError("sub")
    with pytest.raises(MyTypeError) as info:
        PackageOutline("p", _BadIter(sub))
    assert info.value is sub
    other = LookupError("other")
    with pytest.raises(LookupError) as info:
        PackageOutline("p", _BadIter(other))
    assert info.value is other


@pytest.mark.thread_unsafe(reason="its gc.collect() would free IfThen garbage of other threads on this one")
def test_cross_thread_ifthen_in_constraints_is_an_internal_failure():
    Panic = panic_type()
    box, ready, done = [], threading.Event(), threading.Event()

    def owner():
        box.append(IfThen(1, 2))
        ready.set()
        done.wait()
        box.clear()  # dropped on the thread that made it

    t = threading.Thread(target=owner)
    gc.collect()
    t.start()
    ready.wait()
    try:
        with pytest.raises(BaseException) as info:
            PackageOutline("p", [Depends("a"), box[0]])
        assert isinstance(info.value, Panic)
        message = "brenk::package::constraint::if_then::IfThen is unsendable, but sent to another thread"
        assert message in str(info.value)
    finally:
        done.set()
        t.join()


# ---------------------------------------------------------------- extra keywords


@pytest.mark.parametrize(
    "kwargs, keyword",
    [
        ({"colour": 1}, "colour"),
        ({"colour": 1, "size": 2}, "colour"),
        ({"size": 2, "colour": 1}, "size"),
        ({"kwargs": {}}, "kwargs"),
        ({"constraints": [], "colour": None, "set_options": {}}, "colour"),
        ({"name_": "x"}, "name_"),
        ({"ünï": 1}, "ünï"),
    ],
)
def test_extra_keywords(kwargs, keyword):
    with pytest.raises(ValueError) as info:
        PackageOutline("pkg", **kwargs)
    assert type(info.value) is ValueError
    assert str(info.value) == f"PyPackageOutline unexpected keyword argument '{keyword}'"


def test_extra_keyword_with_name_by_keyword():
    with pytest.raises(ValueError) as info:
        PackageOutline(colour=1, name="pkg")
    assert str(info.value) == "PyPackageOutline unexpected keyword argument 'colour'"


# ---------------------------------------------------------------- dictionaries changed while walked


def _mutating_value(action, result=1):
    class Mutates:
        def __index__(self):
            action()
            return result

    return Mutates()


@pytest.mark.thread_unsafe(reason="its gc.collect() would free IfThen garbage of other threads on this one")
@pytest.mark.parametrize("param", ["set_options", "set_defaults"])
@pytest.mark.parametrize("change", ["add", "delete_other", "clear"])
def test_dictionary_changed_during_walk_is_an_internal_failure(param, change):
    Panic = panic_type()
    d = {}

    def action():
        if change == "add":
            d["new"] = 1
        elif change == "delete_other":
            d.pop("b", None)
        else:
            d.clear()

    d["a"] = _mutating_value(action)
    d["b"] = 2
    with pytest.raises(BaseException) as info:
        PackageOutline("p", **{param: d})
    assert isinstance(info.value, Panic), info.value
    assert not isinstance(info.value, Exception)
    assert str(info.value) in DICT_CHANGED_MESSAGES


@pytest.mark.parametrize("param", ["set_options", "set_defaults"])
def test_replacing_values_during_walk_is_fine(param):
    d = {}

    def action():
        d["a"] = 5
        d["b"] = "replaced"

    d["a"] = _mutating_value(action)
    d["b"] = 2
    PackageOutline("p", **{param: d})
    assert d == {"a": 5, "b": "replaced"}


@pytest.mark.thread_unsafe(reason="its gc.collect() would free IfThen garbage of other threads on this one")
@pytest.mark.parametrize("param", ["set_options", "set_defaults"])
def test_value_dropping_itself_during_walk_does_not_crash(param):
    # the only reference to the value goes away while it is being converted
    Panic = panic_type()
    d = {}

    class DropsSelf:
        def __index__(self):
            d.pop("a", None)
            raise ValueError("gone")

    d["a"] = DropsSelf()
    d["b"] = 2
    with pytest.raises(BaseException) as info:
        PackageOutline("p", **{param: d})
    if isinstance(info.value, Panic):
        assert str(info.value) in DICT_CHANGED_MESSAGES
    else:
        assert type(info.value) is TypeError
        assert str(info.value).startswith(f"argument '{param}': cannot cast Python type '")


@pytest.mark.thread_unsafe(reason="its gc.collect() would free IfThen garbage of other threads on this one")
def test_same_size_key_swap_during_walk_does_not_crash():
    Panic = panic_type()
    d = {}

    def action():
        d.pop("b", None)
        d["c"] = 3

    d["a"] = _mutating_value(action)
    d["b"] = 2
    try:
        PackageOutline("p", set_options=d)
    except BaseException as e:  # noqa: BLE001
        assert isinstance(e, Panic) and str(e) in DICT_CHANGED_MESSAGES


def test_outline_from_comparisons_end_to_end():
    cond = SpecOption("mypkg", "opt") == SpecOption("other", "opt2")
    outline = PackageOutline(
        "mypkg",
        [cond.if_then(Depends("libx")), Depends("liby"), NumOf([Depends("a"), Depends("b")]) <= 1],
        set_options={"opt": 3},
        set_defaults={"opt2": None, "flag": True},
    )
    assert type(outline) is PackageOutline
    assert type(cond) is Cmp and int(cond.op) == int(CmpType.Equal)
