"""Callbacks that raise, and objects that outlive what they came from."""

from __future__ import annotations

import gc
import os
import random
import subprocess
import sys
import textwrap
from pathlib import Path

import pytest

import kvrepo

from conftest import PACKAGE_DIR


class Boom(Exception):
    pass


def raiser(error):
    def handler(*_):
        raise error
    return handler


@pytest.mark.parametrize("error", [Boom("no"), KeyboardInterrupt()])
def test_an_exception_in_the_overwrite_handler_is_raised_by_the_call(workspace, error):
    ws = workspace
    source = ws.source("welcome.kvd", "first")
    published = Path(ws.local.publish(source, "Dialogs").local_copy)
    source.write_text("second")

    ws.manager.on_overwrite = raiser(error)
    with pytest.raises(type(error)) as raised:
        ws.local.publish(source, "Dialogs")
    assert raised.value is error
    assert published.read_text() == "first"  # unanswered means no
    # The same for an answer given for one call; and nothing is left over
    # for the calls after.
    with pytest.raises(type(error)):
        ws.local.publish(source, "Dialogs", overwrite=raiser(error))
    ws.local.publish(source, "Dialogs", overwrite=True)
    assert published.read_text() == "second"


def test_an_exception_in_the_message_handler_is_raised_by_the_call(tmp_path):
    manager = kvrepo.Manager(tmp_path / "missing.xml", on_message=raiser(Boom("heard")))
    with pytest.raises(Boom, match="heard"):
        manager.repositories()
    manager.on_message = None
    with pytest.raises(kvrepo.Error) as failed:
        manager.repositories()
    assert failed.value.status == kvrepo.Status.NOT_OPENED


def test_copies_ask_the_destination_manager(workspace):
    ws = workspace
    ws.local.publish(ws.source("a.kvd", "a"), "Dialogs")
    ws.local.copy("Dialogs/a.kvd", ws.network)
    asked = []
    ws.manager.on_overwrite = lambda path: pytest.fail("the source's manager was asked")
    with kvrepo.Manager(ws.list_file, on_overwrite=lambda p: asked.append(p) and False) as other:
        destination = other.repository("Network")
        with pytest.raises(kvrepo.OverwriteDeclined):
            ws.local.copy("Dialogs/a.kvd", destination)
        assert len(asked) == 1
        # The destination's own manager raising reaches the copy's caller.
        other.on_overwrite = raiser(Boom())
        with pytest.raises(Boom):
            ws.local.items("Dialogs/a.kvd")[0].copy_to(destination)


def test_the_manager_goes_before_its_objects(workspace):
    ws = workspace
    ws.local.publish(ws.source("a.kvd", "a"), "Dialogs", {"DisplayName": "A"})
    ws.local.publish(ws.source("b.kvd", "b"), "Dialogs")
    asked = []
    manager = kvrepo.Manager(ws.list_file, on_overwrite=lambda path: asked.append(path) and False)
    local = manager.repository("Local")
    network = manager.repositories("Network")[0]
    items = manager.items("Dialogs/*")
    plan = local.sync(network)
    del manager
    gc.collect()

    assert sorted(item.file_name for item in items) == ["a.kvd", "b.kvd"]
    assert items[0].repository.key == "Local" and Path(items[1].local_copy).exists()
    assert [entry.action for entry in plan.apply()] == ["copied", "copied"]
    # The closed manager's handler still answers for what came from it.
    with pytest.raises(kvrepo.OverwriteDeclined):
        local.publish(ws.source("a.kvd", "new"), "Dialogs")
    assert len(asked) == 1


def test_handles_are_freed_in_any_order(workspace):
    ws = workspace
    for name in "abc":
        ws.local.publish(ws.source(f"{name}.kvd", name), "Dialogs", {"DisplayName": name})
    for seed in range(20):
        chance = random.Random(seed)
        manager = kvrepo.Manager(ws.list_file)
        local = manager.repository("Local")
        listed = manager.repositories()
        items = local.items("Dialogs/*")
        objects = [manager, local, *listed, *items, items[0].repository,
                   local.new_item("Dialogs"), local.sync(ws.network)]
        del manager, local, listed, items
        chance.shuffle(objects)
        while objects:
            gone = objects.pop()
            if chance.random() < 0.5:
                gone.close()
                gone.close()  # a second close is nothing
            del gone
            gc.collect()
            for rest in objects:  # what is left still works
                if isinstance(rest, kvrepo.Item) and rest.exists:
                    assert rest["DisplayName"] in "abc"
                elif isinstance(rest, kvrepo.Repository):
                    assert rest.key in ("Local", "Network") and rest.exists


def test_objects_left_at_interpreter_exit(workspace):
    """Handles still alive at exit, some in reference cycles, are released
    without a crash or a complaint."""
    ws = workspace
    ws.local.publish(ws.source("a.kvd", "a"), "Dialogs")
    script = textwrap.dedent(f"""
        import kvrepo
        heard = []
        manager = kvrepo.Manager({str(ws.list_file)!r}, on_message=heard.append,
                                 on_overwrite=lambda path: False)
        local = manager.repository("Local")
        items = manager.items("Dialogs/*", all_repositories=True)
        plan = local.sync(manager.repository("Network"))
        class Cycle:
            pass
        cycle = Cycle()
        cycle.me, cycle.item, cycle.manager = cycle, items[0], manager
        del cycle
        print(len(items), len(plan))
    """)
    environment = dict(os.environ, PYTHONPATH=str(PACKAGE_DIR), PYTHONDONTWRITEBYTECODE="1")
    done = subprocess.run([sys.executable, "-c", script], env=environment, capture_output=True,
                          text=True, timeout=60)
    assert (done.returncode, done.stderr, done.stdout) == (0, "", "1 1\n")
