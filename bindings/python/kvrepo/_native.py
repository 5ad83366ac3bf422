"""The shared library and the C interface's declarations, for ctypes.

Everything here mirrors ``kvrepo_c.h``: handles are ``c_void_p``, owned text
comes back through a ``c_void_p`` out-parameter and is released with
``kvrepo_free`` (ctypes never converts or frees it itself), borrowed text is
read as ``c_char_p``. All text is UTF-8 both ways.
"""

from __future__ import annotations

import ctypes
import ctypes.util
import os
import sys
import threading
from ctypes import (POINTER, Structure, c_char_p, c_int, c_size_t, c_uint,
                    c_void_p)
from pathlib import Path
from typing import Any, Iterator, List, Optional, Union

#: The major version of the C interface this package is written for, and the
#: least minor version it needs.
INTERFACE_MAJOR = 0
INTERFACE_MINOR = 2

CALLBACKS_VERSION = 1
REPAIR_OPTIONS_VERSION = 1

# Callback types: (context, text) and (context, path) -> nonzero to overwrite.
MessageFunc = ctypes.CFUNCTYPE(None, c_void_p, c_char_p)
OverwriteFunc = ctypes.CFUNCTYPE(c_int, c_void_p, c_char_p)


class Callbacks(Structure):
    _fields_ = [
        ("version", c_uint),
        ("context", c_void_p),
        ("message", MessageFunc),
        ("overwrite_file", OverwriteFunc),
        ("overwrite_folder", OverwriteFunc),
    ]


class RepairOptions(Structure):
    _fields_ = [("version", c_uint), ("prune_missing", c_int), ("dry_run", c_int)]


class ReportEntry(Structure):
    _fields_ = [
        ("kind", c_char_p),
        ("type", c_char_p),
        ("subject", c_char_p),
        ("detail", c_char_p),
        ("is_problem", c_int),
    ]


class CopyResult(Structure):
    _fields_ = [
        ("type", c_char_p),
        ("file_name", c_char_p),
        ("source_file", c_char_p),
        ("display_path", c_char_p),
        ("target_file", c_char_p),
        ("replaced", c_int),
    ]


class SyncEntry(Structure):
    _fields_ = [
        ("reason", c_char_p),
        ("type", c_char_p),
        ("file_name", c_char_p),
        ("display_path", c_char_p),
        ("source_file", c_char_p),
        ("destination_file", c_char_p),
        ("action", c_char_p),
        ("status", c_int),
        ("target_file", c_char_p),
        ("problem", c_char_p),
    ]


_Out = POINTER(c_void_p)
_status = c_int

# name: (result type, argument types). Every handle is a c_void_p; an owned
# char* comes back through a c_void_p out-parameter (_Out).
_PROTOTYPES = {
    "kvrepo_version": (c_char_p, []),
    "kvrepo_status_text": (c_char_p, [c_int]),
    "kvrepo_last_message": (c_char_p, []),
    "kvrepo_free": (None, [c_void_p]),
    "kvrepo_callbacks_init": (_status, [POINTER(Callbacks), c_uint]),
    # the manager
    "kvrepo_manager_open": (_status, [c_char_p, POINTER(Callbacks), _Out]),
    "kvrepo_manager_close": (None, [c_void_p]),
    "kvrepo_manager_list_path": (c_char_p, [c_void_p]),
    "kvrepo_manager_repository": (_status, [c_void_p, c_char_p, c_int, _Out]),
    "kvrepo_manager_repositories": (_status, [c_void_p, c_char_p, c_int, _Out]),
    "kvrepo_manager_items": (_status, [c_void_p, c_char_p, c_int, _Out]),
    "kvrepo_manager_create_repository": (_status, [c_void_p, c_char_p, c_char_p]),
    "kvrepo_manager_template_path": (_status, [c_void_p, _Out]),
    "kvrepo_manager_setup_repository": (_status, [c_void_p, c_char_p]),
    "kvrepo_manager_verify_list": (_status, [c_void_p, c_char_p, _Out]),
    # repositories
    "kvrepo_repository_list_count": (c_size_t, [c_void_p]),
    "kvrepo_repository_list_at": (c_void_p, [c_void_p, c_size_t]),
    "kvrepo_repository_list_free": (None, [c_void_p]),
    "kvrepo_repository_key": (c_char_p, [c_void_p]),
    "kvrepo_repository_data_file": (c_char_p, [c_void_p]),
    "kvrepo_repository_is_local": (c_int, [c_void_p]),
    "kvrepo_repository_exists": (c_int, [c_void_p]),
    "kvrepo_repository_get_property": (_status, [c_void_p, c_char_p, _Out]),
    "kvrepo_repository_set_property": (_status, [c_void_p, c_char_p, c_char_p]),
    "kvrepo_repository_property_names": (_status, [c_void_p, _Out]),
    "kvrepo_repository_items": (_status, [c_void_p, c_char_p, _Out]),
    "kvrepo_repository_new_item": (_status, [c_void_p, c_char_p, _Out]),
    "kvrepo_repository_publish_path": (_status, [c_void_p, c_char_p, c_char_p, _Out]),
    "kvrepo_repository_dup": (_status, [c_void_p, _Out]),
    "kvrepo_repository_free": (None, [c_void_p]),
    # items
    "kvrepo_item_list_count": (c_size_t, [c_void_p]),
    "kvrepo_item_list_at": (c_void_p, [c_void_p, c_size_t]),
    "kvrepo_item_list_free": (None, [c_void_p]),
    "kvrepo_item_get_property": (_status, [c_void_p, c_char_p, _Out]),
    "kvrepo_item_set_property": (_status, [c_void_p, c_char_p, c_char_p]),
    "kvrepo_item_set_memory_property": (_status, [c_void_p, c_char_p, c_char_p]),
    "kvrepo_item_property_names": (_status, [c_void_p, c_int, _Out]),
    "kvrepo_item_add_file": (_status, [c_void_p, c_char_p]),
    "kvrepo_item_commit": (_status, [c_void_p]),
    "kvrepo_item_delete": (_status, [c_void_p, c_int]),
    "kvrepo_item_local_copy": (_status, [c_void_p, _Out]),
    "kvrepo_item_exists": (c_int, [c_void_p]),
    "kvrepo_item_display_path": (_status, [c_void_p, _Out]),
    "kvrepo_item_type": (_status, [c_void_p, _Out]),
    "kvrepo_item_target_file_name": (_status, [c_void_p, _Out]),
    "kvrepo_item_repository": (_status, [c_void_p, _Out]),
    "kvrepo_item_free": (None, [c_void_p]),
    # string lists
    "kvrepo_string_list_count": (c_size_t, [c_void_p]),
    "kvrepo_string_list_at": (c_char_p, [c_void_p, c_size_t]),
    "kvrepo_string_list_free": (None, [c_void_p]),
    # upkeep
    "kvrepo_report_count": (c_size_t, [c_void_p]),
    "kvrepo_report_at": (POINTER(ReportEntry), [c_void_p, c_size_t]),
    "kvrepo_report_free": (None, [c_void_p]),
    "kvrepo_repository_verify": (_status, [c_void_p, _Out]),
    "kvrepo_repair_options_init": (_status, [POINTER(RepairOptions), c_uint]),
    "kvrepo_repository_repair": (_status, [c_void_p, POINTER(RepairOptions), _Out]),
    "kvrepo_copy_path": (_status, [c_void_p, c_char_p, c_void_p, _Out]),
    "kvrepo_copy_item": (_status, [c_void_p, c_void_p, _Out]),
    "kvrepo_copy_result_of": (POINTER(CopyResult), [c_void_p]),
    "kvrepo_copy_free": (None, [c_void_p]),
    "kvrepo_sync_plan": (_status, [c_void_p, c_void_p, c_char_p, c_int, _Out]),
    "kvrepo_sync_count": (c_size_t, [c_void_p]),
    "kvrepo_sync_at": (POINTER(SyncEntry), [c_void_p, c_size_t]),
    "kvrepo_sync_apply": (_status, [c_void_p]),
    "kvrepo_sync_free": (None, [c_void_p]),
}


def _file_names() -> List[str]:
    """The library's file names on this platform, most specific first."""
    if sys.platform == "win32":
        return ["kvrepo.dll"]
    if sys.platform == "darwin":
        return ["libkvrepo.0.dylib", "libkvrepo.dylib"]
    return ["libkvrepo.so.0", "libkvrepo.so"]


def candidates() -> Iterator[str]:
    """Where the library is looked for, in order.

    ``KVREPO_LIBRARY`` when set (and then nothing else: a wrong setting should
    fail, not be passed over); otherwise a library beside the package (in its
    own folder or the folder that holds it), then the system's loader.
    """
    chosen = os.environ.get("KVREPO_LIBRARY")
    if chosen:
        yield chosen
        return
    here = Path(__file__).resolve().parent
    for folder in (here, here.parent):
        for name in _file_names():
            if (folder / name).is_file():
                yield str(folder / name)
    found = ctypes.util.find_library("kvrepo")
    if found:
        yield found
    yield _file_names()[0]


class _Library:
    """The loaded library with its functions declared."""

    def __init__(self, path: str, cdll: ctypes.CDLL) -> None:
        self.path = path
        for name, (restype, argtypes) in _PROTOTYPES.items():
            function = getattr(cdll, name)
            function.restype = restype
            function.argtypes = argtypes
            setattr(self, name, function)
        self.cdll = cdll


_lock = threading.Lock()
_loaded: Optional[_Library] = None


def lib() -> Any:
    """The library, loaded and declared on first use."""
    global _loaded
    if _loaded is not None:
        return _loaded
    with _lock:
        if _loaded is None:
            _loaded = _load()
    return _loaded


def _load() -> _Library:
    tried = []
    for candidate in candidates():
        try:
            # A full path lets the system find the library's own
            # dependencies beside it (on Windows too); the component modules
            # the library loads itself, from its own folder.
            cdll = ctypes.CDLL(candidate)
        except OSError as error:
            tried.append(f"{candidate}: {error}")
            continue
        try:
            version_of = cdll.kvrepo_version
        except AttributeError:
            raise OSError(f"kvrepo: {candidate} has no C interface") from None
        version_of.restype, version_of.argtypes = c_char_p, []
        version = version_of().decode("ascii")
        major, minor = (int(part) for part in version.split(".")[:2])
        if major != INTERFACE_MAJOR or minor < INTERFACE_MINOR:
            raise OSError(
                f"kvrepo: {candidate} is version {version}; this package needs "
                f"{INTERFACE_MAJOR}.{INTERFACE_MINOR} or a later {INTERFACE_MAJOR}.x")
        try:
            return _Library(candidate, cdll)
        except AttributeError as error:
            raise OSError(f"kvrepo: {candidate} lacks part of the C interface ({error})") from None
    raise OSError("kvrepo: the shared library was not found (set KVREPO_LIBRARY to its path); "
                  "tried " + "; ".join(tried))


# --- text ---------------------------------------------------------------------

PathLike = Union[str, "os.PathLike[str]"]


def encode(text: Union[str, "os.PathLike[str]"]) -> bytes:
    """`text` (a str or a path) as the UTF-8 the library takes."""
    value = os.fspath(text)
    if not isinstance(value, str):
        raise TypeError(f"kvrepo takes text as str, not {type(value).__name__}")
    data = value.encode("utf-8")
    if b"\0" in data:
        # C would read only up to it: refused rather than cut short.
        raise ValueError("kvrepo text cannot hold a NUL character")
    return data


def encode_optional(text: Optional[PathLike]) -> Optional[bytes]:
    return None if text is None else encode(text)


def decode(data: Optional[bytes]) -> str:
    """Text from the library (valid UTF-8 by its promise; None reads as "")."""
    return data.decode("utf-8") if data else ""


def take_text(pointer: c_void_p) -> str:
    """Owned text from an out-parameter, copied, then released with kvrepo_free."""
    try:
        return ctypes.string_at(pointer.value).decode("utf-8") if pointer.value else ""
    finally:
        lib().kvrepo_free(pointer)


def take_strings(pointer: c_void_p) -> List[str]:
    """An owned string list from an out-parameter, copied, then released."""
    library = lib()
    try:
        return [decode(library.kvrepo_string_list_at(pointer, index))
                for index in range(library.kvrepo_string_list_count(pointer))]
    finally:
        library.kvrepo_string_list_free(pointer)
