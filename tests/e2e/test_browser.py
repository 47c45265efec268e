"""The browser as a person uses it: lists, keys, clicks, the splitter, refresh, the filter, delete."""

import os
import subprocess
from pathlib import Path

import pytest

from quorvel_e2e import WaitTimeout, wait_until

ABC = ("a.bmp", "b.bmp", "c.bmp")


def start(quorvel, folder, files=None):
    """Starts on `folder` and waits until its files are listed and the browser has the keys."""
    app = quorvel(folder)
    if files is not None:
        app.wait_for(lambda: app.files() == list(files), f"the files {list(files)} listed")
    app.wait_placed()  # framed, and the whole frame on the screen
    app.wait_active()
    return app


def browser_has_keys(app):
    """After showing a file the browser takes the keys back. Under load the window manager now and
    then gives them to the viewer after that; a person then clicks the browser, and so does this
    (it says so in the output, which shows with a failure)."""
    try:
        app.wait_active(timeout=3)
    except WaitTimeout:
        print(f"the browser did not get the keys back (active: {app.desktop.active_window()}); activated")
        app.activate()
        app.wait_active()


def viewer_shows(app, path):
    """Waits until the viewer shows this file and the browser's selection names it."""
    def seen():
        return f"the viewer showing {path} (windows: {app.window_titles()}, selected: {app.selected_file()})"
    app.wait_window(str(path), what=seen)
    app.wait_for(lambda: app.selected_file() == Path(path).name, seen)


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


# ---------------------------------------------------------------------------------------------
# Keys

def _refill_by_folder_change(app, folder):
    app.click_entry("Folders", "sub")
    app.wait_for(lambda: app.files() == ["s1.bmp", "s2.bmp"], "the subfolder's files listed")
    return folder / "sub" / "s1.bmp"


def _refill_by_filter(app, folder):
    app.key("ctrl+a")
    app.wait_for(lambda: app.menu_checked("All files"), "All files checked")
    app.wait_for(lambda: app.files() == ["a.bmp", "b.bmp", "c.bmp", "z.txt"], "every file listed")
    return folder / "a.bmp"


def _refill_by_refresh(app, folder):
    (folder / "b2.bmp").write_bytes((folder / "b.bmp").read_bytes())
    app.key("F5")
    app.wait_for(lambda: app.files() == ["a.bmp", "b.bmp", "b2.bmp", "c.bmp"], "the new file listed")
    return folder / "a.bmp"


@pytest.mark.parametrize("refill", [None, _refill_by_folder_change, _refill_by_filter, _refill_by_refresh],
                         ids=["startup", "folder change", "filter", "refresh"])
def test_first_down_after_a_fill_shows_the_first_file(quorvel, pictures, refill):
    folder = pictures(*ABC)
    (folder / "z.txt").write_text("not a picture")
    pictures("s1.bmp", "s2.bmp", folder="pics/sub")
    app = start(quorvel, folder, ABC)
    first = refill(app, folder) if refill else folder / "a.bmp"
    app.wait_for(lambda: app.has_focus("Files"), "the file list having the focus")
    assert app.selected_file() is None, "nothing selected after the list is filled"
    app.key("Down")
    viewer_shows(app, first)


# From a list other than the file list, the window's key handler steps the file list: Down, Space
# and Enter select the next entry (the first when nothing is selected), Up the previous, never
# past either end. Keys are chosen so the focused list's own handling changes no folder.
KEY_STEPS = [("Return", "a.bmp"), ("space", "b.bmp"), ("Down", "c.bmp"), ("Down", "c.bmp"),
             ("Up", "b.bmp"), ("Up", "a.bmp"), ("Up", "a.bmp"), ("space", "b.bmp")]


@pytest.mark.parametrize("tabs,control", [(1, "Drives"), (2, "Folders")])
def test_keys_in_the_drive_and_folder_lists_step_the_file_list(quorvel, pictures, tabs, control):
    folder = pictures(*ABC)
    app = start(quorvel, folder, ABC)
    app.wait_for(lambda: app.has_focus("Files"), "the file list having the focus")
    app.key(*["Tab"] * tabs)
    app.wait_for(lambda: app.has_focus(control), f"{control} having the focus")
    drive_before = app.drive()
    # In the drop-down drive list, arrows and Space would choose another drive or open the list.
    steps = KEY_STEPS if control == "Folders" else [("Return", n) for n in ("a.bmp", "b.bmp", "c.bmp", "c.bmp")]
    for key, expected in steps:
        app.key(key)
        viewer_shows(app, folder / expected)
        browser_has_keys(app)
    assert app.has_focus(control)
    assert app.drive() == drive_before
    assert app.files() == list(ABC)


def test_keys_in_the_file_list_step_it_once(quorvel, pictures):
    folder = pictures("a.bmp", "b.bmp", "c.bmp", "d.bmp")
    app = start(quorvel, folder, ["a.bmp", "b.bmp", "c.bmp", "d.bmp"])
    app.click_entry("Files", "a.bmp")
    viewer_shows(app, folder / "a.bmp")
    browser_has_keys(app)
    # Space and Enter step through the list from the list too; each key steps once, never past
    # either end.
    for key, expected in [("Down", "b.bmp"), ("space", "c.bmp"), ("Return", "d.bmp"), ("Down", "d.bmp"),
                          ("space", "d.bmp"), ("Up", "c.bmp"), ("Up", "b.bmp"), ("Up", "a.bmp"), ("Up", "a.bmp")]:
        app.key(key)
        viewer_shows(app, folder / expected)


def test_keys_in_the_viewer_go_to_the_browser(quorvel, pictures):
    folder = pictures(*ABC)
    app = start(quorvel, folder, ABC)
    app.click_entry("Files", "a.bmp")
    viewer_shows(app, folder / "a.bmp")
    for key, expected in [("space", "b.bmp"), ("Down", "c.bmp"), ("Down", "c.bmp"), ("Up", "b.bmp"),
                          ("Up", "a.bmp"), ("Up", "a.bmp"), ("Return", "b.bmp"), ("Return", "c.bmp")]:
        viewer = app.wait_window(str(folder / app.selected_file()))
        app.activate(viewer)
        app.key(key)
        viewer_shows(app, folder / expected)
    viewer = app.wait_window(str(folder / "c.bmp"))
    app.activate(viewer)
    app.key("Escape")
    app.wait_for(lambda: no_viewer(app, folder), "the viewer closed by Esc")
    assert app.running() and app.find_window("Quorvel") is not None


# ---------------------------------------------------------------------------------------------
# Click and click again

def _close_by_escape(app, viewer):
    app.activate(viewer)
    app.key("Escape")


def _close_by_close_box(app, viewer):
    g = app.geometry(viewer)
    left, right, top, bottom = g.frame
    # The close button sits at the right end of the title bar.
    app.click(g.outer.x + g.outer.w - right - top // 2, g.outer.y + top // 2)


@pytest.mark.parametrize("close", [_close_by_escape, _close_by_close_box], ids=["Esc", "close box"])
def test_a_file_chosen_again_after_the_viewer_closed_is_shown_again(quorvel, pictures, close):
    folder = pictures(*ABC)
    app = start(quorvel, folder, ABC)
    app.click_entry("Files", "b.bmp")
    viewer_shows(app, folder / "b.bmp")
    close(app, app.wait_window(str(folder / "b.bmp")))
    app.wait_for(lambda: no_viewer(app, folder), "the viewer closed")
    app.click_entry("Files", "b.bmp", dx=20)
    viewer_shows(app, folder / "b.bmp")
    # And a click on another entry still works after that.
    app.click_entry("Files", "c.bmp")
    viewer_shows(app, folder / "c.bmp")


# ---------------------------------------------------------------------------------------------
# Single-press folder opening


def _visible_rows(app):
    """The folder list's entries wholly inside the list, top to bottom. The scroll bars do not
    show through AT-SPI: rows within a scroll bar's thickness of the bottom count as hidden."""
    box = app.extents(app.named("Folders"))
    return [(name, r) for name, r in app.entry_rects("Folders")
            if r.h > 0 and r.y >= box.y and r.y + r.h <= box.y + box.h - 20]


def test_a_single_press_opens_the_folder_under_the_pointer(quorvel, tmp_path):
    tree = tmp_path / "tree"
    names = [f"d{i:02}" for i in range(30)]
    for n in names:
        (tree / n).mkdir(parents=True)
        (tree / n / f"in-{n}.bmp").write_bytes(b"BM")
    app = start(quorvel, tree)
    app.wait_for(lambda: app.folders()[-1] == "d29", "the subfolders listed")
    root = app.folders()[0]

    # Rows of a list scrolled by the wheel: the top row, one in the middle, the bottom row, each
    # pressed near an edge of the row, so a press never opens a neighbour.
    for notches, pick, edge, button in [(2, 0, "top", 1), (4, None, "bottom", 1), (6, -1, "bottom", 3)]:
        before = _visible_rows(app)
        box = app.extents(app.named("Folders"))
        app.desktop.move(*box.center)
        app.desktop.xdotool("click", "--repeat", notches, "--delay", "20", "5")
        rows = app.wait_for(lambda: (lambda r: r != before and r == _visible_rows(app) and r)(_visible_rows(app)),
                            "the folder list scrolled")
        assert rows[0][0] != root, "the list is scrolled"
        name, r = rows[len(rows) // 2 if pick is None else pick]
        assert name.startswith("d"), name
        app.click(box.center[0], r.y + 2 if edge == "top" else r.y + r.h - 3, button=button)
        app.wait_for(lambda: app.files() == [f"in-{name}.bmp"], f"the press opening {name}")
        assert app.folders()[-1] == name
        # The other button: a second press of the same one this soon would be a double-click.
        app.click(box.center[0], dict(_visible_rows(app))["tree"].center[1], button=4 - button)
        app.wait_for(lambda: app.folders()[-1] == "d29" and app.files() == [], "the tree open again")


def test_a_press_on_an_ancestor_opens_it_and_below_the_rows_nothing(quorvel, tmp_path):
    folder = tmp_path / "top" / "mid" / "low"
    folder.mkdir(parents=True)
    (tmp_path / "top" / "t.bmp").write_bytes(b"BM")
    app = start(quorvel, folder)
    rows = dict(_visible_rows(app))
    last = max(r.y + r.h for r in rows.values())
    box = app.extents(app.named("Folders"))
    if last + 10 < box.y + box.h:
        app.click(box.center[0], last + 5)
        app.key("ctrl+a")  # handled after the press: once All files is checked, the press was too
        app.wait_for(lambda: app.menu_checked("All files"), "All files checked")
        assert app.folders()[-1] == "low"
    app.click(box.center[0], rows["top"].center[1])
    app.wait_for(lambda: app.files() == ["t.bmp"], "the ancestor opened")
    assert app.folders()[-1] == "mid"


# ---------------------------------------------------------------------------------------------
# Splitter and columns


def _columns(app):
    """How many columns the file list lays out: its inner width over an entry's width."""
    box = app.extents(app.named("Files"))
    rects = [r for _, r in app.entry_rects("Files")]
    inner = box.w - 2 * (rects[0].x - box.x)
    return round(inner / rects[0].w)


def test_the_splitter_follows_the_drag_within_limits_and_columns_follow_the_width(quorvel, pictures):
    folder = pictures(*[f"f{i:02}.bmp" for i in range(60)])
    app = start(quorvel, folder)
    app.wait_for(lambda: len(app.files()) == 60, "the files listed")
    client = app.geometry().client
    W = client.w

    def left_column():
        return app.extents(app.named("Folders")).w

    # Drag targets as x in the client area: the left column becomes x - 1 pixel, kept within
    # 1/10 .. 9/10 of the client width; the file list takes the rest after a 5-pixel strip, with
    # one column per 120 pixels, halves to even, at least one.
    rows = [(150, None), (W - 180 - 5 + 1, 180), (W - 300 - 5 + 1, 300), (5, None), (W - 3, None),
            (W - 330 - 5 + 1, 330)]
    for x, list_width in rows:
        folders, files = app.extents(app.named("Folders")), app.extents(app.named("Files"))
        strip_x = (folders.x + folders.w + files.x) // 2
        y = files.y + files.h // 2
        app.drag(strip_x, y, client.x + x, y)
        clamped = not W / 10 <= x - 1 <= W * 9 / 10
        want = min(max(x - 1, W / 10), W * 9 / 10)
        app.wait_for(lambda: abs(left_column() - want) <= (1 if clamped else 0),
                     f"the left column {want:.1f} px wide after a drag to {x} (have {left_column()})")
        files = app.extents(app.named("Files"))
        assert files.x == client.x + left_column() + 5
        assert files.x + files.w == client.x + W
        if list_width is not None:
            assert files.w == list_width
        expected = max(1, round(files.w * 15 / 1800))  # round() takes halves to even
        app.wait_for(lambda: _columns(app) == expected,
                     f"{expected} columns in a list {files.w} px wide (have {_columns(app)})")


# ---------------------------------------------------------------------------------------------
# Refresh, filter, delete

FIVE = ("a.bmp", "b.bmp", "c.bmp", "d.bmp", "e.bmp")


@pytest.mark.parametrize("chosen,removed,expected", [
    ("b.bmp", ("b.bmp", "c.bmp", "d.bmp"), "e.bmp"),   # the same position again
    ("e.bmp", ("c.bmp", "d.bmp", "e.bmp"), "b.bmp"),   # past the end: the last entry
    ("b.bmp", ("b.bmp", "c.bmp", "d.bmp", "e.bmp"), "a.bmp"),
])
def test_refresh_selects_the_same_position_again(quorvel, pictures, chosen, removed, expected):
    folder = pictures(*FIVE)
    app = start(quorvel, folder, FIVE)
    app.click_entry("Files", chosen)
    viewer_shows(app, folder / chosen)
    for name in removed:
        (folder / name).unlink()
    browser_has_keys(app)
    app.key("F5")
    remaining = [n for n in FIVE if n not in removed]
    app.wait_for(lambda: app.files() == remaining, f"the list refilled with {remaining}")
    viewer_shows(app, folder / expected)


PICTURES = ["k1.bmp", "K2.BMP", "j1.jpg", "J2.JpG", "p1.jpeg", "P2.JPEG", "g1.gif", "G2.GIF", ".gif",
            "i1.ico", "I2.Ico", "c1.cur", "C2.CUR", "w1.wmf", "W2.WmF"]
OTHERS = ["e.bmp.txt", "BMP", "d.txt", "jpeg", "x.jpe", "y.gifs"]


def test_the_filter_lists_every_picture_kind_and_all_files(quorvel, tmp_path):
    folder = tmp_path / "kinds"
    folder.mkdir()
    for n in PICTURES + OTHERS:
        (folder / n).write_bytes(b"x")
    app = start(quorvel, folder)
    app.wait_for(lambda: app.files(), "the file list filled")
    assert sorted(app.files()) == sorted(PICTURES)
    app.click_entry("Files", "k1.bmp")
    app.wait_for(lambda: app.selected_file() == "k1.bmp", "an entry selected")
    browser_has_keys(app)
    app.key("ctrl+a")
    app.wait_for(lambda: sorted(app.files()) == sorted(PICTURES + OTHERS), "every file listed")
    assert app.menu_checked("All files") and not app.menu_checked("Picture files")
    assert app.selected_file() is None, "a refill leaves nothing selected"
    app.click_entry("Files", "d.txt")
    app.wait_for(lambda: app.selected_file() == "d.txt", "an entry selected")
    browser_has_keys(app)
    app.key("ctrl+p")
    app.wait_for(lambda: sorted(app.files()) == sorted(PICTURES), "the pictures listed again")
    assert app.menu_checked("Picture files") and not app.menu_checked("All files")
    assert app.selected_file() is None


def test_delete_with_nothing_selected_does_nothing(quorvel, pictures):
    folder = pictures(*ABC)
    app = start(quorvel, folder, ABC)
    app.key("Delete", "ctrl+a")
    # Keys are handled in order: once All files is checked, the Del has been handled.
    app.wait_for(lambda: app.menu_checked("All files"), "All files checked")
    assert sorted(os.listdir(folder)) == list(ABC)
    assert app.files() == list(ABC)
    assert no_viewer(app, folder)


@pytest.mark.parametrize("chosen,expected", [("c.bmp", "b.bmp"), ("b.bmp", "c.bmp"), ("a.bmp", "b.bmp")])
def test_delete_removes_the_file_and_shows_the_next(quorvel, pictures, chosen, expected):
    folder = pictures(*ABC)
    app = start(quorvel, folder, ABC)
    app.click_entry("Files", chosen)
    viewer_shows(app, folder / chosen)
    browser_has_keys(app)
    app.key("Delete")
    rest = [n for n in ABC if n != chosen]
    app.wait_for(lambda: app.files() == rest, f"{chosen} gone from the list")
    assert sorted(os.listdir(folder)) == rest
    viewer_shows(app, folder / expected)
    assert app.find_window(str(folder / chosen)) is None


def test_deleting_the_only_file_empties_the_list_and_hides_the_viewer(quorvel, pictures):
    folder = pictures("only.bmp")
    app = start(quorvel, folder, ["only.bmp"])
    app.click_entry("Files", "only.bmp")
    viewer_shows(app, folder / "only.bmp")
    browser_has_keys(app)
    app.key("Delete")
    app.wait_for(lambda: app.files() == [], "the list emptied")
    app.wait_for(lambda: no_viewer(app, folder), "the viewer hidden")
    assert os.listdir(folder) == []
    assert app.selected_file() is None


def _protect(folder, name):
    """Makes a file that the user cannot delete; returns the undo, or None when impossible."""
    path = folder / name
    if os.geteuid() != 0:
        folder.chmod(0o555)
        return lambda: folder.chmod(0o755)
    # Root may delete anything in a folder; an immutable file it may not.
    if subprocess.run(["chattr", "+i", str(path)], capture_output=True).returncode != 0:
        return None
    return lambda: subprocess.run(["chattr", "-i", str(path)], check=True)


def test_a_file_that_cannot_be_deleted_stays_with_its_entry(quorvel, pictures):
    folder = pictures(*ABC)
    undo = _protect(folder, "b.bmp")
    if undo is None:
        pytest.skip("no way to make a file undeletable here (root without chattr)")
    try:
        app = start(quorvel, folder, ABC)
        app.click_entry("Files", "b.bmp")
        viewer_shows(app, folder / "b.bmp")
        browser_has_keys(app)
        app.key("Delete", "Up")
        # Up (the list moving its own selection) comes after the Del: once it shows, Del was handled.
        viewer_shows(app, folder / "a.bmp")
        assert app.files() == list(ABC)
        assert (folder / "b.bmp").exists()
    finally:
        undo()
