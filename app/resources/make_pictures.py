#!/usr/bin/env python3
"""Draws the window's two background pictures and writes them as RGBA PNGs.

NA3E_RSC.png (640x428): a mountain range at dusk under a low sun.
SE2E_RSC.png (640x452): a moonlit sea with a coast line.
Both are fully opaque; their colours differ strongly, so a screenshot tells which one the window shows.
Only the standard library is used: the PNG is written by hand with zlib.

    python3 app/resources/make_pictures.py app/resources
"""
import math
import os
import struct
import sys
import zlib


def png_bytes(width, height, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    raw = b"".join(b"\x00" + bytes(row) for row in rows)
    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def mix(a, b, t):
    t = max(0.0, min(1.0, t))
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def ridge(x, base, waves):
    return base + sum(amplitude * math.sin(x * frequency + phase) for amplitude, frequency, phase in waves)


def dusk_mountains(width, height):
    sun_x, sun_y, sun_r = 0.68 * width, 0.52 * height, 38.0
    far = [(22, 0.011, 0.4), (9, 0.037, 1.9), (4, 0.091, 0.2)]
    near = [(30, 0.007, 2.5), (12, 0.023, 0.7), (5, 0.071, 1.3)]
    rows = []
    for y in range(height):
        row = bytearray()
        for x in range(width):
            t = y / height
            colour = mix((28, 34, 92), (236, 128, 58), t / 0.62) if t < 0.62 else (236, 128, 58)
            distance = math.hypot(x - sun_x, y - sun_y)
            if distance < sun_r:
                colour = (255, 226, 150)
            else:
                colour = mix(colour, (255, 200, 120), 0.55 * math.exp(-(distance - sun_r) / 60.0))
            if y > ridge(x, 0.55 * height, far):
                colour = mix((120, 70, 96), (70, 40, 72), (y - 0.55 * height) / (0.25 * height))
            if y > ridge(x, 0.72 * height, near):
                colour = mix((46, 28, 44), (18, 12, 22), (y - 0.72 * height) / (0.28 * height))
            row += bytes((int(colour[0]), int(colour[1]), int(colour[2]), 255))
        rows.append(row)
    return rows


def moonlit_sea(width, height):
    horizon = 0.58 * height
    moon_x, moon_y, moon_r = 0.25 * width, 0.22 * height, 30.0
    coast = [(26, 0.009, 1.1), (10, 0.031, 2.2)]
    rows = []
    for y in range(height):
        row = bytearray()
        for x in range(width):
            if y < horizon:
                colour = mix((6, 20, 40), (22, 92, 110), y / horizon)
                distance = math.hypot(x - moon_x, y - moon_y)
                if distance < moon_r:
                    colour = (232, 240, 226)
                else:
                    colour = mix(colour, (170, 210, 200), 0.5 * math.exp(-(distance - moon_r) / 45.0))
                rise = max(0.0, min(1.0, (x - 0.45 * width) / (0.2 * width)))
                if rise > 0 and y > ridge(x, horizon - 55 * rise, coast) + 30 * (1 - rise):
                    colour = (20, 52, 48)
            else:
                depth = (y - horizon) / (height - horizon)
                colour = mix((18, 84, 98), (4, 26, 44), depth)
                glitter = math.exp(-((x - moon_x) / (18 + 60 * depth)) ** 2)
                wave = 0.5 + 0.5 * math.sin(y * 0.9 + math.sin(x * 0.05) * 2.0)
                colour = mix(colour, (200, 230, 215), 0.6 * glitter * wave)
            row += bytes((int(colour[0]), int(colour[1]), int(colour[2]), 255))
        rows.append(row)
    return rows


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    for name, width, height, draw in (("NA3E_RSC", 640, 428, dusk_mountains),
                                      ("SE2E_RSC", 640, 452, moonlit_sea)):
        with open(os.path.join(folder, name + ".png"), "wb") as out:
            out.write(png_bytes(width, height, draw(width, height)))


if __name__ == "__main__":
    main()
