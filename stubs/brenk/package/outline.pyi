from typing import Any, Self, final

__all__ = ["PackageOutline"]

@final
class PackageOutline:
    def __new__(
        cls,
        name: str,
        constraints: Any | None = None,
        set_options: Any | None = None,
        set_defaults: Any | None = None,
        **kwargs: Any,
    ) -> Self: ...
