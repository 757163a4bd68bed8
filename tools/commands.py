"""The developer commands, written once: the Makefile runs them, `tools/dev help` prints this
list and `tools/dev help --markdown` the README's table of them, which the lint checks."""

from __future__ import annotations

# (how it is called, what it does), in the README's order; the text is Markdown.
COMMANDS: list[tuple[str, str]] = [
    ("make test",
     "builds everything with warnings as errors and runs every suite (the lint, each interpreter, the "
     "leak check on py314d, asan, the host suite, valgrind, the fuzz corpus and a smoke check of one 3.14 "
     "wheel), ending with one line `N passed, M failed`"),
    ("make demo",
     "runs `examples/demo.py` on CPython 3.14 with the freshly built module, then brenk-eval on "
     "`examples/packages`"),
    ("make build",
     "builds `build/py314`, `build/py314d`, `build/py313t`, `build/py315` (each holds an importable "
     "`brenk*.so`) and `build/core/brenk_core_tests` (sanitized) and `build/core-plain/brenk_core_tests`"),
    ('make pytest INTERP=py314d ARGS="-k version -x"',
     "pytest with one interpreter (`py314`, `py314d`, `py313t`, `py315`)"),
    ("make lint",
     "`tests/lint`: the layering rules of `src/` (no `Python.h` or `Py*` name in `src/core`, reference "
     'counts only through `src/python/ref.hpp` and in deallocs, no `#include "../..."`), `clang-format '
     "--dry-run --Werror` over `src/`, `tests/core`, `fuzz/`, and `ruff check` over the Python "
     "(configuration in `pyproject.toml`), and that this table is `tools/commands.py`'s"),
    ("make asan ARGS=...",
     "pytest on CPython 3.14 with the module built under ASan and UBSan"),
    ("make fuzz RUNS=1000000",
     "builds the libFuzzer targets in `fuzz/*.cpp` (clang) and runs each"),
    ("make stress REPEATS=100",
     "the thread hammers of `tests/python/test_threads.py` on 3.13t, each repeated REPEATS times "
     "(`BRENK_STRESS_REPEATS`)"),
    ("make tsan ARGS=...",
     "3.13t and the module under ThreadSanitizer: the thread hammers, then the tests marked `tsan` (or "
     "ARGS) under pytest-run-parallel; any report fails it (suppressions for the interpreter's own races: "
     "`tools/tsan.supp`)"),
    ("make valgrind ARGS=...",
     "memcheck over the tests marked `smoke` (or pytest ARGS) on the 3.14 build"),
    ("make wheels",
     "sdist and wheels for 3.14, 3.13t and 3.15 (and 3.14t where installed) from a clean tree, each wheel "
     "repaired to `manylinux_2_17_x86_64` by `auditwheel` with nothing grafted in, `twine check --strict` on "
     "every artifact, the suite against each installed wheel and the smoke tests against the installed sdist"),
    ("make bench",
     "`benchmarks/bench.py`, then `benchmarks/bench_host.py` (the JSON writer over the 76,808-package "
     "workload in MB/s and ns per constraint beside `json.dumps` and the outlines' build time; brenk-eval per "
     "script beside a process per script). `bench.py`: ns per operation beside `object()` and "
     "`complex(1.0, 2.0)`, native and Python bytes per held object, and a generated 76,808-package "
     "repository held as outlines beside a "
     "pure-Python (`__slots__`) implementation; `python benchmarks/bench.py --threads` on 3.13t with "
     "`PYTHON_GIL=0` prints each constructor's 2-thread over 1-thread throughput"),
    ("tools/dev host",
     "the host suite alone (also part of `make test`): the default configure with `-DBRENK_TESTS=ON`, the "
     "embedding tests, an install into a temporary prefix, `examples/host` built with `find_package(brenk)` "
     "and run on `examples/packages`"),
    ("make clean",
     "removes `build/`"),
]


def markdown() -> str:
    """The README's table."""
    rows = [f"| `{command}` | {text} |" for command, text in COMMANDS]
    return "\n".join(["| command | what it does |", "| --- | --- |", *rows]) + "\n"


def plain() -> str:
    """The same list for a terminal."""
    width = max(len(command) for command, _ in COMMANDS)
    return "\n".join(f"  {command:<{width}}  {text.replace('`', '')}" for command, text in COMMANDS) + "\n"
