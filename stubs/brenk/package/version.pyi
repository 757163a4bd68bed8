from typing import Self, final

__all__ = ["Version"]

@final
class Version:
    """A generic version.

    See the documentation for this module for more information.
    """

    def __new__(cls, ver: str) -> Self: ...
