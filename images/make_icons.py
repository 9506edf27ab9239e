#!/usr/bin/env python3
"""Draws the program's 48x48 icons into this folder (needs python3-pil), and the program's icon at
the sizes of the desktop's icon theme into hicolor/ (installed as share/icons/hicolor/NxN/apps).

The generated images are committed, so the build does not need Python. Every icon is drawn at
8x size on a 48-unit grid and scaled down, which gives smooth edges. GIF files have one-bit
transparency: half-covered edge pixels are blended against a light tool-bar grey first.

Run: python3 images/make_icons.py [NAME ...]   (Debian's python3, which has PIL; all icons, or only the
ones named; the desktop icon is named "app")
"""

import math
import os
import sys

from PIL import Image, ImageDraw

SIZE = 48
SCALE = 8
HERE = os.path.dirname(os.path.abspath(__file__))

# One palette for all icons: a darker outline for every fill.
OUTLINE = (45, 52, 64, 255)
CHIP_BODY = (58, 66, 80, 255)
CHIP_TOP = (78, 88, 104, 255)
PIN = (196, 202, 210, 255)
BLUE = (46, 117, 204, 255)
BLUE_DARK = (24, 74, 140, 255)
BLUE_LIGHT = (120, 176, 240, 255)
GREEN = (56, 164, 76, 255)
GREEN_DARK = (30, 108, 46, 255)
YELLOW = (246, 196, 72, 255)
YELLOW_DARK = (196, 140, 28, 255)
YELLOW_LIGHT = (252, 218, 120, 255)
RED = (222, 84, 84, 255)
RED_DARK = (150, 44, 44, 255)
PINK = (244, 150, 160, 255)
WHITE = (255, 255, 255, 255)
SILVER = (200, 206, 214, 255)
SILVER_DARK = (120, 128, 140, 255)
TEAL = (32, 150, 160, 255)
TEAL_DARK = (16, 96, 104, 255)
GRID_FILL = (150, 190, 236, 255)
MATTE = (239, 239, 239)


class Canvas:
    """A drawing surface in 48-unit coordinates."""

    def __init__(self):
        self.image = Image.new("RGBA", (SIZE * SCALE, SIZE * SCALE), (0, 0, 0, 0))
        self.draw = ImageDraw.Draw(self.image)

    @staticmethod
    def s(v):
        return int(round(v * SCALE))

    def pts(self, points):
        return [(self.s(x), self.s(y)) for x, y in points]

    def rect(self, x0, y0, x1, y1, fill, outline=OUTLINE, width=1.5, radius=0):
        box = [self.s(x0), self.s(y0), self.s(x1), self.s(y1)]
        w = self.s(width) if outline else 0
        if radius:
            self.draw.rounded_rectangle(box, radius=self.s(radius), fill=fill, outline=outline, width=w)
        else:
            self.draw.rectangle(box, fill=fill, outline=outline, width=w)

    def ellipse(self, cx, cy, r, fill, outline=OUTLINE, width=1.5):
        box = [self.s(cx - r), self.s(cy - r), self.s(cx + r), self.s(cy + r)]
        self.draw.ellipse(box, fill=fill, outline=outline, width=self.s(width) if outline else 0)

    def polygon(self, points, fill, outline=OUTLINE, width=1.5):
        self.draw.polygon(self.pts(points), fill=fill)
        if outline:
            closed = points + [points[0]]
            self.line(closed, outline, width)

    def line(self, points, fill, width):
        w = self.s(width)
        self.draw.line(self.pts(points), fill=fill, width=w, joint="curve")
        r = w / 2
        for x, y in self.pts(points):  # round caps
            self.draw.ellipse([x - r, y - r, x + r, y + r], fill=fill)

    def arc(self, cx, cy, r, start, end, fill, width):
        """An arc whose stroke is centred on radius r (angles clockwise from 3 o'clock)."""
        r += width / 2
        box = [self.s(cx - r), self.s(cy - r), self.s(cx + r), self.s(cy + r)]
        self.draw.arc(box, start, end, fill=fill, width=self.s(width))

    def result(self, size=SIZE):
        return self.image.resize((size, size), Image.LANCZOS)


def chip(c, x0, y0, x1, y1, pins=4):
    """A chip package with pins on all four sides and a pin-1 mark."""
    w, h = x1 - x0, y1 - y0
    pin_len = min(w, h) * 0.16
    for i in range(pins):
        t = (i + 0.5) / pins
        px = x0 + w * 0.14 + (w * 0.72) * t
        py = y0 + h * 0.14 + (h * 0.72) * t
        half = min(w, h) * 0.055
        c.rect(px - half, y0 - pin_len, px + half, y0 + 1, PIN, OUTLINE, 0.9)
        c.rect(px - half, y1 - 1, px + half, y1 + pin_len, PIN, OUTLINE, 0.9)
        c.rect(x0 - pin_len, py - half, x0 + 1, py + half, PIN, OUTLINE, 0.9)
        c.rect(x1 - 1, py - half, x1 + pin_len, py + half, PIN, OUTLINE, 0.9)
    c.rect(x0, y0, x1, y1, CHIP_BODY, OUTLINE, 1.5, radius=min(w, h) * 0.1)
    inset = min(w, h) * 0.12
    c.rect(x0 + inset, y0 + inset, x1 - inset, y1 - inset, CHIP_TOP, None, radius=min(w, h) * 0.06)
    c.ellipse(x0 + inset * 2, y0 + inset * 2, min(w, h) * 0.07, SILVER, None)


def arrow(c, x, y_from, y_to, shaft, head, fill, dark):
    """A vertical block arrow from y_from to y_to (pointing at y_to)."""
    d = 1 if y_to > y_from else -1
    neck = y_to - d * head
    points = [
        (x - shaft / 2, y_from), (x + shaft / 2, y_from), (x + shaft / 2, neck),
        (x + head, neck), (x, y_to), (x - head, neck), (x - shaft / 2, neck),
    ]
    if d < 0:
        points = [points[1], points[0], points[6], points[5], points[4], points[3], points[2]]
    c.polygon(points, fill, dark, 1.5)


def eraser(c, cx, cy, length, thickness, angle):
    """A two-tone eraser block centred at (cx, cy), rotated by angle degrees."""
    a = math.radians(angle)
    ux, uy = math.cos(a), math.sin(a)
    vx, vy = -uy, ux

    def quad(t0, t1):
        pts = []
        for t, s in ((t0, -1), (t1, -1), (t1, 1), (t0, 1)):
            pts.append((cx + ux * t * length / 2 + vx * s * thickness / 2,
                        cy + uy * t * length / 2 + vy * s * thickness / 2))
        return pts

    c.polygon(quad(-1, 0.1), PINK, RED_DARK, 1.5)
    c.polygon(quad(0.1, 1), BLUE, BLUE_DARK, 1.5)


def icon_app(size=SIZE):
    c = Canvas()
    c.rect(3, 3, 45, 45, BLUE, BLUE_DARK, 1.5, radius=9)
    c.rect(5, 5, 43, 20, BLUE_LIGHT[:3] + (90,), None, radius=7)
    chip(c, 14, 14, 34, 34)
    c.line([(19, 24), (23, 28), (30, 20)], GREEN, 2.6)
    return c.result(size)


def icon_open():
    c = Canvas()
    # back panel with tab
    c.polygon([(4, 10), (17, 10), (21, 14), (40, 14), (40, 38), (4, 38)], YELLOW_DARK, OUTLINE)
    c.rect(7, 17, 37, 30, WHITE, SILVER_DARK, 1)
    # front panel, tilted open
    c.polygon([(4, 38), (10, 21), (45, 21), (40, 38)], YELLOW, OUTLINE)
    c.line([(11, 24), (42, 24)], YELLOW_LIGHT, 1.5)
    return c.result()


def icon_chip_add():
    c = Canvas()
    chip(c, 8, 8, 32, 32)
    c.ellipse(35, 35, 10, GREEN, GREEN_DARK)
    c.line([(35, 29.5), (35, 40.5)], WHITE, 3)
    c.line([(29.5, 35), (40.5, 35)], WHITE, 3)
    return c.result()


def icon_save_as():
    c = Canvas()
    c.polygon([(5, 5), (37, 5), (43, 11), (43, 43), (5, 43)], BLUE, BLUE_DARK)
    c.rect(13, 5.8, 34, 18, SILVER, SILVER_DARK, 1.2)
    c.rect(27, 8, 31, 16, SILVER_DARK, None)
    c.rect(10, 25, 38, 42, WHITE, SILVER_DARK, 1.2, radius=1.5)
    for y in (30, 34, 38):
        c.line([(14, y), (34, y)], BLUE_LIGHT, 1.2)
    return c.result()


def icon_erase():
    c = Canvas()
    c.line([(6, 42), (42, 42)], SILVER_DARK, 1.5)
    eraser(c, 25, 24, 34, 15, -40)
    c.line([(5, 37), (14, 37)], PINK, 1.5)
    return c.result()


def icon_erase_sector():
    c = Canvas()
    cell = 9.5
    for row in range(4):
        for col in range(4):
            x, y = 4 + col * cell, 4 + row * cell
            cleared = row * 4 + col in (9, 10, 13, 14)
            c.rect(x, y, x + cell - 1.5, y + cell - 1.5, WHITE if cleared else GRID_FILL,
                   SILVER_DARK if cleared else BLUE_DARK, 1)
    eraser(c, 31, 31, 24, 11, -40)
    return c.result()


def icon_write():
    c = Canvas()
    chip(c, 12, 28, 36, 42, pins=5)
    arrow(c, 24, 2, 25, 8, 10, GREEN, GREEN_DARK)
    return c.result()


def icon_read():
    c = Canvas()
    chip(c, 12, 28, 36, 42, pins=5)
    arrow(c, 24, 25, 2, 8, 10, BLUE, BLUE_DARK)
    return c.result()


def icon_check():
    c = Canvas()
    c.ellipse(24, 24, 20, GREEN, GREEN_DARK)
    c.ellipse(24, 24, 16.5, None, (255, 255, 255, 70), 1.2)
    c.line([(14, 25), (21, 32), (34, 17)], WHITE, 5)
    return c.result()


def question_mark(c, cx, cy, color):
    c.arc(cx, cy - 6, 6.5, 180, 360, color, 4)
    c.arc(cx, cy - 6, 6.5, 0, 60, color, 4)
    c.line([(cx + 3.3, cy - 0.5), (cx, cy + 2), (cx, cy + 5)], color, 4)
    c.ellipse(cx, cy + 11, 2.6, color, None)


def icon_help():
    c = Canvas()
    c.ellipse(24, 24, 20, BLUE, BLUE_DARK)
    c.ellipse(24, 24, 16.5, None, (255, 255, 255, 70), 1.2)
    question_mark(c, 24, 22, WHITE)
    return c.result()


def icon_detect():
    c = Canvas()
    chip(c, 6, 6, 30, 30)
    # magnifier over the chip's corner
    c.line([(33, 33), (43, 43)], OUTLINE, 6.5)
    c.line([(33.5, 33.5), (42.5, 42.5)], YELLOW_DARK, 4)
    c.ellipse(27, 27, 10.5, (210, 232, 255, 200), OUTLINE, 2.5)
    c.arc(27, 27, 7, 200, 260, WHITE, 1.6)
    return c.result()


def icon_firmware_info():
    c = Canvas()
    c.ellipse(24, 24, 20, TEAL, TEAL_DARK)
    c.ellipse(24, 24, 16.5, None, (255, 255, 255, 70), 1.2)
    c.ellipse(24, 14.5, 3, WHITE, None)
    c.rect(21.5, 20, 26.5, 35, WHITE, None, radius=1.2)
    c.rect(19, 33, 29, 36, WHITE, None, radius=1)
    c.rect(19, 20, 24, 22.5, WHITE, None, radius=1)
    return c.result()


def icon_upgrade():
    c = Canvas()
    cx, cy, r = 24, 25, 15
    start, end = -40, 230
    c.arc(cx, cy, r, start, end, GREEN_DARK, 7)
    c.arc(cx, cy, r, start + 1, end, GREEN, 4)
    # arrowhead at the end of the arc, pointing along the direction of travel
    a = math.radians(end)
    ex, ey = cx + r * math.cos(a), cy + r * math.sin(a)
    tx, ty = -math.sin(a), math.cos(a)
    nx, ny = math.cos(a), math.sin(a)
    c.polygon([(ex + nx * 7.5, ey + ny * 7.5), (ex + tx * 9, ey + ty * 9), (ex - nx * 7.5, ey - ny * 7.5)],
              GREEN, GREEN_DARK)
    arrow(c, cx, cy + 9, cy - 9, 5, 6.5, BLUE, BLUE_DARK)
    return c.result()


def icon_smart_write():
    c = Canvas()
    chip(c, 12, 28, 36, 42, pins=5)
    arrow(c, 20, 2, 25, 8, 10, GREEN, GREEN_DARK)
    # a spark: only what changed is written
    c.polygon([(37, 2), (29, 15), (35, 15), (31, 25), (42, 10), (36, 10), (40, 2)], YELLOW, YELLOW_DARK, 1.2)
    return c.result()


def icon_blank_check():
    c = Canvas()
    cell = 9.5
    for row in range(4):
        for col in range(4):
            x, y = 4 + col * cell, 4 + row * cell
            c.rect(x, y, x + cell - 1.5, y + cell - 1.5, WHITE, SILVER_DARK, 1)
    c.ellipse(34, 34, 11, GREEN, GREEN_DARK)
    c.line([(28.5, 34.5), (32.5, 38.5), (39.5, 30)], WHITE, 3.2)
    return c.result()


def padlock(c, cx, cy):
    c.arc(cx, cy - 5, 4.5, 180, 360, SILVER_DARK, 2.6)
    c.line([(cx - 5.8, cy - 5), (cx - 5.8, cy - 1)], SILVER_DARK, 2.6)
    c.line([(cx + 5.8, cy - 5), (cx + 5.8, cy - 1)], SILVER_DARK, 2.6)
    c.rect(cx - 8, cy - 1.5, cx + 8, cy + 10, YELLOW, YELLOW_DARK, 1.3, radius=1.5)
    c.ellipse(cx, cy + 3.5, 1.8, YELLOW_DARK, None)


def icon_status_registers():
    c = Canvas()
    c.rect(3, 6, 45, 27, WHITE, BLUE_DARK, 1.5, radius=3)
    for i in range(5):
        x = 7 + i * 7.4
        c.rect(x, 11, x + 5.4, 22, BLUE if i in (1, 2, 4) else WHITE, BLUE_DARK, 1.2)
    padlock(c, 33, 34)
    return c.result()


ICONS = {
    "ico.png": icon_app,
    "gif_48_072.gif": icon_open,
    "chip.png": icon_chip_add,
    "gif_48_089.gif": icon_save_as,
    "erase.png": icon_erase,
    "erase_sector.png": icon_erase_sector,
    "download.png": icon_write,
    "upload.png": icon_read,
    "check.png": icon_check,
    "help.png": icon_help,
    "gif_48_091.gif": icon_detect,
    "firmwareInfo.png": icon_firmware_info,
    "upgrade.png": icon_upgrade,
    "smartwrite.png": icon_smart_write,
    "blankcheck.png": icon_blank_check,
    "status.png": icon_status_registers,
}


def save_gif(image, path):
    """One-bit transparency: blend edges against the matte, keep pixels at least half covered."""
    rgba = image.convert("RGBA")
    matte = Image.new("RGBA", rgba.size, MATTE + (255,))
    blended = Image.alpha_composite(matte, rgba).convert("RGB")
    alpha = rgba.getchannel("A")
    pal = blended.quantize(colors=255, method=Image.MEDIANCUT, dither=Image.NONE)
    # index 255 is the transparent colour
    pal_data = pal.getpalette()[: 255 * 3] + [0, 0, 0]
    pal.putpalette(pal_data)
    mask = alpha.point(lambda a: 255 if a < 128 else 0)
    pal.paste(255, mask=mask)
    pal.save(path, format="GIF", transparency=255)


# The program's icon for the desktop, at the sizes the icon theme has folders for. Drawn at 8x of
# the 48-unit grid (384 pixels), so even 256 is scaled down.
APP_ICON_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)
APP_ICON_NAME = "example.korvane.SpiFlash.png"


def main(names):
    if not names or "app" in names:
        make_app_icons()
    for name, draw in ICONS.items():
        if names and name not in names:
            continue
        image = draw()
        path = os.path.join(HERE, name)
        if name.endswith(".gif"):
            save_gif(image, path)
        else:
            image.save(path, format="PNG", optimize=True)
        print(path)


def make_app_icons():
    for size in APP_ICON_SIZES:
        folder = os.path.join(HERE, "hicolor", "%dx%d" % (size, size))
        os.makedirs(folder, exist_ok=True)
        path = os.path.join(folder, APP_ICON_NAME)
        icon_app(size).save(path, format="PNG", optimize=True)
        print(path)


if __name__ == "__main__":
    main(sys.argv[1:])
