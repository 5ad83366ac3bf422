"""What every object of one manager shares: its callbacks, and owned handles.

The C side calls three trampolines made once for the whole process, so no
ctypes callback object can ever be collected while the library may still
call it. The callbacks' context names a session; a session holds the
manager's Python handlers, the answer to overwrite questions chosen for the
running call, and an exception a handler raised, which the call that caused
it raises once the C function has returned (ctypes itself would only print
it).
"""

from __future__ import annotations

import contextlib
import ctypes
import itertools
import threading
import weakref
from typing import Any, Callable, Iterable, Iterator, Optional, Union

from . import _native
from ._errors import error_for

#: A handler for overwrite questions: the path about to be replaced -> replace
#: it? A bool answers every question alike.
OverwriteAnswer = Union[bool, Callable[[str], Any]]
MessageHandler = Callable[[str], Any]

_UNSET = object()
_numbers = itertools.count(1)  # 0 would be a NULL context
_sessions: "weakref.WeakValueDictionary[int, Session]" = weakref.WeakValueDictionary()
_sessions_lock = threading.Lock()


class Session:
    """The callbacks of one manager, shared by every object made from it.

    Like the C handles, a manager and what comes from it are used by one
    thread at a time.
    """

    def __init__(self, on_message: Optional[MessageHandler],
                 on_overwrite: Optional[OverwriteAnswer]) -> None:
        self.on_message = on_message
        self.on_overwrite = on_overwrite
        self._answer: Any = _UNSET  # for the running call only
        self._raised: Optional[BaseException] = None
        with _sessions_lock:
            self.context = next(_numbers)
            _sessions[self.context] = self

    def callbacks(self) -> _native.Callbacks:
        """The callbacks struct for kvrepo_manager_open: the trampolines, with
        this session as their context."""
        callbacks = _native.Callbacks()
        status = _native.lib().kvrepo_callbacks_init(ctypes.byref(callbacks),
                                                    _native.CALLBACKS_VERSION)
        if status:
            raise error_for(status)
        callbacks.context = self.context
        callbacks.message = _message_trampoline
        callbacks.overwrite_file = _overwrite_trampoline
        callbacks.overwrite_folder = _overwrite_trampoline
        return callbacks

    @contextlib.contextmanager
    def answering(self, overwrite: Optional[OverwriteAnswer]) -> Iterator[None]:
        """Overwrite questions answered by `overwrite` within the block
        (None: by the manager's handler)."""
        if overwrite is None:
            yield
            return
        previous, self._answer = self._answer, overwrite
        try:
            yield
        finally:
            self._answer = previous

    # Called by the trampolines. After a handler has raised, no handler is
    # called again during that call and every question is answered no.

    def message(self, text: str) -> None:
        if self.on_message is None or self._raised is not None:
            return
        try:
            self.on_message(text)
        except BaseException as error:  # noqa: B902 - re-raised after the call
            self._raised = error

    def overwrite(self, path: str) -> bool:
        if self._raised is not None:
            return False
        answer = self.on_overwrite if self._answer is _UNSET else self._answer
        if answer is None:
            return True  # the library's default
        try:
            return bool(answer(path)) if callable(answer) else bool(answer)
        except BaseException as error:  # noqa: B902 - re-raised after the call
            self._raised = error
            return False

    def take_raised(self) -> Optional[BaseException]:
        """The exception a handler raised during the last call, handed out once."""
        error, self._raised = self._raised, None
        return error


@_native.MessageFunc
def _message_trampoline(context: Optional[int], text: Optional[bytes]) -> None:
    try:
        session = _sessions.get(context or 0)
        if session is not None:
            session.message(_native.decode(text))
    except BaseException:  # nothing may cross back into the library
        pass


@_native.OverwriteFunc
def _overwrite_trampoline(context: Optional[int], path: Optional[bytes]) -> int:
    try:
        session = _sessions.get(context or 0)
        if session is None:
            return 0  # a manager no object of which is left: the safe answer
        return 1 if session.overwrite(_native.decode(path)) else 0
    except BaseException:
        return 0


def call(sessions: Iterable[Session], function: Any, *args: Any) -> None:
    """Calls a C function that returns a status. An exception a handler of
    `sessions` raised meanwhile comes first; then a failure raises Error."""
    status = function(*args)
    error = error_for(status) if status else None
    raised = [session.take_raised() for session in sessions]
    for pending in raised:
        if pending is not None:
            raise pending
    if error is not None:
        raise error


class Owned:
    """One owned C handle, released exactly once: by release(), or when the
    last reference to it goes, or at interpreter exit (weakref.finalize runs
    its remaining finalizers while the interpreter is still whole)."""

    __slots__ = ("pointer", "_finalizer", "__weakref__")

    def __init__(self, pointer: int, free: Any) -> None:
        self.pointer: Optional[int] = pointer
        self._finalizer = weakref.finalize(self, free, pointer)

    def release(self) -> None:
        self.pointer = None
        self._finalizer()

    @property
    def released(self) -> bool:
        return not self._finalizer.alive


def take(out: ctypes.c_void_p, free: Any) -> Owned:
    """The owned handle a successful call put in `out`."""
    if not out.value:
        raise RuntimeError("kvrepo: a call succeeded without its result")
    return Owned(out.value, free)
