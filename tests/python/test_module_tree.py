"""The module tree that ``import brenk`` builds, and the properties every class shares."""

import gc
import importlib
import inspect
import sys
import weakref

import pytest

import brenk
import brenk.package.constraint
import brenk.package.outline
import brenk.package.version
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
from helpers import run_python

package = brenk.package

CONSTRAINT_CLASSES = ["Cmp", "CmpType", "Depends", "IfThen", "Maximize", "Minimize", "NumOf", "SpecOption", "Value"]

# (dotted path, __name__, public names in the order they are added)
TREE = [
    ("brenk", "brenk", ["package", "init_tracing", "main_entry"]),
    ("brenk.package", "package", ["outline", "constraint", "version"]),
    ("brenk.package.outline", "outline", ["PackageOutline"]),
    ("brenk.package.constraint", "constraint", CONSTRAINT_CLASSES),
    ("brenk.package.version", "version", ["Version"]),
]


def resolve(path):
    obj = brenk
    for part in path.split(".")[1:]:
        obj = getattr(obj, part)
    return obj


@pytest.mark.parametrize(("path", "name", "public"), TREE, ids=[row[0] for row in TREE])
def test_module_names_and_all(path, name, public):
    module = resolve(path)
    assert module.__name__ == name
    assert module.__all__ == public
    assert type(module.__all__) is list
    # Attributes are added in __all__ order, after the module's own dunders.
    assert [key for key in vars(module) if not key.startswith("__")] == public


@pytest.mark.parametrize("path", [row[0] for row in TREE[1:]])
def test_submodules_are_the_sys_modules_entries(path):
    assert sys.modules[path] is resolve(path)
    assert importlib.import_module(path) is resolve(path)


def test_sys_modules_entries_added_in_order():
    # Checked in a fresh process so no earlier test can have touched sys.modules.
    out = run_python(
        """
        import sys
        import brenk
        print([k for k in sys.modules if k.startswith("brenk.")])
        """
    ).check()
    assert out.stdout.decode().strip() == str(
        ["brenk.package.outline", "brenk.package.constraint", "brenk.package.version", "brenk.package"]
    )


def test_from_imports_work_without_python_sources():
    out = run_python(
        """
        import brenk
        import brenk.package.constraint
        from brenk.package.outline import PackageOutline
        from brenk.package.version import Version
        from brenk.package.constraint import *
        print(sorted(n for n in dir() if not n.startswith("_")))
        print(brenk.__file__.endswith(".so"))
        """
    ).check()
    lines = out.stdout.decode().splitlines()
    assert lines[0] == str(sorted(["PackageOutline", "Version", "brenk", *CONSTRAINT_CLASSES]))
    assert lines[1] == "True"


def test_docs():
    assert brenk.__doc__ == ""
    for path, _, _ in TREE[1:]:
        assert resolve(path).__doc__ is None, path


def test_reimport_returns_same_module():
    out = run_python(
        """
        import sys
        import brenk
        first = brenk
        package = brenk.package
        del sys.modules["brenk"]
        import brenk
        print(brenk is first, brenk.package is package, brenk.__all__)
        """
    ).check()
    assert out.stdout.decode().strip() == "True True ['package', 'init_tracing', 'main_entry']"


# ---------------------------------------------------------------- classes

# (module, class, doc, text signature)
CLASSES = [
    (brenk.package.outline, "PackageOutline", "", "(name, constraints=None, set_options=None, set_defaults=None, **kwargs)"),
    (brenk.package.constraint, "Cmp", "", "(lhs, rhs, op)"),
    (brenk.package.constraint, "CmpType", None, None),
    (brenk.package.constraint, "Depends", "", "(name)"),
    (brenk.package.constraint, "IfThen", "", "(cond, then)"),
    (brenk.package.constraint, "Maximize", "", "(item)"),
    (brenk.package.constraint, "Minimize", "", "(item)"),
    (brenk.package.constraint, "NumOf", "", "(of)"),
    (brenk.package.constraint, "SpecOption", "", "(package_name, option_name)"),
    (brenk.package.constraint, "Value", None, None),
    (
        brenk.package.version,
        "Version",
        "A generic version.\n\nSee the documentation for this module for more information.",
        "(ver)",
    ),
]

Py_TPFLAGS_DISALLOW_INSTANTIATION = 1 << 7
Py_TPFLAGS_IMMUTABLETYPE = 1 << 8
Py_TPFLAGS_BASETYPE = 1 << 10
Py_TPFLAGS_HAVE_GC = 1 << 14


@pytest.mark.parametrize(("module", "name", "doc", "signature"), CLASSES, ids=[row[1] for row in CLASSES])
def test_class_identity_and_docs(module, name, doc, signature):
    cls = getattr(module, name)
    assert cls.__name__ == name
    assert cls.__qualname__ == name
    assert cls.__module__ == "builtins"
    assert repr(cls) == f"<class 'builtins.{name}'>"
    assert cls.__bases__ == (object,)
    assert cls.__doc__ == doc
    assert cls.__text_signature__ == signature
    if signature is not None:
        assert str(inspect.signature(cls)) == signature


@pytest.mark.parametrize(("module", "name"), [row[:2] for row in CLASSES], ids=[row[1] for row in CLASSES])
def test_class_cannot_be_subclassed(module, name):
    cls = getattr(module, name)
    with pytest.raises(TypeError):
        type("Sub", (cls,), {})
    assert not cls.__flags__ & Py_TPFLAGS_BASETYPE


@pytest.mark.parametrize(("module", "name"), [row[:2] for row in CLASSES], ids=[row[1] for row in CLASSES])
def test_class_type_flags(module, name):
    cls = getattr(module, name)
    flags = cls.__flags__
    assert not flags & Py_TPFLAGS_IMMUTABLETYPE
    assert not flags & Py_TPFLAGS_HAVE_GC
    assert bool(flags & Py_TPFLAGS_DISALLOW_INSTANTIATION) == (name in ("CmpType", "Value"))


@pytest.mark.thread_unsafe(reason="sets and deletes an attribute of the Depends class, which every thread shares")
def test_class_types_stay_mutable():
    Depends._probe = 1
    try:
        assert Depends("a")._probe == 1
    finally:
        del Depends._probe
    assert not hasattr(Depends("a"), "_probe")


@pytest.mark.parametrize("cls", [Value, CmpType], ids=["Value", "CmpType"])
def test_classes_without_constructor(cls):
    with pytest.raises(TypeError, match=rf"cannot create 'builtins\.{cls.__name__}' instances"):
        cls()
    with pytest.raises(TypeError, match="cannot create"):
        cls(1)


def _instances():
    cmp = Cmp(SpecOption("p", "o"), 3, CmpType.Equal)
    return {
        "PackageOutline": PackageOutline("p"),
        "Cmp": cmp,
        "CmpType": CmpType.Less,
        "Depends": Depends("a"),
        "IfThen": IfThen(Depends("a"), Depends("b")),
        "Maximize": Maximize(1),
        "Minimize": Minimize(1),
        "NumOf": NumOf([]),
        "SpecOption": SpecOption("p", "o"),
        "Value": cmp.rhs,
        "Version": Version("1.0"),
    }


INSTANCE_NAMES = [row[1] for row in CLASSES]
HASHABLE = {"PackageOutline", "CmpType", "Version"}


@pytest.mark.parametrize("name", INSTANCE_NAMES)
def test_instances_have_no_dict_or_weakref(name):
    obj = _instances()[name]
    assert type(obj).__name__ == name
    assert not hasattr(obj, "__dict__")
    with pytest.raises(AttributeError):
        obj.undeclared_attribute = 1
    with pytest.raises(TypeError):
        weakref.ref(obj)
    assert not gc.is_tracked(obj)


@pytest.mark.parametrize("name", INSTANCE_NAMES)
def test_hashability(name):
    obj = _instances()[name]
    if name in HASHABLE:
        assert hash(obj) == object.__hash__(obj)
        assert obj == obj
        twin = _instances()[name]
        if name != "CmpType":  # the members are singletons
            assert not (obj == twin)
            assert obj != twin
    else:
        assert type(obj).__hash__ is None
        with pytest.raises(TypeError, match="unhashable"):
            hash(obj)


def test_class_objects_are_shared_across_lookups():
    assert brenk.package.constraint.Cmp is sys.modules["brenk.package.constraint"].Cmp
    assert type(Cmp(1, 2, CmpType.Less).lhs) is Value
    assert type(Cmp(1, 2, CmpType.Less).op) is CmpType


# ---------------------------------------------------------------- functions


@pytest.mark.parametrize("name", ["init_tracing", "main_entry"])
def test_functions(name):
    fn = getattr(brenk, name)
    assert type(fn) is type(len)
    assert fn.__name__ == name
    assert fn.__self__ is brenk
    assert fn.__module__ == "brenk"
    assert fn.__text_signature__ == "()"
    assert fn.__doc__ is None
    assert str(inspect.signature(fn)) == "()"


@pytest.mark.parametrize("name", ["init_tracing", "main_entry"])
@pytest.mark.parametrize("call", ["(1)", "(None)", "(x=1)", "(1, 2)"])
def test_functions_refuse_arguments_without_running(name, call):
    out = run_python(
        f"""
        import brenk
        try:
            brenk.{name}{call}
        except TypeError as e:
            print("TypeError", e, flush=True)
        """,
        set_env={"NO_COLOR": "1"},
    ).check()
    # Neither the log activation line nor the entry line was written.
    line = out.stdout.decode()
    assert line.startswith("TypeError ")
    assert "brenk entrypoint" not in line and "tracing activated" not in line
    assert "takes no" in line


def test_refused_init_tracing_does_not_install_the_log():
    out = run_python(
        """
        import brenk
        try:
            brenk.init_tracing(1)
        except TypeError:
            pass
        brenk.init_tracing()
        """,
        set_env={"NO_COLOR": "1"},
    ).check()
    assert out.stdout == b" WARN brenk: tracing activated\n"


# ---------------------------------------------------------------- subinterpreters

SUBINTERPRETER_SCRIPT = """
import sys
import brenk
first = brenk
import _interpreters
try:
    config = _interpreters.new_config("legacy", check_multi_interp_extensions=False)
    interp = _interpreters.create(config)
except Exception as exc:
    print("REFUSED", type(exc).__name__, exc)
    raise SystemExit(0)
try:
    for _ in range(2):
        failure = _interpreters.run_string(interp, "import brenk")
        print("RESULT", failure.type.__name__ if failure else None, failure.msg if failure else "")
finally:
    _interpreters.destroy(interp)
del sys.modules["brenk"]
import brenk
print("MAIN", brenk is first, brenk.package.constraint.Depends("x").on)
"""


def test_import_in_subinterpreter_is_refused():
    out = run_python(SUBINTERPRETER_SCRIPT).check()
    lines = out.stdout.decode().splitlines()
    if lines and lines[0].startswith("REFUSED"):
        pytest.skip(f"this interpreter cannot load single-phase modules in subinterpreters: {lines[0]}")
    assert len(lines) == 3, out
    for line in lines[:2]:
        kind, _, message = line.partition(" ")[2].partition(" ")
        assert kind == "ImportError", line
        assert "do not yet support subinterpreters" in message
    # The main interpreter keeps its module and stays usable.
    assert lines[2] == "MAIN True x"


def test_import_in_subinterpreter_via_testcapi():
    out = run_python(
        """
        import brenk
        try:
            import _testcapi
        except ImportError:
            print("NOCAPI")
            raise SystemExit(0)
        print("RC", _testcapi.run_in_subinterp("import brenk"), flush=True)
        print("MAIN", brenk.package.version.Version("1.2"))
        """
    ).check()
    text = out.stdout.decode()
    if text.startswith("NOCAPI"):
        pytest.skip("_testcapi is not available")
    assert text.splitlines() == ["RC -1", "MAIN 1.2"]
    # run_in_subinterp prints the subinterpreter's traceback.
    if "does not support loading in subinterpreters" in out.stderr:
        pytest.skip("this interpreter refuses single-phase modules in subinterpreters itself")
    assert "ImportError" in out.stderr
    assert "do not yet support subinterpreters" in out.stderr
