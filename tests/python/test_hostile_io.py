"""Hostile callers of the module's output: messages whose text would be unbounded.

Each case runs in a fresh interpreter so that a hang or a crash fails one case. Every child
starts with an alarm: a child that hangs is killed by SIGALRM instead of stalling the run.
"""

import os
import textwrap

from helpers import MESSAGE_TEXT_CAP, TRUNCATION_MARKER, run_python

WATCHDOG = "import signal; signal.alarm(30)\n"


def run_child(*parts, **kwargs):
    return run_python(WATCHDOG + "".join(textwrap.dedent(part) for part in parts), **kwargs)


# ---------------------------------------------------------------- unbounded messages


def memory_limit():
    # Under AddressSanitizer the address space is mostly shadow memory: no limit there.
    if "ASAN_OPTIONS" in os.environ:
        return ""
    return """
        import resource
        with open("/proc/self/status") as status:
            size = next(int(line.split()[1]) for line in status if line.startswith("VmSize:"))
        resource.setrlimit(resource.RLIMIT_AS, ((size << 10) + (1 << 30),) * 2)
    """


def test_shared_tree_refusal_is_cut():
    # 64 levels of one shared Cmp render to 2**64 leaves; the message keeps the first MiB.
    out = run_child(
        memory_limit(),
        """
        from brenk.package.constraint import Cmp, CmpType, Depends
        c = Depends("a")
        for _ in range(64):
            c = Cmp(c, c, CmpType.Equal)
        try:
            c < True
        except NotImplementedError as e:
            message = str(e)
        print(message[:300]); print(message[-300:]); print(len(message.encode()))
        """
    ).check()
    head, tail, size = out.stdout.decode().splitlines()
    assert head.startswith("Cannot compare type Some(Bool) from constraint " + "[ " * 64 + "Depends( a ) ] == [ Depends( a ) ]")
    assert tail.endswith(TRUNCATION_MARKER + " with type Some(Bool) from constraint true using operator '<'")
    assert MESSAGE_TEXT_CAP < int(size) < MESSAGE_TEXT_CAP + 200


def test_long_object_text_is_cut_at_a_character():
    # str() of the unconvertible object's type is 2 MiB of two-byte characters after one byte;
    # the cut falls inside a character and moves back before it.
    out = run_child(
        """
        import brenk
        from brenk.package.constraint import Depends
        class Meta(type):
            def __str__(cls):
                return "a" + "\\u00e9" * (1 << 20)
        class Long(metaclass=Meta):
            pass
        brenk.init_tracing()
        Depends("a") == Long()
        """,
        set_env={"NO_COLOR": "1"},
    ).check()
    text = "a" + "\u00e9" * ((MESSAGE_TEXT_CAP - 2) // 2) + TRUNCATION_MARKER
    record = f"ERROR brenk::package::constraint: cannot convert '{text}' to Constraint\n"
    assert out.stdout.decode() == " WARN brenk: tracing activated\n" + record
