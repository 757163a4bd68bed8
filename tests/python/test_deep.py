"""Very deep constraint trees: built, read, rendered, copied and released without exhausting
the native stack, also on a thread with a small stack."""

import gc
import threading

import pytest

import brenk  # noqa: F401
from brenk.package.constraint import Cmp, CmpType, Depends, IfThen, Maximize, Minimize, NumOf
from brenk.package.outline import PackageOutline
from helpers import MESSAGE_TEXT_CAP, TRUNCATION_MARKER

pytestmark = pytest.mark.thread_unsafe(
    reason="million-node trees, some on small-stack threads made through the process-wide threading.stack_size()"
)

DEPTH = 1_000_000
SHAPE_DEPTH = 100_000
SMALL_STACK = 256 * 1024


def maximize_chain(depth):
    m = Maximize(0)
    for _ in range(depth):
        m = Maximize(m)
    return m


def on_small_stack(fn):
    """Run fn on a thread whose native stack is SMALL_STACK bytes; re-raise what it raised."""
    out = []

    def run():
        try:
            out.append(("ok", fn()))
        except BaseException as e:  # noqa: BLE001
            out.append(("err", e))

    t = threading.Thread(target=run)
    gc.collect()  # leave no IfThen garbage for the collector to find on the other thread
    old = threading.stack_size(SMALL_STACK)
    try:
        t.start()  # the stack size is taken when the thread starts
    finally:
        threading.stack_size(old)
    t.join()
    kind, value = out[0]
    if kind == "err":
        raise value
    return value


@pytest.fixture(scope="module")
def chain():
    return maximize_chain(DEPTH)


def test_read_walks_down(chain):
    m = chain
    for _ in range(1000):
        m = m.item
        assert type(m) is Maximize
    assert type(chain.item) is Maximize


def test_rendering_in_a_comparison_message(chain):
    with pytest.raises(NotImplementedError) as info:
        chain < 1
    msg = str(info.value)
    head = "Cannot compare type None from constraint "
    tail = " with type Some(Int) from constraint 1 using operator '<'"
    assert msg.startswith(head) and msg.endswith(tail)
    body = msg[len(head) : -len(tail)]
    n = DEPTH + 1
    assert body == ("Maximize( " * n + "0" + " )" * n)[:MESSAGE_TEXT_CAP] + TRUNCATION_MARKER


def test_copies_of_the_chain(chain):
    # a comparison result, an if_then and an outline each hold the whole chain
    c = Minimize(chain)
    assert type(c.item) is Maximize
    cmp = Cmp(chain, 1, CmpType.Equal)
    i = cmp.if_then(chain)
    assert type(i.then) is Maximize
    PackageOutline("p", [chain, cmp, i, NumOf([chain, chain])])
    del c, cmp, i


def test_release_on_a_small_stack():
    box = [maximize_chain(DEPTH)]
    on_small_stack(lambda: box.pop() and None)
    assert box == []


@pytest.mark.smoke
def test_build_read_render_and_release_on_a_small_stack():
    def work():
        m = maximize_chain(DEPTH)
        assert type(m.item.item) is Maximize
        try:
            m < 1
        except NotImplementedError as e:
            text = str(e)
        # as many levels as the message's cap holds
        assert text.count("Maximize( ") == MESSAGE_TEXT_CAP // len("Maximize( ")
        copy = Maximize(m)
        del m
        del copy
        return True

    assert on_small_stack(work) is True


def _nest(kind, depth):
    if kind == "numof":
        x = NumOf([])
        for _ in range(depth):
            x = NumOf([x])
    elif kind == "cmp_lhs_setter":
        x = Cmp(1, 2, CmpType.Less)
        for _ in range(depth):
            x.lhs = x
    elif kind == "cmp_rhs_operator":
        x = NumOf([])
        for _ in range(depth):
            x = NumOf([x]) == 1
            x = NumOf([x])
    elif kind == "ifthen":
        x = IfThen(1, 2)
        for _ in range(depth):
            x = IfThen(x, Depends("d"))
    elif kind == "mixed":
        x = Depends("leaf")
        for k in range(depth):
            x = (Maximize, Minimize, lambda y: NumOf((y,)))[k % 3](x)
    return x


@pytest.mark.parametrize("kind", ["numof", "cmp_lhs_setter", "cmp_rhs_operator", "ifthen", "mixed"])
def test_other_deep_shapes_on_a_small_stack(kind):
    def work():
        x = _nest(kind, SHAPE_DEPTH)
        try:
            Maximize(x) < 1
        except NotImplementedError as e:
            length = len(str(e))
        assert length > SHAPE_DEPTH * 5
        PackageOutline("p", [x])
        outer = type(x)
        copy = Maximize(x).item
        del x  # the copy now holds the only reference
        assert type(copy) is outer
        return True

    assert on_small_stack(work) is True


def test_deep_shape_released_on_another_thread():
    # made here, dropped on a small stack; wrapped in Maximize because IfThen objects stay on their thread
    box = [Maximize(_nest("mixed", SHAPE_DEPTH))]
    on_small_stack(lambda: box.pop() and None)
    assert box == []
