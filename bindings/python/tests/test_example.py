"""The example program, from the source tree and from an installed package."""

from __future__ import annotations

import importlib.util
import os
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

from conftest import PACKAGE_DIR, SOURCE_ROOT

EXAMPLE = SOURCE_ROOT / "examples" / "python" / "list_items.py"
EXAMPLES = SOURCE_ROOT / "examples"


def run_example(package_dir: Path, *arguments: str) -> subprocess.CompletedProcess:
    environment = dict(os.environ, PYTHONPATH=str(package_dir), PYTHONDONTWRITEBYTECODE="1")
    return subprocess.run([sys.executable, str(EXAMPLE), *arguments], env=environment,
                          capture_output=True, text=True, timeout=60, cwd=str(package_dir))


def check_listing(done: subprocess.CompletedProcess) -> None:
    assert done.returncode == 0, done.stderr
    rows = [line.split() for line in done.stdout.splitlines()]
    assert [(row[-2], Path(row[-1]).name) for row in rows] == [
        ("Local", "license.kvd"), ("Local", "welcome.kvd"),
        ("Network", "custom_setup.kvd"), ("Network", "finish.kvd")]
    assert all(Path(row[-1]).is_file() for row in rows)
    assert done.stdout.startswith("License agreement")


def test_the_example_lists_the_example_dialogs():
    check_listing(run_example(PACKAGE_DIR))
    failed = run_example(PACKAGE_DIR, str(EXAMPLES / "missing.xml"))
    assert failed.returncode == 1 and "status -103" in failed.stderr
    assert "missing.xml" in failed.stderr


@pytest.mark.skipif(importlib.util.find_spec("pip") is None, reason="pip is not installed")
def test_the_installed_package(tmp_path):
    # From a copy, so that the build leaves nothing in the source tree.
    source = tmp_path / "source"
    shutil.copytree(PACKAGE_DIR, source, ignore=shutil.ignore_patterns("__pycache__", "tests"))
    target = tmp_path / "site"
    installed = subprocess.run(
        [sys.executable, "-m", "pip", "install", "--no-build-isolation", "--no-deps",
         "--no-index", "--disable-pip-version-check", "--target", str(target), str(source)],
        capture_output=True, text=True, timeout=300)
    assert installed.returncode == 0, installed.stdout + installed.stderr
    files = {path.name for path in (target / "kvrepo").iterdir()}
    assert {"__init__.py", "py.typed"} <= files
    assert {path.name for path in PACKAGE_DIR.glob("kvrepo/*.py")} <= files
    check_listing(run_example(target))
