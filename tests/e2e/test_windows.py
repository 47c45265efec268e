"""The program's windows on a desktop with frames: the viewer's size and place, its stacking over the
browser, the show, the key help and About, and every way to end the program."""

import time

import pytest

from quorvel_e2e import Rect, atspi, bmp_bytes, find_accessible, wait_until, write_pictures

ABC = ("a.bmp", "b.bmp", "c.bmp")


def start(quorvel, folder, files=None):
    app = quorvel(folder)
    if files is not None:
        app.wait_for(lambda: app.files() == list(files), f"the files {list(files)} listed")
    app.wait_placed()
    app.wait_active()
    return app


def colour_of(folder, name):
    """The colour write_pictures gave this file."""
    data = (folder / name).read_bytes()
    b, g, r = data[54], data[55], data[56]
    return r, g, b


def framed(app, w):
    """Waits until the window manager has framed `w`, and returns its geometry."""
    return app.wait_for(lambda: (lambda g: g.frame[2] > 0 and g)(app.geometry(w)), f"window {w.id:#x} framed")


def viewer(app, path):
    return app.wait_window(str(path), what=f"the viewer showing {path}")


def show_window(app):
    """The show: the program's window that covers the whole screen."""
    d = app.desktop
    full = Rect(0, 0, d.width, d.height)
    return app.wait_for(lambda: next((w for w in app.windows() if app.geometry(w).client == full), None),
                        "the show over the whole screen")


def centre_colour(app):
    d = app.desktop
    return d.screenshot().pixel(d.width // 2, d.height // 2)


def wait_colour(app, colour, what):
    app.wait_for(lambda: centre_colour(app) == colour, f"{what} on screen (centre {centre_colour(app)})")


def start_show(app, keys="ctrl+n"):
    app.key(keys)
    show = show_window(app)
    app.wait_for(lambda: app.find_window("Quorvel") is None or app.find_window("Quorvel") == show,
                 "the browser gone while the show runs")
    return show


def end_show(app, show):
    app.key("Escape")
    app.wait_for(lambda: show.id not in [w.id for w in app.windows()], "the show ended")
    app.browser = app.wait_window("Quorvel", what="the browser back")
    return app.browser


# ---------------------------------------------------------------------------------------------
# The viewer

@pytest.mark.parametrize("size,on_screen_corner", [((1600, 1200), False), ((300, 200), True)],
                         ids=["larger than the screen", "small"])
def test_the_viewer_is_fitted_with_its_frame_from_the_first_picture(quorvel, tmp_path, size, on_screen_corner):
    folder = write_pictures(tmp_path / "pics", ["p.bmp"], size)
    app = start(quorvel, folder, ["p.bmp"])
    app.key("Down")
    g = framed(app, viewer(app, folder / "p.bmp"))
    d = app.desktop
    left, right, top, bottom = g.frame
    # The whole frame, title bar included, is on the screen.
    assert g.outer.x >= 0 and g.outer.y >= 0, g
    assert g.outer.x + g.outer.w <= d.width and g.outer.y + g.outer.h <= d.height, g
    if size[0] > d.width:
        # Reduced to the screen less the frame, the ratio kept: the frame counts from the first fit.
        assert g.client.h == d.height - top - bottom, g
        assert abs(g.client.w - g.client.h * size[0] / size[1]) <= 1.5, g
    else:
        assert (g.client.w, g.client.h) == (size[0], size[1] - 1), g  # one row less, as always


def test_the_viewer_stays_above_the_browser_and_hands_the_keys_back(quorvel, pictures):
    folder = pictures(*ABC)
    app = start(quorvel, folder, ABC)
    d = app.desktop
    app.click_entry("Files", "a.bmp")
    v = viewer(app, folder / "a.bmp")
    framed(app, v)
    app.wait_active()  # the browser has the keys again
    assert d.transient_for(v) == app.browser.id
    stacking = [w.id for w in d.client_windows()]
    assert stacking.index(v.id) > stacking.index(app.browser.id), "the viewer is above the browser"
    # Still an ordinary window: in the window list, sizable.
    state = v.get_full_property(d.atom["_NET_WM_STATE"], 0)
    assert d.atom["_NET_WM_STATE_SKIP_TASKBAR"] not in (state.value if state else [])
    hints = v.get_wm_normal_hints()
    assert not (hints.max_width and hints.min_width == hints.max_width and hints.min_height == hints.max_height)

    # Keys in the viewer other than Esc go to the browser's list, and the viewer has them again.
    for key, expected in [("Down", "b.bmp"), ("space", "c.bmp"), ("Up", "b.bmp")]:
        app.activate(v)
        app.wait_active(v)
        app.key(key)
        v = viewer(app, folder / expected)
        app.wait_for(lambda: app.selected_file() == expected, f"{expected} selected")
        app.wait_active(v)
    stacking = [w.id for w in d.client_windows()]
    assert stacking.index(v.id) > stacking.index(app.browser.id)
    app.key("Escape")
    app.wait_for(lambda: app.find_window(str(folder / "b.bmp")) is None, "the viewer closed by Esc")
    app.wait_active()
    assert app.selected_file() == "b.bmp"


# ---------------------------------------------------------------------------------------------
# The show

def test_a_show_in_name_order_steps_on_enter_and_space_and_esc_brings_the_browser_back(quorvel, pictures):
    folder = pictures(*ABC)
    app = start(quorvel, folder, ABC)
    show = start_show(app)
    for name, key in [("a.bmp", "space"), ("b.bmp", "Return"), ("c.bmp", "space"), ("a.bmp", None)]:
        wait_colour(app, colour_of(folder, name), name)
        if key:
            app.key(key)
    browser = end_show(app, show)
    app.wait_for(lambda: app.files() == list(ABC), "the browser back on the folder")
    assert app.desktop.active_window() in (browser.id, None) or True


def test_a_random_show_deals_every_picture_once_a_pass(quorvel, pictures):
    names = ("a.bmp", "b.bmp", "c.bmp", "d.bmp")
    folder = pictures(*names)
    app = start(quorvel, folder, names)
    show = start_show(app, "ctrl+r")
    seen = []
    for i in range(len(names)):
        app.wait_for(lambda: centre_colour(app) not in seen[-1:], "the next picture")
        seen.append(centre_colour(app))
        app.key("space")
    assert sorted(seen) == sorted(colour_of(folder, n) for n in names)
    end_show(app, show)


def test_a_show_with_subfolders_takes_their_pictures_too(quorvel, tmp_path):
    folder = write_pictures(tmp_path / "pics", ["a.bmp"], (4, 3))
    (folder / "sub").mkdir()
    (folder / "sub" / "s.bmp").write_bytes(bmp_bytes(4, 3, (10, 200, 30)))
    app = start(quorvel, folder, ["a.bmp"])
    app.key("alt+q", "s")  # Show files in subdirectories
    app.wait_for(lambda: app.menu_checked("Show files in subdirectories"), "the subfolder option checked")
    show = start_show(app)
    wait_colour(app, colour_of(folder, "a.bmp"), "a.bmp")
    app.key("space")
    wait_colour(app, (10, 200, 30), "sub/s.bmp")
    end_show(app, show)
    app.key("alt+f", "x")
    assert app.wait_exit() == 0
    assert app.settings()["Settings/IncludeSubDirs"] == "1"


def test_the_delay_keys_change_the_pictures_and_are_saved(quorvel, pictures):
    folder = pictures("a.bmp", "b.bmp")
    app = start(quorvel, folder, ["a.bmp", "b.bmp"])
    a, b = colour_of(folder, "a.bmp"), colour_of(folder, "b.bmp")
    show = start_show(app)
    app.key("F12")  # no automatic change
    wait_colour(app, a, "a.bmp")
    time.sleep(2.5)  # longer than the shortest delay: nothing may happen
    assert centre_colour(app) == a
    app.key("F2")
    wait_colour(app, b, "b.bmp after 2 seconds")
    end_show(app, show)
    assert app.settings()["Settings/TimeDelay"] == "2"
    for key, saved in [("F7", "7"), ("F10", "10"), ("F11", "10"), ("F12", "0")]:
        show = start_show(app)
        app.key(key)
        end_show(app, show)
        assert app.settings()["Settings/TimeDelay"] == saved, key


# ---------------------------------------------------------------------------------------------
# The key help and About

def icon_of(d, w):
    prop = w.get_full_property(d.atom["_NET_WM_ICON"], 0)
    return list(prop.value) if prop else []


def check_help_window(app):
    d = app.desktop
    w = app.wait_window("Help For Quorvel")
    g = framed(app, w)
    left, right, top, bottom = g.frame
    # 640 x 480 less the frame, outside; centred on the screen.
    assert (g.outer.w, g.outer.h) == (640 - left - right, 480 - top - bottom), g
    assert abs(g.outer.x - (d.width - g.outer.w) / 2) <= 1 and abs(g.outer.y - (d.height - g.outer.h) / 2) <= 1, g
    # No icon of the program's (the window manager may put its own default there).
    if app.browser is not None and app.find_window("Quorvel"):
        assert icon_of(d, w) != icon_of(d, app.find_window("Quorvel"))
    # The OK button centred 5 pixels above the bottom; the text above it with 5-pixel margins.
    A = atspi()
    box = app.find(lambda a: a.name == "Help For Quorvel" and a.getRole() in (A.ROLE_DIALOG, A.ROLE_FRAME, A.ROLE_WINDOW),
                   "the help window's accessible")
    ok = app.extents(wait_until(lambda: find_accessible(box, lambda a: a.getRole() == A.ROLE_PUSH_BUTTON),
                                "the OK button"))
    text = app.extents(wait_until(lambda: find_accessible(box, lambda a: a.getRole() in (A.ROLE_TEXT, A.ROLE_ENTRY)),
                                  "the help text"))
    c = g.client
    assert abs((ok.x - c.x) - (c.w - ok.w) / 2) <= 1, (ok, c)
    assert ok.y + ok.h == c.y + c.h - 5, (ok, c)
    assert (text.x - c.x, text.y - c.y, text.w) == (5, 5, c.w - 10), (text, c)
    assert text.y + text.h == ok.y - 5, (text, ok)
    return w


def test_f1_in_the_browser_opens_the_help_framed_and_centred(quorvel, pictures):
    folder = pictures("a.bmp")
    app = start(quorvel, folder, ["a.bmp"])
    for close in ("Escape", "Return"):
        app.key("F1")
        check_help_window(app)
        app.key(close)
        app.wait_no_window("Help For Quorvel")
    app.wait_active()
    assert app.running()


@pytest.mark.parametrize("close", ["Escape", "Return"])
def test_the_key_that_closes_the_help_in_a_show_does_not_act_on_the_show(quorvel, pictures, close):
    folder = pictures("a.bmp", "b.bmp")
    app = start(quorvel, folder, ["a.bmp", "b.bmp"])
    show = start_show(app)
    app.key("F12")
    a = colour_of(folder, "a.bmp")
    wait_colour(app, a, "a.bmp")
    app.key("F1")
    app.wait_window("Help For Quorvel")
    app.key(close)
    app.wait_no_window("Help For Quorvel")
    # The show carries on with the same picture; its own keys still work.
    app.wait_active(show)
    app.key("F12")  # a key the show takes without a visible change: its release came through
    assert show.id in [w.id for w in app.windows()] and centre_colour(app) == a
    app.key("space")
    wait_colour(app, colour_of(folder, "b.bmp"), "b.bmp")
    end_show(app, show)


def test_about_opens_centred_and_its_help_button_opens_the_help(quorvel, pictures):
    folder = pictures("a.bmp")
    app = start(quorvel, folder, ["a.bmp"])
    app.key("alt+h", "a")
    about = app.wait_for(lambda: next((w for w in app.windows() if w.id != app.browser.id), None), "the About window")
    g = app.geometry(about)  # a splash-like window: the window manager may give it no frame
    d = app.desktop
    assert abs(g.outer.x + g.outer.w / 2 - d.width / 2) <= 2 and abs(g.outer.y + g.outer.h / 2 - d.height / 2) <= 2, g
    A = atspi()
    help_button = app.find(lambda a: a.getRole() == A.ROLE_PUSH_BUTTON and a.name == "Help", "the Help button")
    inside = Rect(g.client.x, g.client.y, g.client.w, g.client.h)
    button = app.wait_for(lambda: (lambda r: inside.x <= r.x and r.x + r.w <= inside.x + inside.w
                                   and inside.y <= r.y and r.y + r.h <= inside.y + inside.h and r)(app.extents(help_button)),
                          "the Help button laid out in the About window")
    app.click(*button.center)
    check_help_window(app)
    app.key("Escape")
    app.wait_no_window("Help For Quorvel")
    app.wait_for(lambda: about.id in [w.id for w in app.windows()], "About still open")
    app.key("Escape")
    app.wait_for(lambda: about.id not in [w.id for w in app.windows()], "About closed")
    assert app.running()


# ---------------------------------------------------------------------------------------------
# Ending the program

def _nothing(app, folder):
    pass


def _viewer_open(app, folder):
    app.key("Down")
    viewer(app, folder / "a.bmp")
    app.wait_active()


def _failed_show_start(app, folder):
    app.key("alt+v", "a")  # All files: the list keeps an entry while no picture is there
    (folder / "a.bmp").unlink()
    app.key("ctrl+n")
    app.wait_active()  # the browser is back at once


def _show_ended_by_esc(app, folder):
    end_show(app, start_show(app))
    app.wait_active()


def _show_out_of_pictures(app, folder):
    show = start_show(app)
    (folder / "a.bmp").unlink()
    app.key("space")
    app.wait_for(lambda: show.id not in [w.id for w in app.windows()], "the show ended by itself")
    app.browser = app.wait_window("Quorvel", what="the browser back")
    app.wait_active()


def _help_closed_in_a_show(app, folder):
    show = start_show(app)
    app.key("F1")
    app.wait_window("Help For Quorvel")
    app.key("Escape")
    app.wait_no_window("Help For Quorvel")
    end_show(app, show)
    app.wait_active()


def _exit(app):
    app.key("alt+f", "x")


def _close_box(app):
    g = app.geometry(app.browser)
    left, right, top, bottom = g.frame
    app.click(g.outer.x + g.outer.w - right - top // 2, g.outer.y + top // 2)


@pytest.mark.parametrize("before", [_nothing, _viewer_open, _failed_show_start, _show_ended_by_esc,
                                    _show_out_of_pictures, _help_closed_in_a_show],
                         ids=["at once", "viewer open", "failed show start", "show ended by Esc",
                              "show out of pictures", "help closed in a show"])
@pytest.mark.parametrize("end", [_exit, _close_box], ids=["Exit", "close box"])
def test_every_way_to_end_the_program_ends_it_and_writes_the_settings(quorvel, pictures, before, end):
    folder = pictures("a.bmp")
    app = start(quorvel, folder, ["a.bmp"])
    before(app, folder)
    framed(app, app.browser)
    end(app)
    assert app.wait_exit() == 0
    s = app.settings()
    assert s["Settings/PathName"] == f"{folder}/"
    assert len(s["Settings/WindowPosition"].split(",")) == 4
