"""A show over a tree that takes long to search: the waiting window, and the ways out of it."""

import time

from quorvel_e2e import slow_search_env, wait_until


def scan_window(app):
    """The program's shown window that is not the browser (the search window), or None."""
    for w in app.windows():
        if w.id != app.browser.id:
            return w
    return None


def long_scan_app(quorvel, pictures, tmp_path, env=None, folders=True):
    """The browser on a folder with 3,000 folders below (when asked), shows including subfolders."""
    folder = pictures("a.bmp", "b.bmp")
    if folders:
        for i in range(30):
            for j in range(100):
                (folder / "zz" / f"{i:02}" / f"{j:02}").mkdir(parents=True)
    home = tmp_path / "home"
    (home / "config" / "Quorvel").mkdir(parents=True)
    (home / "config" / "Quorvel" / "Quorvel.conf").write_text("[Settings]\nIncludeSubDirs=1\n")
    app = quorvel(folder, home=home, env=env or slow_search_env())
    app.wait_for(lambda: app.files() == ["a.bmp", "b.bmp"], "the pictures listed")
    return app, folder


def start_long_scan(quorvel, pictures, tmp_path, env=None, folders=True):
    """long_scan_app, then Ctrl+N; returns the program once the search window is up, the window,
    and when it came up after the key."""
    app, _ = long_scan_app(quorvel, pictures, tmp_path, env, folders)
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


def huge_folder_env(folder, delay, log=None):
    """The search reads the folder `huge` below `folder` one slow entry at a time (or never gets
    past its first one); `log` gets the time of every entry read there."""
    huge = folder / "huge"
    huge.mkdir(parents=True)
    for i in range(3000):
        (huge / f"{i:04}.txt").touch()
    env = slow_search_env()
    env.update({"QUORVEL_E2E_FOLDER_DELAY_MS": "0", "QUORVEL_E2E_SLOW_FOLDER_NAME": "huge",
                "QUORVEL_E2E_ENTRY_DELAY_MS": delay})
    if log:
        env["QUORVEL_E2E_ENTRY_LOG"] = str(log)
    return env


def test_cancel_stops_the_search_inside_a_huge_folder(quorvel, pictures, tmp_path):
    # 3,000 entries at 3 ms each: the folder takes nine seconds to list. Esc stops the listing
    # where it is, not at the folder's end, and the search has ended once the browser is back.
    log = tmp_path / "entries.log"
    env = huge_folder_env(tmp_path / "pics", "3", log)
    app, w, _ = start_long_scan(quorvel, pictures, tmp_path, env=env, folders=False)
    wait_until(lambda: log.exists() and log.read_text().count("\n") > 20, "the huge folder being read")
    app.wait_active(w)
    app.key("Escape")
    assert browser_back(app) < 0.5
    back = time.monotonic()
    time.sleep(0.6)
    times = [float(t) for t in log.read_text().split()]
    assert len(times) < 2500, "the search listed the whole folder before it showed its window"
    late = [t - back for t in times if t > back]
    assert not late, f"{len(late)} entries read after the browser came back (last {max(late):.2f} s after)"


def test_viewer_goes_with_the_browser_and_comes_back_as_it_was(quorvel, pictures, tmp_path):
    app, folder = long_scan_app(quorvel, pictures, tmp_path)
    app.click_entry("Files", "b.bmp")
    viewer = app.wait_window(str(folder / "b.bmp"))
    app.wait_placed(viewer)
    before = app.geometry(viewer)
    try:
        app.wait_active(timeout=3)
    except AssertionError:  # the window manager now and then leaves the keys with the viewer
        app.activate()
        app.wait_active()
    app.key("ctrl+n")
    search = app.wait_for(lambda: next((x for x in app.windows() if x.id not in (app.browser.id, viewer.id)), None),
                          "the search window")
    # While the search runs neither the browser nor the viewer is on the screen.
    assert not app.desktop.is_viewable(viewer), "the viewer stays on the screen beside the search window"
    assert [x.id for x in app.windows()] == [search.id]
    app.wait_active(search)
    app.key("Escape")
    # Both come back: the viewer with the same picture in the same place.
    wait_until(lambda: sorted(x.id for x in app.windows()) == sorted([app.browser.id, viewer.id]),
               lambda: f"the browser and the viewer back (have {app.window_titles()})", timeout=5)
    assert app.desktop.title(viewer) == str(folder / "b.bmp")
    wait_until(lambda: app.geometry(viewer).client == before.client,
               lambda: f"the viewer where it was ({before.client}, now {app.geometry(viewer).client})", timeout=2)
    assert app.selected_file() == "b.bmp"
    app.wait_active()


def test_program_ends_with_a_search_stuck_in_a_folder(quorvel, pictures, tmp_path):
    # A folder that never answers keeps the cancelled search for good; the browser comes back at
    # once and the program still ends, its settings saved.
    env = huge_folder_env(tmp_path / "pics", "never")
    app, w, _ = start_long_scan(quorvel, pictures, tmp_path, env=env, folders=False)
    app.wait_active(w)
    app.key("Escape")
    assert browser_back(app) < 1.0
    app.wait_active()
    app.key("alt+f", "x")
    assert app.wait_exit(timeout=5) == 0
    assert app.settings().get("Settings/PathName") == f"{tmp_path / 'pics'}/"
