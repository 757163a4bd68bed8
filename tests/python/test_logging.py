"""The diagnostic log switched on by ``init_tracing`` and the ``main_entry`` line.

The log is process-wide and can be installed only once, so every case runs in a
fresh interpreter and compares the exact bytes written to its standard output.
"""

import os
import textwrap

import pytest

from helpers import child_env, run_python

WARN_TEXT = "tracing activated"
ACTIVATED_PLAIN = b" WARN brenk: tracing activated\n"
ENTRY_LINE = b"brenk entrypoint\n"
SECOND_INIT_MESSAGE = 'Failed to set subscriber: SetGlobalDefaultError("a global default trace dispatcher has already been set")'

LEVEL_COLOURS = {"ERROR": 31, "WARN": 33, "INFO": 32, "DEBUG": 34, "TRACE": 35}

CONSTRAINT = "brenk::package::constraint"
SPEC_OPTION = "brenk::spec::spec_option"
OUTLINE = "brenk::package::outline"


def sgr(parameter):
    return f"\x1b[{parameter}m"


def log_line(level, target, message, colour=False):
    label = level.rjust(5)
    if colour:
        text = f"{sgr(LEVEL_COLOURS[level])}{label}{sgr(0)} {sgr(2)}{target}{sgr(0)}{sgr(2)}:{sgr(0)} {message}\n"
    else:
        text = f"{label} {target}: {message}\n"
    return text.encode()


def activated(colour=False):
    return log_line("WARN", "brenk", WARN_TEXT, colour)


def test_colour_line_layout():
    # The documented example, spelled out sequence by sequence.
    assert activated(colour=True) == (
        b"\x1b[33m WARN\x1b[0m \x1b[2mbrenk\x1b[0m\x1b[2m:\x1b[0m tracing activated\n"
    )
    assert activated() == ACTIVATED_PLAIN


PRELUDE = """
import brenk
from brenk.package.constraint import Cmp, CmpType, Depends, IfThen, Maximize, NumOf, SpecOption
from brenk.package.outline import PackageOutline
from brenk.package.version import Version
"""


def run_logged(body, no_color="1", **kwargs):
    """Run PRELUDE + body with NO_COLOR set to ``no_color`` (None: unset)."""
    if no_color is None:
        return run_python(PRELUDE + textwrap.dedent(body), unset=("NO_COLOR",), **kwargs)
    return run_python(PRELUDE + textwrap.dedent(body), set_env={"NO_COLOR": no_color}, **kwargs)


def test_nothing_logged_before_init_tracing():
    out = run_logged(
        """
        try:
            PackageOutline("p", colour=1)
        except ValueError as e:
            assert str(e) == "PyPackageOutline unexpected keyword argument 'colour'", e
        try:
            Cmp(None, 1, CmpType.Less)
        except TypeError:
            pass
        assert (Depends("a") == {}) is False
        value = Cmp(1, 2, CmpType.Less).rhs
        try:
            value.value = []
        except TypeError:
            pass
        """,
        no_color=None,
    ).check()
    assert out.stdout == b""


@pytest.mark.parametrize(
    ("no_color", "colour"),
    [(None, True), ("", True), ("1", False), ("0", False), ("false", False), (" ", False)],
    ids=["unset", "empty", "1", "0", "false", "space"],
)
def test_init_tracing_line(no_color, colour):
    out = run_logged("assert brenk.init_tracing() is None", no_color).check()
    assert out.stdout == activated(colour)


def test_no_color_not_valid_unicode_keeps_colour():
    env = {os.fsencode(k): os.fsencode(v) for k, v in child_env(unset=("NO_COLOR",)).items()}
    env[b"NO_COLOR"] = b"\xff\xfe"
    out = run_python("import brenk; brenk.init_tracing()", env=env).check()
    assert out.stdout == activated(colour=True)


def constraint_error(type_text):
    return ("ERROR", CONSTRAINT, f"cannot convert '{type_text}' to Constraint")


def option_error(type_text):
    return ("ERROR", SPEC_OPTION, f"cannot cast Python type '{type_text}' to SpecOptionValue")


# (id, statements run after init_tracing, records they must write)
EVENTS = [
    ("eq-dict", "assert (Depends('a') == {}) is False", [constraint_error("<class 'dict'>")]),
    ("eq-dict-reflected", "assert ({} == Depends('a')) is False", [constraint_error("<class 'dict'>")]),
    ("ne-none", "assert (SpecOption('p', 'o') != None) is True", [constraint_error("<class 'NoneType'>")]),
    (
        "lt-none",
        """
        try:
            SpecOption('p', 'o') < None
        except TypeError:
            pass
        else:
            raise AssertionError
        """,
        [constraint_error("<class 'NoneType'>")],
    ),
    (
        "ctor",
        """
        try:
            Cmp(None, 1, CmpType.Less)
        except TypeError as e:
            assert str(e) == "argument 'lhs': cannot convert '<class 'NoneType'>' to Constraint", e
        """,
        [constraint_error("<class 'NoneType'>")],
    ),
    (
        "big-int",
        """
        try:
            Maximize(2**1024)
        except TypeError:
            pass
        """,
        [constraint_error("<class 'int'>")],
    ),
    (
        "list-element",
        """
        try:
            NumOf([Depends('a'), 1, None, []])
        except TypeError:
            pass
        """,
        [constraint_error("<class 'NoneType'>")],
    ),
    (
        "value-setter",
        """
        v = Cmp(1, 2, CmpType.Less).rhs
        try:
            v.value = []
        except TypeError as e:
            assert str(e) == "argument 'value': cannot cast Python type '<class 'list'>' to SpecOptionValue", e
        """,
        [option_error("<class 'list'>")],
    ),
    (
        "set-options-none",
        """
        try:
            PackageOutline('p', set_options={'a': None})
        except TypeError:
            pass
        """,
        [option_error("<class 'NoneType'>")],
    ),
    (
        "extra-keywords",
        """
        try:
            PackageOutline('p', colour=1, size=2)
        except ValueError as e:
            assert str(e) == "PyPackageOutline unexpected keyword argument 'colour'", e
        """,
        [("ERROR", OUTLINE, "PyPackageOutline unexpected keyword argument 'colour'")],
    ),
    (
        "name-error-before-extra",
        """
        try:
            PackageOutline(5, colour=1)
        except TypeError:
            pass
        """,
        [],
    ),
    # Successful conversions log nothing, although earlier conversion steps fail.
    (
        "conversions-succeed",
        """
        Cmp(1, 2.5, CmpType.Less); Cmp('x', Version('1'), CmpType.Less); Maximize(2**63)
        v = Cmp(1, 2, CmpType.Less).rhs
        v.value = 'text'; v.value = Version('1.2'); v.value = 1.5
        PackageOutline('p', [Depends('a')], {'a': 'x'}, {'b': None, 'c': 2.5})
        """,
        [],
    ),
    (
        "other-errors",
        """
        for call in (lambda: Depends(nom=1), lambda: Version('1..2'), lambda: SpecOption('p', 'o') < 3,
                     lambda: Depends(5), lambda: Cmp(1, 2, 3)):
            try:
                call()
            except (TypeError, ValueError, NotImplementedError):
                pass
            else:
                raise AssertionError
        """,
        [],
    ),
]


@pytest.mark.parametrize(("body", "records"), [row[1:] for row in EVENTS], ids=[row[0] for row in EVENTS])
def test_error_records(body, records):
    out = run_logged("brenk.init_tracing()\n" + textwrap.dedent(body)).check()
    assert out.stdout == ACTIVATED_PLAIN + b"".join(log_line(*record) for record in records)


def test_error_records_in_colour():
    out = run_logged(
        """
        brenk.init_tracing()
        Depends('a') == {}
        try:
            Cmp(1, 2, CmpType.Less).rhs.value = None
        except TypeError:
            pass
        try:
            PackageOutline('p', kwargs=1)
        except ValueError:
            pass
        """,
        no_color="",
    ).check()
    assert out.stdout == b"".join(
        [
            activated(colour=True),
            log_line(*constraint_error("<class 'dict'>"), colour=True),
            log_line(*option_error("<class 'NoneType'>"), colour=True),
            log_line("ERROR", OUTLINE, "PyPackageOutline unexpected keyword argument 'kwargs'", colour=True),
        ]
    )


# ---------------------------------------------------------------- standard output


def test_order_with_flushed_python_output():
    out = run_logged(
        """
        print("before", flush=True)
        brenk.init_tracing()
        print("middle", flush=True)
        assert brenk.main_entry() is None
        print("after", flush=True)
        """
    ).check()
    assert out.stdout == b"before\n" + ACTIVATED_PLAIN + b"middle\n" + ENTRY_LINE + b"after\n"


def test_order_with_buffered_python_output():
    # Python holds its own text until it flushes (here: at exit, since stdout is a pipe);
    # the module's lines go straight to the file descriptor.
    out = run_logged(
        """
        print("before")
        brenk.init_tracing()
        print("middle")
        brenk.main_entry()
        print("after")
        """
    ).check()
    assert out.stdout == ACTIVATED_PLAIN + ENTRY_LINE + b"before\nmiddle\nafter\n"


def test_redirected_sys_stdout_does_not_capture():
    out = run_logged(
        """
        import contextlib, io, os, sys
        buffer = io.StringIO()
        with contextlib.redirect_stdout(buffer):
            brenk.init_tracing()
            brenk.main_entry()
            Depends('a') == None
        sys.stdout = open(os.devnull, "w")
        brenk.main_entry()
        sys.stdout = sys.__stdout__
        print(repr(buffer.getvalue()))
        """
    ).check()
    assert out.stdout == ACTIVATED_PLAIN + ENTRY_LINE + log_line(*constraint_error("<class 'NoneType'>")) + ENTRY_LINE + b"''\n"


@pytest.mark.parametrize("no_color", [None, "1"], ids=["colour", "plain"])
def test_main_entry_every_call(no_color):
    out = run_logged(
        """
        results = [brenk.main_entry()]
        brenk.init_tracing()
        results += [brenk.main_entry(), brenk.main_entry()]
        assert results == [None, None, None], results
        """,
        no_color,
    ).check()
    # The entry line is never styled.
    assert out.stdout == ENTRY_LINE + activated(no_color is None) + ENTRY_LINE + ENTRY_LINE


# ---------------------------------------------------------------- second init_tracing

SECOND_INIT = """
import os
brenk.init_tracing()
os.environ["NO_COLOR"] = {new_no_color!r}
try:
    try:
        brenk.init_tracing()
    except Exception:
        print("caught as Exception", flush=True)
except BaseException as e:
    print(type(e).__name__, type(e).__bases__ == (BaseException,), e.args == (str(e),), repr(str(e)), flush=True)
Depends('a') == {{}}
"""


@pytest.mark.parametrize(("first", "second"), [("1", ""), (None, "1")], ids=["plain-stays", "colour-stays"])
def test_second_init_tracing_panics_and_keeps_first_log(first, second):
    out = run_logged(SECOND_INIT.format(new_no_color=second), no_color=first).check()
    colour = first is None
    expected = (
        activated(colour)
        + f"PanicException True True {SECOND_INIT_MESSAGE!r}\n".encode()
        + log_line(*constraint_error("<class 'dict'>"), colour=colour)
    )
    assert out.stdout == expected
    # The internal failure is also reported on standard error.
    assert SECOND_INIT_MESSAGE in out.stderr


def test_uncaught_second_init_tracing_ends_the_script():
    out = run_logged(
        """
        brenk.init_tracing()
        try:
            brenk.init_tracing()
        finally:
            print("unwinding", flush=True)
        print("not reached", flush=True)
        """
    )
    assert out.returncode != 0
    assert out.stdout == ACTIVATED_PLAIN + b"unwinding\n"
    assert "PanicException" in out.stderr
    assert SECOND_INIT_MESSAGE in out.stderr


# ---------------------------------------------------------------- threads


@pytest.mark.tsan
def test_concurrent_records_never_interleave():
    threads, rounds = 4, 250
    out = run_logged(
        f"""
        import threading
        brenk.init_tracing()
        barrier = threading.Barrier({threads})
        def work():
            barrier.wait()
            for _ in range({rounds}):
                try:
                    Cmp(None, 1, CmpType.Less)
                except TypeError:
                    pass
                brenk.main_entry()
        workers = [threading.Thread(target=work) for _ in range({threads})]
        for t in workers:
            t.start()
        for t in workers:
            t.join()
        """
    ).check()
    lines = out.stdout.splitlines(keepends=True)
    assert lines[0] == ACTIVATED_PLAIN
    error = log_line(*constraint_error("<class 'NoneType'>"))
    assert sorted(set(lines[1:])) == sorted({error, ENTRY_LINE})
    assert lines.count(error) == threads * rounds
    assert lines.count(ENTRY_LINE) == threads * rounds


@pytest.mark.tsan
def test_concurrent_init_tracing_installs_once():
    out = run_logged(
        """
        import threading
        barrier = threading.Barrier(6)
        results = []
        def work():
            barrier.wait()
            try:
                results.append(repr(brenk.init_tracing()))
            except BaseException as e:
                results.append(type(e).__name__)
        workers = [threading.Thread(target=work) for _ in range(6)]
        for t in workers:
            t.start()
        for t in workers:
            t.join()
        print(sorted(results), flush=True)
        """
    ).check()
    assert out.stdout == ACTIVATED_PLAIN + str(sorted(["None"] + ["PanicException"] * 5)).encode() + b"\n"


# ---------------------------------------------------------------- write failures


@pytest.mark.skipif(not os.path.exists("/dev/full"), reason="needs /dev/full")
def test_unwritable_stdout():
    with open("/dev/full", "wb") as full:
        out = run_logged(
            """
            import sys
            brenk.init_tracing()
            sys.stderr.write("after init\\n"); sys.stderr.flush()
            try:
                Cmp(None, 1, CmpType.Less)
            except TypeError as e:
                sys.stderr.write("still raised: " + str(e) + "\\n"); sys.stderr.flush()
            try:
                brenk.main_entry()
            except BaseException as e:
                sys.stderr.write("RESULT " + type(e).__name__ + " " + str(e) + "\\n")
            """,
            stdout=full,
        ).check()
    before, _, rest = out.stderr.partition("after init\n")
    # The dropped activation record is noted on standard error; init_tracing itself succeeds.
    assert before.strip()
    assert "still raised: argument 'lhs': cannot convert '<class 'NoneType'>' to Constraint\n" in rest
    prefix = "RESULT PanicException failed printing to stdout: "
    result = rest[rest.index("RESULT ") :].strip()
    assert result.startswith(prefix)
    assert len(result) > len(prefix)
