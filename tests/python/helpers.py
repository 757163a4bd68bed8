"""Shared helpers for the Python tests.

Process-wide state (the diagnostic log, the recorded interpreter) can only be
exercised once per process, so those tests run small scripts in a fresh
interpreter: the same executable, the same environment and an import path that
finds the same build of ``brenk`` as the test process.
"""

from __future__ import annotations

import dataclasses
import gc
import os
import subprocess
import sys
import textwrap
import threading
from collections.abc import Callable, Iterator, Mapping
from contextlib import contextmanager
from typing import Any

# A child that hangs is a failure, not a reason to stall the whole run.
SUBPROCESS_TIMEOUT = 120

# Keep in sync with the messages the module raises for IfThen objects used or
# dropped away from their owning thread.
IFTHEN_SENT = "brenk::package::constraint::if_then::IfThen is unsendable, but sent to another thread"
IFTHEN_DROPPED = (
    "brenk::package::constraint::if_then::IfThen is unsendable, but is being dropped on another thread"
)
# Every rendering that enters a message is cut after this many UTF-8 bytes, followed by the marker.
MESSAGE_TEXT_CAP = 1 << 20
TRUNCATION_MARKER = "\N{HORIZONTAL ELLIPSIS}(truncated)"
# The messages of the PanicException raised when a dictionary changes while an outline walks it.
DICT_CHANGED_MESSAGES = {"dictionary changed size during iteration", "dictionary keys changed during iteration"}


class UserSeq:
    """A sequence that is no list or tuple: its length comes from __len__."""

    def __init__(self, items):
        self.items = list(items)

    def __len__(self):
        return len(self.items)

    def __getitem__(self, i):
        return self.items[i]


class LenRaises(UserSeq):
    def __len__(self):
        raise RuntimeError("no length")


@dataclasses.dataclass
class Completed:
    """Outcome of a child interpreter run."""

    stdout: bytes
    stderr: str
    returncode: int

    def check(self) -> Completed:
        """Fail with the child's output when it did not exit cleanly."""
        assert self.returncode == 0, (
            f"child exited with {self.returncode}\n--- stdout ---\n{self.stdout!r}\n--- stderr ---\n{self.stderr}"
        )
        return self


def _brenk_dir() -> str:
    import brenk

    return os.path.dirname(os.path.abspath(brenk.__file__))


def child_env(set_env: Mapping[str, str] | None = None, unset: tuple[str, ...] = ()) -> dict[str, str]:
    """The environment of a child: ours, with brenk's directory first on the path."""
    env = dict(os.environ)
    # Block-buffered Python output is part of what the ordering tests observe.
    env.pop("PYTHONUNBUFFERED", None)
    paths = [_brenk_dir()]
    if env.get("PYTHONPATH"):
        paths.append(env["PYTHONPATH"])
    env["PYTHONPATH"] = os.pathsep.join(paths)
    for name in unset:
        env.pop(name, None)
    if set_env:
        env.update(set_env)
    return env


def run_python(
    code: str,
    *,
    set_env: Mapping[str, str] | None = None,
    unset: tuple[str, ...] = (),
    env: Mapping[str, str] | Mapping[bytes, bytes] | None = None,
    stdout: Any = subprocess.PIPE,
) -> Completed:
    """Run ``code`` (dedented) in a new interpreter and collect what it wrote.

    ``env`` replaces the computed environment entirely (used for byte values);
    otherwise ``set_env``/``unset`` adjust :func:`child_env`.
    """
    if env is None:
        env = child_env(set_env, unset)
    proc = subprocess.run(
        [sys.executable, "-c", textwrap.dedent(code)],
        stdin=subprocess.DEVNULL,
        stdout=stdout,
        stderr=subprocess.PIPE,
        env=env,
        timeout=SUBPROCESS_TIMEOUT,
        check=False,
    )
    return Completed(
        stdout=proc.stdout if proc.stdout is not None else b"",
        stderr=proc.stderr.decode("utf-8", "replace"),
        returncode=proc.returncode,
    )


@dataclasses.dataclass
class ThreadOutcome:
    """What a function run on another thread returned or raised."""

    result: Any = None
    error: BaseException | None = None
    # True when an ``except Exception`` clause around the call caught the error.
    caught_as_exception: bool = False


def run_in_thread(fn: Callable[[], Any]) -> ThreadOutcome:
    """Call ``fn`` on a new thread and report its result or exception."""
    outcome = ThreadOutcome()

    # The error is kept without its traceback: the traceback's frames reach `outcome`, and a
    # cycle would hand fn's objects to whichever thread next runs the garbage collector (an
    # IfThen dropped there leaks its payload by design).
    def body() -> None:
        try:
            try:
                outcome.result = fn()
            except Exception as exc:
                outcome.caught_as_exception = True
                outcome.error = exc.with_traceback(None)
        except BaseException as exc:
            outcome.error = exc.with_traceback(None)

    thread = threading.Thread(target=body)
    thread.start()
    thread.join()
    return outcome


@dataclasses.dataclass
class Unraisable:
    """The parts of one ``sys.unraisablehook`` report."""

    exc_type: type[BaseException]
    exc_value: BaseException | None
    object: Any
    err_msg: str | None


@contextmanager
def capture_unraisable() -> Iterator[list[Any]]:
    """Collect the reports passed to ``sys.unraisablehook`` inside the block."""
    seen: list[Any] = []
    # Garbage that earlier tests left in reference cycles (IfThen objects of threads that are gone)
    # is collected first, so that its reports do not land in this block.
    gc.collect()
    previous = sys.unraisablehook

    def hook(report: Any) -> None:
        # The report object is only valid during the call; keep the parts.
        seen.append(Unraisable(report.exc_type, report.exc_value, report.object, report.err_msg))

    sys.unraisablehook = hook
    try:
        yield seen
    finally:
        sys.unraisablehook = previous


# A constraint's text form shows only in the message of a refused comparison: Maximize(obj) < Depends("z")
# is refused because a Maximize has no value type, and the message carries obj's text between these.
RENDER_PREFIX = "Cannot compare type None from constraint Maximize( "
RENDER_SUFFIX = " ) with type Some(Bool) from constraint Depends( z ) using operator '<'"


def render(obj: Any) -> str:
    """The text form of obj, read from a refused comparison's message."""
    from brenk.package.constraint import Depends, Maximize

    # No pytest.raises: the stress tests call this on their own threads.
    try:
        Maximize(obj) < Depends("z")
    except NotImplementedError as exc:
        msg = str(exc)
    else:
        raise AssertionError("comparison was accepted")
    assert msg.startswith(RENDER_PREFIX) and msg.endswith(RENDER_SUFFIX), msg
    return msg[len(RENDER_PREFIX) : -len(RENDER_SUFFIX)]


def panic_type() -> type[BaseException]:
    """The module's PanicException class, caught from a cross-thread use of an IfThen."""
    from brenk.package.constraint import Depends, IfThen

    i = IfThen(Depends("a"), Depends("b"))
    caught: list[type[BaseException]] = []

    def run() -> None:
        try:
            i.cond
        except BaseException as exc:  # noqa: BLE001
            caught.append(type(exc))

    thread = threading.Thread(target=run)
    gc.collect()  # IfThen garbage in cycles must not be collected on the other thread
    thread.start()
    thread.join()
    assert len(caught) == 1 and caught[0].__name__ == "PanicException", caught
    return caught[0]
