"""Objects shared between threads: borrow conflicts fail cleanly, values are never torn,
and IfThen objects stay on the thread that made them.

The hammers matter most on a free-threaded interpreter with PYTHON_GIL=0; with the lock on they
still run every path, just with fewer overlaps. Each hammer runs BRENK_STRESS_REPEATS times with
fresh threads: by default 3 times without the lock and once with it; `make stress` asks for 100.
"""

import gc
import operator
import os
import sys
import threading

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
from helpers import (
    DICT_CHANGED_MESSAGES,
    RENDER_PREFIX,
    RENDER_SUFFIX,
    render,
    run_in_thread,
    run_python,
)

pytestmark = pytest.mark.thread_unsafe(
    reason="start their own barrier-synchronised threads, bind IfThen objects to threads and collect garbage"
)

THREADS = 6
ITERATIONS = 1000
GIL_ENABLED = getattr(sys, "_is_gil_enabled", lambda: True)()
REPEATS = int(os.environ.get("BRENK_STRESS_REPEATS") or (1 if GIL_ENABLED else 3))
BORROW_ERRORS = {"Already borrowed", "Already mutably borrowed"}

@pytest.fixture(autouse=True)
def collect_garbage_first():
    # IfThen objects left in reference cycles by earlier tests belong to this thread; collect them
    # here, or the collector may run on a worker and drop them there.
    gc.collect()


def hammer(workers, iterations=ITERATIONS, repeats=REPEATS):
    """Run each worker(i) for i in range(iterations) on its own thread, all released at once;
    all of that `repeats` times."""
    for _ in range(repeats):
        barrier = threading.Barrier(len(workers))
        failures = []

        def run(work, barrier, failures):
            try:
                barrier.wait()
                for i in range(iterations):
                    work(i)
            except BaseException as e:  # noqa: BLE001
                failures.append(e)

        threads = [threading.Thread(target=run, args=(w, barrier, failures)) for w in workers]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        if failures:
            raise failures[0]


def borrowing(fn):
    """fn(), or None when it was refused with one of the borrow errors."""
    try:
        return fn()
    except RuntimeError as e:
        assert str(e) in BORROW_ERRORS, e
        return None


def converting(fn, obj, param):
    """fn(), or None when obj was being written while it was converted (it then matches nothing)."""
    try:
        return fn()
    except TypeError as e:
        assert str(e) == f"argument '{param}': cannot convert '{type(obj)}' to Constraint", e
        return None


# ---------------------------------------------------------------- read-only sharing


def test_shared_readers_never_conflict():
    ver = Version("1.2.0-rc1")
    c = Cmp(SpecOption("p", "o"), NumOf([Depends("a")]), CmpType.LessOrEqual)
    n = NumOf([Depends("a"), 1, "s"])
    s = SpecOption("pkg", "opt")
    v = Maximize(ver).item
    m = Maximize(Minimize(NumOf([c, n, s, v])))
    texts = {id(x): render(x) for x in (c, n, s, v, m)}

    def work(i):
        assert render(c) == texts[id(c)]
        assert render(c.lhs) == "Package 'p' -> Option 'o'"
        assert [x.on for x in c.rhs.of] == ["a"]
        assert int(c.op) == 1
        assert len(n.of) == 3
        assert (s.package_name, s.option_name) == ("pkg", "opt")
        assert str(v.value) == "1.2.0-rc1"
        assert render(Maximize(m).item) == texts[id(m)]
        assert render(n == 2) == f"[ {texts[id(n)]} ] == [ 2 ]"
        assert render(c != True) == f"[ {texts[id(c)]} ] != [ true ]"  # noqa: E712
        assert render(s < s) == f"[ {texts[id(s)]} ] < [ {texts[id(s)]} ]"
        assert render(v >= ver) == "[ 1.2.0-rc1 ] >= [ 1.2.0-rc1 ]"
        assert render(c.if_then(m)) == f"If( {texts[id(c)]} ) Then [ {texts[id(m)]} ]"
        PackageOutline("p", [c, n, s, v, m], set_options={"v": ver}, set_defaults={"w": ver})

    hammer([work] * THREADS)


# ---------------------------------------------------------------- readers and writers on one object


def test_spec_option_texts_are_never_torn():
    names = ["a", "b" * 64, "c" * 4096]
    s = SpecOption(names[0], names[0])

    def writer(i):
        borrowing(lambda: setattr(s, "package_name", names[i % 3]))
        borrowing(lambda: setattr(s, "option_name", names[(i + 1) % 3]))

    def reader(i):
        got = borrowing(lambda: s.package_name)
        assert got is None or got in names
        got = borrowing(lambda: s.option_name)
        assert got is None or got in names
        item = converting(lambda: Maximize(s).item, s, "item")
        if item is not None:
            assert item.package_name in names and item.option_name in names

    hammer([writer, reader] * (THREADS // 2))


def _value_key(x):
    return (type(x).__name__, str(x) if isinstance(x, Version) else x)


def test_value_is_never_torn():
    values = [0, -1, 2**63 - 1, 2.5, -0.5, "", "x" * 5000, True, False, Version("1.2.3-rc1+b5")]
    keys = {_value_key(x) for x in values}
    v = Maximize(values[0]).item

    def writer(i):
        borrowing(lambda: setattr(v, "value", values[i % len(values)]))

    def reader(i):
        got = borrowing(lambda: v.value)
        assert got is None or _value_key(got) in keys
        item = converting(lambda: Minimize(v).item, v, "item")
        if item is not None:
            assert _value_key(item.value) in keys

    hammer([writer, reader] * (THREADS // 2))


def test_cmp_fields_comparisons_and_if_then_under_writes():
    lnames = ["l0", "l1" * 100, "l2" * 1000]
    rnames = ["r0", "r1" * 100, "r2" * 1000]
    members = [CmpType.Less, CmpType.LessOrEqual, CmpType.NotEqual, CmpType.Equal, CmpType.GreaterOrEqual,
               CmpType.Greater]
    c = Cmp(Depends(lnames[0]), Depends(rnames[0]), CmpType.Equal)

    def check_cmp(x):
        assert type(x) is Cmp
        assert x.lhs.on in lnames and x.rhs.on in rnames and 0 <= int(x.op) <= 5

    def writer(i):
        borrowing(lambda: setattr(c, "lhs", Depends(lnames[i % 3])))
        borrowing(lambda: setattr(c, "rhs", Depends(rnames[i % 3])))
        borrowing(lambda: setattr(c, "op", members[i % 6]))

    def reader(i):
        lhs = borrowing(lambda: c.lhs)
        assert lhs is None or lhs.on in lnames
        op = borrowing(lambda: c.op)
        assert op is None or 0 <= int(op) <= 5
        implication = borrowing(lambda: c.if_then(Depends("t")))
        if implication is not None:
            check_cmp(implication.cond)
            assert implication.then.on == "t"
        copy = converting(lambda: Maximize(c).item, c, "item")
        if copy is not None:
            check_cmp(copy)

    def comparer(i):
        # a Cmp being written makes its own operator return NotImplemented, and then Python falls back
        result = c == True  # noqa: E712
        if result is not False:
            check_cmp(result.lhs)
            assert result.rhs.value is True
        other = Depends("o")
        result = other != c
        if result is not True:
            # asked of other first; if c could not be read then, c may answer the reflected question
            if type(result.lhs) is Depends:
                assert result.lhs.on == "o"
                check_cmp(result.rhs)
            else:
                check_cmp(result.lhs)
                assert result.rhs.on == "o"

    hammer([writer, reader, comparer] * (THREADS // 3))


def test_numof_list_is_never_torn():
    # every write stores a list whose length matches the text of each element
    lists = [[Depends(str(k))] * k for k in (1, 7, 60)]
    n = NumOf(lists[0])

    def consistent(of):
        assert all(x.on == str(len(of)) for x in of), [x.on for x in of]

    def writer(i):
        borrowing(lambda: setattr(n, "of", lists[i % 3]))

    def reader(i):
        of = borrowing(lambda: n.of)
        if of is not None:
            consistent(of)
        copy = converting(lambda: NumOf([n]).of[0], n, "of")
        if copy is not None:
            consistent(copy.of)

    def comparer(i):
        try:
            result = n <= len(lists[i % 3])
        except TypeError as e:  # n was being written: both sides declined
            assert "not supported" in str(e)
            return
        consistent(result.lhs.of)

    hammer([writer, reader, comparer] * (THREADS // 3))


def test_rendering_under_writes_shows_one_whole_value():
    trees = [Maximize(1), Minimize(NumOf([Depends("a")] * 50)), Maximize(Cmp("x" * 1000, 2, CmpType.Less))]
    texts = {render(t) for t in trees}
    m = Maximize(trees[0])

    def writer(i):
        borrowing(lambda: setattr(m, "item", trees[i % 3]))

    forward = (RENDER_PREFIX, RENDER_SUFFIX)
    # when m is being written, its operator declines and Depends gets the reflected question
    reflected = (
        "Cannot compare type Some(Bool) from constraint Depends( z ) with type None from constraint Maximize( ",
        " ) using operator '>'",
    )

    def renderer(i):
        try:
            m < Depends("z")
        except NotImplementedError as e:
            msg = str(e)
            for head, tail in (forward, reflected):
                if msg.startswith(head) and msg.endswith(tail):
                    assert msg[len(head) : -len(tail)] in texts, msg
                    break
            else:
                raise AssertionError(msg)
        except TypeError as e:  # m could not be read by either side
            assert "not supported" in str(e)
        else:
            raise AssertionError("accepted")

    hammer([writer, renderer] * (THREADS // 2))


def test_outlines_from_shared_containers_being_changed():
    constraints = [Depends("a"), 1, "s"]
    options = {"a": 1, "b": "two", "c": 3.0}
    replacements = [Depends("b"), 2, 2.5, True, Version("1")]

    def changer(i):
        constraints[i % 3] = replacements[i % 5]
        options["abc"[i % 3]] = replacements[1 + i % 4]

    def builder(i):
        PackageOutline("p", constraints, set_options=options, set_defaults=options)

    hammer([changer] + [builder] * (THREADS - 1))


def test_independent_objects_in_parallel_never_conflict():
    def work(i):
        c = Cmp(SpecOption("p", str(i)), i, CmpType.Equal)
        c.rhs = i + 1
        assert c.rhs.value == i + 1
        n = NumOf([c.if_then(Depends("x"))] * 3)
        assert len(n.of) == 3
        PackageOutline(str(i), [c, n], {"k": i}, {"k": None})

    hammer([work] * THREADS)


# ---------------------------------------------------------------- every entry point under contention

TEXTS = ["a", "b" * 100, "c" * 3000]
INTS = [0, -1, 2**63 - 1]


def converting_any(fn, *sources):
    """fn(), or None when the object of one of the (parameter, object) pairs in `sources` was being
    written while it was converted."""
    try:
        return fn()
    except TypeError as e:
        allowed = {f"argument '{param}': cannot convert '{type(obj)}' to Constraint" for param, obj in sources}
        assert str(e) in allowed, e
        return None


def _render_all(objs):
    return tuple(render(x) for x in objs)


# (id, factory, property, values written: the first is also the starting value, key of a read)
PROPERTIES = [
    ("depends-on", lambda: Depends("x"), "on", TEXTS, str),
    ("spec-option-package", lambda: SpecOption("x", "y"), "package_name", TEXTS, str),
    ("spec-option-option", lambda: SpecOption("x", "y"), "option_name", TEXTS, str),
    ("cmp-lhs", lambda: Cmp(1, 2, CmpType.Equal), "lhs", [7, Depends("d"), SpecOption("p", "o" * 500)], render),
    ("cmp-rhs", lambda: Cmp(1, 2, CmpType.Equal), "rhs", [2.5, NumOf([Depends("x")] * 40), "s" * 800], render),
    ("cmp-op", lambda: Cmp(1, 2, CmpType.Equal), "op", [CmpType.Less, CmpType.NotEqual, CmpType.Greater], int),
    ("maximize-item", lambda: Maximize(1), "item", [True, Minimize(Depends("m")), Version("1.2.3-rc1")], render),
    ("minimize-item", lambda: Minimize(1), "item", [-0.5, Maximize(NumOf([])), "t" * 2000], render),
    ("num-of-of", lambda: NumOf([]), "of", [[], [Depends("n")] * 30, [1, "two", 3.0]], _render_all),
    ("value-value", lambda: Maximize(0).item, "value", [False, 2**63 - 1, "v" * 4000, Version("2.0+b7")], _value_key),
]


@pytest.mark.parametrize(
    "factory, name, values, key", [row[1:] for row in PROPERTIES], ids=[row[0] for row in PROPERTIES]
)
def test_every_property_reads_one_whole_written_value(factory, name, values, key):
    obj = factory()
    setattr(obj, name, values[0])
    keys = {key(v) for v in values}

    def writer(i):
        borrowing(lambda: setattr(obj, name, values[i % len(values)]))

    def reader(i):
        got = borrowing(lambda: getattr(obj, name))
        assert got is None or key(got) in keys

    def copier(i):
        # the object as an argument: copied whole under a shared borrow, or not converted at all
        copy = converting_any(lambda: Maximize(obj).item, ("item", obj))
        if copy is not None:
            assert key(getattr(copy, name)) in keys
        copies = converting_any(lambda: NumOf([obj, obj]).of, ("of", obj))
        if copies is not None:
            assert {key(getattr(c, name)) for c in copies} <= keys

    hammer([writer, reader, copier] * (THREADS // 3))


def test_constructors_and_if_then_from_shared_objects_being_written():
    dep = Depends(TEXTS[0])
    val = Maximize(INTS[0]).item
    cond = Cmp(Depends("c"), True, CmpType.Equal)
    ops = [CmpType.Less, CmpType.Equal, CmpType.GreaterOrEqual]
    versions = ["1.2.0-rc1+build5", "1.*.x", "00000000004294967296"]

    def writer(i):
        borrowing(lambda: setattr(dep, "on", TEXTS[i % 3]))
        borrowing(lambda: setattr(val, "value", INTS[i % 3]))
        borrowing(lambda: setattr(cond, "rhs", i % 2 == 0))

    def builder(i):
        c = converting_any(lambda: Cmp(dep, rhs=val, op=ops[i % 3]), ("lhs", dep), ("rhs", val))
        if c is not None:
            assert (c.lhs.on in TEXTS, c.rhs.value in INTS, int(c.op)) == (True, True, int(ops[i % 3]))
        made = converting_any(lambda: IfThen(val, then=dep), ("cond", val), ("then", dep))
        if made is not None:  # made on this thread, so it is this thread's to read and drop
            assert made.cond.value in INTS and made.then.on in TEXTS
        item = converting_any(lambda: Maximize(dep).item, ("item", dep))
        assert item is None or item.on in TEXTS
        item = converting_any(lambda: Minimize(item=val).item, ("item", val))
        assert item is None or item.value in INTS
        of = converting_any(lambda: NumOf((dep, val, dep)).of, ("of", dep), ("of", val))
        if of is not None:
            assert of[0].on in TEXTS and of[1].value in INTS and of[2].on in TEXTS
        made = borrowing(lambda: converting_any(lambda: cond.if_then(then=dep), ("then", dep)))
        if made is not None:
            assert made.cond.rhs.value in (True, False) and made.then.on in TEXTS
        assert Depends(TEXTS[i % 3]).on == TEXTS[i % 3]
        s = SpecOption(TEXTS[i % 3], option_name=TEXTS[(i + 1) % 3])
        assert (s.package_name, s.option_name) == (TEXTS[i % 3], TEXTS[(i + 1) % 3])
        assert str(Version(versions[i % 3])) == versions[i % 3]

    hammer([writer, builder, builder] * (THREADS // 3))


# (operator, op of x OP y, op when y answers the reflected question)
OPERATORS = [
    (operator.lt, CmpType.Less, CmpType.Greater),
    (operator.le, CmpType.LessOrEqual, CmpType.GreaterOrEqual),
    (operator.eq, CmpType.Equal, CmpType.Equal),
    (operator.ne, CmpType.NotEqual, CmpType.NotEqual),
    (operator.gt, CmpType.Greater, CmpType.Less),
    (operator.ge, CmpType.GreaterOrEqual, CmpType.LessOrEqual),
]


def test_every_comparison_operator_under_writes():
    # every list written has as many elements as the text of each element says
    lists = [[Depends(str(k))] * k for k in (0, 7, 60)]
    v = Maximize(INTS[0]).item
    n = NumOf(lists[0])

    def check_num_of(x):
        assert type(x) is NumOf and all(e.on == str(len(x.of)) for e in x.of)

    def check_value(x, allowed):
        assert type(x) is Value and x.value in allowed

    def writer(i):
        borrowing(lambda: setattr(v, "value", INTS[i % 3]))
        borrowing(lambda: setattr(n, "of", lists[i % 3]))

    def comparer(i):
        fn, op, mirrored = OPERATORS[i % 6]
        for left, right, allowed in ((v, n, INTS), (5, n, [5])):
            try:
                result = fn(left, right)
            except TypeError as e:  # both sides declined: each was being written when asked
                assert "not supported between instances" in str(e), e
                continue
            if type(result) is bool:  # == and != then fall back to identity
                assert fn in (operator.eq, operator.ne) and result is (fn is operator.ne)
                continue
            assert type(result) is Cmp
            if type(result.lhs) is Value:  # answered by the left side
                assert int(result.op) == int(op)
                check_value(result.lhs, allowed)
                check_num_of(result.rhs)
            else:  # the left side declined and the right one answered the reflected question
                assert int(result.op) == int(mirrored)
                check_num_of(result.lhs)
                check_value(result.rhs, allowed)

    hammer([writer, comparer, comparer] * (THREADS // 3))


def test_versions_shared_between_threads_never_conflict():
    texts = ["1.2.3", "1.2.0-rc1+build5", "2.>", "a+b-c"]
    versions = [Version(t) for t in texts]
    reprs = {repr(v) for v in versions}
    holder = Maximize(0).item
    cmp = Cmp(SpecOption("p", "v"), versions[0], CmpType.GreaterOrEqual)

    def work(i):
        ver = versions[i % len(versions)]
        assert str(ver) == texts[i % len(texts)] and repr(ver) in reprs
        borrowing(lambda: setattr(holder, "value", ver))
        got = borrowing(lambda: holder.value)
        assert got is None or str(got) in texts
        result = Maximize(ver).item <= ver
        assert str(result.lhs.value) == str(result.rhs.value) == texts[i % len(texts)]
        borrowing(lambda: setattr(cmp, "rhs", ver))
        PackageOutline("p", [Maximize(ver)], set_options={"v": ver}, set_defaults={"v": ver, "w": None})

    hammer([work] * THREADS)


def test_outlines_from_shared_lists_that_grow_and_shrink():
    dep = Depends(TEXTS[0])
    constraints = [dep, 1, "s"]
    options = {"a": 1, "b": "two", "c": Version("3")}
    values = [2, 2.5, True, "x" * 100, Version("1.0")]

    def changer(i):
        if len(constraints) < 20:
            constraints.append(Depends(str(i)) if i % 2 else i)
        else:
            del constraints[3:]
        constraints[i % 3] = [dep, i, "t"][i % 3]
        options["abc"[i % 3]] = values[i % 5]  # same keys, new values: the walk never notices
        borrowing(lambda: setattr(dep, "on", TEXTS[i % 3]))

    def builder(i):
        converting_any(lambda: PackageOutline("p", constraints, options, options), ("constraints", dep))
        of = converting_any(lambda: NumOf(constraints).of, ("of", dep))
        assert of is None or len(of) >= 3

    hammer([changer] + [builder] * (THREADS - 1))


def test_outline_walks_dicts_that_other_threads_resize():
    shared = {"k0": 0, "k1": "one", "k2": Version("2")}
    # keys and values that the walk may meet halfway: some cannot be converted
    extras = [("x", 1.5), ("y", None), ("z", []), (5, 1), ("w", "w" * 100)]
    conversion_errors = {
        "argument 'set_options': cannot cast Python type '<class 'NoneType'>' to SpecOptionValue",
        "argument 'set_options': cannot cast Python type '<class 'list'>' to SpecOptionValue",
        "argument 'set_defaults': cannot cast Python type '<class 'list'>' to SpecOptionValue",
        "argument 'set_options': 'int' object cannot be cast as 'str'",
        "argument 'set_defaults': 'int' object cannot be cast as 'str'",
    }

    def mutator(i):
        key, value = extras[i % len(extras)]
        if i % 2:
            shared[key] = value
        else:
            shared.pop(key, None)
        if i % 7 == 0:
            shared.pop("k0", None)
            shared["k0"] = i  # the same size, the key moved to the end

    def walker(i):
        try:
            if i % 2:
                PackageOutline("p", set_options=shared)
            else:
                PackageOutline("p", [Depends("a")], None, shared)
        except TypeError as e:
            assert str(e) in conversion_errors, e
        except BaseException as e:  # noqa: BLE001
            assert type(e).__name__ == "PanicException" and not isinstance(e, Exception), repr(e)
            assert str(e) in DICT_CHANGED_MESSAGES, e

    hammer([mutator, mutator] + [walker] * (THREADS - 2))


def test_first_import_and_first_panic_on_many_threads_at_once():
    # A fresh interpreter, so that the module and the PanicException class are made here, on
    # first need, by whichever thread gets there first while the others wait.
    out = run_python(
        """
        import threading
        N = 6
        barrier = threading.Barrier(N)
        mine = [None] * N
        seen = []

        def work(i):
            barrier.wait()
            import brenk
            from brenk.package.constraint import Depends, IfThen
            mine[i] = IfThen(Depends(str(i)), 1)
            barrier.wait()
            other = mine[(i + 1) % N]
            try:
                other.cond
            except BaseException as e:
                seen.append((id(type(e)), type(e).__name__, isinstance(e, Exception), "unsendable" in str(e)))
            other = None
            barrier.wait()
            mine[i] = None  # dropped on the thread that made it

        workers = [threading.Thread(target=work, args=(i,)) for i in range(N)]
        for t in workers:
            t.start()
        for t in workers:
            t.join()
        print(len(seen), len({s[0] for s in seen}), sorted({s[1:] for s in seen}))
        """
    ).check()
    assert out.stdout.decode() == "6 1 [('PanicException', False, True)]\n"


# ---------------------------------------------------------------- IfThen thread binding


# The other uses of an IfThen away from its thread: test_binding.py.
def test_ifthen_delete_is_refused_before_the_thread_check():
    i = IfThen(1, 2)
    outcome = run_in_thread(lambda: delattr(i, "cond"))
    assert outcome.caught_as_exception and type(outcome.error) is AttributeError
    assert str(outcome.error) == "can't delete attribute"


def test_ifthen_read_from_a_shared_container_belongs_to_the_reader():
    m = Maximize(IfThen(Depends("c"), 1))
    c = Cmp(IfThen(2, 3), 1, CmpType.Equal)

    def use():
        mine = m.item
        theirs = c.lhs
        return render(mine.cond), render(theirs.then), render(Maximize(mine)), render(c.if_then(mine).then)

    outcome = run_in_thread(use)
    assert outcome.error is None, outcome.error
    assert outcome.result == ("Depends( c )", "3", "Maximize( If( Depends( c ) ) Then [ 1 ] )", "If( Depends( c ) ) Then [ 1 ]")


def test_ifthen_hammer_on_own_threads():
    def work(k):
        i = IfThen(SpecOption("p", str(k)) == SpecOption("q", "o"), Depends(str(k)))
        i.then = NumOf([i])
        assert i.then.of[0].then.on == str(k)
        assert type(i.cond) is Cmp

    hammer([work] * THREADS, iterations=300)


def test_value_objects_are_not_thread_bound():
    v = Maximize(Version("2.0")).item
    outcome = run_in_thread(lambda: (str(v.value), type(Maximize(v).item) is Value))
    assert (outcome.error, outcome.result) == (None, ("2.0", True))
