#!/usr/bin/env python3
"""Draws Tavrolinde's icons: a blue push button with a white arrow pointer
clicking it and a yellow flash. Writes res/app.ico (32x32) and
res/app_small.ico (16x16), each one 8-bit palettised image."""
import os
import struct

# Palette entries (R, G, B); the rest of the 256 are black.
TRANSPARENT, OUTLINE, BUTTON, BUTTON_LIGHT, BUTTON_DARK, POINTER, FLASH = range(7)
PALETTE = [
    (0, 0, 0),
    (16, 24, 48),
    (40, 96, 200),
    (120, 170, 240),
    (20, 56, 130),
    (255, 255, 255),
    (255, 200, 0),
]

# The arrow pointer on a 12x19 grid: '#' outline, '.' fill.
ARROW = [
    "#",
    "##",
    "#.#",
    "#..#",
    "#...#",
    "#....#",
    "#.....#",
    "#......#",
    "#.......#",
    "#........#",
    "#.........#",
    "#......#####",
    "#...#..#",
    "#..##..#",
    "#.#  #..#",
    "##    #..#",
    "#     #..#",
    "       ##",
]


def draw(size):
    s = size / 32.0
    px = [[TRANSPARENT] * size for _ in range(size)]

    def put(x, y, c):
        if 0 <= x < size and 0 <= y < size:
            px[y][x] = c

    # The button: a rounded rectangle in the lower left, lit from above.
    x0, y0, x1, y1 = int(1 * s), int(10 * s), int(24 * s), int(27 * s)
    r = max(1, int(3 * s))
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            dx = max(x0 + r - x, 0, x - (x1 - r))
            dy = max(y0 + r - y, 0, y - (y1 - r))
            d = dx * dx + dy * dy
            if d > r * r:
                continue
            if d > (r - 1) * (r - 1) or x in (x0, x1) or y in (y0, y1):
                c = OUTLINE
            elif y < y0 + (y1 - y0) // 3:
                c = BUTTON_LIGHT
            elif y > y1 - max(2, int(3 * s)):
                c = BUTTON_DARK
            else:
                c = BUTTON
            put(x, y, c)

    # The flash: rays from the point of the click, seen above the button.
    cx, cy = int(14 * s), int(14 * s)
    for ddx, ddy in ((-1, -1), (0, -1), (1, -1)):
        for k in range(int(6 * s), int(10 * s) + 1):
            x, y = cx + ddx * k, cy + ddy * k
            if 0 <= x < size and 0 <= y < size and px[y][x] == TRANSPARENT:
                put(x, y, FLASH)

    # The pointer, its tip on the button, drawn at full or half scale.
    step = 1 if size >= 32 else 2
    ax, ay = cx, cy
    for row, line in enumerate(ARROW[::step]):
        for col, ch in enumerate(line[::step]):
            if ch != " ":
                put(ax + col, ay + row, OUTLINE if ch == "#" else POINTER)
    return px


def ico(px):
    size = len(px)
    colours = b"".join(bytes((b, g, r, 0)) for r, g, b in PALETTE)
    colours += b"\0" * (256 * 4 - len(colours))
    rows = b"".join(bytes(row) for row in reversed(px))
    mask_stride = ((size + 31) // 32) * 4
    mask = b""
    for row in reversed(px):
        bits = sum(1 << (mask_stride * 8 - 1 - x) for x, c in enumerate(row) if c == TRANSPARENT)
        mask += bits.to_bytes(mask_stride, "big")
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 8, 0, len(rows) + len(mask), 0, 0, 256, 0)
    image = header + colours + rows + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", size, size, 0, 0, 1, 8, len(image), 6 + 16)
    return directory + entry + image


if __name__ == "__main__":
    res = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "res")
    for name, size in (("app.ico", 32), ("app_small.ico", 16)):
        with open(os.path.join(res, name), "wb") as f:
            f.write(ico(draw(size)))
