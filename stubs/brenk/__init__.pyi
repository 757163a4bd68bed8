"""Describe software packages from Python: constraints, versions and package outlines."""

from . import package as package

__all__ = ["package", "init_tracing", "main_entry"]

def init_tracing() -> None:
    """Switch on the diagnostic log on standard output; a second call raises PanicException."""

def main_entry() -> None:
    """Print the entry line on standard output."""
