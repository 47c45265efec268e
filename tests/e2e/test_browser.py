"""The browser as a person uses it: lists, keys, clicks, the splitter, refresh, the filter, delete."""

import os
import subprocess
from pathlib import Path

import pytest

from quorvel_e2e import wait_until

ABC = ("a.bmp", "b.bmp", "c.bmp")


def start(quorvel, folder, files=None):
    """Starts on `folder` and waits until its files are listed and the browser has the keys."""
    app = quorvel(folder)
    if files is not None:
        app.wait_for(lambda: app.files() == list(files), f"the files {list(files)} listed")
    app.wait_active()
    return app


def viewer_shows(app, path):
    """Waits until the viewer shows this file and the browser's selection names it."""
    app.wait_window(str(path), what=f"the viewer showing {path}")
    app.wait_for(lambda: app.selected_file() == Path(path).name, f"{Path(path).name} selected")


def no_viewer(app, folder):
    return not any(t.startswith(str(folder)) for t in app.window_titles())


def test_browser_lists_a_folder_and_shows_a_chosen_picture(quorvel, pictures):
    folder = pictures("b.gif", "a.bmp", "notes.txt")
    app = start(quorvel, folder, ["a.bmp", "b.gif"])
    assert app.desktop.title(app.browser) == "Quorvel"
    assert "pics" in app.folders()
    assert app.drives(), "the drive list has entries"
    assert app.menu_checked("Picture files") and not app.menu_checked("All files")
    assert app.selected_file() is None
    app.click_entry("Files", "b.gif")
    viewer_shows(app, folder / "b.gif")
