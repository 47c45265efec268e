"""The file list as a grid of thumbnails: the switch, what each cell shows, keys, clicks, delete,
refresh, the shared thumbnail cache and hostile files."""

import hashlib
import os
import struct
import subprocess
import time
import zlib

import pytest

from quorvel_e2e import bmp_bytes, program_path

from test_browser import browser_has_keys, viewer_shows
from test_startup import TPP, write_settings

BOX, MARGIN = 128, 6  # the square of a cell at 1x, and the margin around it
RED, GREEN, BLUE, YELLOW, MAGENTA = (255, 0, 0), (0, 160, 0), (0, 0, 255), (255, 220, 0), (255, 0, 255)


def paint(folder, colours, size=(64, 64)):
    """Writes each {name: colour} as a BMP of one colour (small: its viewer covers no cell)."""
    folder.mkdir(parents=True, exist_ok=True)
    for name, rgb in colours.items():
        (folder / name).write_bytes(bmp_bytes(*size, rgb))
    return folder


def start(quorvel, tmp_path, folder, files, env=None, size=(800, 600)):
    """Starts on `folder`, the first time in a browser of `size` (800 x 600: room for a few
    columns of cells); waits until the files are listed and the browser has the keys."""
    home = tmp_path / "home"
    if not (home / "config").exists():
        write_settings(home, WindowPosition=",".join(str(v * TPP) for v in (0, 0, *size)))
    app = quorvel(folder, home=home, env=env)
    app.wait_for(lambda: app.files() == list(files), f"the files {list(files)} listed")
    app.wait_placed()
    app.wait_active()
    return app


def toggle(app, on):
    app.key("ctrl+t")
    app.wait_for(lambda: app.menu_checked("Thumbnails") == on, f"Thumbnails {'on' if on else 'off'}")


def look(app, name, shot=None):
    """What a cell's square shows: the colour in its middle (a picture's, or the placeholder's),
    "cannot" for the crossed box, "page" for the file mark, "empty" for nothing."""
    r = dict(app.entry_rects("Files"))[name]
    shot = shot or app.desktop.screenshot()
    cx, cy = r.x + (r.w - BOX) // 2 + BOX // 2 - 1, r.y + MARGIN + BOX // 2 - 1
    bg = shot.pixel(r.x + 2, r.y + 2)  # the cell's own background, beside the square

    def inked(x0, y0, x1, y1):
        return any(shot.pixel(x, y) != bg for x in range(x0, x1 + 1) for y in range(y0, y1 + 1))
    # The marks are outlines 32 pixels wide: the crossed box is inked in the middle, the page not.
    if not inked(cx - 2, cy - 12, cx + 2, cy - 8) and inked(cx - 18, cy + 4, cx - 14, cy + 6):
        return "cannot" if inked(cx - 1, cy - 1, cx + 1, cy + 1) else "page"
    return shot.pixel(cx, cy) if inked(cx, cy, cx, cy) else "empty"


def shows(app, expected):
    """Whether every cell shows what `expected` ({name: rgb, "cannot" or "page"}) says."""
    shot = app.desktop.screenshot()
    got = {name: look(app, name, shot) for name in expected}
    return all(g == w if isinstance(w, str) else isinstance(g, tuple) and all(abs(a - b) <= 12 for a, b in zip(g, w))
               for g, w in ((got[n], expected[n]) for n in expected))


def wait_shows(app, expected, timeout=15):
    app.wait_for(lambda: shows(app, expected),
                 lambda: f"cells showing {expected} (have { {n: look(app, n) for n in expected} })", timeout)


def columns(app):
    """How many cells the grid lays side by side: those level with the first."""
    tops = [r.y for _, r in app.entry_rects("Files")]
    return tops.count(tops[0])


# ---------------------------------------------------------------------------------------------
# The switch, its setting and what the cells show

def test_the_switch_is_kept_and_each_cell_shows_its_own_file(quorvel, tmp_path):
    folder = paint(tmp_path / "pics", {"a.bmp": RED, "b.bmp": GREEN, "c.bmp": BLUE})
    (folder / "broken.bmp").write_bytes(b"BM" + b"\xff" * 60)
    (folder / "b.txt").write_text("not a picture")  # sorts between b.bmp and c.bmp under All files
    app = start(quorvel, tmp_path, folder, ["a.bmp", "b.bmp", "broken.bmp", "c.bmp"])
    assert not app.menu_checked("Thumbnails")
    list_height = app.entry_rects("Files")[0][1].h
    toggle(app, True)
    app.wait_for(lambda: columns(app) >= 2, "cells side by side in a row")
    for _, r in app.entry_rects("Files"):
        assert r.w == BOX + 2 * MARGIN and r.h > BOX + 2 * MARGIN, r
    wait_shows(app, {"a.bmp": RED, "b.bmp": GREEN, "broken.bmp": "cannot", "c.bmp": BLUE})

    # A refill moves c.bmp to another cell; every cell follows its own file.
    app.key("ctrl+a")
    app.wait_for(lambda: "b.txt" in app.files(), "every file listed")
    wait_shows(app, {"a.bmp": RED, "b.bmp": GREEN, "b.txt": "page", "broken.bmp": "cannot", "c.bmp": BLUE})
    app.key("alt+f", "x")
    assert app.wait_exit() == 0
    assert app.settings()["Settings/Thumbnails"] == "1"

    app = start(quorvel, tmp_path, folder, ["a.bmp", "b.bmp", "broken.bmp", "c.bmp"])
    assert app.menu_checked("Thumbnails"), "the grid on at start"
    wait_shows(app, {"a.bmp": RED, "c.bmp": BLUE})
    toggle(app, False)
    app.wait_for(lambda: app.entry_rects("Files")[0][1].h == list_height, "the list back")
    app.key("alt+f", "x")
    assert app.wait_exit() == 0
    assert app.settings()["Settings/Thumbnails"] == "0"


# ---------------------------------------------------------------------------------------------
# Keys and clicks

EIGHT = {f"{c}.bmp": (30 * i, 255 - 30 * i, 120) for i, c in enumerate("abcdefgh")}


def test_clicks_and_keys_in_the_grid(quorvel, tmp_path):
    folder = paint(tmp_path / "pics", EIGHT)
    names = sorted(EIGHT)
    app = start(quorvel, tmp_path, folder, names)
    toggle(app, True)
    across = columns(app)
    assert 2 <= across < len(names), "the grid needs two rows for this test"
    app.click_entry("Files", "b.bmp")
    viewer_shows(app, folder / "b.bmp")
    browser_has_keys(app)
    # In the grid the arrows move by cell, Down and Up by a whole row; Space and Enter step on.
    i = 1
    for key, step in [("Right", 1), ("Down", across), ("Left", -1), ("Up", -across), ("Left", -1),
                      ("space", 1), ("Return", 1)]:
        i += step
        app.key(key)
        viewer_shows(app, folder / names[i])
    # From the viewer the keys step through the files one at a time.
    for key, step in [("Down", 1), ("space", 1), ("Return", 1), ("Up", -1)]:
        app.activate(app.wait_window(str(folder / names[i])))
        i += step
        app.key(key)
        viewer_shows(app, folder / names[i])
    browser_has_keys(app)
    app.click_entry("Files", names[i], dx=20)  # the list takes the focus back
    app.key("Tab", "Tab")
    app.wait_for(lambda: app.has_focus("Folders"), "the folder list having the focus")
    app.key("Down")
    viewer_shows(app, folder / names[i + 1])


def _delete(app, folder):
    browser_has_keys(app)
    app.key("Delete")


def _refresh_with_a_new_file(app, folder):
    paint(folder, {"ab.bmp": YELLOW})
    browser_has_keys(app)
    app.key("F5")


@pytest.mark.parametrize("chosen,action,files,expected", [
    ("b.bmp", _delete, ["a.bmp", "c.bmp"], "c.bmp"),
    ("c.bmp", _delete, ["a.bmp", "b.bmp"], "b.bmp"),
    ("b.bmp", _refresh_with_a_new_file, ["a.bmp", "ab.bmp", "b.bmp", "c.bmp"], "ab.bmp"),
], ids=["delete", "delete the last", "refresh"])
def test_delete_and_refresh_in_the_grid(quorvel, tmp_path, chosen, action, files, expected):
    colours = {"a.bmp": RED, "b.bmp": GREEN, "c.bmp": BLUE}
    folder = paint(tmp_path / "pics", colours)
    app = start(quorvel, tmp_path, folder, sorted(colours))
    toggle(app, True)
    wait_shows(app, colours)
    app.click_entry("Files", chosen)
    viewer_shows(app, folder / chosen)
    action(app, folder)
    app.wait_for(lambda: app.files() == files, f"the grid holding {files}")
    assert sorted(os.listdir(folder)) == files
    viewer_shows(app, folder / expected)
    wait_shows(app, {n: {**colours, "ab.bmp": YELLOW}[n] for n in files})


# ---------------------------------------------------------------------------------------------
# The desktop's shared thumbnail cache

def thumbnail_uri(path):
    keep = set(b"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789!$&'()*+,-./:=@_~")
    return "file://" + "".join(chr(b) if b in keep else f"%{b:02X}" for b in os.fsencode(os.path.realpath(path)))


def png_bytes(width, height, rgb, texts):
    """An RGB PNG of one colour with tEXt chunks ahead of the pixels."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    rows = (b"\0" + bytes(rgb) * width) * height
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + b"".join(chunk(b"tEXt", k.encode() + b"\0" + v.encode()) for k, v in texts.items())
            + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def png_texts(data):
    out, i = {}, 8
    while i < len(data):
        length, kind = struct.unpack(">I4s", data[i:i + 8])
        if kind == b"tEXt":
            key, _, value = data[i + 8:i + 8 + length].partition(b"\0")
            out[key.decode()] = value.decode()
        i += 12 + length
    return out


@pytest.mark.parametrize("mtime_off,shown", [(0, MAGENTA), (-100, BLUE)], ids=["valid", "stale"])
def test_a_thumbnail_in_the_shared_cache(quorvel, tmp_path, mtime_off, shown):
    # A name the URI must escape: a space, a per cent sign and a letter beyond ASCII.
    folder = paint(tmp_path / "pics", {"a.bmp": RED, "blue 100% é.bmp": BLUE})
    picture = folder / "blue 100% é.bmp"
    mtime = int(picture.stat().st_mtime)
    uri = thumbnail_uri(picture)
    cached = tmp_path / "home" / "cache" / "thumbnails" / "normal" / (hashlib.md5(uri.encode()).hexdigest() + ".png")
    cached.parent.mkdir(parents=True)
    seeded = png_bytes(128, 128, MAGENTA, {"Thumb::URI": uri, "Thumb::MTime": str(mtime + mtime_off)})
    cached.write_bytes(seeded)
    cached.chmod(0o600)
    app = start(quorvel, tmp_path, folder, ["a.bmp", picture.name])
    toggle(app, True)
    wait_shows(app, {"a.bmp": RED, picture.name: shown})
    if shown == MAGENTA:
        assert cached.read_bytes() == seeded, "a valid thumbnail is left as it is"
    else:
        app.wait_for(lambda: png_texts(cached.read_bytes()).get("Thumb::MTime") == str(mtime), "the thumbnail replaced")
        assert png_texts(cached.read_bytes())["Thumb::URI"] == uri
        assert cached.stat().st_mode & 0o777 == 0o600


# ---------------------------------------------------------------------------------------------
# Hostile files

KINDS = {0: ".bmp", 1: ".jpg", 3: ".gif", 6: ".wmf"}


def hostile_folder(folder):
    """The hostile pictures of the loader's tests, each under its kind's extension."""
    tool = os.environ.get("QUORVEL_E2E_HOSTILE_PICTURES") or program_path().parent / "tools" / "make_hostile_pictures"
    raw = folder.parent / "raw"
    subprocess.run([str(tool), str(raw)], check=True)
    folder.mkdir()
    for f in sorted(raw.iterdir()):
        data = f.read_bytes()
        if data[0] in KINDS:  # not the bare colour profiles: no picture file holds one alone
            (folder / (f.name + KINDS[data[0]])).write_bytes(data[1:])
    return folder


def test_hostile_files_in_the_grid_freeze_nothing(quorvel, tmp_path):
    folder = hostile_folder(tmp_path / "hostile")
    paint(folder, {"zz.bmp": GREEN})
    names = sorted(p.name for p in folder.iterdir())
    trace = tmp_path / "trace"
    # The whole screen, so that every cell is on it.
    app = start(quorvel, tmp_path, folder, names, env={"QUORVEL_BENCH_TRACE": str(trace)}, size=(1024, 768))
    log = lambda: trace.read_text() if trace.exists() else ""  # noqa: E731
    done = len(log())
    toggle(app, True)
    cells = app.entry_rects("Files")
    # While the thumbnails are made, keys are handled at once (here: a refill with All files).
    asked = time.monotonic()
    app.key("ctrl+a")
    app.wait_for(lambda: app.menu_checked("All files"), "All files checked")
    assert time.monotonic() - asked < 3, f"Ctrl+A took {time.monotonic() - asked:.1f} s"

    def settled():
        events = [line.split()[1] for line in log()[done:].splitlines()]
        fills = [e for e in events if e in ("list-shown", "all-drawn")]
        return fills.count("list-shown") == 2 and fills[-1] == "all-drawn"
    app.wait_for(settled, "every thumbnail made or given up", timeout=40)
    wait_shows(app, {"zz.bmp": GREEN})
    assert app.entry_rects("Files") == cells, "the grid did not reflow"
    stalls = [int(line.split()[-1]) for line in log()[done:].splitlines() if " stall " in line]
    assert max(stalls, default=0) < 1000, f"the window stalled {max(stalls)} ms"
    shot = app.desktop.screenshot()
    for name in names:
        assert look(app, name, shot) != "empty", name
    assert app.running()
