"""A crypto library whose zlib support follows zlib's own shared option."""

from brenk.package.constraint import Cmp, CmpType, Depends, Maximize, NumOf, SpecOption
from brenk.package.outline import PackageOutline
from brenk.package.version import Version

openssl = PackageOutline(
    "openssl",
    [
        Depends("zlib"),
        Cmp(SpecOption("zlib", "version"), Version("1.2.*"), CmpType.GreaterOrEqual),
        Maximize(NumOf([SpecOption("openssl", "asm"), SpecOption("openssl", "threads")])),
    ],
    set_options={"asm": True, "threads": True},
    set_defaults={"fips": None, "api_level": 30000},
)
