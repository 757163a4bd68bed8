"""Settings shared by every interpreter the suite runs on."""
import os

import pytest

# --refleaks=WARMUPS:RUNS on a debug interpreter: see refleak_plugin.py.
pytest_plugins = ["refleak_plugin"]

try:
    from hypothesis import HealthCheck, settings
except ImportError:  # hypothesis is optional outside the sysroot
    settings = None

if settings is not None:
    # The debug, sanitizer and free-threaded builds run several times slower than a release build,
    # so a per-example deadline or the check for slow data generation would judge machine load, not
    # behaviour. On CI the examples are fixed, so a run fails only for a reason that reproduces.
    timing = {"deadline": None, "suppress_health_check": [HealthCheck.too_slow]}
    settings.register_profile("dev", print_blob=True, **timing)
    settings.register_profile("ci", print_blob=True, derandomize=True, database=None, **timing)
    settings.load_profile(os.environ.get("HYPOTHESIS_PROFILE") or ("ci" if os.environ.get("CI") else "dev"))


def pytest_collection_modifyitems(items):
    # numpy's scalar and array constructors leak references on a debug interpreter (to the scalar
    # type, on every object made), so the cases with numpy values compare memory blocks only.
    mark = pytest.mark.no_refcount_check("numpy's constructors leak references")
    for item in items:
        callspec = getattr(item, "callspec", None)
        if callspec is not None and any(part.startswith("numpy_") for part in callspec.id.split("-")):
            item.add_marker(mark)
        if getattr(getattr(item, "obj", None), "is_hypothesis_test", False):
            item.add_marker(pytest.mark.randomised)


def pytest_configure(config):
    # Hypothesis guesses from a reference count whether the generator it registers for itself can
    # be collected; 3.14's debug build counts differently, so it warns about its own object.
    config.addinivalue_line(
        "filterwarnings", "ignore:It looks like `register_random` was passed an object:hypothesis.errors.HypothesisWarning"
    )
    if str(config.getoption("parallel_threads", 1)) != "1":
        # Under pytest-run-parallel a worker thread that dies of a BaseException (PanicException)
        # or leaves an unraisable report behind must fail the test, not just warn. The one
        # exception: IfThen objects the workers left in reference cycles (exception tracebacks)
        # may be collected on another thread, which reports them as dropped there.
        for line in (
            "error::pytest.PytestUnhandledThreadExceptionWarning",
            "error::pytest.PytestUnraisableExceptionWarning",
            "ignore:(?s).*IfThen is unsendable, but is being dropped on another thread:"
            "pytest.PytestUnraisableExceptionWarning",
        ):
            config.addinivalue_line("filterwarnings", line)
