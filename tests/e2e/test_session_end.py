"""The desktop ending the program (the signals of a logout or a shutdown, the session manager's
request to save): it ends as File > Exit ends it, whatever is on the screen, in under a second."""

import os
import select
import signal
import subprocess
import time

import pytest

import quorvel_e2e as e2e
from quorvel_e2e import Rect, wait_until
from test_scan import huge_folder_env, long_scan_app, scan_window

TPP = 15  # twips per pixel at 96 DPI


def exit_settings(folder, outer, subdirs="0", **more):
    """The settings File > Exit writes for the browser at `outer` (pixels) on `folder`."""
    return {"Settings/PathName": f"{folder}/", "Settings/IncludeSubDirs": subdirs, "Settings/Thumbnails": "0",
            "Settings/WindowPosition": ",".join(str(v * TPP) for v in (outer.x, outer.y, outer.w, outer.h)),
            **{f"Settings/{k}": v for k, v in more.items()}}


def placed_browser(quorvel, pictures):
    folder = pictures("a.bmp", "b.bmp")
    app = quorvel(str(folder))
    app.wait_for(lambda: app.files() == ["a.bmp", "b.bmp"], "the pictures listed")
    app.wait_placed()
    app.wait_active()
    return app, folder


def ended_by(app, sig):
    """Sends `sig`; the program must end with status 0 within a second."""
    sent = time.monotonic()
    os.kill(app.pid, sig)
    status = app.wait_exit(timeout=5)
    took = time.monotonic() - sent
    assert status == 0
    assert took < 1.0, f"ended {took:.2f} s after the signal"


@pytest.mark.parametrize("sig", [signal.SIGTERM, signal.SIGHUP, signal.SIGINT], ids=["TERM", "HUP", "INT"])
def test_a_signal_to_end_saves_as_file_exit(quorvel, pictures, sig):
    app, folder = placed_browser(quorvel, pictures)
    app.key("alt+q", "s")  # Show files in subdirectories
    app.wait_for(lambda: app.menu_checked("Show files in subdirectories"), "the subfolder option checked")
    outer = app.geometry().outer
    ended_by(app, sig)
    assert app.settings() == exit_settings(folder, outer, subdirs="1")


def into_viewer(app, folder):
    outer = app.geometry().outer
    app.click_entry("Files", "b.bmp")
    app.wait_window(str(folder / "b.bmp"))
    return outer, {}


def into_key_help(app, folder):
    outer = app.geometry().outer
    app.key("F1")
    app.wait_window("Help For Quorvel")
    return outer, {}


def into_show(app, folder):
    # Partly off the screen: the browser the show's end brings back opens at the left edge, and
    # that is where File > Exit then saves it.
    app.desktop.xdotool("windowmove", "--sync", app.browser.id, -40, 100)
    outer = app.wait_for(lambda: (lambda g: g.x < 0 and g)(app.geometry().outer), "the browser partly off the screen")
    app.key("ctrl+n")
    app.wait_for(lambda: app.windows() and app.browser.id not in [w.id for w in app.windows()], "the show alone")
    app.key("F7")
    time.sleep(0.5)  # the key reaches the show before the signal does
    return Rect(0, outer.y, outer.w, outer.h), {"TimeDelay": "7"}


@pytest.mark.parametrize("into", [into_viewer, into_key_help, into_show], ids=["viewer", "key help", "show"])
def test_the_session_ends_from_every_window(quorvel, pictures, into):
    app, folder = placed_browser(quorvel, pictures)
    outer, more = into(app, folder)
    ended_by(app, signal.SIGTERM)
    assert app.settings() == exit_settings(folder, outer, **more)


def test_the_session_ends_during_a_search_stuck_in_a_folder(quorvel, pictures, tmp_path):
    # The search's own window is up, and the search will never get out of the folder it reads.
    env = huge_folder_env(tmp_path / "pics", "never")
    app, folder = long_scan_app(quorvel, pictures, tmp_path, env=env, folders=False)
    app.wait_placed()
    app.wait_active()
    outer = app.geometry().outer
    app.key("ctrl+n")
    app.wait_for(lambda: scan_window(app), "the search window")
    ended_by(app, signal.SIGTERM)
    # As File > Exit after Cancel: the unused show unloads too, with the delay it read.
    assert app.settings() == exit_settings(folder, outer, subdirs="1", TimeDelay="5")


def test_the_session_managers_request_to_save_ends_as_file_exit(quorvel, pictures):
    manager_path = os.environ.get("QUORVEL_E2E_SESSION_MANAGER")
    assert manager_path and os.path.exists(manager_path), "QUORVEL_E2E_SESSION_MANAGER names no program"
    manager = subprocess.Popen([manager_path], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    try:
        def said():
            return manager.stdout.readline().strip() if select.select([manager.stdout], [], [], 0.1)[0] else ""

        address = wait_until(said, "the session manager's address")
        folder = pictures("a.bmp")
        app = quorvel(str(folder), env={"SESSION_MANAGER": address})
        assert wait_until(said, "the program registered") == "registered"
        app.wait_placed()
        outer = app.geometry().outer
        sent = time.monotonic()
        manager.stdin.write("save\n")
        manager.stdin.flush()
        assert app.wait_exit(timeout=5) == 0
        assert time.monotonic() - sent < 1.0
        assert app.settings() == exit_settings(folder, outer)
        # Restarted with a later session, the program opens on the saved folder: no option of
        # Qt's, which it would take for a folder.
        told = [said() for _ in range(20)]
        assert f"restart {os.path.realpath(e2e.program_path())}" in told, told
    finally:
        manager.kill()
        manager.wait()
