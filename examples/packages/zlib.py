"""A compression library: a shared build by default, one optional dependency."""

from brenk.package.constraint import Cmp, CmpType, Depends, IfThen, SpecOption
from brenk.package.outline import PackageOutline
from brenk.package.version import Version

zlib = PackageOutline(
    "zlib",
    [Depends("libc"), IfThen(Cmp(SpecOption("zlib", "minizip"), True, CmpType.Equal), Depends("minizip"))],
    set_options={"shared": True, "version": Version("1.3.1")},
    set_defaults={"minizip": False, "level": 6},
)
