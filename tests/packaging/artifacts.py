"""Checks of built artifacts that check_wheels.py (every wheel) and smoke_wheel.py (one wheel in
`make test`) share: what a wheel holds, its platform tag after `auditwheel repair`, the symbol
versions its extension needs, the license metadata, and `twine check --strict`."""
from __future__ import annotations

import re
import subprocess
import tarfile
import zipfile
from email.parser import HeaderParser
from pathlib import Path

STUBS = ["__init__.pyi", "package/__init__.pyi", "package/constraint.pyi", "package/outline.pyi",
         "package/version.pyi"]
# The oldest glibc the wheels promise (manylinux2014); a tag may only name this or an older one.
PLATFORM = "manylinux_2_17_x86_64"
NEWEST_GLIBC = (2, 17)
LEGACY_TAGS = {"manylinux1": (2, 5), "manylinux2010": (2, 12), "manylinux2014": (2, 17)}
DIST_INFO_FILES = {"METADATA", "WHEEL", "RECORD", "licenses/LICENSE"}
# What the extension may load besides the interpreter: the C++ runtime is linked in statically.
ALLOWED_NEEDED = {"libc.so.6", "libm.so.6", "libgcc_s.so.1", "libpthread.so.0", "libdl.so.2", "ld-linux-x86-64.so.2"}


# Runs in the venv's interpreter: refuses to test anything but the installed module, then hands
# over to pytest in the same process, so the tests see exactly that module.
RUNNER = """
import os, sys
import brenk
where = os.path.realpath(brenk.__file__)
prefix = os.path.realpath(sys.prefix) + os.sep
print("brenk imported from", where, flush=True)
if not where.startswith(prefix):
    sys.exit(f"brenk comes from {where}, not from the environment {prefix}")
import pytest
sys.exit(pytest.main(sys.argv[1:]))
"""


class ArtifactError(Exception):
    """An artifact that must not be shipped; the message says why."""


def run(cmd: list[str], cwd: Path | None = None, env: dict[str, str] | None = None) -> str:
    print("+ " + " ".join(cmd), flush=True)
    done = subprocess.run(cmd, cwd=cwd, env=env, capture_output=True, text=True)
    print(done.stdout + done.stderr, end="", flush=True)
    if done.returncode:
        raise ArtifactError(f"{cmd[0]} {cmd[1] if len(cmd) > 1 else ''} failed (exit status {done.returncode})")
    return done.stdout


def check_wheel_files(wheel: Path, soabi: str) -> None:
    """The wheel holds the extension, the stubs and its dist-info (with the license), nothing else."""
    names = {n for n in zipfile.ZipFile(wheel).namelist() if not n.endswith("/")}  # repair adds directories
    dist_info = {n.split("/", 1)[0] for n in names if n.split("/", 1)[0].endswith(".dist-info")}
    modules = [n for n in names if n.startswith("brenk.") and n.endswith(".so")]
    if len(dist_info) != 1 or len(modules) != 1 or f".{soabi}-" not in modules[0]:
        raise ArtifactError(f"{wheel.name}: dist-info {sorted(dist_info)}, extension modules {modules}")
    info = dist_info.pop()
    wanted = {modules[0], *(f"brenk-stubs/{s}" for s in STUBS), *(f"{info}/{f}" for f in DIST_INFO_FILES)}
    if names != wanted:
        raise ArtifactError(f"{wheel.name}: missing {sorted(wanted - names)}, unexpected {sorted(names - wanted)}")
    print(f"{wheel.name}: {modules[0]}, {len(STUBS)} stub files, the license; {wheel.stat().st_size:,} bytes",
          flush=True)


def check_metadata(text: str, where: str) -> None:
    """Core metadata as PKG-INFO and METADATA must both carry it: the license the current way."""
    fields = HeaderParser().parsestr(text)
    wanted = {"Metadata-Version": "2.4", "License-Expression": "MIT", "License-File": "LICENSE",
              "Requires-Python": ">=3.13", "Description-Content-Type": "text/markdown"}
    wrong = {k: fields.get(k) for k, v in wanted.items() if fields.get(k) != v}
    if wrong or any(c.startswith("License ::") for c in fields.get_all("Classifier", [])):
        raise ArtifactError(f"{where}: metadata fields {wrong} (wanted {wanted}), no License classifier")


def check_wheel_metadata(wheel: Path) -> None:
    with zipfile.ZipFile(wheel) as whl:
        metadata = next(n for n in whl.namelist() if n.endswith(".dist-info/METADATA"))
        check_metadata(whl.read(metadata).decode(), f"{wheel.name}: {metadata}")


def check_sdist_metadata(sdist: Path) -> None:
    with tarfile.open(sdist) as tar:
        top = tar.getnames()[0].split("/")[0]
        check_metadata(tar.extractfile(f"{top}/PKG-INFO").read().decode(), f"{sdist.name}: PKG-INFO")
        if f"{top}/LICENSE" not in tar.getnames():
            raise ArtifactError(f"{sdist.name}: no LICENSE")


def glibc_of_tag(platform: str) -> tuple[int, int] | None:
    if m := re.fullmatch(r"manylinux_(\d+)_(\d+)_x86_64", platform):
        return int(m[1]), int(m[2])
    return LEGACY_TAGS.get(platform.removesuffix("_x86_64"))


def repair(wheel: Path, out: Path) -> Path:
    """`auditwheel repair` to the promised platform; the result must name no newer glibc and have
    nothing grafted in (a grafted library would mean the static runtime leaked a dependency)."""
    out.mkdir(parents=True, exist_ok=True)
    run(["auditwheel", "repair", "--plat", PLATFORM, "-w", str(out), str(wheel)])
    repaired = sorted(out.glob("*.whl"))
    if len(repaired) != 1:
        raise ArtifactError(f"expected one repaired wheel in {out}, found {[p.name for p in repaired]}")
    platforms = repaired[0].name.removesuffix(".whl").split("-")[-1].split(".")
    glibcs = [glibc_of_tag(p) for p in platforms]
    if None in glibcs or max(glibcs) > NEWEST_GLIBC:  # type: ignore[type-var]
        raise ArtifactError(f"{repaired[0].name}: platform tags {platforms}, wanted {PLATFORM} or older")
    grafted = [n for n in zipfile.ZipFile(repaired[0]).namelist() if ".libs/" in n]
    if grafted:
        raise ArtifactError(f"{repaired[0].name}: libraries grafted in: {grafted}")
    run(["auditwheel", "show", str(repaired[0])])
    return repaired[0]


def symbol_versions(wheel: Path, scratch: Path) -> str:
    """The versions of the system symbols the extension binds, as one line; fails when it loads a
    library beyond ALLOWED_NEEDED (libstdc++ above all)."""
    with zipfile.ZipFile(wheel) as whl:
        module = next(n for n in whl.namelist() if n.endswith(".so"))
        path = Path(whl.extract(module, scratch / "symbols"))
    dynamic = subprocess.run(["objdump", "-p", "-T", str(path)], check=True, capture_output=True, text=True).stdout
    needed = set(re.findall(r"^\s+NEEDED\s+(\S+)", dynamic, re.M))
    if needed - ALLOWED_NEEDED:
        raise ArtifactError(f"{wheel.name}: loads {sorted(needed - ALLOWED_NEEDED)}")
    versions: dict[str, set[str]] = {}
    for family, number in re.findall(r"\(?\b(GLIBC|GLIBCXX|CXXABI|GCC)_([\d.]+)\)?\s+\S+$", dynamic, re.M):
        versions.setdefault(family, set()).add(number)
    return "; ".join(f"{family} " + ", ".join(sorted(numbers, key=lambda v: [int(x) for x in v.split(".")]))
                     for family, numbers in sorted(versions.items()))


def twine_check(paths: list[Path]) -> None:
    run(["twine", "check", "--strict", *map(str, paths)])
