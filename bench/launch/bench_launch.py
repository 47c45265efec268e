#!/usr/bin/python3
"""Start-up times, black-box: from exec until the window is on screen and painted.

Runs a private Xvfb (1024 x 768) with openbox. For each case every program is started in turn,
round after round; a run ends when the program's window with the expected title is mapped and
a screenshot of it shows its content: the picture's colour at the window's centre, or a filled
list (text in the right half of the window). Prints the median of each program and its ratio to
the others.

The programs run as on a desktop, with a session bus and the accessibility bus of their own
(--bus session: the session bus alone; --bus none: without any bus, so a Qt program that wants
one launches it itself).

Usage: bench_launch.py BUILD_DIR [--runs N] [--data DIR] [--display :N] [--quorvel PATH] [--compare PATH]
                       [--only CASE,...] [--bus desktop|none]
"""

import argparse
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

from Xlib import X, Xatom, display as xdisplay, error as xerror

ORANGE = (230, 120, 30)  # the pictures' colour (make_launch_data)
TIMEOUT = 20.0


def start_x(wanted, bus, tmp):
    """A private Xvfb with openbox, on the display given or the first free one; with bus="desktop"
    also a session bus and the accessibility bus, as every desktop runs them, with bus="session"
    the session bus alone. Returns (display
    name, the variables the programs get, processes)."""
    read_fd, write_fd = os.pipe()
    where = [wanted] if wanted else []
    xvfb = subprocess.Popen(
        ["Xvfb", *where, "-displayfd", str(write_fd), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
        pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
    os.close(write_fd)
    number = b""
    while not number.endswith(b"\n"):
        chunk = os.read(read_fd, 16)
        if not chunk:
            raise RuntimeError("Xvfb did not start")
        number += chunk
    os.close(read_fd)
    name = ":" + number.decode().strip()
    procs = [xvfb]
    extra = {}
    env = dict(os.environ, DISPLAY=name)
    # Whatever bus the bench itself runs under is not the programs' one.
    for k in ("DBUS_SESSION_BUS_ADDRESS", "AT_SPI_BUS_ADDRESS", "SESSION_MANAGER"):
        env.pop(k, None)
    try:
        d = xdisplay.Display(name)
        root = d.screen().root

        def wait_for_root_property(prop, what):
            """What sets the root window's property `prop` has started (within 10 s)."""
            atom = d.intern_atom(prop)
            deadline = time.monotonic() + 10
            while root.get_full_property(atom, X.AnyPropertyType) is None:
                if time.monotonic() > deadline:
                    raise RuntimeError(f"{what} did not start")
                time.sleep(0.05)

        if bus in ("desktop", "session"):
            # As tests/e2e/quorvel_e2e.py starts them: a session dbus-daemon and (bus="desktop") the
            # accessibility bus launcher, which publishes that bus as org.a11y.Bus and as AT_SPI_BUS on
            # the root window, as a desktop session autostarts it (--launch-immediately). Unlike the
            # e2e tests the programs are not asked to turn accessibility on; Qt's bridge connects to
            # that bus on its own when it finds AT_SPI_BUS, as on a desktop.
            runtime = os.path.join(tmp, "runtime")
            os.mkdir(runtime, 0o700)
            extra["XDG_RUNTIME_DIR"] = runtime
            env["XDG_RUNTIME_DIR"] = runtime
            daemon = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                                      env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                      start_new_session=True)
            procs.append(daemon)
            address = daemon.stdout.readline().decode().strip()
            if not address:
                raise RuntimeError("dbus-daemon did not start")
            extra["DBUS_SESSION_BUS_ADDRESS"] = env["DBUS_SESSION_BUS_ADDRESS"] = address
        if bus == "desktop":
            procs.append(subprocess.Popen(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"], env=env,
                                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                          start_new_session=True))
            wait_for_root_property("AT_SPI_BUS", "the accessibility bus")
        procs.append(subprocess.Popen(["openbox", "--sm-disable"], env=env,
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True))
        wait_for_root_property("_NET_SUPPORTING_WM_CHECK", "openbox")
    except BaseException:
        stop(procs)
        raise
    d.close()
    return name, extra, procs


def stop(procs):
    """Ends the processes started, last first, with whatever they started in their session (the
    accessibility bus launcher runs a dbus-daemon of its own)."""
    for p in reversed(procs):
        try:
            os.killpg(p.pid, signal.SIGTERM)
        except ProcessLookupError:
            pass
        try:
            p.wait(5)
        except subprocess.TimeoutExpired:
            os.killpg(p.pid, signal.SIGKILL)
            p.wait()


class Screen:
    def __init__(self, name):
        self.d = xdisplay.Display(name)
        self.root = self.d.screen().root
        self.client_list = self.d.intern_atom("_NET_CLIENT_LIST")
        self.net_name = self.d.intern_atom("_NET_WM_NAME")
        self.utf8 = self.d.intern_atom("UTF8_STRING")
        self.pid_atom = self.d.intern_atom("_NET_WM_PID")

    def clients(self):
        p = self.root.get_full_property(self.client_list, Xatom.WINDOW)
        return [] if p is None else [self.d.create_resource_object("window", w) for w in p.value]

    def title(self, w):
        p = w.get_full_property(self.net_name, self.utf8)
        if p is not None:
            return p.value.decode("utf-8", "replace")
        p = w.get_full_property(Xatom.WM_NAME, X.AnyPropertyType)
        return "" if p is None else p.value.decode("latin-1")

    def pid(self, w):
        try:
            p = w.get_full_property(self.pid_atom, Xatom.CARDINAL)
        except xerror.XError:  # gone meanwhile
            return None
        return None if p is None else p.value[0]

    def window_of(self, pid, wanted_title):
        for w in self.clients():
            try:
                if self.pid(w) == pid and wanted_title(self.title(w)):
                    if w.get_attributes().map_state == X.IsViewable:
                        return w
            except xerror.XError:
                pass
        return None

    def rect(self, w):
        g = w.get_geometry()
        t = w.translate_coords(self.root, 0, 0)
        return -t.x, -t.y, g.width, g.height

    def pixels(self, x, y, w, h):
        """Rows of (r, g, b) from the screen, clipped to it."""
        sw, sh = self.d.screen().width_in_pixels, self.d.screen().height_in_pixels
        x0, y0 = max(0, x), max(0, y)
        x1, y1 = min(sw, x + w), min(sh, y + h)
        if x1 <= x0 or y1 <= y0:
            return []
        img = self.root.get_image(x0, y0, x1 - x0, y1 - y0, X.ZPixmap, 0xFFFFFFFF)
        data, width = img.data, x1 - x0
        return [(data[i + 2], data[i + 1], data[i]) for i in range(0, width * (y1 - y0) * 4, 4)]


def shows_picture(screen, w):
    x, y, width, height = screen.rect(w)
    px = screen.pixels(x + width // 2 - 8, y + height // 2 - 8, 16, 16)
    if not px:
        return False
    mean = [sum(p[c] for p in px) / len(px) for c in range(3)]
    return all(abs(mean[c] - ORANGE[c]) < 30 for c in range(3))


def shows_filled_list(screen, w):
    # Dark text in the right half of the window: only a filled multi-column list puts it there.
    x, y, width, height = screen.rect(w)
    px = screen.pixels(x + width // 2, y + height // 4, width // 2 - 4, height // 2)
    return sum(1 for r, g, b in px if r + g + b < 200) >= 40


def time_one(screen, argv, env, wanted_title, painted):
    t0 = time.perf_counter()
    proc = subprocess.Popen(argv, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    elapsed = None
    try:
        while time.perf_counter() - t0 < TIMEOUT:
            w = screen.window_of(proc.pid, wanted_title)
            try:
                if w is not None and painted(screen, w):
                    elapsed = (time.perf_counter() - t0) * 1000.0
                    break
            except xerror.XError:
                pass
            if proc.poll() is not None:
                break
            time.sleep(0.001)
    finally:
        proc.send_signal(signal.SIGTERM)
        try:
            proc.wait(5)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
    # Let the window manager forget the window before the next start.
    deadline = time.monotonic() + 3
    while time.monotonic() < deadline and any(screen.pid(w) == proc.pid for w in screen.clients()):
        time.sleep(0.01)
    return elapsed


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("build")
    ap.add_argument("--runs", type=int, default=9)
    ap.add_argument("--data", default=os.path.join(tempfile.gettempdir(), "quorvel-bench-launch"))
    ap.add_argument("--display", default="", help="the X display to use, e.g. :159 (default: a free one)")
    ap.add_argument("--quorvel", default="", help="the program to time (default: BUILD_DIR/quorvel)")
    ap.add_argument("--compare", default="", help="another build of the program, timed alongside (e.g. the one before a change)")
    ap.add_argument("--only", default="", help="comma-separated case names")
    ap.add_argument("--bus", choices=("desktop", "session", "none"), default="desktop",
                    help="desktop: a session bus and the accessibility bus (default); session: the session "
                         "bus alone; none: no bus at all")
    args = ap.parse_args()
    build = os.path.abspath(args.build)
    data = args.data
    if not os.path.exists(os.path.join(data, "folder", "IMG_09999.jpg")):
        os.makedirs(data, exist_ok=True)
        subprocess.run([os.path.join(build, "bench", "make_launch_data"), data], check=True,
                       env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
    big, gif, folder = (os.path.join(data, n) for n in ("big.jpg", "small.gif", "folder"))
    quorvel = os.path.abspath(args.quorvel) if args.quorvel else os.path.join(build, "quorvel")
    bare_label = os.path.join(build, "bench", "bare_label")
    bare_list = os.path.join(build, "bench", "bare_list")

    def named(part):
        return lambda title: part in title

    # nsxiv titles its window with its own name; the path is in its status bar.
    nsxiv_title = named("nsxiv")

    cases = [
        ("6000x4000 JPEG", [
            ("Quorvel", [quorvel, big], named(big), shows_picture),
            ("nsxiv", ["nsxiv", big], nsxiv_title, shows_picture),
            ("bare Qt QLabel", [bare_label, big], named(big), shows_picture)]),
        ("320x240 GIF", [
            ("Quorvel", [quorvel, gif], named(gif), shows_picture),
            ("nsxiv", ["nsxiv", gif], nsxiv_title, shows_picture),
            ("bare Qt QLabel", [bare_label, gif], named(gif), shows_picture)]),
        ("folder of 10,000 pictures", [
            ("Quorvel", [quorvel, folder], named("Quorvel"), shows_filled_list),
            ("bare Qt list", [bare_list, folder], named(folder), shows_filled_list)]),
    ]
    if args.compare:
        other = os.path.abspath(args.compare)
        for _, programs in cases:
            first = programs[0]
            programs.insert(1, ("Quorvel compared", [other] + first[1][1:], first[2], first[3]))
    if args.only:
        keep = args.only.split(",")
        cases = [c for c in cases if any(k in c[0] for k in keep)]

    tmp = tempfile.mkdtemp(prefix="quorvel-bench-launch-")
    name, extra, procs = start_x(args.display, args.bus, tmp)
    # A private settings folder: the runs neither read nor change the user's settings.
    env = dict(os.environ, DISPLAY=name, XDG_CONFIG_HOME=os.path.join(tmp, "config"), HOME=tmp, **extra)
    for k in ("QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "AT_SPI_BUS_ADDRESS", "SESSION_MANAGER"):
        env.pop(k, None)
    if args.bus == "none":
        env.pop("DBUS_SESSION_BUS_ADDRESS", None)
    screen = Screen(name)
    failed = False
    try:
        buses = {"desktop": "session and accessibility buses", "session": "a session bus",
                 "none": "no bus"}[args.bus]
        print(f"Start until the window is mapped and painted; Xvfb 1024x768 + openbox, {buses}; "
              f"median of {args.runs} runs, ms")
        for case, programs in cases:
            # Warm the caches once, then interleave the programs round by round.
            for _, argv, title, painted in programs:
                time_one(screen, argv, env, title, painted)
            times = {p[0]: [] for p in programs}
            for _ in range(args.runs):
                for prog, argv, title, painted in programs:
                    t = time_one(screen, argv, env, title, painted)
                    if t is not None:
                        times[prog].append(t)
            medians = {}
            for prog, ts in times.items():
                if len(ts) < args.runs:
                    print(f"  {case}: {prog} did not show its window in {args.runs - len(ts)} of {args.runs} runs")
                    failed = True
                medians[prog] = statistics.median(ts) if ts else float("nan")
            print(f"{case}:")
            for prog, m in medians.items():
                spread = f"{min(times[prog]):.0f}-{max(times[prog]):.0f}" if times[prog] else "-"
                print(f"  {prog:16s} {m:8.1f}   (range {spread})")
            # Each build of the program against every other program, and the build against the one compared.
            ours = [p for p in medians if p.startswith("Quorvel")]
            for base in ours:
                for prog, m in medians.items():
                    if prog != base and (prog not in ours or base == ours[0]):
                        print(f"  {base} / {prog} = {medians[base] / m:.2f}")
            sys.stdout.flush()
    finally:
        screen.d.close()
        stop(procs)
        shutil.rmtree(tmp, ignore_errors=True)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
