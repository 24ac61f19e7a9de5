#!/usr/bin/env python3
"""Draws the viewer's skin pictures into the folder given as the only argument (standard library
only, so that the build needs nothing more).

titlebg.png: the title bar's background tile (8 x 26, a dark vertical gradient).
btnminimize.png, btnmaximize.png, btnclose.png, btnmenu.png: button strips 48 x 16 of three
16 x 16 frames side by side (normal, hot, down).
searchclear.png: the search box's clear button, a strip of three 16 x 16 frames like the buttons.
glow.png: the glow behind matching thumbnails, 100 x 100, opaque amber fading out towards the
edges.
dragmove.cur, dragdown.cur: the picture-drag cursors (an open and a closed hand), 32 x 32 with
the hot spot in the middle, stored as cursor files holding a PNG picture.
"""
import struct
import sys
import zlib
from pathlib import Path

WHITE, BLACK, CLEAR = (255, 255, 255, 255), (0, 0, 0, 255), (0, 0, 0, 0)
FRAME_COLOURS = [(200, 200, 200, 255), (255, 255, 255, 255), (150, 150, 150, 255)]


class Picture:
    def __init__(self, width, height, fill=CLEAR):
        self.width, self.height = width, height
        self.pixels = [[fill] * width for _ in range(height)]

    def rect(self, x1, y1, x2, y2, colour):
        """Fills the rectangle, both corners included."""
        for y in range(max(y1, 0), min(y2, self.height - 1) + 1):
            for x in range(max(x1, 0), min(x2, self.width - 1) + 1):
                self.pixels[y][x] = colour

    def frame(self, x1, y1, x2, y2, colour):
        self.rect(x1, y1, x2, y1, colour)
        self.rect(x1, y2, x2, y2, colour)
        self.rect(x1, y1, x1, y2, colour)
        self.rect(x2, y1, x2, y2, colour)

    def png(self):
        rows = b"".join(b"\0" + bytes(c for p in row for c in p) for row in self.pixels)

        def chunk(kind, data):
            body = kind + data
            return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

        header = struct.pack(">IIBBBBB", self.width, self.height, 8, 6, 0, 0, 0)
        return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
                chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))


def title_background():
    picture = Picture(8, 26)
    for y in range(26):
        level = 0x48 - y * 0x18 // 25
        picture.rect(0, y, 7, y, (level, level, level, 255))
    return picture


def strip(glyph):
    picture = Picture(48, 16)
    for frame, colour in enumerate(FRAME_COLOURS):
        left = frame * 16
        if frame > 0:
            picture.rect(left + 1, 1, left + 14, 14, (255, 255, 255, 40 if frame == 1 else 70))
        glyph(picture, left, colour)
    return picture


def minimize(picture, left, colour):
    picture.rect(left + 4, 10, left + 11, 11, colour)


def maximize(picture, left, colour):
    picture.frame(left + 4, 4, left + 11, 11, colour)
    picture.rect(left + 4, 4, left + 11, 5, colour)


def close(picture, left, colour):
    for i in range(8):
        picture.rect(left + 4 + i, 4 + i, left + 5 + i, 4 + i, colour)
        picture.rect(left + 10 - i, 4 + i, left + 11 - i, 4 + i, colour)


def clear(picture, left, colour):
    for i in range(6):
        picture.rect(left + 5 + i, 5 + i, left + 5 + i, 5 + i, colour)
        picture.rect(left + 10 - i, 5 + i, left + 10 - i, 5 + i, colour)


def glow():
    picture = Picture(100, 100)
    fade = 14
    for y in range(100):
        for x in range(100):
            edge = min(x, y, 99 - x, 99 - y)
            alpha = 255 if edge >= fade else 255 * edge * edge // (fade * fade)
            picture.pixels[y][x] = (255, 190, 70, alpha)
    return picture


def menu(picture, left, colour):
    for y in (4, 7, 10):
        picture.rect(left + 3, y, left + 12, y + 1, colour)


def hand(closed):
    picture = Picture(32, 32)
    top = 12 if closed else 6
    for finger in range(4):
        x = 9 + finger * 4
        picture.rect(x, top, x + 4, 18, BLACK)
        picture.rect(x + 1, top + 1, x + 3, 18, WHITE)
    picture.rect(4, 15 if closed else 12, 9, 20, BLACK)
    picture.rect(5, 16 if closed else 13, 8, 19, WHITE)
    picture.rect(8, 17, 24, 26, BLACK)
    picture.rect(9, 17, 23, 25, WHITE)
    return picture


def cursor_file(picture, hot_x, hot_y):
    data = picture.png()
    header = struct.pack("<HHH", 0, 2, 1)
    entry = struct.pack("<BBBBHHII", picture.width % 256, picture.height % 256, 0, 0, hot_x,
                        hot_y, len(data), 6 + 16)
    return header + entry + data


def main():
    folder = Path(sys.argv[1])
    folder.mkdir(parents=True, exist_ok=True)
    (folder / "titlebg.png").write_bytes(title_background().png())
    for name, glyph in (("btnminimize", minimize), ("btnmaximize", maximize),
                        ("btnclose", close), ("btnmenu", menu), ("searchclear", clear)):
        (folder / f"{name}.png").write_bytes(strip(glyph).png())
    (folder / "glow.png").write_bytes(glow().png())
    (folder / "dragmove.cur").write_bytes(cursor_file(hand(False), 16, 16))
    (folder / "dragdown.cur").write_bytes(cursor_file(hand(True), 16, 16))


if __name__ == "__main__":
    main()
