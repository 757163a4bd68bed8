"""Test counts of the suites that tools/dev and tests/packaging/check_wheels.py run, and the
summary both end with: one line per suite, then the total as "N passed, M failed[, K skipped]"."""
from __future__ import annotations

import xml.etree.ElementTree as ET
from dataclasses import dataclass
from pathlib import Path


@dataclass
class Result:
    name: str
    passed: int = 0
    failed: int = 0
    skipped: int = 0
    problem: str = ""

    def fail(self, problem: str, failures: int = 1) -> None:
        """Counts FAILURES more failed cases and adds PROBLEM to the description."""
        self.failed += failures
        self.problem = "; ".join(filter(None, (self.problem, problem)))

    def line(self) -> str:
        text = f"{self.passed} passed, {self.failed} failed"
        if self.skipped:
            text += f", {self.skipped} skipped"
        return f"{self.name}: {text}" + (f" ({self.problem})" if self.problem else "")


def count_junit(path: Path, result: Result) -> None:
    """Counts test cases in a JUnit-style report (pytest's and GoogleTest's both fit)."""
    for case in ET.parse(path).getroot().iter("testcase"):
        tags = {child.tag for child in case}
        if tags & {"failure", "error"}:
            result.failed += 1
        elif "skipped" in tags or case.get("result") == "skipped" or case.get("status") == "notrun":
            result.skipped += 1
        else:
            result.passed += 1


def summarize(results: list[Result]) -> int:
    """Prints every result and the total; returns the exit status (1 when anything failed)."""
    total = Result("total")
    print("\n===== results", flush=True)
    for r in results:
        print(r.line())
        total.passed += r.passed
        total.failed += r.failed
        total.skipped += r.skipped
    print(total.line().removeprefix("total: "), flush=True)
    return 1 if total.failed else 0
