"""Settings shared by every interpreter the suite runs on."""
import os

try:
    from hypothesis import settings
except ImportError:  # hypothesis is optional outside the sysroot
    settings = None

if settings is not None:
    # The debug and free-threaded interpreters run several times slower than a release build, so a
    # per-example deadline would judge machine load, not behaviour. On CI the examples are fixed,
    # so a run fails only for a reason that reproduces.
    settings.register_profile("dev", deadline=None, print_blob=True)
    settings.register_profile("ci", deadline=None, print_blob=True, derandomize=True, database=None)
    settings.load_profile(os.environ.get("HYPOTHESIS_PROFILE") or ("ci" if os.environ.get("CI") else "dev"))
