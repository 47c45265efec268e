"""Colour profiles on the desktop: the display's, set on the root window (as a colour manager does
after log-in), and a picture's own, in the viewer and in the show."""

import struct
from pathlib import Path

import pytest
from Xlib import Xatom

from quorvel_e2e import bmp_bytes

SWAPPED = Path("/usr/share/color/icc/colord/SwappedRedAndGreen.icc")
RED, SWAPPED_RED = (200, 40, 40), (40, 200, 40)

pytestmark = pytest.mark.skipif(not SWAPPED.exists(), reason="Debian's colord-data profiles are not installed")


def bmp_v5_with_profile(width, height, rgb, profile):
    """A 24-bit BMP with a V5 header that embeds `profile` after the pixels."""
    row = bytes((rgb[2], rgb[1], rgb[0])) * width
    row += b"\0" * ((4 - len(row) % 4) % 4)
    pixels = row * height
    v5 = struct.pack("<IiiHHIIiiII", 124, width, height, 1, 24, 0, len(pixels), 3780, 3780, 0, 0)
    v5 += b"\0" * 16 + struct.pack("<I", 0x4D424544) + b"\0" * 48
    v5 += struct.pack("<IIII", 4, 124 + len(pixels), len(profile), 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(v5) + len(pixels) + len(profile), 0, 0, 14 + len(v5))
    return header + v5 + pixels + profile


def set_display_profile(desktop, profile):
    atom = desktop.atom["_ICC_PROFILE"]
    if profile is None:
        desktop.root.delete_property(atom)
    else:
        desktop.root.change_property(atom, Xatom.CARDINAL, 8, profile)
    desktop.sync()


def near(a, b):
    return all(abs(p - q) <= 2 for p, q in zip(a, b))


def wait_shows(app, window, colour, what):
    def centre():
        return app.desktop.screenshot().pixel(*app.desktop.geometry(window).client.center)
    app.wait_for(lambda: near(centre(), colour), lambda: f"{what} (centre {centre()})")


def test_the_display_profile_on_the_root_window_is_followed(quorvel, tmp_path, desktop):
    folder = tmp_path / "pics"
    folder.mkdir()
    (folder / "a.bmp").write_bytes(bmp_bytes(320, 240, RED))
    # Set before the start: the picture given to open is decoded before Qt is up.
    set_display_profile(desktop, SWAPPED.read_bytes())
    try:
        app = quorvel(folder / "a.bmp")
        viewer = app.wait_window(str(folder / "a.bmp"), what="the viewer")
        wait_shows(app, viewer, SWAPPED_RED, "an untagged picture in the display's colours")
        set_display_profile(desktop, None)
        wait_shows(app, viewer, RED, "the picture as it is once the profile is gone")
        set_display_profile(desktop, SWAPPED.read_bytes())
        wait_shows(app, viewer, SWAPPED_RED, "the picture in the colours of the profile set again")
    finally:
        set_display_profile(desktop, None)


def test_a_picture_profile_is_honoured_in_the_viewer_and_the_show(quorvel, tmp_path):
    folder = tmp_path / "pics"
    folder.mkdir()
    (folder / "t.bmp").write_bytes(bmp_v5_with_profile(320, 240, RED, SWAPPED.read_bytes()))
    app = quorvel(folder)
    app.wait_for(lambda: app.files() == ["t.bmp"], "the picture listed")
    app.wait_placed()
    app.wait_active()
    app.key("Down")
    viewer = app.wait_window(str(folder / "t.bmp"), what="the viewer")
    wait_shows(app, viewer, SWAPPED_RED, "the picture converted from its profile in the viewer")
    # The show stretches it over the whole screen: a corner far from the viewer shows it too.
    app.key("ctrl+n")
    d = app.desktop
    app.wait_for(lambda: near(d.screenshot().pixel(20, 20), SWAPPED_RED),
                 lambda: f"the picture converted in the show (corner {d.screenshot().pixel(20, 20)})")
