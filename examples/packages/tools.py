"""Two outlines from one script: a tool and its documentation."""

from brenk.package.constraint import Depends, Minimize, SpecOption
from brenk.package.outline import PackageOutline

tool = PackageOutline("tool", [Depends("openssl"), Minimize(SpecOption("tool", "size"))], set_options={"size": 1.5})
tool_docs = PackageOutline("tool-docs", [Depends("tool")], set_defaults={"format": "html"})
