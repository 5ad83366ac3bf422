"""kvrepo: repositories of reusable installation items, from Python.

A pure-Python package on the library's C interface (ctypes). The shared
library is found through ``KVREPO_LIBRARY`` (a path to ``libkvrepo.so`` or
``kvrepo.dll``), else beside the package, else through the system's loader.

::

    import kvrepo

    with kvrepo.Manager("Repositories.xml") as manager:
        for item in manager.items("Dialogs/*", all_repositories=True):
            print(item["DisplayName"], item.local_copy)

Failures raise :class:`Error` (``.status``, ``.messages``); all text is str.
A library that cannot be found or loaded raises OSError at the first call.
"""

from __future__ import annotations

from . import _native
from ._errors import Error, NotFound, OverwriteDeclined, Status, status_text
from ._manager import Manager
from ._objects import Item, Properties, Repository
from ._upkeep import CopyResult, Record, SyncEntry, SyncPlan

__version__ = "0.2.0"

# Shown as kvrepo.Error (not kvrepo._errors.Error) in tracebacks and reprs.
for _public in (CopyResult, Error, Item, Manager, NotFound, OverwriteDeclined, Properties,
                Record, Repository, Status, SyncEntry, SyncPlan):
    _public.__module__ = __name__
del _public

__all__ = [
    "CopyResult",
    "Error",
    "Item",
    "Manager",
    "NotFound",
    "OverwriteDeclined",
    "Properties",
    "Record",
    "Repository",
    "Status",
    "SyncEntry",
    "SyncPlan",
    "library_path",
    "library_version",
    "status_text",
]


def library_version() -> str:
    """The version of the loaded library, "MAJOR.MINOR.PATCH"."""
    return _native.decode(_native.lib().kvrepo_version())


def library_path() -> str:
    """The file the library was loaded from (as it was named to the loader)."""
    return str(_native.lib().path)
