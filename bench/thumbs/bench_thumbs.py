#!/usr/bin/python3
"""Thumbnail timings, on a private Xvfb (1024 x 768) with openbox, against nsxiv's thumbnail mode
and a bare QImageReader loop, all in the same run, round after round; medians and ratios.

Folders (made once by make_thumb_photos, kept under DATA): N camera-like photos (4000 x 3000,
2-5 MB, every second one with an Exif thumbnail) and SMALL tiny pictures.

Quorvel is timed through its trace: with QUORVEL_BENCH_TRACE=FILE it appends lines
"<ms> <event>" (ms of CLOCK_MONOTONIC, as QElapsedTimer::msecsSinceReference() gives; a value
smaller than the time of the start is taken as ms since the process started). Events:
  list-shown       the file list is filled and painted
  screenful-drawn  every visible cell shows its thumbnail or its final mark
  all-drawn        every file of the folder has its thumbnail made or loaded into the view
  last-visible     the folder's last file is in view (after scrolling)
  stall <ms>       the window's thread was busy for <ms> (> 16) without handling events
A program that writes no trace is reported as n/a.

Usage: bench_thumbs.py BUILD_DIR [--n N] [--small M] [--runs R] [--data DIR] [--display :N]
                       [--quorvel PATH] [--compare PATH]
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "launch"))
from bench_launch import Screen, shows_filled_list, start_x, stop  # noqa: E402

from Xlib import X, XK, error as xerror  # noqa: E402
from Xlib.ext import xtest  # noqa: E402

NO_TRACE_AFTER = 20.0      # s without a trace file: the program does not write one
COLD_LIMIT = 900.0         # s for one cold pass over the photos
SCROLL_LIMIT = 600.0       # s of PageDown before giving up on reaching the end
KEY_INTERVAL = 0.030       # s between PageDown presses: a held key repeating 33 times a second
SETTLE = 2.0               # s watched after the end is reached (the last screens' thumbnails)


def now_ms():
    return time.monotonic() * 1000.0


class Trace:
    """The events of one run, in ms since the harness started the program."""

    def __init__(self, path, started_ms):
        self.path, self.started = path, started_ms
        self.events, self.stalls = {}, []  # first time of each event; (time, length) of stalls
        self.offset, self.partial = 0, b""

    def exists(self):
        return os.path.exists(self.path)

    def read(self):
        try:
            with open(self.path, "rb") as f:
                f.seek(self.offset)
                data = f.read()
        except FileNotFoundError:
            return
        self.offset += len(data)
        lines = (self.partial + data).split(b"\n")
        self.partial = lines.pop()
        for line in lines:
            fields = line.decode("utf-8", "replace").split()
            if len(fields) < 2:
                continue
            try:
                stamp = float(fields[0])
            except ValueError:
                continue
            at = stamp - self.started if stamp >= self.started - 1000 else stamp
            if fields[1] == "stall" and len(fields) > 2:
                try:
                    self.stalls.append((at, float(fields[2])))
                except ValueError:
                    pass
            else:
                self.events.setdefault(fields[1], at)

    def get(self, event):
        return self.events.get(event)

    def max_stall(self, since=0.0):
        return max((length for at, length in self.stalls if at >= since), default=0.0)


def rss_mib(pid):
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1]) / 1024.0
    except (FileNotFoundError, ProcessLookupError):
        pass
    return None


def count_files(folder, suffix=""):
    """Regular files in folder and below whose names end in suffix (and do not start with a dot)."""
    n = 0
    for root, _, files in os.walk(folder):
        n += sum(1 for f in files if f.endswith(suffix) and not f.startswith("."))
    return n


def end(proc):
    proc.terminate()
    try:
        proc.wait(10)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()


def fresh(path):
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path)


class Quorvel:
    """Starts the program with a private home, settings and cache."""

    def __init__(self, binary, env, home):
        self.binary, self.home = binary, home
        self.cache = os.path.join(home, "cache")
        self.thumbs = os.path.join(self.cache, "thumbnails", "normal")
        self.env = dict(env, HOME=home, XDG_CONFIG_HOME=os.path.join(home, "config"), XDG_CACHE_HOME=self.cache)
        self.has_trace = None  # unknown until the first run

    def start(self, folder, thumbnails, empty_cache):
        if empty_cache:
            fresh(self.cache)
        config = os.path.join(self.home, "config", "Quorvel")
        fresh(config)
        with open(os.path.join(config, "Quorvel.conf"), "w") as f:
            # The browser covers the whole 1024 x 768 screen (15 twips a pixel).
            f.write(f"[Settings]\nThumbnails={1 if thumbnails else 0}\nPathName={folder}/\n"
                    "WindowPosition=\"0,0,15360,11520\"\n")
        trace_path = os.path.join(self.home, "trace.txt")
        if os.path.exists(trace_path):
            os.remove(trace_path)
        started = now_ms()
        proc = subprocess.Popen([self.binary, folder], env=dict(self.env, QUORVEL_BENCH_TRACE=trace_path),
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return proc, Trace(trace_path, started), started

    def traced(self, trace, started):
        """False once the program has run long enough without writing its trace."""
        if self.has_trace is None:
            if trace.exists():
                self.has_trace = True
            elif now_ms() - started > NO_TRACE_AFTER * 1000:
                self.has_trace = False
        return self.has_trace is not False


def cold_and_warm(q, folder, n):
    """One cold pass (empty cache) and one warm pass over the photos; a dict of figures in ms."""
    out = {}
    proc, trace, started = q.start(folder, True, True)
    cached_at = None
    try:
        while now_ms() - started < COLD_LIMIT * 1000 and q.traced(trace, started) and proc.poll() is None:
            trace.read()
            if cached_at is None and count_files(q.thumbs, ".png") >= n:
                cached_at = now_ms() - started
            if cached_at is not None and trace.get("all-drawn") is not None:
                break
            time.sleep(0.02)
        trace.read()
    finally:
        end(proc)
    if not q.has_trace:
        return out
    out["cold list"] = trace.get("list-shown")
    if trace.get("screenful-drawn") is not None and out["cold list"] is not None:
        out["cold screenful"] = trace.get("screenful-drawn") - out["cold list"]
    out["cold cached"] = cached_at
    out["cold drawn"] = trace.get("all-drawn")
    out["cold stall"] = trace.max_stall()
    if cached_at is None:
        return out
    proc, trace, started = q.start(folder, True, False)
    try:
        while now_ms() - started < 60000 and proc.poll() is None:
            trace.read()
            if trace.get("all-drawn") is not None and trace.get("screenful-drawn") is not None:
                break
            time.sleep(0.01)
        trace.read()
    finally:
        end(proc)
    listed = trace.get("list-shown")
    if listed is not None:
        for key, event in (("warm screenful", "screenful-drawn"), ("warm drawn", "all-drawn")):
            if trace.get(event) is not None:
                out[key] = trace.get(event) - listed
    out["warm stall"] = trace.max_stall()
    return out


def nsxiv_cold(screen, env, home, folder, n):
    """nsxiv -t with an emptied cache: ms until its window is mapped, until the window's cells stop
    changing (its first screenful: later thumbnails are out of view), and until all n are cached."""
    cache = os.path.join(home, "nsxiv-cache")
    fresh(cache)
    started = now_ms()
    proc = subprocess.Popen(["nsxiv", "-t", "-g", "1024x768+0+0", folder], env=dict(env, XDG_CACHE_HOME=cache),
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    mapped = changed = cached = None
    last_image, watching = None, True
    try:
        while now_ms() - started < COLD_LIMIT * 1000 and proc.poll() is None:
            t = now_ms() - started
            if mapped is None:
                w = screen.window_of(proc.pid, lambda title: "nsxiv" in title)
                if w is not None:
                    mapped = t
            elif watching:
                try:
                    x, y, width, height = screen.rect(w)
                    # Without the status bar, which shows the file under the cursor.
                    image = screen.root.get_image(max(0, x), max(0, y), min(width, 1024 - max(0, x)),
                                                  max(1, min(height, 768 - max(0, y)) - 24),
                                                  X.ZPixmap, 0xFFFFFFFF).data
                except xerror.XError:
                    image = None
                if image != last_image:
                    last_image, changed = image, t
                elif changed is not None and t - changed > 3000:
                    watching = False  # steady: the screenful is done; stop taking its CPU
            if cached is None and count_files(cache) >= n:
                cached = t
                break
            time.sleep(0.05)
    finally:
        end(proc)
    return {"mapped": mapped, "screenful after map": changed - mapped if changed is not None else None,
            "cached": cached}


def bare(build, folder, which):
    out = subprocess.run([os.path.join(build, "bench", "thumbs", "bench_thumbs_bare"), folder, which],
                         capture_output=True, text=True, env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
    figures = {}
    for line in out.stdout.splitlines():
        fields = line.split()
        if fields and fields[0] in ("all-cores", "one-core"):
            figures[fields[0]] = float(fields[1])
            if fields[0] == "all-cores":
                figures["threads"] = int(fields[2])
    if out.returncode != 0:
        print(f"  bench_thumbs_bare failed: {out.stdout.strip()} {out.stderr.strip()}")
    return figures


def scroll(q, screen, folder, thumbnails):
    """Holds a key in the file list from the top until the last file is in view: PageDown in the
    thumbnails, Right in the name list (its columns run top to bottom, so PageDown stops at the
    foot of the first; Right moves a column at a time). Returns ms to the end, the longest stall
    while scrolling, peak resident MiB; None when it did not get there."""
    proc, trace, started = q.start(folder, thumbnails, True)
    d = screen.d
    key = d.keysym_to_keycode(XK.string_to_keysym("Page_Down" if thumbnails else "Right"))
    result = None
    try:
        # Shown: from the trace, or (a program without one) a filled list on screen.
        deadline = started + 120000
        while now_ms() < deadline and proc.poll() is None:
            trace.read()
            if trace.get("list-shown") is not None:
                break
            if not trace.exists() and now_ms() - started > 1000:
                w = screen.window_of(proc.pid, lambda title: "Quorvel" in title)
                try:
                    if w is not None and shows_filled_list(screen, w):
                        break
                except xerror.XError:
                    pass
            time.sleep(0.02)
        else:
            return None
        if thumbnails and not trace.exists():
            return None  # a build without the trace may have no thumbnails to scroll through
        time.sleep(0.5)
        begun = now_ms()
        peak, presses, last_image, reached = 0.0, 0, None, None
        while now_ms() - begun < SCROLL_LIMIT * 1000 and proc.poll() is None:
            xtest.fake_input(d, X.KeyPress, key)
            xtest.fake_input(d, X.KeyRelease, key)
            d.flush()
            presses += 1
            peak = max(peak, rss_mib(proc.pid) or 0.0)
            trace.read()
            if trace.get("last-visible") is not None:
                reached = now_ms()
                break
            # Without the event: the end is where fifty more presses change nothing on screen.
            if presses % 50 == 0 and not trace.exists():
                image = screen.root.get_image(0, 0, 1024, 768, X.ZPixmap, 0xFFFFFFFF).data
                if image == last_image:
                    reached = now_ms()
                    break
                last_image = image
            time.sleep(KEY_INTERVAL)
        if reached is None:
            return None
        settle = now_ms() + SETTLE * 1000
        while now_ms() < settle and proc.poll() is None:
            peak = max(peak, rss_mib(proc.pid) or 0.0)
            time.sleep(0.05)
        trace.read()
        stall = trace.max_stall(since=begun - started) if trace.exists() else None
        result = {"scroll": reached - begun, "stall": stall, "rss": peak, "presses": presses,
                  "list": trace.get("list-shown")}
    finally:
        end(proc)
    return result


def med(values):
    values = [v for v in values if v is not None]
    return statistics.median(values) if values else None


_ = ""  # a column that does not apply


def fmt(v, unit=1.0, digits=0):
    if isinstance(v, str):
        return v
    return "n/a" if v is None else f"{v / unit:.{digits}f}"


def verdict(value, limit):
    if limit == _:
        return ""
    if value is None or limit is None:
        return "n/a"
    return "pass" if value <= limit else "FAIL"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("build")
    ap.add_argument("--n", type=int, default=1000, help="photos (0 skips them)")
    ap.add_argument("--size", default="4000x3000")
    ap.add_argument("--small", type=int, default=100000, help="small pictures (0 skips them)")
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--data", default="", help="where the folders are kept (default BUILD_DIR/bench-thumbs)")
    ap.add_argument("--display", default="")
    ap.add_argument("--quorvel", default="")
    args = ap.parse_args()
    build = os.path.abspath(args.build)
    data = os.path.abspath(args.data or os.path.join(build, "bench-thumbs"))
    quorvel = os.path.abspath(args.quorvel) if args.quorvel else os.path.join(build, "quorvel")
    maker = os.path.join(build, "bench", "thumbs", "make_thumb_photos")
    width, height = (int(v) for v in args.size.split("x"))
    photos = os.path.join(data, f"photos-{args.n}-{width}x{height}")
    small = os.path.join(data, f"small-{args.small}")
    if args.n:
        print(f"Making (or reusing) {photos}", flush=True)
        subprocess.run([maker, "photos", photos, str(args.n), str(width), str(height)], check=True)
        sizes = [e.stat().st_size for e in os.scandir(photos) if e.is_file() and not e.name.startswith(".")]
        print(f"  {len(sizes)} files, {min(sizes) / 1e6:.2f} to {max(sizes) / 1e6:.2f} MB, "
              f"median {statistics.median(sizes) / 1e6:.2f} MB")
    if args.small:
        print(f"Making (or reusing) {small}", flush=True)
        subprocess.run([maker, "small", small, str(args.small)], check=True)

    tmp = tempfile.mkdtemp(prefix="quorvel-bench-thumbs-")
    name, extra, procs = start_x(args.display, "session", tmp)
    env = dict(os.environ, DISPLAY=name, **extra)
    for k in ("QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "AT_SPI_BUS_ADDRESS", "SESSION_MANAGER", "QUORVEL_BENCH_TRACE"):
        env.pop(k, None)
    screen = Screen(name)
    q = Quorvel(quorvel, env, os.path.join(tmp, "quorvel"))
    rows = []
    try:
        if args.n:
            got = {"q": [], "nsxiv": [], "all": [], "one": []}
            for r in range(args.runs):
                print(f"Photos, round {r + 1} of {args.runs}", flush=True)
                got["all"].append(bare(build, photos, "all"))
                got["one"].append(bare(build, photos, "one"))
                got["nsxiv"].append(nsxiv_cold(screen, env, tmp, photos, args.n))
                if q.has_trace is not False:
                    got["q"].append(cold_and_warm(q, photos, args.n))
                print("  " + "; ".join(f"{k}: {v}" for k, v in got.items() if v), flush=True)

            def m(kind, key):
                return med([g.get(key) for g in got[kind]])

            threads = got["all"][0].get("threads", "?") if got["all"] else "?"
            nsx, bare_all, bare_one = m("nsxiv", "cached"), m("all", "all-cores"), m("one", "one-core")

            # Ratios within each round, then their median: the machine's load drifts between rounds.
            def ratio(a_kind, a_key, b_kind, b_key):
                values = []
                for a, b in zip(got[a_kind], got[b_kind]):
                    if a.get(a_key) is not None and b.get(b_key):
                        values.append(a[a_key] / b[b_key])
                return med(values)

            vs_nsxiv, vs_bare = ratio("q", "cold cached", "nsxiv", "cached"), ratio("q", "cold cached", "all", "all-cores")
            cached_verdict = "n/a" if vs_nsxiv is None or vs_bare is None else \
                "pass" if vs_nsxiv <= 0.5 and vs_bare <= 0.7 else "FAIL"
            rows += [
                (f"{args.n} photos cold: list shown, from exec (ms)", m("q", "cold list"), m("nsxiv", "mapped"),
                 _, _, _, "(nsxiv: window mapped)"),
                ("  first screenful, from list shown (ms)", m("q", "cold screenful"),
                 m("nsxiv", "screenful after map"), _, _, 500, "<= 500 (nsxiv: from window mapped)"),
                ("  all cached, from exec (ms)", m("q", "cold cached"), nsx, bare_all, bare_one,
                 _, f"<= 0.5 x nsxiv (is {fmt(vs_nsxiv, digits=2)}) and <= 0.7 x bare all cores "
                    f"(is {fmt(vs_bare, digits=2)})", cached_verdict),
                ("  all drawn, from exec (ms)", m("q", "cold drawn"), _, _, _, _, ""),
                ("  longest stall (ms)", m("q", "cold stall"), _, _, _, _, ""),
                (f"{args.n} photos warm: first screenful, from list shown (ms)", m("q", "warm screenful"),
                 _, _, _, 100, "<= 100"),
                ("  all drawn, from list shown (ms)", m("q", "warm drawn"), _, _, _, 1000, "<= 1000"),
            ]
            print(f"Ratios, median of the rounds' own: bare one core / bare all cores ({threads} threads) = "
                  f"{fmt(ratio('one', 'one-core', 'all', 'all-cores'), digits=2)}; nsxiv / bare all cores = "
                  f"{fmt(ratio('nsxiv', 'cached', 'all', 'all-cores'), digits=2)}; nsxiv / bare one core = "
                  f"{fmt(ratio('nsxiv', 'cached', 'one', 'one-core'), digits=2)}")
        if args.small:
            names, thumbs = [], []
            for r in range(args.runs):
                print(f"{args.small} small pictures, PageDown held, round {r + 1} of {args.runs}", flush=True)
                names.append(scroll(q, screen, small, False))
                thumbs.append(scroll(q, screen, small, True))
                print(f"  name list: {names[-1]}; thumbnails: {thumbs[-1]}", flush=True)

            def s(runs, key):
                return med([x.get(key) for x in runs if x])

            above = s(thumbs, "rss") - s(names, "rss") if s(thumbs, "rss") and s(names, "rss") else None
            rows += [
                (f"{args.small} small: name list shown, from exec (ms), Thumbnails=0", s(names, "list"),
                 _, _, _, _, "as today"),
                ("  top to bottom with PageDown held (ms), thumbnails", s(thumbs, "scroll"), _, _, _,
                 _, f"name list (Right held): {fmt(s(names, 'scroll'))}"),
                ("  longest stall while scrolling (ms), thumbnails", s(thumbs, "stall"), _, _, _, 50,
                 f"<= 50 (name list: {fmt(s(names, 'stall'))})"),
                ("  peak resident memory above the name list (MiB)", above, _, _, _, 150,
                 f"<= 150 (name list: {fmt(s(names, 'rss'))} MiB)"),
            ]
    finally:
        screen.d.close()
        stop(procs)
        shutil.rmtree(tmp, ignore_errors=True)

    print(f"\nXvfb 1024x768 + openbox; median of {args.runs} runs; 'bare' = QImageReader + setScaledSize "
          f"within 128 x 128; files in the page cache")
    print(f"{'case':58s} {'Quorvel':>9s} {'nsxiv':>9s} {'bare all':>9s} {'bare one':>9s} {'limit':>9s}  verdict  target")
    failed = False
    for label, ours, nsx, b_all, b_one, limit, target, *given in rows:
        v = given[0] if given else verdict(ours, limit)
        failed |= v == "FAIL"
        print(f"{label:58s} {fmt(ours):>9s} {fmt(nsx):>9s} {fmt(b_all):>9s} {fmt(b_one):>9s} {fmt(limit):>9s}  "
              f"{v:7s}  {target}")
    if q.has_trace is False:
        print("Quorvel wrote no trace (QUORVEL_BENCH_TRACE): its figures are n/a.")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
