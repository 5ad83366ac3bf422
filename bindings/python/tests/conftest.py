"""The package from this source tree, on the library of the build tree.

ctest points KVREPO_LIBRARY at the built library; run by hand, the tests take
build/lib/libkvrepo.so of this checkout. The variables that would point the
library at a user's own folders are removed, as for every test program.
"""

from __future__ import annotations

import os
import sys
from dataclasses import dataclass, field
from pathlib import Path
from typing import Iterator, List

import pytest

PACKAGE_DIR = Path(__file__).resolve().parents[1]
SOURCE_ROOT = PACKAGE_DIR.parents[1]
sys.path.insert(0, str(PACKAGE_DIR))

for _name in ("KV_SUPPORT_DIR", "KV_COMMON_FILES_DIR", "KV_PROGRAM_FILES_DIR", "KVREPO_LIST"):
    os.environ.pop(_name, None)
if not os.environ.get("KVREPO_LIBRARY"):
    os.environ["KVREPO_LIBRARY"] = str(SOURCE_ROOT / "build" / "lib" / "libkvrepo.so")

import kvrepo  # noqa: E402

# A list written by hand: two entries without a data file yet.
LIST_TEXT = """<?xml version="1.0" encoding="utf-8"?>
<Repositories>
  <Repository Key="Local" Local="1" Path="" DisplayName="Team dialogs"/>
  <Repository Key="Network" Local="0" Path=""/>
</Repositories>
"""


@dataclass
class Workspace:
    root: Path
    list_file: Path
    manager: kvrepo.Manager
    local: kvrepo.Repository
    network: kvrepo.Repository
    messages: List[str] = field(default_factory=list)

    def source(self, name: str, text: str) -> Path:
        """A file to publish, outside the repositories."""
        folder = self.root / "sources"
        folder.mkdir(exist_ok=True)
        path = folder / name
        path.write_text(text, encoding="utf-8")
        return path

    def reopen(self) -> kvrepo.Manager:
        """A second manager on the same list: it reads everything afresh."""
        return kvrepo.Manager(self.list_file)


@pytest.fixture
def workspace(tmp_path: Path) -> Iterator[Workspace]:
    """A list file with a local and a network repository, both created."""
    list_file = tmp_path / "Repositories.xml"
    list_file.write_text(LIST_TEXT, encoding="utf-8")
    messages: List[str] = []
    manager = kvrepo.Manager(list_file, on_message=messages.append)
    local = manager.create_repository("Local", tmp_path / "local" / "Repository.xml")
    network = manager.create_repository("Network", tmp_path / "network" / "Repository.xml")
    yield Workspace(tmp_path, list_file, manager, local, network, messages)
    manager.close()
