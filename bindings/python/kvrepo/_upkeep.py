"""Upkeep results: verify and repair records, copies, and sync plans."""

from __future__ import annotations

import ctypes
from dataclasses import dataclass
from typing import Iterator, List, Optional, Sequence, overload

from . import _native
from ._session import OverwriteAnswer, Owned, Session, call

_d = _native.decode


@dataclass(frozen=True)
class Record:
    """One finding of a verification, or one change of a repair.

    ``kind`` is a stable name ("missing-file", "left-alone", ...), ``type`` the
    item type ("" for the list or a file beside the data file), ``subject``
    what it is about (a FileName, a group Name, a relative path, a key),
    ``detail`` one English sentence. ``is_problem``: for verify, whether the
    finding fails it; for repair, true for every change but "left-alone".
    """

    kind: str
    type: str
    subject: str
    detail: str
    is_problem: bool


def take_records(out: ctypes.c_void_p) -> List[Record]:
    """The records of an owned report, copied, then the report released."""
    library = _native.lib()
    try:
        records = []
        for index in range(library.kvrepo_report_count(out)):
            entry = library.kvrepo_report_at(out, index).contents
            records.append(Record(_d(entry.kind), _d(entry.type), _d(entry.subject),
                                  _d(entry.detail), bool(entry.is_problem)))
        return records
    finally:
        library.kvrepo_report_free(out)


@dataclass(frozen=True)
class CopyResult:
    """What one copy did: the item's type and lower-case FileName, the
    source's file that was copied, its display path in the destination and
    where its file now lies there; ``replaced`` when an existing file or
    template folder was replaced."""

    type: str
    file_name: str
    source_file: str
    display_path: str
    target_file: str
    replaced: bool


def take_copy(out: ctypes.c_void_p) -> CopyResult:
    library = _native.lib()
    try:
        result = library.kvrepo_copy_result_of(out).contents
        return CopyResult(_d(result.type), _d(result.file_name), _d(result.source_file),
                          _d(result.display_path), _d(result.target_file), bool(result.replaced))
    finally:
        library.kvrepo_copy_free(out)


@dataclass(frozen=True)
class SyncEntry:
    """One item of a sync plan.

    ``reason`` is "missing" or "differs". ``action`` before apply:
    "would-copy", "would-replace" or "refused"; after: "copied", "replaced",
    "declined", "failed" or "refused". ``status`` is the copy's status after
    apply (0 before), ``target_file`` where the file now lies after a copy,
    ``problem`` why it was refused or failed ("" otherwise).
    """

    reason: str
    type: str
    file_name: str
    display_path: str
    source_file: str
    destination_file: str
    action: str
    status: int
    target_file: str
    problem: str


class SyncPlan(Sequence[SyncEntry]):
    """What a sync would copy, read before :meth:`apply` does it.

    A sequence of :class:`SyncEntry`; after :meth:`apply` the entries say
    what happened to each. Made by :meth:`Repository.sync`.
    """

    def __init__(self, handle: Owned, source: Session, destination: Session) -> None:
        self._handle = handle
        self._source = source
        self._destination = destination
        self._applied = False
        self._entries = self._read()

    def _pointer(self) -> int:
        if self._handle.pointer is None:
            raise ValueError("kvrepo: the sync plan is closed")
        return self._handle.pointer

    def _read(self) -> List[SyncEntry]:
        library, pointer = _native.lib(), self._pointer()
        entries = []
        for index in range(library.kvrepo_sync_count(pointer)):
            e = library.kvrepo_sync_at(pointer, index).contents
            entries.append(SyncEntry(_d(e.reason), _d(e.type), _d(e.file_name),
                                     _d(e.display_path), _d(e.source_file),
                                     _d(e.destination_file), _d(e.action), e.status,
                                     _d(e.target_file), _d(e.problem)))
        return entries

    @property
    def entries(self) -> List[SyncEntry]:
        """The plan as it stands (a copy)."""
        return list(self._entries)

    @property
    def applied(self) -> bool:
        return self._applied

    def apply(self, overwrite: Optional[OverwriteAnswer] = None) -> List[SyncEntry]:
        """Copies every entry, going on past failures, and returns the entries
        as they ended. Only the first apply copies anything.

        `overwrite` answers the questions before a file or template folder of
        the destination is replaced, for this call (a bool, or a callable
        taking the path); None leaves them to the destination's manager.
        Raises :class:`Error` with the first failure's status (an
        :class:`OverwriteDeclined` for a declined one) once all were tried;
        the entries then say which failed.
        """
        pointer = self._pointer()
        try:
            with self._destination.answering(overwrite):
                call((self._destination, self._source), _native.lib().kvrepo_sync_apply, pointer)
        finally:
            self._applied = True
            self._entries = self._read()
        return self.entries

    def close(self) -> None:
        """Releases the plan now rather than when it is collected."""
        self._handle.release()

    def __enter__(self) -> SyncPlan:
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

    @overload
    def __getitem__(self, index: int) -> SyncEntry: ...

    @overload
    def __getitem__(self, index: slice) -> List[SyncEntry]: ...

    def __getitem__(self, index):  # type: ignore[no-untyped-def]
        return self._entries[index]

    def __len__(self) -> int:
        return len(self._entries)

    def __iter__(self) -> Iterator[SyncEntry]:
        return iter(list(self._entries))

    def __repr__(self) -> str:
        state = "applied" if self._applied else "planned"
        return f"<kvrepo.SyncPlan {state}, {len(self._entries)} item(s)>"
