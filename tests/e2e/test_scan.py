"""A show over a tree that takes long to search: the waiting window, and the ways out of it."""

import os
import time

from quorvel_e2e import wait_until


def scan_window(app):
    """The program's shown window that is not the browser (the search window), or None."""
    for w in app.windows():
        if w.id != app.browser.id:
            return w
    return None


def slow_search_env():
    """The program's environment for a search that lasts: each folder listed waits 5 ms (the
    loaded helper library), so the few thousand folders below take seconds on any machine."""
    shim = os.environ.get("QUORVEL_E2E_SLOW_FOLDERS")
    assert shim and os.path.exists(shim), "QUORVEL_E2E_SLOW_FOLDERS names no library: run through ctest"
    return {"LD_PRELOAD": shim, "QUORVEL_E2E_FOLDER_DELAY_MS": "5",
            # a sanitized build checks that its own runtime is loaded first
            "ASAN_OPTIONS": os.environ.get("ASAN_OPTIONS", "") + ":verify_asan_link_order=0"}


def start_long_scan(quorvel, pictures, tmp_path):
    """The browser on a folder with 3,000 folders below, shows including subfolders; returns the
    program once the search window is up, and when the key went in."""
    folder = pictures("a.bmp", "b.bmp")
    for i in range(30):
        for j in range(100):
            (folder / "zz" / f"{i:02}" / f"{j:02}").mkdir(parents=True)
    home = tmp_path / "home"
    (home / "config" / "Quorvel").mkdir(parents=True)
    (home / "config" / "Quorvel" / "Quorvel.conf").write_text("[Settings]\nIncludeSubDirs=1\n")
    app = quorvel(folder, home=home, env=slow_search_env())
    app.wait_for(lambda: app.files() == ["a.bmp", "b.bmp"], "the pictures listed")
    app.wait_active()
    pressed = time.monotonic()
    app.key("ctrl+n")
    w = app.wait_for(lambda: scan_window(app), "the search window")
    return app, w, time.monotonic() - pressed


def browser_back(app):
    """Waits until the same browser is back, unchanged, with no other window; returns the wait."""
    t0 = time.monotonic()
    wait_until(lambda: app.windows() and [w.id for w in app.windows()] == [app.browser.id],
               f"the browser alone again (have {app.window_titles()})", timeout=5)
    waited = time.monotonic() - t0
    assert app.files() == ["a.bmp", "b.bmp"]
    assert app.selected_file() is None
    return waited


def test_long_search_shows_a_window_and_esc_brings_the_browser_back(quorvel, pictures, tmp_path):
    app, w, after = start_long_scan(quorvel, pictures, tmp_path)
    assert after >= 0.45, f"the search window came up {after:.2f} s after the key"
    assert app.desktop.title(w) == "Quorvel"
    # Centred on the screen, frame included (once the window manager has framed it).
    def centred():
        cx, cy = app.geometry(w).outer.center
        return abs(cx - 1024 // 2) <= 2 and abs(cy - 768 // 2) <= 2
    wait_until(centred, f"the search window centred (at {app.geometry(w)})", timeout=1)
    g = app.geometry(w)
    app.find(lambda a: a.name == "Looking for pictures…", "the search message")
    count = app.find(lambda a: a.name.endswith("pictures found") or a.name == "1 picture found", "the count")
    assert count.name.split(" ")[0].replace(",", "").isdigit()
    app.find(lambda a: a.name == "Cancel", "the Cancel button")
    # The window is painted while the search goes on.
    time.sleep(0.3)
    shot = app.desktop.screenshot()
    assert shot.pixel(g.client.x + 4, g.client.y + g.client.h - 4) != (0, 0, 0)
    app.wait_active(w)
    app.key("Escape")
    assert browser_back(app) < 0.5
    assert app.running()


def test_cancel_button_stops_the_search(quorvel, pictures, tmp_path):
    app, w, _ = start_long_scan(quorvel, pictures, tmp_path)
    button = app.find(lambda a: a.name == "Cancel", "the Cancel button")
    r = app.extents(button)
    app.click(*r.center)
    assert browser_back(app) < 0.5
    # The same browser works on: another show starts its search again.
    app.wait_active()
    app.key("ctrl+n")
    wait_until(lambda: scan_window(app) is not None, "the search window again")
    app.key("Escape")
    browser_back(app)
