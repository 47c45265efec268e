"""The windows on a desktop of several monitors: each goes on the monitor of the window it belongs
to, fitted to that monitor and kept on it, and the browser opens where it was saved."""

import pytest

import quorvel_e2e as e2e
from quorvel_e2e import Rect, slow_search_env

TPP = 15  # twips per pixel at 96 DPI
L, R = Rect(0, 0, 1024, 768), Rect(1024, 0, 1024, 768)
TWO = (("L", L), ("R", R))
UNEQUAL = (("L", Rect(0, 0, 1280, 1024)), ("R", Rect(1280, 0, 1024, 768)))  # the small one top-aligned
ONE = (("L", L),)
RIGHT_PRIMARY = (("R", R), ("L", L))


@pytest.fixture(scope="session")
def desktop(monitors_desktop):
    return monitors_desktop


def twips(r):
    return ",".join(str(v * TPP) for v in (r.x, r.y, r.w, r.h))


def close_to(a, b, slack=1):
    return all(abs(p - q) <= slack for p, q in zip((a.x, a.y, a.w, a.h), (b.x, b.y, b.w, b.h)))


def inside(r, monitor):
    return (monitor.x <= r.x and r.x + r.w <= monitor.x + monitor.w
            and monitor.y <= r.y and r.y + r.h <= monitor.y + monitor.h)


def start(quorvel, desktop, tmp_path, layout, arg, saved=None, settings="", env=None):
    """The program on these monitors, its settings written first."""
    desktop.set_monitors(layout)
    home = tmp_path / "home"
    conf = home / "config" / "Quorvel" / "Quorvel.conf"
    conf.parent.mkdir(parents=True, exist_ok=True)
    conf.write_text("[Settings]\n" + (f'WindowPosition="{twips(saved)}"\n' if saved else "") + settings)
    app = quorvel(arg, home=home, env=env)
    app.wait_for(lambda: app.files(), "the pictures listed")
    app.wait_for(lambda: app.geometry().frame[2] > 0, "the browser framed")
    app.wait_active()
    return app


def move(app, w, x, y):
    """Moves a window's frame to x, y through the window manager, as a drag would."""
    left, _, top, _ = app.geometry(w).frame
    app.desktop.xdotool("windowmove", "--sync", w.id, x + left, y + top)  # the window manager keeps the client there
    app.wait_for(lambda: (app.geometry(w).outer.x, app.geometry(w).outer.y) == (x, y),
                 lambda: f"window {w.id:#x} moved to {x},{y} (at {app.geometry(w).outer})")


def wait_fitted(app, w, monitor, what):
    """Waits until a viewer of a 4:3 picture larger than the monitor fills it in one direction,
    frame included, and lies on it."""
    def fitted():
        g = app.geometry(w)
        left, right, top, bottom = g.frame
        c = g.client
        return (top > 0 and inside(g.outer, monitor) and abs(c.w - c.h * 4 / 3) <= 1.5
                and (c.w == monitor.w - left - right or c.h == monitor.h - top - bottom))
    app.wait_for(fitted, lambda: f"{what} fitted to the monitor {monitor} (at {app.geometry(w)})")


def wait_centred(app, w, monitor, what):
    def centred():
        cx, cy = app.geometry(w).outer.center
        return abs(cx - monitor.center[0]) <= 2 and abs(cy - monitor.center[1]) <= 2
    app.wait_for(centred, lambda: f"{what} centred on {monitor} (at {app.geometry(w).outer})")


def wait_show(app, monitor):
    return app.wait_for(lambda: next((w for w in app.windows() if app.geometry(w).client == monitor), None),
                        lambda: f"the show covering {monitor} (windows at "
                                f"{[app.geometry(w).client for w in app.windows()]})")


def end_show(app, show):
    app.key("Escape")
    app.wait_for(lambda: show.id not in [w.id for w in app.windows()], "the show ended")
    app.browser = app.wait_window("Quorvel", what="the browser back")
    app.wait_active()


# ---------------------------------------------------------------------------------------------
# The browser's saved place

@pytest.mark.parametrize("layout,saved,opens", [
    (TWO, Rect(100, 80, 500, 400), Rect(100, 80, 500, 400)),
    (TWO, Rect(1024, 0, 500, 400), Rect(1024, 0, 500, 400)),  # the corner on the first pixel of the right one
    (TWO, Rect(1700, 80, 600, 400), Rect(1700, 80, 348, 400)),
    (UNEQUAL, Rect(1380, 500, 500, 400), Rect(1380, 500, 500, 268)),
    # No monitor holds it any more: the primary's rule, a left edge past it going to 3/5 of it.
    (ONE, Rect(1500, 80, 500, 400), Rect(614, 80, 410, 400)),
    (RIGHT_PRIMARY, Rect(3000, 80, 500, 400), Rect(1024 + 614, 80, 410, 400)),
], ids=["left", "right", "right, cut at its right edge", "small right, cut at its bottom", "monitor gone",
        "monitor gone, the primary right"])
def test_the_saved_place_opens_on_its_monitor_clamped_to_it(quorvel, desktop, tmp_path, layout, saved, opens):
    folder = e2e.write_pictures(tmp_path / "pics", ["a.bmp"])
    app = start(quorvel, desktop, tmp_path, layout, folder, saved)
    app.wait_for(lambda: close_to(app.geometry().outer, opens),
                 lambda: f"the browser at {opens} (at {app.geometry().outer})")
    outer = app.geometry().outer
    app.key("alt+f", "x")
    assert app.wait_exit() == 0
    # Saved as it was, in twips of the whole desktop.
    assert app.settings()["Settings/WindowPosition"] == twips(outer)


# ---------------------------------------------------------------------------------------------
# The show

@pytest.mark.parametrize("layout,at,monitor", [
    (TWO, (100, 80), "L"),
    (TWO, (1124, 80), "R"),
    (TWO, (874, 80), "R"),
    (UNEQUAL, (100, 80), "L"),
    (UNEQUAL, (1380, 80), "R"),
], ids=["left", "right", "mostly right", "big left", "small right"])
def test_the_show_covers_the_browsers_monitor_and_the_browser_comes_back_there(quorvel, desktop, tmp_path,
                                                                               layout, at, monitor):
    folder = e2e.write_pictures(tmp_path / "pics", ["a.bmp", "b.bmp"])
    app = start(quorvel, desktop, tmp_path, layout, folder)
    move(app, app.browser, *at)
    before = app.geometry().outer
    app.key("ctrl+n")
    mon = desktop.monitor(monitor)
    show = wait_show(app, mon)
    desktop.move(*mon.center)
    app.wait_for(lambda: not desktop.pointer_visible(), "no pointer over the show")
    end_show(app, show)
    if inside(before, mon):  # one across two monitors is cut at the edge of the one with its corner
        app.wait_for(lambda: close_to(app.geometry().outer, before),
                     lambda: f"the browser back at {before} (at {app.geometry().outer})")


# ---------------------------------------------------------------------------------------------
# The viewer

@pytest.mark.parametrize("layout,first,then,argument", [
    (TWO, "L", "R", False),
    (TWO, "R", "L", False),
    (UNEQUAL, "R", "L", False),
    (UNEQUAL, "R", "L", True),
], ids=["left, dragged right", "right, dragged left", "small right, dragged to the big left",
        "picture argument, small right"])
def test_the_viewer_opens_fitted_on_the_browsers_monitor_and_stays_where_dragged(quorvel, desktop, tmp_path,
                                                                                 layout, first, then, argument):
    folder = e2e.write_pictures(tmp_path / "pics", ["a.bmp", "c.bmp"], (1600, 1200))
    e2e.write_pictures(folder, ["b.bmp"], (300, 200))
    desktop.set_monitors(layout)
    mon, other = desktop.monitor(first), desktop.monitor(then)
    if argument:
        # Decoded while the program starts, for the monitor the browser is saved on.
        app = start(quorvel, desktop, tmp_path, layout, folder / "a.bmp", saved=Rect(mon.x + 60, 60, 410, 256))
    else:
        app = start(quorvel, desktop, tmp_path, layout, folder)
        move(app, app.browser, mon.x + 60, 60)
        app.key("Down")
    v = app.wait_window(str(folder / "a.bmp"))
    wait_fitted(app, v, mon, "the first viewer")
    move(app, v, other.x + 40, other.y + 40)
    app.activate()
    app.wait_active()
    # A small picture keeps the corner it was dragged to; a large one is fitted to that monitor.
    app.key("Down")
    v = app.wait_window(str(folder / "b.bmp"))
    want = Rect(other.x + 40, other.y + 40, 300, 199)  # outer corner, client size: one row less, as always

    def kept():
        g = app.geometry(v)
        return Rect(g.outer.x, g.outer.y, g.client.w, g.client.h) == want
    app.wait_for(kept, lambda: f"the small picture at the dragged corner {want} (at {app.geometry(v)})")
    app.key("Down")
    v = app.wait_window(str(folder / "c.bmp"))
    wait_fitted(app, v, other, "the viewer dragged to the other monitor")


# ---------------------------------------------------------------------------------------------
# The small windows

def _help(app):
    app.key("F1")
    return app.wait_window("Help For Quorvel"), lambda: app.key("Escape")


def _about(app):
    app.key("alt+h", "a")
    about = app.wait_for(lambda: next((w for w in app.windows() if w.id != app.browser.id), None), "the About window")
    app.wait_active(about)
    return about, lambda: app.key("Escape")


def _help_in_show(app):
    app.key("ctrl+n")
    show = app.wait_for(lambda: next((w for w in app.windows() if w.id != app.browser.id), None), "the show")
    app.wait_active(show)
    help_window, close = _help(app)
    return help_window, lambda: (close(), app.wait_active(show), end_show(app, show))


def _long_scan(app):
    app.key("ctrl+n")
    scan = app.wait_for(lambda: next((w for w in app.windows() if w.id != app.browser.id), None), "the scan window")
    app.wait_active(scan)
    return scan, lambda: app.key("Escape")


@pytest.mark.parametrize("opener", [_help, _about, _help_in_show, _long_scan],
                         ids=["help in the browser", "About", "help in a show", "long scan"])
def test_the_small_windows_are_centred_on_the_monitor_of_their_opener(quorvel, desktop, tmp_path, opener):
    folder = e2e.write_pictures(tmp_path / "pics", ["a.bmp", "b.bmp"])
    settings, env = "", None
    if opener is _long_scan:
        for i in range(3000):
            (folder / "zz" / f"{i // 100:02}" / f"{i % 100:02}").mkdir(parents=True)
        settings, env = "IncludeSubDirs=1\n", slow_search_env()
    app = start(quorvel, desktop, tmp_path, TWO, folder, settings=settings, env=env)
    # The browser moved after it opened: the windows follow it, not the monitor it opened on.
    for monitor in (L, R):
        move(app, app.browser, monitor.x + 100, 100)
        w, close = opener(app)
        wait_centred(app, w, monitor, desktop.title(w) or "the window")
        close()
        app.wait_for(lambda: [x.id for x in app.windows()] == [app.browser.id],
                     lambda: f"the browser alone again (have {app.window_titles()})")
        app.wait_active()


# ---------------------------------------------------------------------------------------------
# A monitor unplugged

def test_a_monitor_unplugged_under_the_windows_leaves_the_program_working_on_the_other(quorvel, desktop, tmp_path):
    folder = e2e.write_pictures(tmp_path / "pics", ["a.bmp", "b.bmp"], (1600, 1200))
    app = start(quorvel, desktop, tmp_path, TWO, folder)
    move(app, app.browser, 1124, 100)
    app.key("Down")
    v = app.wait_window(str(folder / "a.bmp"))
    move(app, v, 1064, 0)
    desktop.unplug("R")
    # Where the window manager leaves the two windows is its own affair; the program goes on as
    # on one monitor, the monitor gone from all it does.
    app.activate()
    app.wait_active()
    app.key("Down")
    wait_fitted(app, app.wait_window(str(folder / "b.bmp")), L, "the next picture")
    app.activate()
    app.wait_active()
    w, close = _help(app)
    wait_centred(app, w, L, "the help")
    close()
    app.wait_active()
    app.key("ctrl+n")
    end_show(app, wait_show(app, L))
