#!/usr/bin/env python3
"""Draws the program's icons and writes them as .ico files into resources/.

The icons are drawn from simple shapes with 4x4 supersampling, so no image
library is needed. Run it again after changing a drawing; the .ico files are
committed so the build does not need Python.
"""
import math
import os
import struct
import sys

SS = 4  # supersampling factor per axis


def blend(dst, src):
    """Source-over compositing of straight-alpha RGBA tuples (0..1 floats)."""
    sr, sg, sb, sa = src
    dr, dg, db, da = dst
    oa = sa + da * (1 - sa)
    if oa <= 0:
        return (0.0, 0.0, 0.0, 0.0)
    return ((sr * sa + dr * da * (1 - sa)) / oa,
            (sg * sa + dg * da * (1 - sa)) / oa,
            (sb * sa + db * da * (1 - sa)) / oa,
            oa)


class Canvas:
    """A square canvas in unit coordinates (0..1), sampled at size*SS."""

    def __init__(self, size):
        self.size = size
        self.n = size * SS
        self.px = [(0.0, 0.0, 0.0, 0.0)] * (self.n * self.n)

    def fill(self, inside, color):
        """inside(x, y) -> bool in unit coordinates; color (r, g, b, a) or
        a function of (x, y) giving one."""
        n = self.n
        for j in range(n):
            y = (j + 0.5) / n
            for i in range(n):
                x = (i + 0.5) / n
                if inside(x, y):
                    c = color(x, y) if callable(color) else color
                    self.px[j * n + i] = blend(self.px[j * n + i], c)

    def pixels(self):
        """Averages the samples; returns rows top-down of (b, g, r, a) bytes."""
        out = []
        s = self.size
        for y in range(s):
            row = []
            for x in range(s):
                r = g = b = a = 0.0
                for dy in range(SS):
                    for dx in range(SS):
                        pr, pg, pb, pa = self.px[(y * SS + dy) * self.n + x * SS + dx]
                        r += pr * pa
                        g += pg * pa
                        b += pb * pa
                        a += pa
                k = SS * SS
                if a > 0:
                    r, g, b = r / a, g / a, b / a
                row.append((int(b * 255 + .5), int(g * 255 + .5), int(r * 255 + .5), int(a / k * 255 + .5)))
            out.append(row)
        return out


def rounded_rect(x0, y0, x1, y1, radius):
    def inside(x, y):
        if x < x0 or x > x1 or y < y0 or y > y1:
            return False
        cx = min(max(x, x0 + radius), x1 - radius)
        cy = min(max(y, y0 + radius), y1 - radius)
        return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2
    return inside


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def rgb(hexcolor, alpha=1.0):
    v = int(hexcolor, 16)
    return ((v >> 16 & 255) / 255, (v >> 8 & 255) / 255, (v & 255) / 255, alpha)


def vertical_gradient(top, bottom, y0, y1):
    def color(x, y):
        t = min(max((y - y0) / (y1 - y0), 0), 1)
        return tuple(a + (b - a) * t for a, b in zip(top, bottom))
    return color


def draw_remote(size, lit=False, body=("4a5563", "1f2933"), accent="e4572e"):
    """A slim remote control seen from the front, tilted a little."""
    c = Canvas(size)
    x0, x1, y0, y1 = 0.28, 0.72, 0.04, 0.96
    # soft shadow
    c.fill(rounded_rect(x0 + 0.04, y0 + 0.03, x1 + 0.04, y1 + 0.02, 0.12), (0, 0, 0, 0.25))
    # body with a light rim
    c.fill(rounded_rect(x0, y0, x1, y1, 0.12), rgb("0b1016"))
    c.fill(rounded_rect(x0 + 0.025, y0 + 0.02, x1 - 0.025, y1 - 0.02, 0.10),
           vertical_gradient(rgb(body[0]), rgb(body[1]), y0, y1))
    # infrared window, glowing when lit
    c.fill(rounded_rect(0.38, 0.07, 0.62, 0.12, 0.02), rgb("ff3b30") if lit else rgb("7a1d1d"))
    if lit:
        c.fill(circle(0.5, 0.06, 0.16), (1.0, 0.55, 0.2, 0.55))
        c.fill(circle(0.5, 0.09, 0.07), (1.0, 0.95, 0.6, 0.9))
    # power button
    c.fill(circle(0.5, 0.24, 0.075), rgb(accent))
    # direction pad
    c.fill(circle(0.5, 0.47, 0.13), rgb("cfd8dc"))
    c.fill(circle(0.5, 0.47, 0.055), rgb("607d8b"))
    # number buttons, 3 x 2 (only where there is room for them)
    if size >= 32:
        for row in range(2):
            for col in range(3):
                cx = 0.385 + col * 0.115
                cy = 0.70 + row * 0.11
                c.fill(rounded_rect(cx - 0.04, cy - 0.03, cx + 0.04, cy + 0.03, 0.015), rgb("b0bec5"))
    else:
        c.fill(rounded_rect(0.36, 0.68, 0.64, 0.84, 0.03), rgb("b0bec5"))
    return c


def draw_keyboard(size):
    """A compact keyboard with one row of coloured one-touch buttons."""
    c = Canvas(size)
    c.fill(rounded_rect(0.06, 0.26, 0.98, 0.86, 0.08), (0, 0, 0, 0.25))
    c.fill(rounded_rect(0.02, 0.22, 0.94, 0.82, 0.08), rgb("263238"))
    c.fill(rounded_rect(0.04, 0.24, 0.92, 0.80, 0.07), vertical_gradient(rgb("eceff1"), rgb("b0bec5"), 0.24, 0.80))
    colors = ["e53935", "43a047", "1e88e5", "fdd835"]
    for k, col in enumerate(colors):
        cx = 0.20 + k * 0.18
        c.fill(circle(cx, 0.34, 0.05), rgb(col))
    rows = 3 if size >= 32 else 2
    for r in range(rows):
        y = 0.46 + r * (0.30 / rows)
        keys = 7 if size >= 32 else 4
        w = 0.80 / keys
        for k in range(keys):
            x = 0.08 + k * w
            c.fill(rounded_rect(x + 0.01, y, x + w - 0.01, y + 0.30 / rows - 0.03, 0.01), rgb("455a64"))
    return c


def ico_bytes(canvases):
    images = []
    for canvas in canvases:
        s = canvas.size
        rows = canvas.pixels()
        header = struct.pack("<IiiHHIIiiII", 40, s, s * 2, 1, 32, 0, 0, 0, 0, 0, 0)
        xor = b"".join(bytes(v for px in row for v in px) for row in reversed(rows))
        mask_stride = ((s + 31) // 32) * 4
        mask = bytearray()
        for row in reversed(rows):
            bits = bytearray(mask_stride)
            for x, px in enumerate(row):
                if px[3] == 0:
                    bits[x // 8] |= 0x80 >> (x % 8)
            mask += bits
        images.append((s, header + xor + bytes(mask)))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for s, data in images:
        out += struct.pack("<BBBBHHII", s % 256, s % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for _, data in images:
        out += data
    return out


ICONS = {
    "kova.ico": lambda s: draw_remote(s),
    "remote.ico": lambda s: draw_remote(s),
    "remote_lit.ico": lambda s: draw_remote(s, lit=True),
    "remote_alt.ico": lambda s: draw_remote(s, body=("1565c0", "0d2f66"), accent="ffb300"),
    "remote_alt_lit.ico": lambda s: draw_remote(s, lit=True, body=("1565c0", "0d2f66"), accent="ffb300"),
    "keyboard.ico": lambda s: draw_keyboard(s),
}


def main():
    out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "resources")
    for name, draw in ICONS.items():
        sizes = [16, 32, 48] if name == "kova.ico" else [16, 32]
        with open(os.path.join(out_dir, name), "wb") as f:
            f.write(ico_bytes([draw(s) for s in sizes]))
        print("wrote", name)


if __name__ == "__main__":
    main()
