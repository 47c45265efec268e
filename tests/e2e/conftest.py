"""Fixtures of the end-to-end tests: one private desktop per test process, one program per test."""

import os
import sys
from pathlib import Path

import pytest

# The e2e layer needs these; a missing one must fail the run, not skip it.
import pyatspi  # noqa: F401
import Xlib  # noqa: F401

sys.path.insert(0, str(Path(__file__).resolve().parent))
import quorvel_e2e as e2e  # noqa: E402


def pytest_configure(config):
    # pyatspi calls deprecated libatspi functions; that is not ours to fix.
    config.addinivalue_line("filterwarnings", "ignore::DeprecationWarning:pyatspi.*")


@pytest.fixture(scope="session")
def desktop():
    d = e2e.Desktop()
    # pyatspi and the program find the buses through the environment.
    os.environ.update(d.env)
    yield d
    d.close()


@pytest.fixture(scope="session")
def monitors_desktop():
    """A desktop of several monitors (Xorg), for a test file that takes it for its `desktop`;
    it starts as two 1024 x 768 monitors side by side, the left one primary (`set_monitors`
    splits it anew). Skipped where Xorg cannot run; `make deps` installs what it needs."""
    why = e2e.MonitorsDesktop.missing()
    if why:
        pytest.skip(why)
    try:
        d = e2e.MonitorsDesktop([("L", e2e.Rect(0, 0, 1024, 768)), ("R", e2e.Rect(1024, 0, 1024, 768))])
    except RuntimeError as e:
        pytest.skip(f"Xorg did not start: {str(e)[-2000:]}")
    os.environ.update(d.env)
    yield d
    d.close()


@pytest.fixture
def quorvel(desktop, tmp_path, request):
    """Starts the program: quorvel(*args, env=None, wait=True, home=None) -> App. All end after the test."""
    apps = []

    def start(*args, env=None, wait=True, home=None):
        # A hidden name keeps the home folder out of the folder list of a test's own folder.
        app = e2e.App(desktop, args, home or tmp_path / f".home{len(apps)}", env=env, wait=False)
        apps.append(app)
        if wait:
            app.browser = app.wait_window(lambda t: t.startswith("Quorvel"), what="the browser window")
            app.wait_for(lambda: app.accessible() is not None, "the program on the accessibility bus")
        return app

    yield start
    failed = getattr(request.node, "rep_call", None) is not None and request.node.rep_call.failed
    if failed:
        shots = Path(os.environ.get("QUORVEL_E2E_ARTIFACTS", tmp_path))
        shots.mkdir(parents=True, exist_ok=True)
        try:
            desktop.save_screenshot(shots / f"{request.node.name}.png")
        except Exception as e:  # a failed screenshot must not hide the failure itself
            print(f"screenshot failed: {e!r}")
    for app in apps:
        app.stop()
        if failed:
            print(f"--- stderr of {app.pid}:\n{app.stderr()[-3000:]}")


@pytest.fixture
def pictures(tmp_path):
    """pictures(*names, folder="pics") -> a fresh folder holding small pictures of those names."""
    def make(*names, folder="pics", size=(160, 120)):
        return e2e.write_pictures(tmp_path / folder, names, size)
    return make


@pytest.hookimpl(tryfirst=True, hookwrapper=True)
def pytest_runtest_makereport(item, call):
    outcome = yield
    rep = outcome.get_result()
    setattr(item, "rep_" + rep.when, rep)
