"""Statuses and the exceptions that carry them."""

from __future__ import annotations

import enum
from typing import Any, Tuple

from . import _native


def _hresult(value: int) -> int:
    """An HRESULT as the negative int the C interface returns."""
    return value - (1 << 32)


class Status(enum.IntEnum):
    """The named statuses of the C interface (``kvrepo_c.h``).

    Any other negative status beyond -0xFFFF is an HRESULT, any positive one a
    system error number; :func:`status_text` describes them all.
    """

    OK = 0
    NO_DATA_FILE_PATH = -3
    COLLECTION_NOT_CREATED = -100
    NOT_FOUND = -101
    NOT_SAVED = -102
    NOT_OPENED = -103
    FOLDER_NOT_DELETED = -107
    FOLDER_NOT_COPIED = -108
    FILE_OVERWRITE_DECLINED = -109
    FOLDER_OVERWRITE_DECLINED = -110
    TEMPLATE_NOT_COPIED = -111
    FOLDER_NOT_CREATED = -112
    REPOSITORY_NOT_FOUND = -113
    BAD_REPOSITORY_KEY = -114
    LIST_NOT_CREATED = -200
    INVALIDARG = _hresult(0x80070057)
    ACCESSDENIED = _hresult(0x80070005)
    UNEXPECTED = _hresult(0x8000FFFF)
    FAIL = _hresult(0x80004005)
    CLASSNOTREG = _hresult(0x80040154)
    NULL_ARGUMENT = -1001
    INVALID_UTF8 = -1002
    UNREPRESENTABLE = -1003
    BAD_VERSION = -1004
    NO_MEMORY = -1005
    INTERNAL = -1006
    BAD_ARGUMENT = -1007
    NO_SUCH_REPOSITORY = -1008


def status_text(status: int) -> str:
    """What `status` means, in English: ``"status -103 (an XML data file ...)"``."""
    return _native.decode(_native.lib().kvrepo_status_text(int(status)))


class Error(Exception):
    """A call into the library that failed.

    ``status`` is the library's status (an int; compare with :class:`Status`),
    ``messages`` the texts it reported while the call ran, joined by line
    feeds ("" when none), and ``str()`` says what the status means. The
    messages are also attached as a note, so tracebacks show them.
    """

    def __init__(self, status: int, messages: str = "", text: str = "") -> None:
        self.status = int(status)
        self.messages = messages
        self.text = text or status_text(status)
        super().__init__(self.text)
        if messages and hasattr(self, "add_note"):
            self.add_note(messages)

    def __str__(self) -> str:
        return self.text

    def __reduce__(self) -> Tuple[Any, ...]:
        return (type(self), (self.status, self.messages, self.text))


class NotFound(Error, KeyError):
    """No such property, or no repository with that key in the list.

    Also a :class:`KeyError`, so property mappings answer as mappings do.
    """

    def __str__(self) -> str:  # not KeyError's quoted form
        return self.text


class OverwriteDeclined(Error):
    """An existing file or template folder was not replaced: the answer was no."""


_CLASSES = {
    Status.NOT_FOUND: NotFound,
    Status.NO_SUCH_REPOSITORY: NotFound,
    Status.FILE_OVERWRITE_DECLINED: OverwriteDeclined,
    Status.FOLDER_OVERWRITE_DECLINED: OverwriteDeclined,
}


def error_for(status: int) -> Error:
    """The exception for a status just returned on this thread, with its messages.

    Read at once: the thread's last message lasts until its next call.
    """
    messages = _native.decode(_native.lib().kvrepo_last_message())
    return _CLASSES.get(status, Error)(status, messages)
