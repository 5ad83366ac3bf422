"""Repositories, items and their properties."""

from __future__ import annotations

import os
import warnings
from ctypes import byref, c_void_p
from typing import Any, Callable, Iterable, Iterator, List, Mapping, Optional, Tuple, Union

from . import _native
from ._errors import NotFound
from ._native import PathLike, encode, take_strings, take_text
from ._session import OverwriteAnswer, Owned, Session, call, take
from ._upkeep import CopyResult, Record, SyncPlan, take_copy, take_records

#: What begins an item's display path.
REPOSITORY_MARKER = "<KVREPOSITORY>"


def library_item_path(item_path: str) -> str:
    """An item path as the library reads it: ``"Dialogs/*"`` stays, and one
    item written ``"Dialogs/x.kvd"`` becomes its display path
    ``"<KVREPOSITORY>\\Dialogs\\x.kvd"``, as the command-line tool takes it."""
    if item_path.endswith("/*") or "\\" in item_path or "/" not in item_path:
        return item_path
    path = item_path.replace("/", "\\")
    return path if path.startswith(REPOSITORY_MARKER) else REPOSITORY_MARKER + "\\" + path


class Properties(Mapping[str, str]):
    """The properties of an item or repository, as a mapping of text to text.

    Reading looks the name up afresh (a missing one raises :class:`NotFound`,
    a :class:`KeyError`); the names are those the library lists. Assigning
    writes: a repository's property into its entry in the list file at once,
    an item's into its cache until :meth:`Item.commit`. Properties cannot be
    removed.
    """

    __slots__ = ("_get", "_set", "_names")

    def __init__(self, get: Callable[[str], str], set: Callable[[str, str], None],
                 names: Callable[[], List[str]]) -> None:
        self._get, self._set, self._names = get, set, names

    def __getitem__(self, name: str) -> str:
        return self._get(name)

    def __setitem__(self, name: str, value: str) -> None:
        self._set(name, value)

    def update(self, values: Union[Mapping[str, str], Iterable[Tuple[str, str]]] = (),
               **more: str) -> None:
        """Assigns each pair, as ``dict.update`` does."""
        pairs = values.items() if isinstance(values, Mapping) else values
        for name, value in list(pairs) + list(more.items()):
            self[name] = value

    def __iter__(self) -> Iterator[str]:
        return iter(self._names())

    def __len__(self) -> int:
        return len(self._names())

    def __repr__(self) -> str:
        return f"Properties({dict(self)!r})"


class _Handle:
    """A C handle that is either owned (freed with the object) or borrowed
    from a list, whose owned handle it then keeps alive."""

    __slots__ = ("_session", "_raw", "_keep", "_owns", "__weakref__")

    def __init__(self, session: Session, pointer: int, keep: Owned, owns: bool) -> None:
        self._session = session  # the callbacks the C handle reaches
        self._raw = pointer
        self._keep: Optional[Owned] = keep
        self._owns = owns

    def _pointer(self) -> int:
        if self._keep is None or self._keep.released:
            raise ValueError(f"kvrepo: the {type(self).__name__.lower()} is closed")
        return self._raw

    def close(self) -> None:
        """Lets go of the C handle now (a handle of a listing goes with the
        last object of that listing). Further use raises ValueError."""
        keep, self._keep = self._keep, None
        if keep is not None and self._owns:
            keep.release()

    @property
    def closed(self) -> bool:
        return self._keep is None or self._keep.released

    def _call(self, function: Any, *args: Any) -> None:
        call((self._session,), function, *args)

    def _text(self, function: Any, *args: Any) -> str:
        out = c_void_p()
        self._call(function, self._pointer(), *args, byref(out))
        return take_text(out)


class _PropertyHandle(_Handle):
    """A handle with properties, read and written one by one by name."""

    __slots__ = ()

    def _get_property(self, name: str) -> str:
        raise NotImplementedError

    def _set_property(self, name: str, value: str) -> None:
        raise NotImplementedError

    @property
    def properties(self) -> Properties:
        raise NotImplementedError

    def __getitem__(self, name: str) -> str:
        return self._get_property(name)

    def __setitem__(self, name: str, value: str) -> None:
        self._set_property(name, value)

    def get(self, name: str, default: Optional[str] = None) -> Optional[str]:
        return self.properties.get(name, default)


def repositories_of(session: Session, out: c_void_p) -> List[Repository]:
    """The repositories of an owned list, each borrowed from it."""
    library = _native.lib()
    keep = take(out, library.kvrepo_repository_list_free)
    return [Repository(session, library.kvrepo_repository_list_at(keep.pointer, index), keep,
                       owns=False)
            for index in range(library.kvrepo_repository_list_count(keep.pointer))]


def items_of(session: Session, out: c_void_p) -> List[Item]:
    """The items of an owned list, each borrowed from it."""
    library = _native.lib()
    keep = take(out, library.kvrepo_item_list_free)
    return [Item(session, library.kvrepo_item_list_at(keep.pointer, index), keep, owns=False)
            for index in range(library.kvrepo_item_list_count(keep.pointer))]


class Repository(_PropertyHandle):
    """One repository of the list: its entry's key, data file and properties,
    its items, publishing, and upkeep.

    Its key, data file and local flag are those the list gave when it was
    found; it stays usable after its manager is closed.
    """

    __slots__ = ("key", "data_file", "is_local")

    def __init__(self, session: Session, pointer: int, keep: Owned, owns: bool) -> None:
        super().__init__(session, pointer, keep, owns)
        library = _native.lib()
        self.key: str = _native.decode(library.kvrepo_repository_key(pointer))
        self.data_file: str = _native.decode(library.kvrepo_repository_data_file(pointer))
        self.is_local: bool = bool(library.kvrepo_repository_is_local(pointer))

    @property
    def exists(self) -> bool:
        """Whether its data file exists now."""
        return bool(_native.lib().kvrepo_repository_exists(self._pointer()))

    # --- properties: attributes of its entry in the list file ---------------

    def _get_property(self, name: str) -> str:
        return self._text(_native.lib().kvrepo_repository_get_property, encode(name))

    def _set_property(self, name: str, value: str) -> None:
        self._call(_native.lib().kvrepo_repository_set_property, self._pointer(), encode(name),
                   encode(value))

    def _property_names(self) -> List[str]:
        out = c_void_p()
        self._call(_native.lib().kvrepo_repository_property_names, self._pointer(), byref(out))
        return take_strings(out)

    @property
    def properties(self) -> Properties:
        """The attributes of its entry in the list file ("DisplayName",
        "Path", ...); assigning one writes the list file."""
        return Properties(self._get_property, self._set_property, self._property_names)

    @property
    def display_name(self) -> Optional[str]:
        """Its "DisplayName", or None when its entry has none."""
        return self.get("DisplayName")

    # --- items ----------------------------------------------------------------

    def items(self, item_path: str) -> List[Item]:
        """Its items that `item_path` selects: ``"Dialogs/*"`` (every dialog)
        or one item, ``"Dialogs/x.kvd"`` or ``"<KVREPOSITORY>\\Dialogs\\x.kvd"``."""
        out = c_void_p()
        self._call(_native.lib().kvrepo_repository_items, self._pointer(),
                   encode(library_item_path(item_path)), byref(out))
        return items_of(self._session, out)

    def item(self, item_path: str) -> Item:
        """The one item `item_path` names; LookupError when there is none."""
        found = self.items(item_path)
        if not found:
            raise LookupError(f"kvrepo: no item {item_path!r} in repository {self.key!r}")
        return found[0]

    def publish_path(self, type: str, file_name: str) -> Optional[str]:
        """The display path a new item of `type` whose file is named
        `file_name` is made with so that a listing finds it again (the folder
        of the group that lists such a name); None when no group would."""
        try:
            return self._text(_native.lib().kvrepo_repository_publish_path, encode(type),
                              encode(file_name))
        except NotFound:
            return None

    def new_item(self, type: str, display_path: Optional[str] = None) -> Item:
        """A new item of `type` ("Dialogs") to publish, into the folder that
        `display_path` names ("<KVREPOSITORY>\\Dialogs\\*", the default);
        nothing is written until :meth:`Item.commit`. :meth:`publish` does it
        all in one call."""
        if not type or "\\" in type or "/" in type:
            raise ValueError(f"kvrepo: {type!r} is not an item type")
        out = c_void_p()
        self._call(_native.lib().kvrepo_repository_new_item, self._pointer(),
                   encode(display_path or f"{REPOSITORY_MARKER}\\{type}\\*"), byref(out))
        item = Item(self._session, out.value or 0,
                    take(out, _native.lib().kvrepo_item_free), owns=True)
        if not item.type:
            item.close()
            raise ValueError(f"kvrepo: {type!r} is not an item type")
        return item

    def publish(self, path: PathLike, type: str,
                properties: Optional[Mapping[str, str]] = None,
                overwrite: Optional[OverwriteAnswer] = None) -> Item:
        """Publishes the file at `path` as a new item of `type`: copies it into
        the repository, sets `properties` and commits, and returns the item.

        `overwrite` answers, for this call, whether an existing file (or a
        template's folder) is replaced: a bool, or a callable taking the path
        and returning a bool; None leaves it to the manager's ``on_overwrite``.
        A "no" raises :class:`OverwriteDeclined` (the properties are written
        by then and stay).
        """
        # The folder of the group that lists the file, where there is one.
        item = self.new_item(type, self.publish_path(type, os.path.basename(os.fspath(path))))
        item.add_file(path)
        if properties:
            item.properties.update(properties)
        item.commit(overwrite=overwrite)
        # The item as a listing finds it, which knows its local copy.
        name = item.get("FileName") or ""
        found = self.items(f"{REPOSITORY_MARKER}\\{item.type}\\{name}") if name else []
        if found:
            item.close()
            return found[0]
        warnings.warn(f"kvrepo: {name or os.fspath(path)!r} was published into repository "
                      f"{self.key!r} but none of its {type} patterns lists it", stacklevel=2)
        return item

    # --- upkeep ---------------------------------------------------------------

    def verify(self) -> List[Record]:
        """Where its data file and its folders disagree; reads only."""
        out = c_void_p()
        self._call(_native.lib().kvrepo_repository_verify, self._pointer(), byref(out))
        return take_records(out)

    def repair(self, *, prune_missing: bool = False, dry_run: bool = False) -> List[Record]:
        """Puts right what has a clear answer, in one locked save, and returns
        every change and, as "left-alone", every finding it did not change.
        With `dry_run` it changes nothing and says what it would change."""
        library = _native.lib()
        options = _native.RepairOptions()
        self._call(library.kvrepo_repair_options_init, byref(options),
                   _native.REPAIR_OPTIONS_VERSION)
        options.prune_missing = int(prune_missing)
        options.dry_run = int(dry_run)
        out = c_void_p()
        self._call(library.kvrepo_repository_repair, self._pointer(), byref(options), byref(out))
        return take_records(out)

    def copy(self, item_path: str, destination: Repository, *,
             overwrite: Optional[OverwriteAnswer] = None) -> CopyResult:
        """Copies one item (``"Dialogs/x.kvd"`` or its display path) with its
        file and stored properties into `destination`. Every overwrite
        question is asked before anything is written, through `overwrite` or
        the destination's manager: a "no" changes nothing."""
        out = c_void_p()
        with destination._session.answering(overwrite):
            call((destination._session, self._session), _native.lib().kvrepo_copy_path,
                 self._pointer(), encode(library_item_path(item_path)), destination._pointer(),
                 byref(out))
        return take_copy(out)

    def sync(self, destination: Repository, *, type: Optional[str] = None,
             update: bool = False) -> SyncPlan:
        """A plan of what `destination` lacks of this repository (with
        `update`, also what it holds with other content), of one `type` or
        all. Reads only; :meth:`SyncPlan.apply` copies."""
        library = _native.lib()
        out = c_void_p()
        call((self._session, destination._session), library.kvrepo_sync_plan, self._pointer(),
             destination._pointer(), _native.encode_optional(type), int(update), byref(out))
        return SyncPlan(take(out, library.kvrepo_sync_free), self._session, destination._session)

    def __repr__(self) -> str:
        where = "local" if self.is_local else "network"
        return f"<kvrepo.Repository {self.key!r} ({where}) {self.data_file!r}>"


class Item(_PropertyHandle):
    """One item: a file of a repository with its properties.

    Items of one listing share its C handle; each keeps it alive, and none
    needs its manager or repository object.
    """

    __slots__ = ()

    # --- properties ---------------------------------------------------------

    def _get_property(self, name: str) -> str:
        return self._text(_native.lib().kvrepo_item_get_property, encode(name))

    def _set_property(self, name: str, value: str) -> None:
        self._call(_native.lib().kvrepo_item_set_property, self._pointer(), encode(name),
                   encode(value))

    def _property_names(self) -> List[str]:
        out = c_void_p()
        self._call(_native.lib().kvrepo_item_property_names, self._pointer(), 1, byref(out))
        return take_strings(out)

    @property
    def properties(self) -> Properties:
        """Its properties: those cached and those its entry in the data file
        stores. "DisplayPath" and "ParentRepo" are computed on reading and not
        listed. Assigned values are cached until :meth:`commit`."""
        return Properties(self._get_property, self._set_property, self._property_names)

    def set_memory_property(self, name: str, value: str) -> None:
        """Caches a property that is never written to the data file."""
        self._call(_native.lib().kvrepo_item_set_memory_property, self._pointer(),
                   encode(name), encode(value))

    @property
    def display_name(self) -> Optional[str]:
        return self.get("DisplayName")

    @property
    def display_path(self) -> str:
        """``"<KVREPOSITORY>\\Dialogs\\x.kvd"``."""
        return self._text(_native.lib().kvrepo_item_display_path)

    @property
    def type(self) -> str:
        """Its type ("Dialogs"); "" when its display path names none."""
        return self._text(_native.lib().kvrepo_item_type)

    @property
    def file_name(self) -> str:
        """The name its file has in the repository (its "FileName"), or for a
        new item the name its added file will take; "" when neither is known."""
        return self._text(_native.lib().kvrepo_item_target_file_name) or self.get("FileName") or ""

    @property
    def local_copy(self) -> str:
        """Where its file lies."""
        return self._text(_native.lib().kvrepo_item_local_copy)

    @property
    def exists(self) -> bool:
        """Whether the data file lists it (found by a listing, or committed)."""
        return bool(_native.lib().kvrepo_item_exists(self._pointer()))

    @property
    def repository(self) -> Repository:
        """Its repository (a new object each time)."""
        library = _native.lib()
        out = c_void_p()
        self._call(library.kvrepo_item_repository, self._pointer(), byref(out))
        return Repository(self._session, out.value or 0,
                          take(out, library.kvrepo_repository_free), owns=True)

    # --- changes --------------------------------------------------------------

    def add_file(self, path: PathLike) -> None:
        """Names the file (for a template, the file with its folder) that
        :meth:`commit` copies into the repository."""
        self._call(_native.lib().kvrepo_item_add_file, self._pointer(), encode(path))

    def commit(self, *, overwrite: Optional[OverwriteAnswer] = None) -> None:
        """Writes the cached properties into the data file, then copies the
        added file; `overwrite` as for :meth:`Repository.publish`."""
        with self._session.answering(overwrite):
            self._call(_native.lib().kvrepo_item_commit, self._pointer())

    def delete(self) -> None:
        """Deletes its file in the repository; its entry in the data file
        stays (``repair(prune_missing=True)`` removes it)."""
        self._call(_native.lib().kvrepo_item_delete, self._pointer(), 1)

    def copy_to(self, destination: Repository, *,
                overwrite: Optional[OverwriteAnswer] = None) -> CopyResult:
        """Copies this item into `destination`, as :meth:`Repository.copy`."""
        out = c_void_p()
        with destination._session.answering(overwrite):
            call((destination._session, self._session), _native.lib().kvrepo_copy_item,
                 self._pointer(), destination._pointer(), byref(out))
        return take_copy(out)

    def __repr__(self) -> str:
        if self.closed:
            return "<kvrepo.Item (closed)>"
        return f"<kvrepo.Item {self.display_path!r}>"
