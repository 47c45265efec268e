"""Driving the real Quorvel on a private desktop, as a person would.

How to use it (pytest; conftest.py provides the fixtures):

    def test_something(quorvel, pictures):
        folder = pictures("a.bmp", "b.gif")          # a fresh folder with sample files
        app = quorvel(str(folder))                   # starts build/quorvel, waits for the browser
        app.wait_for(lambda: app.files() == ["a.bmp", "b.gif"], "files listed")
        app.key("Down")                              # real input through XTEST (xdotool)
        viewer = app.wait_window(str(folder / "a.bmp"))
        assert app.selected_file() == "a.bmp"       # read back through AT-SPI
        app.key("alt+f", "x"); assert app.wait_exit() == 0   # File > Exit; the process ends

The `desktop` fixture (one per test file) owns an Xvfb screen of 1024 x 768 x 24 at 96 DPI, openbox,
a private D-Bus session bus and the accessibility bus. `MonitorsDesktop` is the same on Xorg, split
into monitors, for a test file that takes `monitors_desktop` for its `desktop`. The `quorvel` fixture
starts the program with a fresh HOME, XDG_CONFIG_HOME and XDG_CACHE_HOME (home/cache) per test and
ends it after the test.

What the handle (`App`) offers:
  - windows: `wait_window(title)`, `windows()`, `browser` (the main X window), `wait_placed()` (framed
    and on the screen), `wait_active()` (has the keys), `activate(w)`;
  - X: `app.geometry(w)` (outer, client and frame extents); on `app.desktop`: `client_windows()` (the
    stacking order, bottom to top), `transient_for(w)`, `has_icon(w)`, `active_window()`, `title(w)`;
  - pixels: `desktop.screenshot()` (a `Shot` with `pixel(x, y)`; `save(path)` writes a PNG),
    `desktop.pointer_visible()`;
  - AT-SPI: `files()`, `folders()`, `drives()`, `drive()`, `selected_file()`, `menu_checked(name)`, `has_focus(name)`,
    `extents(acc)`, `entry_rects(list)`;
  - input: `key(...)`, `click(x, y)`, `drag(...)`, `click_entry(list, text)`;
  - `settings()` (the settings file as {"Section/Key": value}), `running()`, `wait_exit()`.
Every wait is a condition with a time-out (`wait_until`); a failed wait names what it waited for.
"""

from __future__ import annotations

import configparser
import os
import shutil
import signal
import struct
import subprocess
import tempfile
import time
from dataclasses import dataclass
from pathlib import Path

from Xlib import X, Xatom, display as xdisplay
from Xlib.error import XError

DEFAULT_TIMEOUT = 10.0


class WaitTimeout(AssertionError):
    pass


def wait_until(condition, what, timeout=DEFAULT_TIMEOUT, interval=0.02):
    """Polls `condition` until it returns something true and returns that; fails naming `what`
    (a text, or a function giving one when the wait fails, to tell what was there instead)."""
    start = time.monotonic()
    deadline = start + timeout
    last_error = None
    while True:
        try:
            value = condition()
            if value:
                if time.monotonic() - start > 2:  # shown with a failure's output: hints at load
                    print(f"slow wait ({time.monotonic() - start:.1f} s): {what() if callable(what) else what}")
                return value
        except (XError, RuntimeError, LookupError) as e:  # a window or object going away meanwhile
            last_error = e
        if time.monotonic() > deadline:
            if callable(what):
                try:
                    what = what()
                except Exception as e:  # the description must not hide the time-out
                    what = f"(no description: {e!r})"
            raise WaitTimeout(f"timed out after {timeout:.0f} s waiting for: {what}"
                              + (f" (last error: {last_error!r})" if last_error else ""))
        time.sleep(interval)


def slow_search_env():
    """The program's environment for a search that lasts: each folder listed waits 5 ms (the
    loaded helper library), so the few thousand folders below take seconds on any machine."""
    shim = os.environ.get("QUORVEL_E2E_SLOW_FOLDERS")
    assert shim and os.path.exists(shim), "QUORVEL_E2E_SLOW_FOLDERS names no library: run through ctest"
    return {"LD_PRELOAD": shim, "QUORVEL_E2E_FOLDER_DELAY_MS": "5",
            # a sanitized build checks that its own runtime is loaded first
            "ASAN_OPTIONS": os.environ.get("ASAN_OPTIONS", "") + ":verify_asan_link_order=0"}


def program_path() -> Path:
    path = os.environ.get("QUORVEL_BIN")
    if path:
        return Path(path)
    return Path(__file__).resolve().parents[2] / "build" / "quorvel"


# ---------------------------------------------------------------------------------------------
# The desktop

def _kill_group(proc: subprocess.Popen, timeout=3.0):
    if proc is None or proc.poll() is not None:
        return
    try:
        os.killpg(proc.pid, signal.SIGTERM)
    except ProcessLookupError:
        return
    try:
        proc.wait(timeout)
    except subprocess.TimeoutExpired:
        try:
            os.killpg(proc.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        proc.wait(timeout)


class Desktop:
    """A private X screen with a window manager and session and accessibility buses."""

    def __init__(self, width=1024, height=768):
        self.width, self.height = width, height
        self.tmp = Path(tempfile.mkdtemp(prefix="quorvel-e2e-desktop-"))
        self._procs: list[subprocess.Popen] = []
        try:
            self._start()
        except BaseException:
            self.close()
            raise

    def _spawn(self, args, **kw):
        proc = subprocess.Popen(args, start_new_session=True, **kw)
        self._procs.append(proc)
        return proc

    def _start_server(self, args, log):
        """Starts an X server that picks a free display itself and writes its number to the pipe,
        so parallel runs never race for one; returns the display's name."""
        rfd, wfd = os.pipe()
        self.server = self._spawn([*args, "-displayfd", str(wfd)], pass_fds=(wfd,), stdin=subprocess.DEVNULL,
                                  stdout=subprocess.DEVNULL, stderr=open(self.tmp / log, "wb"))
        os.close(wfd)
        number = b""
        with os.fdopen(rfd, "rb") as r:
            while not number.endswith(b"\n"):
                chunk = r.read(1)
                if not chunk:
                    raise RuntimeError(f"{args[0]} did not start: " + (self.tmp / log).read_text(errors="replace"))
                number += chunk
        return ":" + number.decode().strip()

    def _start_x(self):
        return self._start_server(["Xvfb", "-screen", "0", f"{self.width}x{self.height}x24", "-dpi", "96",
                                   "-nolisten", "tcp", "-noreset"], "xvfb.log")

    def _before_wm(self):
        """What the X screen needs before the window manager reads it."""

    def _start(self):
        self.display_name = self._start_x()
        self.env = {
            "DISPLAY": self.display_name,
            "HOME": str(self.tmp),
            "XDG_CONFIG_HOME": str(self.tmp / "config"),
            "XDG_RUNTIME_DIR": str(self.tmp / "runtime"),
        }
        (self.tmp / "runtime").mkdir(mode=0o700)
        self.x = xdisplay.Display(self.display_name)
        self.root = self.x.screen().root
        self.atom = _Atoms(self.x)
        self._before_wm()

        base_env = {**os.environ, **self.env}
        for k in ("DBUS_SESSION_BUS_ADDRESS", "AT_SPI_BUS_ADDRESS", "SESSION_MANAGER", "WAYLAND_DISPLAY"):
            base_env.pop(k, None)
        dbus = self._spawn(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                           stdout=subprocess.PIPE, stderr=open(self.tmp / "dbus.log", "wb"), env=base_env)
        address = dbus.stdout.readline().decode().strip()
        if not address:
            raise RuntimeError("dbus-daemon did not start")
        self.env["DBUS_SESSION_BUS_ADDRESS"] = address
        base_env["DBUS_SESSION_BUS_ADDRESS"] = address

        self._start_wm(base_env)
        # The accessibility bus: the launcher publishes its address on the root window
        # (AT_SPI_BUS) and as org.a11y.Bus on the session bus; both the program's bridge and
        # pyatspi find it there.
        self._spawn(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"], env=base_env,
                    stdout=subprocess.DEVNULL, stderr=open(self.tmp / "at-spi.log", "wb"))
        wait_until(self._wm_running, "openbox managing the screen")
        # pyatspi (in this process) is pointed at the bus directly. The program is not: Qt 6.4's
        # bridge, given AT_SPI_BUS_ADDRESS, connects but never registers its application; asked
        # through org.a11y.Bus on the session bus, it does.
        self.env["AT_SPI_BUS_ADDRESS"] = wait_until(lambda: self._root_text("AT_SPI_BUS"),
                                                    "the accessibility bus address")
        self.base_env = base_env

    def _start_wm(self, env):
        self.wm = self._spawn(["openbox", "--sm-disable"], env=env, stdout=subprocess.DEVNULL,
                              stderr=open(self.tmp / "openbox.log", "ab"))

    def _wm_running(self):
        prop = self.root.get_full_property(self.atom["_NET_SUPPORTING_WM_CHECK"], X.AnyPropertyType)
        return prop is not None and len(prop.value) > 0 and prop.value[0]

    def _root_text(self, name):
        prop = self.root.get_full_property(self.atom[name], X.AnyPropertyType)
        if prop is None:
            return None
        v = prop.value
        return (v.decode() if isinstance(v, bytes) else str(v)).strip("\0") or None

    def close(self):
        try:
            if getattr(self, "x", None):
                self.x.close()
        except Exception:
            pass
        for proc in reversed(self._procs):
            _kill_group(proc)
        shutil.rmtree(self.tmp, ignore_errors=True)

    # -- X reads -------------------------------------------------------------------------------

    def sync(self):
        self.x.sync()

    def client_windows(self):
        """Top-level client windows the window manager manages, bottom to top."""
        prop = self.root.get_full_property(self.atom["_NET_CLIENT_LIST_STACKING"], Xatom.WINDOW)
        return [self.x.create_resource_object("window", w) for w in (prop.value if prop else [])]

    def title(self, w):
        prop = w.get_full_property(self.atom["_NET_WM_NAME"], self.atom["UTF8_STRING"])
        if prop is not None:
            return prop.value.decode("utf-8", "replace")
        name = w.get_wm_name()
        return name if isinstance(name, str) else (name or b"").decode("latin-1")

    def pid_of(self, w):
        prop = w.get_full_property(self.atom["_NET_WM_PID"], Xatom.CARDINAL)
        return prop.value[0] if prop else None

    def is_viewable(self, w):
        return w.get_attributes().map_state == X.IsViewable

    def geometry(self, w) -> "Geometry":
        g = w.get_geometry()
        pos = w.translate_coords(self.root, 0, 0)
        client = Rect(-pos.x, -pos.y, g.width, g.height)
        ext = w.get_full_property(self.atom["_NET_FRAME_EXTENTS"], Xatom.CARDINAL)
        left, right, top, bottom = (list(ext.value) if ext else [0, 0, 0, 0])
        outer = Rect(client.x - left, client.y - top, client.w + left + right, client.h + top + bottom)
        return Geometry(outer=outer, client=client, frame=(left, right, top, bottom))

    def transient_for(self, w):
        t = w.get_wm_transient_for()
        return t.id if t else None

    def has_icon(self, w):
        prop = w.get_full_property(self.atom["_NET_WM_ICON"], Xatom.CARDINAL)
        return prop is not None and len(prop.value) > 2

    def active_window(self):
        prop = self.root.get_full_property(self.atom["_NET_ACTIVE_WINDOW"], Xatom.WINDOW)
        return prop.value[0] if prop and len(prop.value) else None

    def screenshot(self) -> "Shot":
        img = self.root.get_image(0, 0, self.width, self.height, X.ZPixmap, 0xFFFFFFFF)
        return Shot(self.width, self.height, img.data)

    def save_screenshot(self, path):
        self.screenshot().save(path)

    def pointer_visible(self):
        """Whether the pointer on the screen now has a pixel that is not transparent."""
        if not getattr(self, "_xfixes", False):
            self.x.xfixes_query_version()  # the server wants this before any other request
            self._xfixes = True
        image = self.x.xfixes_get_cursor_image(None).cursor_image
        return any(argb >> 24 for argb in image)

    # -- input ---------------------------------------------------------------------------------

    def xdotool(self, *args):
        subprocess.run(["xdotool", *map(str, args)], env=self.base_env, check=True)

    def key(self, *keys):
        self.xdotool("key", "--delay", "30", *keys)

    def pointer(self):
        p = self.root.query_pointer()
        return p.root_x, p.root_y

    def move(self, x, y):
        # Not `mousemove --sync`: it waits for a motion that never comes when the pointer is
        # already there.
        x, y = int(x), int(y)
        if self.pointer() != (x, y):
            self.xdotool("mousemove", x, y)
            wait_until(lambda: self.pointer() == (x, y), f"the pointer at {x},{y}")

    def click(self, x, y, button=1):
        self.move(x, y)
        self.xdotool("click", button)

    def drag(self, x0, y0, x1, y1, steps=8):
        self.move(x0, y0)
        self.xdotool("mousedown", 1)
        for i in range(1, steps + 1):
            self.move(x0 + (x1 - x0) * i // steps, y0 + (y1 - y0) * i // steps)
        self.xdotool("mouseup", 1)


class MonitorsDesktop(Desktop):
    """A desktop of several monitors: Xvfb cannot split its screen, so this runs Xorg with the
    dummy video driver and splits its screen with RandR monitors (`xrandr --setmonitor`), which
    Qt takes for screens and openbox for heads. Otherwise the same desktop as `Desktop`.

    `monitors` is a sequence of (name, Rect), the first the primary; the X screen is as large
    as the monitors together. Each size must be one of the dummy driver's modes (1024x768,
    1280x1024 and other common ones)."""

    XORG_CONF = """
Section "ServerFlags"
    Option "AutoAddDevices" "false"
    Option "AutoEnableDevices" "false"
    Option "DontVTSwitch" "true"
EndSection
Section "Device"
    Identifier "dummy"
    Driver "dummy"
    VideoRam 65536
EndSection
Section "Monitor"
    Identifier "monitor"
    HorizSync 5.0 - 1000.0
    VertRefresh 5.0 - 200.0
EndSection
Section "Screen"
    Identifier "screen"
    Device "dummy"
    Monitor "monitor"
    DefaultDepth 24
    SubSection "Display"
        Depth 24
        Virtual 3072 1024
        Modes "1024x768"
    EndSubSection
EndSection
"""

    @staticmethod
    def missing():
        """Why this desktop cannot run here, or None."""
        if not _xorg_binary():
            return "no Xorg (Debian package xserver-xorg-core)"
        if not Path("/usr/lib/xorg/modules/drivers/dummy_drv.so").exists():
            return "no dummy video driver (Debian package xserver-xorg-video-dummy)"
        if not shutil.which("xrandr"):
            return "no xrandr (Debian package x11-xserver-utils)"
        return None

    def __init__(self, monitors):
        self.monitors = ()
        self._modes = {(0, "1024x768")}
        self._wanted = tuple(monitors)
        super().__init__(*_extent(self._wanted))

    def _start_x(self):
        conf = self.tmp / "xorg.conf"
        conf.write_text(self.XORG_CONF)
        (self.tmp / "xorg.conf.d").mkdir()
        # No console of its own (none in CI): it shares the caller's and never switches to one;
        # the input devices are XTEST's alone.
        return self._start_server([_xorg_binary(), "-config", str(conf), "-configdir", str(self.tmp / "xorg.conf.d"),
                                   "-logfile", str(self.tmp / "xorg.log"), "-novtswitch", "-keeptty", "-sharevts",
                                   "-nolisten", "tcp", "-noreset", "-dpi", "96"], "xorg.out")

    def _before_wm(self):
        self._split(self._wanted)

    def _xrandr(self, *args):
        env = {**os.environ, "DISPLAY": self.display_name}
        subprocess.run(["xrandr", *map(str, args)], env=env, check=True, capture_output=True)

    def _split(self, monitors):
        width, height = _extent(monitors)
        for name, _ in self.monitors:
            self._xrandr("--delmonitor", name)
        # Each monitor on a dummy output of its own: the pointer only goes where some output shows.
        # Kept at 96 DPI whatever the screen's size, as the tests count 15 twips a pixel.
        args = ["--fb", f"{width}x{height}", "--dpi", 96]
        for i in range(len(monitors), len(self.monitors)):
            args += ["--output", f"DUMMY{i}", "--off"]
        for i, (name, r) in enumerate(monitors):
            mode = f"{r.w}x{r.h}"
            if (i, mode) not in self._modes:  # the outputs but the first have no modes of their own
                self._xrandr("--addmode", f"DUMMY{i}", mode)
                self._modes.add((i, mode))
            args += ["--output", f"DUMMY{i}", "--mode", mode, "--pos", f"{r.x}x{r.y}"] + (["--primary"] if i == 0 else [])
        self._xrandr(*args)
        for i, (name, r) in enumerate(monitors):
            mm = f"{r.w}/{round(r.w * 25.4 / 96)}x{r.h}/{round(r.h * 25.4 / 96)}+{r.x}+{r.y}"
            self._xrandr("--setmonitor", ("*" if i == 0 else "") + name, mm, f"DUMMY{i}")
        self.monitors = tuple(monitors)
        self.width, self.height = width, height

    def set_monitors(self, monitors):
        """Splits the screen anew, between runs of the program; the window manager starts again,
        so that it places windows by the new monitors."""
        monitors = tuple(monitors)
        if monitors == self.monitors:
            return
        self._split(monitors)
        _kill_group(self.wm)
        # Its successor may well get the same window id for the property: gone, it tells.
        self.root.delete_property(self.atom["_NET_SUPPORTING_WM_CHECK"])
        self.sync()
        self._start_wm(self.base_env)
        wait_until(self._wm_running, "openbox managing the new monitors")

    def unplug(self, name):
        """A monitor unplugged while programs run: it goes, and the screen shrinks to the rest."""
        output = f"DUMMY{[m[0] for m in self.monitors].index(name)}"
        rest = tuple(m for m in self.monitors if m[0] != name)
        self._xrandr("--delmonitor", name)
        width, height = _extent(rest)
        self._xrandr("--output", output, "--off", "--fb", f"{width}x{height}", "--dpi", 96)
        self.monitors = rest
        self.width, self.height = width, height

    def monitor(self, name):
        return dict(self.monitors)[name]


def _xorg_binary():
    # The server itself, not Debian's wrapper: that one wants a console for anyone but root.
    direct = "/usr/lib/xorg/Xorg"
    return direct if os.access(direct, os.X_OK) else shutil.which("Xorg")


def _extent(monitors):
    return (max(r.x + r.w for _, r in monitors), max(r.y + r.h for _, r in monitors))


class _Atoms(dict):
    def __init__(self, x):
        super().__init__()
        self._x = x

    def __missing__(self, name):
        atom = self._x.intern_atom(name)
        self[name] = atom
        return atom


@dataclass(frozen=True)
class Rect:
    x: int
    y: int
    w: int
    h: int

    @property
    def center(self):
        return self.x + self.w // 2, self.y + self.h // 2


@dataclass(frozen=True)
class Geometry:
    outer: Rect
    client: Rect
    frame: tuple  # left, right, top, bottom


class Shot:
    """A screenshot of the whole screen (32-bit BGRX from the X server)."""

    def __init__(self, width, height, data):
        self.width, self.height, self.data = width, height, bytes(data)

    def pixel(self, x, y):
        i = (y * self.width + x) * 4
        b, g, r = self.data[i], self.data[i + 1], self.data[i + 2]
        return r, g, b

    def save(self, path):
        # A binary PPM converted by ImageMagick keeps this free of imaging modules.
        ppm = bytearray(f"P6 {self.width} {self.height} 255\n".encode())
        rgb = bytearray(self.width * self.height * 3)
        rgb[0::3] = self.data[2::4]
        rgb[1::3] = self.data[1::4]
        rgb[2::3] = self.data[0::4]
        ppm += rgb
        path = Path(path)
        if shutil.which("convert"):
            subprocess.run(["convert", "ppm:-", f"png:{path}"], input=bytes(ppm), check=True)
        else:
            path.with_suffix(".ppm").write_bytes(bytes(ppm))


# ---------------------------------------------------------------------------------------------
# Accessibility

_atspi = None


def atspi():
    """pyatspi, imported once the desktop's buses are in the environment (it connects on use)."""
    global _atspi
    if _atspi is None:
        import pyatspi  # noqa: WPS433 (import late on purpose)
        _atspi = pyatspi
    return _atspi


def _children(acc):
    try:
        n = acc.childCount
    except Exception:
        return []
    out = []
    for i in range(n):
        try:
            c = acc.getChildAtIndex(i)
        except Exception:
            c = None
        if c is not None:
            out.append(c)
    return out


def find_accessible(root, predicate, max_depth=12):
    """Depth-first search below `root` for the first accessible that `predicate` accepts.
    The entries of lists are not searched (a folder of many files would make every search slow)."""
    if root is None:
        return None
    A = atspi()
    leaves = (A.ROLE_LIST, A.ROLE_LIST_BOX, A.ROLE_TABLE, A.ROLE_TREE, A.ROLE_TREE_TABLE, A.ROLE_COMBO_BOX)
    stack = [(root, 0)]
    while stack:
        acc, depth = stack.pop()
        try:
            if predicate(acc):
                return acc
            if acc.getRole() in leaves:
                continue
        except Exception:
            continue
        if depth < max_depth:
            stack.extend((c, depth + 1) for c in reversed(_children(acc)))
    return None


def _fresh(acc):
    try:
        acc.clearCache()
    except Exception:
        try:
            acc.clear_cache()
        except Exception:
            pass
    return acc


# ---------------------------------------------------------------------------------------------
# The program

class App:
    """One run of build/quorvel on the desktop."""

    def __init__(self, desktop: Desktop, args, home: Path, env=None, wait=True, stdin=None):
        self.desktop = desktop
        self.home = Path(home)
        self.config = self.home / "config"
        self.config.mkdir(parents=True, exist_ok=True)
        # The thumbnail cache too: a test must neither fill the user's nor find thumbnails it did not make.
        self.env = {**desktop.base_env, "HOME": str(self.home), "XDG_CONFIG_HOME": str(self.config),
                    "XDG_CACHE_HOME": str(self.home / "cache"),
                    "QT_QPA_PLATFORM": "xcb", "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
                    "QT_ACCESSIBILITY": "1", "NO_AT_BRIDGE": "0", "LANG": "C.UTF-8", "LC_ALL": "C.UTF-8"}
        for k in ("QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS", "QT_FONT_DPI", "QT_AUTO_SCREEN_SCALE_FACTOR",
                  "QT_ENABLE_HIGHDPI_SCALING", "QT_DEBUG_PLUGINS"):
            self.env.pop(k, None)
        self.env.update(env or {})
        self.stdout_path = self.home / "quorvel.out"
        self.stderr_path = self.home / "quorvel.err"
        self.proc = subprocess.Popen([str(program_path()), *map(str, args)], env=self.env,
                                     stdin=stdin if stdin is not None else subprocess.DEVNULL,
                                     stdout=open(self.stdout_path, "wb"), stderr=open(self.stderr_path, "wb"),
                                     start_new_session=True, cwd=str(self.home))
        self._app_acc = None
        self._named = {}
        self.browser = None
        if wait:
            self.browser = self.wait_window(lambda t: t.startswith("Quorvel"), what="the browser window")
            self.wait_for(lambda: self.accessible() is not None, "the program on the accessibility bus")

    # -- the process ---------------------------------------------------------------------------

    @property
    def pid(self):
        return self.proc.pid

    def running(self):
        return self.proc.poll() is None

    def wait_exit(self, timeout=DEFAULT_TIMEOUT):
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            raise WaitTimeout(f"the program still runs {timeout:.0f} s later "
                              f"(windows: {self.window_titles()})") from None

    def stderr(self):
        return self.stderr_path.read_text(errors="replace")

    def stop(self):
        _kill_group(self.proc)

    # -- windows -------------------------------------------------------------------------------

    def windows(self, viewable=True):
        """The program's managed top-level windows, bottom to top."""
        out = []
        for w in self.desktop.client_windows():
            try:
                if self.desktop.pid_of(w) == self.pid and (not viewable or self.desktop.is_viewable(w)):
                    out.append(w)
            except XError:
                pass
        return out

    def window_titles(self):
        return [self.desktop.title(w) for w in self.windows()]

    def find_window(self, title):
        match = title if callable(title) else (lambda t: t == title)
        for w in reversed(self.windows()):
            if match(self.desktop.title(w)):
                return w
        return None

    def wait_window(self, title, timeout=DEFAULT_TIMEOUT, what=None):
        """Waits until a shown window of the program has this title (or the predicate accepts it)."""
        return wait_until(lambda: self._check_alive() and self.find_window(title),
                          what or (lambda: f"a window titled {title!r} (have {self.window_titles()})"), timeout)

    def wait_no_window(self, title, timeout=DEFAULT_TIMEOUT):
        wait_until(lambda: self.find_window(title) is None, f"no window titled {title!r}", timeout)

    def _check_alive(self):
        if not self.running():
            raise AssertionError(f"the program ended (status {self.proc.returncode}): {self.stderr()[-2000:]}")
        return True

    def geometry(self, w=None):
        return self.desktop.geometry(w or self.browser)

    # -- accessibility -------------------------------------------------------------------------

    def accessible(self):
        if self._app_acc is not None:
            return self._app_acc
        desktop = atspi().Registry.getDesktop(0)
        for app in _children(_fresh(desktop)):
            try:
                if app.get_process_id() == self.pid:
                    self._app_acc = app
                    return app
            except Exception:
                pass
        return None

    def find(self, predicate, what="an accessible"):
        return wait_until(lambda: find_accessible(self.accessible(), predicate), what)

    def named(self, name):
        """The control with this accessible name (looked up once, then kept)."""
        acc = self._named.get(name)
        try:
            if acc is not None and acc.name == name:
                return acc
        except Exception:
            pass
        acc = self.find(lambda a: a.name == name, f"an accessible named {name!r}")
        self._named[name] = acc
        return acc

    def list_entries(self, name):
        lst = _fresh(self.named(name))
        return [(_fresh(c).name) for c in _children(lst)]

    def files(self):
        return self.list_entries("Files")

    def folders(self):
        return self.list_entries("Folders")

    def drive_list(self):
        # A drop-down list is named after its current text, not its accessible name.
        acc = self._named.get("<drives>")
        if acc is None:
            acc = self.find(lambda a: a.getRole() == atspi().ROLE_COMBO_BOX, "the drive list")
            self._named["<drives>"] = acc
        return _fresh(acc)

    def drives(self):
        """The drive list's entries."""
        popup = _children(self.drive_list())
        return [_fresh(c).name for c in _children(_fresh(popup[0]))] if popup else []

    def drive(self):
        """The chosen drive."""
        return self.drive_list().name

    def selected(self, list_name):
        """Names of the selected entries of a list."""
        lst = _fresh(self.named(list_name))
        try:
            sel = lst.querySelection()
            return [sel.getSelectedChild(i).name for i in range(sel.nSelectedChildren)]
        except NotImplementedError:
            st = atspi().STATE_SELECTED
            return [c.name for c in _children(lst) if _fresh(c).getState().contains(st)]

    def selected_file(self):
        sel = self.selected("Files")
        return sel[0] if sel else None

    def menu_item(self, name):
        A = atspi()
        return self.find(lambda a: a.name == name and a.getRole() in
                         (A.ROLE_MENU_ITEM, A.ROLE_CHECK_MENU_ITEM, A.ROLE_RADIO_MENU_ITEM),
                         f"the menu item {name!r}")

    def menu_checked(self, name):
        item = _fresh(self.menu_item(name))
        return item.getState().contains(atspi().STATE_CHECKED)

    def has_focus(self, name):
        """Whether the control with this accessible name ("Drives" for the drive list) has the keys."""
        acc = self.drive_list() if name == "Drives" else _fresh(self.named(name))
        return acc.getState().contains(atspi().STATE_FOCUSED)

    def entry(self, list_name, name):
        """The accessible of the list entry with this text."""
        lst = _fresh(self.named(list_name))
        for c in _children(lst):
            if _fresh(c).name == name:
                return c
        raise LookupError(f"no entry {name!r} in {list_name}")

    def entry_rects(self, list_name):
        """[(text, Rect)] of a list's entries, as the list lays them out on the screen."""
        lst = _fresh(self.named(list_name))
        offset = self.window_offset(lst)
        return [(c.name, self.extents(_fresh(c), offset)) for c in _children(lst)]

    def click_entry(self, list_name, name, button=1, dx=0):
        """Clicks an entry, `dx` pixels right of its middle (a second click more than a few pixels
        from the first is never taken for a double-click)."""
        r = self.extents(self.entry(list_name, name))
        self.click(r.center[0] + dx, r.center[1], button=button)

    def extents(self, acc, offset=None):
        """An accessible's rectangle on the screen, where a person sees it. The program's own idea
        of where its window is can lag behind a move by the window manager, and the screen
        positions it reports through AT-SPI with it; so the rectangle is taken relative to its
        window and placed where the X server has that window. `offset` (from `window_offset`)
        saves looking the window up again for many accessibles of one window."""
        e = acc.queryComponent().getExtents(atspi().DESKTOP_COORDS)
        dx, dy = self.window_offset(acc) if offset is None else offset
        return Rect(e.x + dx, e.y + dy, e.width, e.height)

    def window_offset(self, acc):
        """What to add to the screen positions the program reports for the accessibles of one
        window: (0, 0) when it knows where the window is, or when the window cannot be told."""
        A = atspi()
        top, parent = acc, acc.parent
        for _ in range(40):
            if parent is None or parent.getRole() == A.ROLE_APPLICATION:
                break
            top, parent = parent, parent.parent
        e = top.queryComponent().getExtents(A.DESKTOP_COORDS)
        # The X window of the same size (the title may differ: an untitled window is shown with
        # the program's name).
        same = []
        for w in self.windows():
            try:
                g = w.get_geometry()
                if (g.width, g.height) == (e.width, e.height):
                    same.append(w)
            except XError:
                pass
        if len(same) > 1:
            same = [w for w in same if self.desktop.title(w) == (top.name or "")]
        if len(same) != 1:
            return 0, 0
        client = self.desktop.geometry(same[0]).client
        return client.x - e.x, client.y - e.y

    # -- input ---------------------------------------------------------------------------------

    def wait_for(self, condition, what, timeout=DEFAULT_TIMEOUT):
        return wait_until(lambda: self._check_alive() and condition(), what, timeout)

    def key(self, *keys):
        self.desktop.key(*keys)

    def click(self, x, y, button=1):
        self.desktop.click(x, y, button)

    def drag(self, x0, y0, x1, y1, steps=8):
        self.desktop.drag(x0, y0, x1, y1, steps)

    def wait_placed(self, w=None, timeout=DEFAULT_TIMEOUT):
        """Waits until the window manager has framed a window (the browser by default) and the whole
        frame is on the screen: the browser places itself again once it knows its frame."""
        w = w or self.browser
        d = self.desktop

        def placed():
            g = d.geometry(w)
            o = g.outer
            return (g.frame[2] > 0 and o.x >= 0 and o.y >= 0 and o.x + o.w <= d.width
                    and o.y + o.h <= d.height and g)
        return self.wait_for(placed, f"window {w.id:#x} framed and on the screen", timeout)

    def wait_active(self, w=None, timeout=DEFAULT_TIMEOUT):
        """Waits until the window manager has given a window (the browser by default) the keys."""
        w = w or self.browser
        return self.wait_for(lambda: self.desktop.active_window() == w.id, f"window {w.id:#x} active", timeout)

    def activate(self, w=None):
        """Gives a window the keys, the way a click on its title bar would."""
        w = w or self.browser
        self.desktop.xdotool("windowactivate", "--sync", w.id)

    # -- settings ------------------------------------------------------------------------------

    @property
    def settings_path(self):
        return self.config / "Quorvel" / "Quorvel.conf"

    def settings(self):
        return read_settings(self.settings_path)


def read_settings(path):
    """The settings file as {"Section/Key": text}; empty when there is none."""
    path = Path(path)
    if not path.exists():
        return {}
    cp = configparser.RawConfigParser(strict=False, interpolation=None)
    cp.optionxform = str
    cp.read_string(path.read_text(errors="surrogateescape"))
    out = {}
    for section in cp.sections():
        for key, value in cp.items(section):
            if len(value) >= 2 and value[0] == value[-1] == '"':
                value = value[1:-1]
            out[f"{section}/{key}"] = value
    return out


# ---------------------------------------------------------------------------------------------
# Sample pictures

def bmp_bytes(width=4, height=3, rgb=(255, 0, 0)):
    """A 24-bit BMP of one colour."""
    row = bytes((rgb[2], rgb[1], rgb[0])) * width
    row += b"\0" * ((4 - len(row) % 4) % 4)
    pixels = row * height
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 3780, 3780, 0, 0)
    return header + info + pixels


def gif_bytes(rgb=(0, 0, 255)):
    """A 1 x 1 GIF of one colour."""
    return (b"GIF89a" + struct.pack("<HHBBB", 1, 1, 0x80, 0, 0) + bytes(rgb) + b"\0\0\0"
            + b",\0\0\0\0\1\0\1\0\0" + b"\2\2D\1\0;")


def write_pictures(folder, names, size=(4, 3)):
    """Writes each name as a small picture (a BMP, or a GIF for .gif names); returns the folder."""
    folder = Path(folder)
    folder.mkdir(parents=True, exist_ok=True)
    for i, name in enumerate(names):
        colour = ((37 * i) % 256, (91 * i + 40) % 256, (53 * i + 90) % 256)
        data = gif_bytes(colour) if name.lower().endswith(".gif") else bmp_bytes(*size, colour)
        (folder / name).write_bytes(data)
    return folder
