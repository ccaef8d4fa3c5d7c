"""The Python module saverkit on images written by make_python_test_images
(the project's own writer and encoder): texts decoded from Windows-1252,
entries read as the installer writes them in any order, identify's answers,
and the exceptions for damage and for files that cannot be read."""
import os
import subprocess

import pytest

import saverkit


@pytest.fixture(scope="module")
def images(tmp_path_factory):
    folder = tmp_path_factory.mktemp("images")
    subprocess.run([os.environ["SAVERKIT_MAKE_IMAGES"], str(folder)], check=True)
    return folder


def expected(images, position):
    return (images / "sound" / f"{position}.bin").read_bytes()


def test_texts_are_decoded_from_windows_1252(images):
    image = saverkit.open(images / "sound.exe")
    assert image.title == "Caf\u00e9 Noir"
    assert image.licence == "Free \u201cto share\u201d."
    assert image.publisher == "Caf\u00e9 Pictures"
    assert image.version == "1.2.3"
    assert image.installer_program == "Saverkit 0.1.0"
    assert image.signed is False


def test_entries_describe_the_table(images):
    entries = saverkit.open(str(images / "sound.exe")).entries
    rows = [(e.role, e.path, e.size, e.compressed, e.installed) for e in entries]
    folder = "MARLOWEN\\VELDRAKE\\Caf\u00e9 Noir\\"
    assert rows[0] == ("saver", "Caf\u00e9 Noir.scr", 5, False, True)
    assert rows[1] == ("data", folder + "Caf\u00e9 Noir.DAT", 60, True, True)
    assert rows[2] == ("uninstaller", folder + "UNINSTAL.EXE", 11, False, True)
    assert rows[3][0] == "media" and rows[3][4] is False
    assert rows[4] == ("media", folder + "JUKE0024.MID", 30, True, True)
    assert rows[5] == ("media", folder + "FILE0025.WAV", 5000, True, True)
    assert entries[5].stored_size < entries[5].size


@pytest.mark.parametrize("order", [[0, 1, 2, 4, 5], [5, 4, 1, 0, 2], [4], [4, 4, 1]])
def test_read_gives_the_installers_bytes_in_any_order(images, order):
    entries = saverkit.open(images / "sound.exe").entries
    for position in order:
        assert entries[position].read() == expected(images, position), position


def test_a_refused_entry_is_not_read(images):
    entry = saverkit.open(images / "sound.exe").entries[3]
    with pytest.raises(saverkit.ImageError, match="refused"):
        entry.read()


def test_read_on_a_bomb_stops_at_the_stored_bytes(images):
    entry = saverkit.open(images / "bomb.exe").entries[1]
    assert entry.size == 0x7FFFFF00
    with pytest.raises(saverkit.ImageError, match="truncated") as raised:
        entry.read()
    assert raised.value.partial.startswith(expected(images, 1))
    assert len(raised.value.partial) < 24 * entry.stored_size


def test_identify(images):
    found = saverkit.identify(images / "sound.exe")
    assert found == {
        "path": str(images / "sound.exe"),
        "kind": "installer",
        "title": "Caf\u00e9 Noir",
        "entries": 6,
        "install_total": 5 + 60 + 11 + 38 + 30 + 5000,
        "signed": False,
        "publisher": "Caf\u00e9 Pictures",
        "version": "1.2.3",
        "installer_program": "Saverkit 0.1.0",
        "damage": None,
    }
    assert saverkit.identify(images / "text.txt") is None
    cut = saverkit.identify(images / "cut.exe")
    assert cut["kind"] == "damaged" and cut["damage"]


def test_damage_is_an_image_error_and_a_value_error(images):
    assert issubclass(saverkit.ImageError, ValueError)
    for name, problem in [("cut.exe", "cut short"), ("text.txt", "not a PE image")]:
        with pytest.raises(saverkit.ImageError, match=problem):
            saverkit.open(images / name)


def test_files_that_cannot_be_read_raise_os_error(images):
    with pytest.raises(FileNotFoundError):
        saverkit.open(images / "missing.exe")
    with pytest.raises(IsADirectoryError):
        saverkit.open(images)
    with pytest.raises(FileNotFoundError):
        saverkit.identify(images / "missing.exe")
