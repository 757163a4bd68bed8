"""Reference-leak hunting on a debug interpreter: ``pytest --refleaks=WARMUPS:RUNS``.

Every test runs WARMUPS + RUNS times, each time with its full setup and teardown (fresh
function-scoped fixtures). Before the first run and after every run, the interpreter's caches are
cleared, garbage is collected and two counters are read: the total reference count
(``sys.gettotalrefcount()``) and the number of allocated memory blocks
(``sys.getallocatedblocks()``). A test leaks when a counter grew by at least one on *every* one of
the last RUNS runs: a cache that fills once, or noise that goes up and down, never does that.
The first run counts as a warm-up, so WARMUPS is at least 1.

The first run's outcome is the test's outcome; a leak turns a pass into a failure. A test that
passes once but fails when repeated fails, with the repeat's report. Repeats of a hypothesis test
replay the examples of the first run without the engine, whose own bookkeeping grows on every
run. Tests that cannot be measured by rerunning them run once and are counted in the summary:

* tests that start a child process: the child's memory is its own and a rerun would only
  measure the parent's bookkeeping (seen by an audit hook, no marking needed);
* tests marked ``@pytest.mark.no_leak_check(reason)``, e.g. a test of a documented leak.

``@pytest.mark.no_refcount_check(reason)`` keeps the memory-block check but ignores the reference
total, for tests whose third-party objects leak references by themselves.
"""

from __future__ import annotations

import abc
import collections.abc
import copy
import gc
import sys
from collections import Counter
from collections.abc import Callable
from typing import Any

import pytest
from _pytest.runner import CallInfo, get_reraise_exceptions, runtestprotocol

# Audit events of the calls that start another process.
_SPAWN_EVENTS = frozenset(
    {"subprocess.Popen", "os.posix_spawn", "os.fork", "os.forkpty", "os.system", "os.exec", "os.spawn"}
)


def pytest_addoption(parser: pytest.Parser) -> None:
    parser.getgroup("refleaks").addoption(
        "--refleaks",
        metavar="WARMUPS:RUNS",
        default=None,
        help="run each test WARMUPS+RUNS times and fail it when references or memory blocks grow on "
        "every one of the last RUNS runs (debug interpreter only)",
    )


def _parse(text: str) -> tuple[int, int]:
    try:
        warmups, runs = (int(part) for part in text.split(":"))
    except ValueError:
        raise pytest.UsageError(f"--refleaks expects WARMUPS:RUNS, e.g. 2:3, not {text!r}") from None
    if warmups < 1 or runs < 1:
        raise pytest.UsageError(f"--refleaks needs at least one warm-up and one measured run, not {text!r}")
    return warmups, runs


def pytest_configure(config: pytest.Config) -> None:
    config.addinivalue_line(
        "markers", "no_leak_check(reason): leaks by design or cannot be rerun: run once under --refleaks, left out of the valgrind run"
    )
    config.addinivalue_line(
        "markers", "no_refcount_check(reason): under --refleaks, compare memory blocks but not references"
    )
    option = config.getoption("refleaks")
    if option is None:
        return
    warmups, runs = _parse(option)
    if not hasattr(sys, "gettotalrefcount"):
        raise pytest.UsageError("--refleaks needs a debug build of the interpreter (no sys.gettotalrefcount)")
    config.pluginmanager.register(LeakHunter(warmups, runs), "refleak-hunter")


def _clear_typing(module: Any) -> None:
    for clear in module._cleanups:
        clear()


# Caches that fill on first use, by module; a module not imported has nothing to clear.
_CACHE_CLEARERS: list[tuple[str, Callable[[Any], object]]] = [
    ("re", lambda m: m.purge()),
    ("linecache", lambda m: m.clearcache()),
    ("typing", _clear_typing),
    ("fnmatch", lambda m: m._compile_pattern.cache_clear()),
    ("struct", lambda m: m._clearcache()),
    ("inspect", lambda m: (m._filesbymodname.clear(), m.modulesbyfile.clear())),
    ("urllib.parse", lambda m: m.clear_cache()),
    ("importlib", lambda m: m.invalidate_caches()),
]


def _measure() -> tuple[int, int]:
    sys._clear_internal_caches()  # type caches and specialisation data
    for name, clear in _CACHE_CLEARERS:
        module = sys.modules.get(name)
        if module is not None:
            clear(module)
    # isinstance() checks against the collection ABCs remember every class they saw.
    for name in collections.abc.__all__:
        base = getattr(collections.abc, name)
        if isinstance(base, abc.ABCMeta):
            for cls in (base, *base.__subclasses__()):
                cls._abc_caches_clear()  # type: ignore[attr-defined]
    gc.collect()
    return sys.gettotalrefcount(), sys.getallocatedblocks()


def _outcome(reports: list[pytest.TestReport]) -> str:
    if any(r.failed for r in reports):
        return "failed"
    if any(r.skipped for r in reports):
        return "skipped"
    return "passed"


def _reason(marker: pytest.Mark) -> str:
    return str(marker.args[0] if marker.args else marker.kwargs.get("reason", "no reason given"))


class _Recorder:
    """Records the examples hypothesis passes to a test, so that repeats can replay them.

    Only examples the test passed are kept: those rejected by ``assume()`` raised.
    """

    def __init__(self, handle: Any, method: bool) -> None:
        self.handle = handle
        self.inner = handle.inner_test
        self.method = method  # the first positional argument is the first run's instance
        self.examples: list[tuple[tuple, dict]] = []
        self.unusable = ""
        self.done = False

    def __enter__(self) -> _Recorder:
        inner = self.inner

        def record(*args: Any, **kwargs: Any) -> Any:
            saved = None
            if not self.unusable:
                if any(type(value).__name__ == "DataObject" for value in (*args, *kwargs.values())):
                    self.unusable = "draws interactively (st.data())"
                else:
                    try:
                        saved = copy.deepcopy((args[1:] if self.method else args, kwargs))
                    except Exception as exc:  # noqa: BLE001 - any reason not to copy
                        self.unusable = f"takes examples that cannot be copied ({type(exc).__name__})"
            result = inner(*args, **kwargs)
            if saved is not None:
                self.examples.append(saved)
            return result

        self.handle.inner_test = record
        return self

    def __exit__(self, *exc_info: object) -> None:
        self.handle.inner_test = self.inner
        self.done = True

    def replay(self, item: pytest.Function) -> None:
        for args, kwargs in self.examples:
            args, kwargs = copy.deepcopy((args, kwargs))  # the test may change what it was given
            if self.method:
                args = (item.instance, *args)
            for name in kwargs.keys() & item.funcargs.keys():
                kwargs[name] = item.funcargs[name]  # this run's fixtures, not the first run's
            self.inner(*args, **kwargs)


class LeakHunter:
    """Runs each test several times and reads the interpreter's counters between the runs."""

    def __init__(self, warmups: int, runs: int) -> None:
        self.warmups = warmups
        self.runs = runs
        self.spawned = False
        self.watching = False
        self.replaying: _Recorder | None = None
        self.checked = 0
        self.leaked: list[str] = []
        self.run_once: Counter[str] = Counter()  # tests measured partly or not at all, by reason
        # An audit hook cannot be removed: it stays cheap and only looks while a test runs.
        sys.addaudithook(self._audit)

    def _audit(self, event: str, _args: tuple) -> None:
        if self.watching and event in _SPAWN_EVENTS:
            self.spawned = True

    @staticmethod
    def _run(item: pytest.Item) -> list[pytest.TestReport]:
        # Fixtures above the test (module, session) stay set up between runs: the teardown stops
        # at the test's parent. runtestprotocol only reads the parent's chain of nodes.
        return runtestprotocol(item, log=False, nextitem=item.parent)  # type: ignore[arg-type]

    @pytest.hookimpl(tryfirst=True)
    def pytest_runtest_protocol(self, item: pytest.Item, nextitem: pytest.Item | None) -> bool:
        item.ihook.pytest_runtest_logstart(nodeid=item.nodeid, location=item.location)
        reports = self._hunt(item)
        # Tear down what the next test does not share. Only fixtures above the test are left, so
        # this calls their finalizers directly: the teardown hooks ran with the test's own.
        call = CallInfo.from_call(
            lambda: item.session._setupstate.teardown_exact(nextitem),
            when="teardown",
            reraise=get_reraise_exceptions(item.config),
        )
        if call.excinfo is not None and not reports[-1].failed:
            reports[-1] = item.ihook.pytest_runtest_makereport(item=item, call=call)
        for report in reports:
            item.ihook.pytest_runtest_logreport(report=report)
        item.ihook.pytest_runtest_logfinish(nodeid=item.nodeid, location=item.location)
        # What survived the test is long-lived from here on: leave it out of later collections,
        # which would otherwise walk the whole heap (pytest's included) several times per test.
        gc.collect()
        gc.freeze()
        return True

    def _hunt(self, item: pytest.Item) -> list[pytest.TestReport]:
        """Runs the test, reruns it when it can be measured; returns the reports to log."""
        handle = getattr(getattr(item, "obj", None), "hypothesis", None)
        recorder = None if handle is None else _Recorder(handle, getattr(item, "instance", None) is not None)
        # Hypothesis' pytest plugin wraps the settings of a parametrized test in new settings on
        # every run (each one the parent of the next); put the original back after each run.
        function = getattr(item, "obj", None)
        function = getattr(function, "__func__", function)
        settings_attr = "_hypothesis_internal_use_settings"
        settings = getattr(function, settings_attr, None) if handle is not None else None

        def restore_settings() -> None:
            if settings is not None:
                setattr(function, settings_attr, settings)

        refs_before, blocks_before = _measure()
        self.spawned = False
        self.watching = True
        try:
            if recorder is None:
                first = self._run(item)
            else:
                with recorder:
                    first = self._run(item)
        finally:
            self.watching = False
            restore_settings()
        if _outcome(first) != "passed":
            return first
        if (marker := item.get_closest_marker("no_leak_check")) is not None:
            self.run_once[f"run once, marked: {_reason(marker)}"] += 1
            return first
        if self.spawned:
            self.run_once["run once, starts a child process"] += 1
            return first
        if recorder is not None and recorder.unusable:
            self.run_once[f"run once, hypothesis test that {recorder.unusable}"] += 1
            return first

        # The first run's report sections and properties are kept; repeats add none of their own.
        sections = len(item._report_sections)
        properties = len(item.user_properties)
        # Hypothesis' plugin reports the engine's statistics (into the JUnit report too) whenever
        # they are present at a teardown; the first run's teardown did, replays have none.
        for name in ("hypothesis_statistics", "hypothesis_report_information"):
            item.__dict__.pop(name, None)
        total = self.warmups + self.runs
        ref_deltas = [0] * total  # preallocated: the bookkeeping must not allocate between readings
        block_deltas = [0] * total
        for run in range(total):
            refs, blocks = _measure()
            ref_deltas[run] = refs - refs_before
            block_deltas[run] = blocks - blocks_before
            refs_before, blocks_before = refs, blocks
            if run + 1 == total:
                break
            del item._report_sections[sections:]
            del item.user_properties[properties:]
            self.replaying = recorder
            try:
                again = self._run(item)
            finally:
                self.replaying = None
                restore_settings()
            outcome = _outcome(again)
            if outcome == "failed":
                for report in again:
                    report.sections.append(("leak check", f"passed on the first run, failed on run {run + 2}"))
                return again
            if outcome == "skipped":
                self.run_once["run once, skipped when repeated"] += 1
                return first
        self.checked += 1

        measured = slice(self.warmups, total)
        counters = [("memory blocks", block_deltas)]
        if (marker := item.get_closest_marker("no_refcount_check")) is None:
            counters.insert(0, ("references", ref_deltas))
        else:
            self.run_once[f"memory blocks only: {_reason(marker)}"] += 1
        found = [
            f"{what} grew on every measured run: {deltas[measured]} (warm-up: {deltas[: self.warmups]})"
            for what, deltas in counters
            if all(delta >= 1 for delta in deltas[measured])
        ]
        if found:
            nodeid = item.nodeid if len(item.nodeid) <= 200 else item.nodeid[:197] + "..."
            self.leaked.append(f"{nodeid}: {'; '.join(found)}")
            for report in first:
                if report.when == "call":
                    report.outcome = "failed"
                    report.longrepr = "leak: " + "\n      ".join(found)
        return first

    @pytest.hookimpl(tryfirst=True)
    def pytest_pyfunc_call(self, pyfuncitem: pytest.Function) -> bool | None:
        """Repeats of a hypothesis test call the test body with the first run's examples."""
        if self.replaying is None:
            return None
        self.replaying.replay(pyfuncitem)
        return True

    def pytest_terminal_summary(self, terminalreporter: Any) -> None:
        write = terminalreporter.write_line
        terminalreporter.section("leak check")
        write(f"{self.checked} tests rerun ({self.warmups} warm-up, {self.runs} measured), {len(self.leaked)} leaked")
        for reason, count in sorted(self.run_once.items()):
            write(f"{reason}: {count}")
        for line in self.leaked:
            write(f"LEAK {line}")
