"""The manager: a repository-list file and what is found through it."""

from __future__ import annotations

from ctypes import byref, c_void_p
from typing import Any, List, Optional

from . import _native
from ._native import PathLike, encode, encode_optional, take_text
from ._objects import Item, Repository, items_of, library_item_path, repositories_of
from ._session import MessageHandler, OverwriteAnswer, Session, call, take
from ._upkeep import Record, take_records


class Manager:
    """The repositories of one repository-list file.

    `list_path` names the list file; None: the per-user list the command-line
    tool uses, created with empty "Local" and "Network" entries when missing.
    Nothing else is read yet.

    `on_message` receives each message text the library reports while a call
    runs (the same texts end up in :attr:`Error.messages`). `on_overwrite`
    answers whether an existing file or template folder is replaced: a bool,
    or a callable taking the path and returning a bool; None: replace. Both
    may be changed later, and `overwrite` arguments override the second for
    one call. An exception a handler raises is raised by the call that caused
    it (an overwrite question it leaves unanswered counts as no).

    A context manager: it closes on exit. Repositories and items obtained
    from it stay usable after it is closed or collected.
    """

    def __init__(self, list_path: Optional[PathLike] = None, *,
                 on_message: Optional[MessageHandler] = None,
                 on_overwrite: Optional[OverwriteAnswer] = None) -> None:
        library = _native.lib()
        self._session = Session(on_message, on_overwrite)
        callbacks = self._session.callbacks()  # copied by the library
        out = c_void_p()
        call((self._session,), library.kvrepo_manager_open, encode_optional(list_path),
             byref(callbacks), byref(out))
        self._handle = take(out, library.kvrepo_manager_close)
        self._list_path = _native.decode(library.kvrepo_manager_list_path(out))

    # --- the handle -------------------------------------------------------------

    def _pointer(self) -> int:
        pointer = self._handle.pointer
        if pointer is None:
            raise ValueError("kvrepo: the manager is closed")
        return pointer

    def _call(self, function: Any, *args: Any) -> None:
        call((self._session,), function, *args)

    def close(self) -> None:
        """Releases the manager; what was obtained from it stays usable."""
        self._handle.release()

    @property
    def closed(self) -> bool:
        return self._handle.released

    def __enter__(self) -> Manager:
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

    # --- settings ---------------------------------------------------------------

    @property
    def list_path(self) -> str:
        """The repository-list file, absolute."""
        return self._list_path

    @property
    def on_message(self) -> Optional[MessageHandler]:
        return self._session.on_message

    @on_message.setter
    def on_message(self, handler: Optional[MessageHandler]) -> None:
        # Read by the callbacks of every object of this manager.
        self._session.on_message = handler

    @property
    def on_overwrite(self) -> Optional[OverwriteAnswer]:
        return self._session.on_overwrite

    @on_overwrite.setter
    def on_overwrite(self, answer: Optional[OverwriteAnswer]) -> None:
        self._session.on_overwrite = answer

    # --- repositories -----------------------------------------------------------

    def repositories(self, key: Optional[str] = None,
                     include_missing: bool = False) -> List[Repository]:
        """The list's repositories (with `key`, only those with that key), in
        list order; with `include_missing` also those whose data file does
        not exist. The list file is read afresh."""
        out = c_void_p()
        self._call(_native.lib().kvrepo_manager_repositories, self._pointer(),
                   encode_optional(key), int(include_missing), byref(out))
        return repositories_of(self._session, out)

    def repository(self, key: str, include_missing: bool = False) -> Repository:
        """The list's first repository with `key` (exact). :class:`NotFound`
        when there is none, or (without `include_missing`) when its data file
        does not exist."""
        library = _native.lib()
        out = c_void_p()
        self._call(library.kvrepo_manager_repository, self._pointer(), encode(key),
                   int(include_missing), byref(out))
        return Repository(self._session, out.value or 0,
                          take(out, library.kvrepo_repository_free), owns=True)

    def items(self, item_path: str, *, all_repositories: bool = False) -> List[Item]:
        """The items `item_path` selects ("Dialogs/*", "Dialogs/x.kvd"), from
        the local repositories of the list or, with `all_repositories`, from
        all, in list order. Stops at the first repository that cannot be read."""
        out = c_void_p()
        self._call(_native.lib().kvrepo_manager_items, self._pointer(),
                   encode(library_item_path(item_path)), int(all_repositories), byref(out))
        return items_of(self._session, out)

    def create_repository(self, key: str, data_file: PathLike) -> Repository:
        """Makes a repository at `data_file` from the template, with its group
        folders, points the list's entry `key` ("Local" or "Network") at it,
        and returns it. Repository objects found before keep their old data
        file."""
        self._call(_native.lib().kvrepo_manager_create_repository, self._pointer(),
                   encode(key), encode(data_file))
        return self.repository(key)

    def setup_repository(self, data_file: PathLike) -> None:
        """Makes a repository at `data_file` as :meth:`create_repository` does,
        without entering it in the list."""
        self._call(_native.lib().kvrepo_manager_setup_repository, self._pointer(),
                   encode(data_file))

    @property
    def template_path(self) -> str:
        """The template data file new repositories are copied from."""
        out = c_void_p()
        self._call(_native.lib().kvrepo_manager_template_path, self._pointer(), byref(out))
        return take_text(out)

    def verify_list(self, key: Optional[str] = None) -> List[Record]:
        """Checks the list file's own entries (all, or those of `key`): Local
        values other than "0", "1" or empty, entries without a Path, keys
        given twice."""
        out = c_void_p()
        self._call(_native.lib().kvrepo_manager_verify_list, self._pointer(),
                   encode_optional(key), byref(out))
        return take_records(out)

    def __repr__(self) -> str:
        state = " (closed)" if self.closed else ""
        return f"<kvrepo.Manager {self._list_path!r}{state}>"
