"""Hostile callers of the module's output: blocking and partial writes, threads ended at exit,
and messages whose text would be unbounded.

Each case runs in a fresh interpreter so that a hang or a crash fails one case. Every child
starts with an alarm: a child that hangs is killed by SIGALRM instead of stalling the run.
"""

import os
import subprocess
import sysconfig
import textwrap

import pytest

from helpers import MESSAGE_TEXT_CAP, TRUNCATION_MARKER, run_python

WATCHDOG = "import signal; signal.alarm(30)\n"
FREE_THREADED = bool(sysconfig.get_config_var("Py_GIL_DISABLED"))


def run_child(*parts, **kwargs):
    return run_python(WATCHDOG + "".join(textwrap.dedent(part) for part in parts), **kwargs)


# ---------------------------------------------------------------- blocking writes

# Standard output is a pipe that only another thread of the same process drains, or that
# nobody drains; a write blocked on it must not stop the other threads, a garbage
# collection or a fork.
BLOCKING = [
    (
        "drained-by-own-thread",
        """
        import os, threading, brenk
        from brenk.package.constraint import Depends
        r, w = os.pipe(); os.dup2(w, 1)
        threading.Thread(target=lambda: [os.read(r, 65536) for _ in iter(int, 1)], daemon=True).start()
        brenk.init_tracing()
        for _ in range(20000):
            brenk.main_entry()
            Depends("a") == {}
        """,
    ),
    (
        "fork-and-collect-while-blocked",
        """
        import gc, os, threading, time, warnings, brenk
        warnings.simplefilter("ignore", DeprecationWarning)  # fork with threads running
        r, w = os.pipe(); os.dup2(w, 1)  # nobody reads: the writer blocks once the pipe is full
        threading.Thread(target=lambda: [brenk.main_entry() for _ in iter(int, 1)], daemon=True).start()
        time.sleep(0.3)
        gc.collect()
        pid = os.fork()
        if pid == 0:
            # The writer's lock is free in the child, which has no writer thread.
            os.dup2(os.open(os.devnull, os.O_WRONLY), 1)
            brenk.main_entry()
            os._exit(7)
        assert os.waitpid(pid, 0)[1] == 7 << 8
        """,
    ),
]


@pytest.mark.parametrize("body", [row[1] for row in BLOCKING], ids=[row[0] for row in BLOCKING])
def test_blocked_write_stops_nobody(body):
    run_child(body, stdout=subprocess.DEVNULL).check()


# Standard output is a full pipe that nobody drains; a timer's handler raises KeyboardInterrupt,
# which must end the blocked write as it ends os.write, whatever is writing.
INTERRUPTED = {
    "main_entry": "brenk.main_entry()",
    "log record": "brenk.init_tracing()",
}


@pytest.mark.parametrize("write", INTERRUPTED.values(), ids=INTERRUPTED.keys())
def test_blocked_write_is_interrupted(write):
    out = run_child(
        f"""
        import os, signal, brenk
        r, w = os.pipe(); os.dup2(w, 1)
        os.set_blocking(1, False)
        try:
            while True:
                os.write(1, b"x" * 4096)
        except BlockingIOError:
            pass
        os.set_blocking(1, True)
        def interrupt(signum, frame):
            raise KeyboardInterrupt("timer")
        signal.signal(signal.SIGALRM, interrupt)
        signal.setitimer(signal.ITIMER_REAL, 0.2)
        try:
            {write}
        except KeyboardInterrupt as error:
            os.write(2, b"interrupted: " + str(error).encode())
        """
    ).check()
    assert out.stderr == "interrupted: timer"


def test_partial_writes_keep_records_whole():
    # Standard output is a non-blocking pipe that a thread starts draining only after the
    # record has filled it: the record is written in parts, waiting for room in between, and
    # the next record starts on a line of its own.
    out = run_child(
        """
        import os, threading, time, brenk
        from brenk.package.constraint import Depends
        class Meta(type):
            def __str__(cls):
                return "x" * 300_000
        class Long(metaclass=Meta):
            pass
        brenk.init_tracing()
        saved = os.dup(1)
        r, w = os.pipe()
        os.dup2(w, 1); os.close(w)
        os.set_blocking(1, False)
        chunks = []
        def drain():
            time.sleep(0.2)
            while data := os.read(r, 65536):
                chunks.append(data)
        reader = threading.Thread(target=drain, daemon=True)
        reader.start()
        Depends("a") == Long()
        brenk.main_entry()
        os.dup2(saved, 1)
        reader.join()
        os.write(1, b"".join(chunks))
        """,
        set_env={"NO_COLOR": "1"},
    ).check()
    record = b"ERROR brenk::package::constraint: cannot convert '" + b"x" * 300_000 + b"' to Constraint\n"
    assert out.stdout == b" WARN brenk: tracing activated\n" + record + b"brenk entrypoint\n"


# ---------------------------------------------------------------- threads ended at exit

# Daemon threads still inside the module when the interpreter exits. 3.13 ends them by
# unwinding their stacks when they next try to take the interpreter back: after a write, or
# inside Python code the module called (a conversion hook, a finaliser run by a decref).
DAEMON_LOOPS = [
    ("write", "", "brenk.main_entry()"),
    (
        "python-hooks",
        """
        class Index:
            def __index__(self):
                return sum(range(50))
            def __del__(self):
                sum(range(50))
        class Fresh(list):  # each element's last reference is the module's
            def __iter__(self):
                return (Index() for _ in range(8))
        """,
        "Maximize(Index()); NumOf(Fresh())",
    ),
]
RUNS = 10


@pytest.mark.parametrize("gil", ["0", "1"] if FREE_THREADED else [None])
@pytest.mark.parametrize(("setup", "step"), [row[1:] for row in DAEMON_LOOPS], ids=[row[0] for row in DAEMON_LOOPS])
def test_daemon_threads_inside_at_exit(setup, step, gil):
    body = f"""
import threading, time, brenk
from brenk.package.constraint import Maximize, NumOf
{textwrap.dedent(setup)}
def spin():
    while True:
        {step}
for _ in range(4):
    threading.Thread(target=spin, daemon=True).start()
time.sleep(0.1)
"""
    env = {"PYTHON_GIL": gil} if gil else None
    failures = []
    for _ in range(RUNS):
        out = run_child(body, set_env=env, stdout=subprocess.DEVNULL)
        if out.returncode != 0:
            failures.append((out.returncode, out.stderr[-500:]))
    assert not failures, failures


# ---------------------------------------------------------------- unbounded messages


def memory_limit(room=1 << 30):
    # Under AddressSanitizer the address space is mostly shadow memory: no limit there.
    if "ASAN_OPTIONS" in os.environ:
        return ""
    return f"""
        import resource
        with open("/proc/self/status") as status:
            size = next(int(line.split()[1]) for line in status if line.startswith("VmSize:"))
        resource.setrlimit(resource.RLIMIT_AS, ((size << 10) + {room},) * 2)
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


def test_claimed_length_reserves_no_more_than_a_guess():
    # __len__ claims 2**24 items: only a hint, never a reservation of that size, and a stored
    # list keeps only the room its items need. Either fault breaks the address-space limit.
    if "ASAN_OPTIONS" in os.environ:
        pytest.skip("no address-space limit under AddressSanitizer")
    run_child(
        memory_limit(64 << 20),
        """
        from brenk.package.constraint import Depends, NumOf
        class Claims(list):
            def __len__(self):
                return 1 << 24
        d = Depends("a")
        NumOf(Claims([d]))
        kept = [NumOf(Claims([d] * 255)) for _ in range(4000)]
        """,
    ).check()


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
