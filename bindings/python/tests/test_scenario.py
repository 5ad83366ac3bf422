"""The package end to end on repositories in a temporary folder."""

from __future__ import annotations

from pathlib import Path

import pytest

import kvrepo

# A u with diaeresis, the euro sign and a character beyond the BMP (a
# surrogate pair inside the library).
MENU = "Men\u00fc \u20ac \U0001d11e"


def test_publish_list_and_read_back(workspace):
    ws = workspace
    assert ws.local.is_local and not ws.network.is_local
    assert ws.local.exists and Path(ws.local.data_file) == ws.root / "local" / "Repository.xml"

    welcome = ws.local.publish(ws.source("welcome.kvd", "welcome"), "Dialogs",
                               {"DisplayName": "Welcome", "Version": "1.0"})
    menu = ws.network.publish(ws.source("Men\u00fc.kvd", "menu"), "Dialogs",
                              {"DisplayName": MENU, "Version": "1.0"})
    assert welcome.exists and welcome.type == "Dialogs"
    assert welcome.display_path == "<KVREPOSITORY>\\Dialogs\\welcome.kvd"
    assert Path(welcome.local_copy).read_text() == "welcome"
    assert menu.file_name == "men\u00fc.kvd"  # FileName is lower-cased
    assert Path(menu.local_copy).read_text() == "menu"

    # Read afresh by another manager: what was written, not what was cached.
    with ws.reopen() as other:
        everywhere = other.items("Dialogs/*", all_repositories=True)
        assert sorted(item["DisplayName"] for item in everywhere) == sorted(["Welcome", MENU])
        assert [item.file_name for item in other.items("Dialogs/*")] == ["welcome.kvd"]
        (found,) = other.repository("Network").items("Dialogs/men\u00fc.kvd")
    assert found["DisplayName"] == MENU
    assert {"DisplayName", "FileName", "Version"} <= set(found.properties.keys())
    assert dict(found.properties)["Version"] == "1.0"

    # Missing properties answer as a mapping does, with the library's status.
    with pytest.raises(KeyError):
        found["Missing"]
    with pytest.raises(kvrepo.NotFound) as missing:
        found.properties["Missing"]
    assert missing.value.status == kvrepo.Status.NOT_FOUND
    assert found.get("Missing") is None and "Missing" not in found.properties

    # A changed property is cached until it is committed.
    found["Version"] = "2.0"
    assert ws.network.items("Dialogs/men\u00fc.kvd")[0]["Version"] == "1.0"
    found.commit()
    assert ws.network.items("Dialogs/men\u00fc.kvd")[0]["Version"] == "2.0"


def test_repository_properties_are_the_list_entry(workspace):
    ws = workspace
    assert set(ws.local.properties) == {"DisplayName", "Key", "Local", "Path"}
    assert ws.local.display_name == "Team dialogs" and ws.network.display_name is None
    assert ws.local["Path"] == ws.local.data_file
    ws.network["DisplayName"] = "\u00c9quipe r\u00e9seau"
    with ws.reopen() as other:
        network = other.repository("Network")
        assert network.display_name == "\u00c9quipe r\u00e9seau"
        assert "DisplayName" in network.properties
    assert kvrepo.Manager(ws.list_file).verify_list() == []


def test_an_overwrite_refused_by_a_callable_changes_no_file(workspace):
    ws = workspace
    source = ws.source("welcome.kvd", "first")
    published = Path(ws.local.publish(source, "Dialogs").local_copy)
    source.write_text("second")

    asked = []
    with pytest.raises(kvrepo.OverwriteDeclined) as declined:
        ws.local.publish(source, "Dialogs", overwrite=lambda path: asked.append(path) and False)
    assert declined.value.status == kvrepo.Status.FILE_OVERWRITE_DECLINED
    assert [Path(path) for path in asked] == [published]
    assert published.read_text() == "first"

    # An answer for one call wins over the manager's, and only for that call.
    ws.manager.on_overwrite = lambda path: pytest.fail("the manager was asked")
    ws.local.publish(source, "Dialogs", overwrite=True)
    assert published.read_text() == "second"
    ws.manager.on_overwrite = False
    source.write_text("third")
    with pytest.raises(kvrepo.OverwriteDeclined):
        ws.local.publish(source, "Dialogs")
    assert published.read_text() == "second"


def test_delete_verify_and_repair(workspace):
    ws = workspace
    kept = ws.local.publish(ws.source("kept.kvd", "kept"), "Dialogs")
    gone = ws.local.publish(ws.source("gone.kvd", "gone"), "Dialogs")
    assert ws.local.verify() == []

    gone_file = Path(gone.local_copy)
    gone.delete()
    assert not gone_file.exists() and Path(kept.local_copy).exists()
    with pytest.raises(kvrepo.Error) as again:
        gone.delete()
    assert again.value.status == 2  # the system's "no such file"

    (ws.root / "local" / "Dialogs" / "stray.kvd").write_text("stray")
    found = {(r.kind, r.subject): r for r in ws.local.verify()}
    assert set(found) == {("missing-file", "gone.kvd"), ("unlisted-file", "Dialogs/stray.kvd")}
    assert all(r.is_problem and r.type == "Dialogs" and r.detail for r in found.values())

    data_file = Path(ws.local.data_file)
    before = data_file.read_bytes()
    planned = {(r.kind, r.subject, r.is_problem) for r in ws.local.repair(dry_run=True)}
    assert planned == {("left-alone", "gone.kvd", False), ("add-entry", "Dialogs/stray.kvd", True)}
    assert data_file.read_bytes() == before

    done = {r.kind for r in ws.local.repair(prune_missing=True)}
    assert done == {"remove-missing", "add-entry"}
    assert ws.local.verify() == []


def test_copy_and_sync(workspace):
    ws = workspace
    ws.local.publish(ws.source("a.kvd", "a"), "Dialogs", {"DisplayName": "A " + MENU})
    b = ws.local.publish(ws.source("b.kvd", "b"), "Dialogs")

    copied = ws.local.copy("Dialogs/a.kvd", ws.network)
    assert (copied.type, copied.file_name, copied.replaced) == ("Dialogs", "a.kvd", False)
    assert copied.display_path == "<KVREPOSITORY>\\Dialogs\\a.kvd"
    assert Path(copied.target_file) == ws.root / "network" / "Dialogs" / "a.kvd"
    assert ws.network.items("Dialogs/a.kvd")[0]["DisplayName"] == "A " + MENU
    with pytest.raises(kvrepo.OverwriteDeclined):
        ws.local.copy("Dialogs/a.kvd", ws.network, overwrite=False)
    assert b.copy_to(ws.network).file_name == "b.kvd"
    with pytest.raises(kvrepo.Error) as unlisted:
        ws.local.copy("Dialogs/none.kvd", ws.network)
    assert unlisted.value.status == 2

    # A plan is read before anything is copied; apply copies once.
    ws.local.publish(ws.source("c.kvd", "c"), "Dialogs")
    plan = ws.local.sync(ws.network)
    assert [(e.reason, e.file_name, e.action) for e in plan] == [("missing", "c.kvd", "would-copy")]
    assert ws.network.items("Dialogs/c.kvd") == []
    (entry,) = plan.apply()
    assert entry.action == "copied" and entry.status == 0 and plan.applied
    assert Path(entry.target_file).read_text() == "c"
    Path(entry.target_file).write_text("changed by hand")
    assert plan.apply()[0].action == "copied"
    assert Path(entry.target_file).read_text() == "changed by hand"

    # What differs: refused per call, the entry says so and the file stays.
    with ws.local.sync(ws.network, type="Dialogs", update=True) as update:
        assert [(e.reason, e.action) for e in update] == [("differs", "would-replace")]
        with pytest.raises(kvrepo.OverwriteDeclined):
            update.apply(overwrite=False)
        assert update[0].action == "declined"
    assert Path(entry.target_file).read_text() == "changed by hand"
    with pytest.raises(kvrepo.Error) as unknown:
        ws.local.sync(ws.network, type="Nonsense")
    assert unknown.value.status == kvrepo.Status.INVALIDARG


def test_errors_carry_status_and_messages(tmp_path):
    heard = []
    manager = kvrepo.Manager(tmp_path / "missing.xml", on_message=heard.append)
    for _ in range(2):  # each failure has its own messages, not the earlier ones
        with pytest.raises(kvrepo.Error) as failed:
            manager.repositories()
        error = failed.value
        assert error.status == kvrepo.Status.NOT_OPENED
        assert str(error) == kvrepo.status_text(-103) and "-103" in str(error)
        assert "Error opening XML file" in error.messages
        assert str(tmp_path / "missing.xml") in error.messages
        assert "\n" not in error.messages
    assert heard == [error.messages] * 2

    (tmp_path / "Repositories.xml").write_text(
        '<Repositories><Repository Key="Local" Local="1" Path=""/></Repositories>')
    with kvrepo.Manager(tmp_path / "Repositories.xml") as manager:
        with pytest.raises(kvrepo.NotFound) as none:
            manager.repository("Nowhere", include_missing=True)
        assert none.value.status == kvrepo.Status.NO_SUCH_REPOSITORY
        with pytest.raises(kvrepo.Error) as key:
            manager.create_repository("Elsewhere", tmp_path / "x" / "Repository.xml")
        assert key.value.status == kvrepo.Status.BAD_REPOSITORY_KEY
        assert not (tmp_path / "x").exists()
        local = manager.create_repository("Local", tmp_path / "local" / "Repository.xml")
        with pytest.raises(ValueError):
            local.publish(tmp_path / "x.kvd", "NoSuchType")
        with pytest.raises(ValueError):
            local.items("Dialogs/a\0b.kvd")
        with pytest.raises(TypeError):
            local.items(b"Dialogs/*")  # type: ignore[arg-type]
    with pytest.raises(ValueError):
        manager.repositories()
    assert local.items("Dialogs/*") == []  # the repository outlives its closed manager


def test_the_per_user_list(tmp_path, monkeypatch):
    monkeypatch.setenv("XDG_CONFIG_HOME", str(tmp_path))
    with kvrepo.Manager() as manager:
        assert Path(manager.list_path) == tmp_path / "kvrepo" / "Repositories.xml"
        assert manager.repositories() == []
        found = manager.repositories(include_missing=True)
        assert [(r.key, r.exists) for r in found] == [("Local", False), ("Network", False)]
