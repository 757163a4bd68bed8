from . import constraint as constraint
from . import outline as outline
from . import version as version

__all__ = ["outline", "constraint", "version"]
