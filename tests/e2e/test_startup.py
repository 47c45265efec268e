"""Starting and ending the program as a person does: which folder it opens, what it refuses, where
the browser appears, and what it saves for the next run."""

import os
import shutil
import subprocess
from pathlib import Path

import pytest
from Xlib import Xatom

import quorvel_e2e as e2e
from quorvel_e2e import wait_until

TPP = 15  # twips per pixel at 96 DPI


def exit_by_menu(app):
    """File > Exit, as a person chooses it, then waits for the process to end."""
    app.activate()
    app.wait_active()
    app.key("alt+f", "x")
    assert app.wait_exit() == 0


def saved(app, key):
    return app.settings().get(f"Settings/{key}")


def write_settings(home, **values):
    path = Path(home) / "config" / "Quorvel" / "Quorvel.conf"
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_text("[Settings]\n" + "".join(f"{k}={v}\n" for k, v in values.items()))


def first_run_place(desktop):
    """The outer rectangle of a first run, in pixels: the bottom-right corner, 2/5 by 1/3."""
    w, h = desktop.width, desktop.height
    return e2e.Rect(round(w * 3 / 5), round(h * 2 / 3), round(w * 2 / 5), round(h / 3))


def close_to(a, b, slack=1):
    return all(abs(p - q) <= slack for p, q in zip((a.x, a.y, a.w, a.h), (b.x, b.y, b.w, b.h)))


# -- the start folder ---------------------------------------------------------------------------

@pytest.mark.parametrize("how", ["absolute", "relative with ..", "name not UTF-8"])
def test_start_from_an_argument_opens_and_saves_that_folder(quorvel, tmp_path, how):
    name = os.fsdecode(b"caf\xe9") if how == "name not UTF-8" else "pics"
    folder = e2e.write_pictures(tmp_path / "work" / name, ["a.bmp", "b.gif"])
    home = tmp_path / "home"
    home.mkdir()
    # The program runs in `home`; a relative argument climbs out of it.
    arg = str(folder) if how == "absolute" else f"../work/./{name}/"
    app = quorvel(arg, home=home)
    app.wait_for(lambda: app.files() == ["a.bmp", "b.gif"], "the folder's pictures listed")
    shown = name.encode("utf-8", "replace").decode()  # a byte that is not UTF-8 reads as "?"
    app.wait_for(lambda: shown in app.folders(), "the folder open in the folder list")
    exit_by_menu(app)
    # Saved clean and byte for byte: the next run without an argument opens it again.
    text = (app.settings_path).read_bytes()
    want = os.fsencode(str(folder)) + b"/"
    assert want in text.replace(b"\\xe9", b"\xe9"), text
    again = quorvel(home=home)
    again.wait_for(lambda: again.files() == ["a.bmp", "b.gif"], "the saved folder reopened")


def test_start_from_the_saved_folder(quorvel, tmp_path, pictures):
    folder = pictures("c.bmp", folder="saved")
    home = tmp_path / "home"
    write_settings(home, PathName=f"{folder}/")
    app = quorvel(home=home)
    app.wait_for(lambda: app.files() == ["c.bmp"], "the saved folder's pictures listed")


@pytest.mark.parametrize("pictures_dir", ["Pictures", "Bilder", None])
def test_first_run_opens_the_pictures_folder_else_home(quorvel, tmp_path, pictures_dir):
    home = tmp_path / "home"
    e2e.write_pictures(home, ["in-home.bmp"])
    if pictures_dir:
        e2e.write_pictures(home / pictures_dir, ["in-pictures.bmp"])
    if pictures_dir == "Bilder":  # a Pictures folder named by the user's XDG folders
        (home / "config").mkdir(parents=True, exist_ok=True)
        (home / "config" / "user-dirs.dirs").write_text('XDG_PICTURES_DIR="$HOME/Bilder"\n')
    app = quorvel(home=home)
    want = ["in-pictures.bmp"] if pictures_dir else ["in-home.bmp"]
    app.wait_for(lambda: app.files() == want, f"{want} listed")
    exit_by_menu(app)
    assert saved(app, "PathName") == str(home / pictures_dir if pictures_dir else home) + "/"


def test_mistyped_option_is_refused_without_a_window(desktop, tmp_path):
    home = tmp_path / "home"
    (home / "config").mkdir(parents=True)
    env = {**desktop.base_env, "HOME": str(home), "XDG_CONFIG_HOME": str(home / "config")}
    result = subprocess.run([str(e2e.program_path()), "-v"], env=env, cwd=home, capture_output=True, timeout=20)
    assert result.returncode == 2
    assert result.stderr.decode().splitlines() == ["quorvel: unknown option: -v", "Usage: quorvel [FOLDER | PICTURE]"]
    # Ended at once, so it never put up a window.
    assert result.stdout == b""
    assert list((home / "config").iterdir()) == [], "no settings written"


# -- the browser's place ------------------------------------------------------------------------

def test_saved_place_of_zeros_opens_visible_at_the_first_run_place(quorvel, tmp_path, pictures):
    folder = pictures("a.bmp")
    home = tmp_path / "home"
    write_settings(home, WindowPosition='"0,0,0,0"')
    app = quorvel(str(folder), home=home)
    want = first_run_place(app.desktop)
    app.wait_for(lambda: close_to(app.geometry().outer, want), f"the browser's outer rectangle at {want}")
    g = app.geometry()
    assert g.client.w > 50 and g.client.h > 50, g
    assert app.desktop.is_viewable(app.browser)


def test_restart_restores_the_place(quorvel, tmp_path, pictures):
    folder = pictures("a.bmp")
    home = tmp_path / "home"
    app = quorvel(str(folder), home=home)
    # Placed with its frame counted: only then is the window the user's to move.
    want = first_run_place(app.desktop)
    app.wait_for(lambda: app.geometry().frame[2] > 0 and close_to(app.geometry().outer, want), f"the browser at {want}")
    # The user moves and sizes the window (through the window manager, as a drag would).
    app.desktop.xdotool("windowsize", "--sync", app.browser.id, 500, 300)
    app.desktop.xdotool("windowmove", "--sync", app.browser.id, 100, 120)
    app.wait_for(lambda: app.geometry().client.w == 500 and app.geometry().client.h == 300, "the new size")
    moved = app.geometry().outer
    exit_by_menu(app)
    # The outer rectangle, frame counted, in twips.
    assert saved(app, "WindowPosition") == ",".join(str(v * TPP) for v in (moved.x, moved.y, moved.w, moved.h))

    again = quorvel(str(folder), home=home)
    again.wait_for(lambda: close_to(again.geometry().outer, moved), f"the browser reopened at {moved}")


# -- the drive list ----------------------------------------------------------------------------

def is_root(drive_text):
    return drive_text == "/" or drive_text.startswith("/  (")


def _can_mount(tmp_path):
    probe = tmp_path / "probe"
    probe.mkdir()
    if not shutil.which("unshare"):
        return False
    r = subprocess.run(["unshare", "--mount", "--propagation", "private", "mount", "--bind", str(probe), str(probe)],
                       capture_output=True)
    return r.returncode == 0


def test_drive_list_follows_the_folder_into_a_mount_point(quorvel, tmp_path, monkeypatch):
    if not _can_mount(tmp_path):
        pytest.skip("no private mount namespace here (needs root and unshare)")
    parent = e2e.write_pictures(tmp_path / "tree", ["top.bmp"])
    mount = e2e.write_pictures(parent / "stick", ["inside.bmp"])
    # The program in its own mount namespace, with `stick` a volume of its own (bind-mounted);
    # the process keeps its id through the execs, so the harness still knows its windows.
    wrapper = tmp_path / "in-namespace.sh"
    wrapper.write_text('#!/bin/sh\nexec unshare --mount --propagation private sh -c '
                       '\'mount --bind "$0" "$0" && exec "$@"\' '
                       f'"{mount}" "{e2e.program_path()}" "$@"\n')
    wrapper.chmod(0o755)
    monkeypatch.setenv("QUORVEL_BIN", str(wrapper))
    app = quorvel(str(parent))
    app.wait_for(lambda: app.files() == ["top.bmp"], "the tree's pictures")
    assert is_root(app.drive())
    app.wait_active()
    app.click_entry("Folders", "stick")
    app.wait_for(lambda: app.files() == ["inside.bmp"], "the mount point opened")
    app.wait_for(lambda: app.drive().startswith(str(mount)), "the drive list naming the mounted volume")
    assert "stick" in app.folders()  # the folder list stayed where the user went

    # Choosing "/" again goes back to the folder last open on it.
    drive = app.extents(app.drive_list())
    app.click(*drive.center)
    app.key("Home", "Return")
    app.wait_for(lambda: is_root(app.drive()), "the drive list back on /")
    app.wait_for(lambda: app.files() == ["top.bmp"], "the folder last open on / listed")


# -- a file given to open -----------------------------------------------------------------------

def icon_of(app, w):
    prop = w.get_full_property(app.desktop.atom["_NET_WM_ICON"], Xatom.CARDINAL)
    return None if prop is None else list(prop.value)


# A large one is decoded while the program starts up, before the windows exist.
@pytest.mark.parametrize("size", [(64, 48), (1600, 1200)], ids=["small", "large"])
def test_a_picture_argument_is_shown_and_chosen_in_its_folder(quorvel, pictures, size):
    folder = pictures("a.bmp", "b.bmp", "c.bmp", size=size)
    colour_b = (37 % 256, (91 + 40) % 256, (53 + 90) % 256)  # write_pictures' colour of the second
    app = quorvel(folder / "b.bmp")
    viewer = app.wait_window(str(folder / "b.bmp"), what="the viewer showing the picture")
    app.wait_for(lambda: app.files() == ["a.bmp", "b.bmp", "c.bmp"], "the folder's pictures listed")
    app.wait_for(lambda: app.selected_file() == "b.bmp", "the picture chosen in the list")
    # The browser has the keys, as after a click on the list; both windows carry the program's icon.
    app.wait_active()
    app.wait_for(lambda: app.desktop.has_icon(app.browser) and icon_of(app, viewer) == icon_of(app, app.browser),
                 "the program's icon on both windows")
    # The picture itself, in its own colour, at the centre of the viewer.
    def shows(colour):
        c = app.desktop.geometry(viewer).client
        px = app.desktop.screenshot().pixel(*c.center)
        return all(abs(p - q) <= 2 for p, q in zip(px, colour))
    app.wait_for(lambda: shows(colour_b), "the picture's colour at the viewer's centre")
    assert len(app.windows()) == 2, app.window_titles()
    # Put up before the browser, the viewer still belongs to it: kept above it.
    app.wait_for(lambda: app.desktop.transient_for(viewer) == app.browser.id, "the viewer tied to the browser")
    # The list goes on working as a person uses it: the next entry shows in the same viewer.
    app.key("Down")
    app.wait_for(lambda: app.find_window(str(folder / "c.bmp")) is not None, "the next picture in the viewer")
    assert len(app.windows()) == 2, app.window_titles()


def test_a_file_that_is_no_picture_opens_its_folder_without_a_viewer(quorvel, pictures):
    folder = pictures("a.bmp", "b.bmp")
    (folder / "notes.txt").write_text("not a picture")
    app = quorvel(folder / "notes.txt")
    app.wait_for(lambda: app.files() == ["a.bmp", "b.bmp"], "the folder's pictures listed")
    assert app.selected_file() is None
    assert app.window_titles() == [app.desktop.title(app.browser)]
