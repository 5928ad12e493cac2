#!/usr/bin/env python3
"""Draws the images embedded in the program (icons, logo, spacer GIFs, favicon).

Standard library only: shapes are signed-distance tests sampled 4x4 per pixel, PNG and ICO
are written with zlib, GIF with a fixed-width LZW stream. Output is byte-for-byte
reproducible; run it after changing a drawing and commit the files it writes:

    python3 tools/draw_images/draw_images.py resources/
"""
import math
import os
import struct
import sys
import zlib

SS = 4  # subsamples per pixel edge

# Palette of the pages: slate ink, blue accent, status colours.
INK = (51, 65, 85)
ACCENT = (37, 99, 235)
ACCENT_SOFT = (191, 219, 254)
GREEN = (22, 163, 74)
AMBER = (217, 119, 6)
RED = (220, 38, 38)
WHITE = (255, 255, 255)
PAPER = (241, 245, 249)


class Canvas:
    def __init__(self, w, h):
        self.w, self.h = w, h
        self.px = [[0.0, 0.0, 0.0, 0.0] for _ in range(w * h)]  # premultiplied RGBA, 0..1

    def paint(self, inside, colour, alpha=1.0):
        """Composites `colour` over every sample for which inside(x, y) holds."""
        r, g, b = (c / 255.0 for c in colour)
        for py in range(self.h):
            for px in range(self.w):
                hits = 0
                for sy in range(SS):
                    for sx in range(SS):
                        if inside(px + (sx + 0.5) / SS, py + (sy + 0.5) / SS):
                            hits += 1
                if hits == 0:
                    continue
                a = alpha * hits / (SS * SS)
                p = self.px[py * self.w + px]
                p[0] = r * a + p[0] * (1 - a)
                p[1] = g * a + p[1] * (1 - a)
                p[2] = b * a + p[2] * (1 - a)
                p[3] = a + p[3] * (1 - a)

    def rgba(self):
        out = []
        for p in self.px:
            a = p[3]
            if a <= 0:
                out.append((0, 0, 0, 0))
            else:
                out.append(tuple(min(255, int(round(c / a * 255))) for c in p[:3]) + (int(round(a * 255)),))
        return out


# --- shapes (each returns an inside test) ---

def rrect(x0, y0, x1, y1, r=0.0):
    def inside(x, y):
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return x0 <= x <= x1 and y0 <= y <= y1 and (x - cx) ** 2 + (y - cy) ** 2 <= r * r + 1e-9
    return inside


def rrect_ring(x0, y0, x1, y1, r, w):
    outer = rrect(x0, y0, x1, y1, r)
    inner = rrect(x0 + w, y0 + w, x1 - w, y1 - w, max(0.0, r - w))
    return lambda x, y: outer(x, y) and not inner(x, y)


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ring(cx, cy, r, w, a0=None, a1=None):
    def inside(x, y):
        d = math.hypot(x - cx, y - cy)
        if abs(d - r) > w / 2:
            return False
        if a0 is None:
            return True
        ang = math.degrees(math.atan2(cy - y, x - cx)) % 360
        return (ang - a0) % 360 <= (a1 - a0) % 360
    return inside


def line(x0, y0, x1, y1, w):
    def inside(x, y):
        dx, dy = x1 - x0, y1 - y0
        t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / (dx * dx + dy * dy)))
        return math.hypot(x - (x0 + t * dx), y - (y0 + t * dy)) <= w / 2
    return inside


def polygon(points):
    def inside(x, y):
        c = False
        n = len(points)
        for i in range(n):
            xa, ya = points[i]
            xb, yb = points[(i + 1) % n]
            if (ya > y) != (yb > y) and x < (xb - xa) * (y - ya) / (yb - ya) + xa:
                c = not c
        return c
    return inside


def union(*shapes):
    return lambda x, y: any(s(x, y) for s in shapes)


def minus(a, b):
    return lambda x, y: a(x, y) and not b(x, y)


# --- drawings (16 x 16 unless stated) ---

def draw_hdd(c):
    c.paint(rrect(1.5, 3.5, 14.5, 12.5, 2), ACCENT_SOFT)
    c.paint(rrect_ring(1.5, 3.5, 14.5, 12.5, 2, 1.2), INK)
    c.paint(line(4, 8, 9, 8, 1.3), INK)
    c.paint(circle(11.5, 8, 1.3), GREEN)


def draw_ld(c):
    for y in (2.0, 6.5, 11.0):
        c.paint(rrect(2, y, 14, y + 3.2, 1.4), ACCENT)
        c.paint(circle(11.6, y + 1.6, 0.7), WHITE)


def draw_ild(c):
    draw_ld(c)
    c.paint(circle(12, 12, 3.8), WHITE)
    c.paint(circle(12, 12, 3.2), INK)
    c.paint(rrect(11.45, 11.2, 12.55, 14.2, 0.3), WHITE)
    c.paint(circle(12, 9.9, 0.65), WHITE)


def draw_ilds(c):
    c.paint(rrect(1.5, 1.5, 14.5, 14.5, 2), PAPER)
    c.paint(rrect_ring(1.5, 1.5, 14.5, 14.5, 2, 1.1), INK)
    for x, h in ((4, 4.5), (7, 7.5), (10, 5.5)):
        c.paint(rrect(x, 12.5 - h, x + 2, 12.5, 0.4), ACCENT)


def draw_enc(c):
    c.paint(rrect(1.5, 1.5, 14.5, 14.5, 1.8), PAPER)
    c.paint(rrect_ring(1.5, 1.5, 14.5, 14.5, 1.8, 1.2), INK)
    for y in (4.2, 7.4, 10.6):
        c.paint(rrect(4, y, 12, y + 1.6, 0.5), ACCENT)
        c.paint(circle(10.6, y + 0.8, 0.45), WHITE)


def draw_file(c):
    body = polygon([(3, 1.5), (9.5, 1.5), (13, 5), (13, 14.5), (3, 14.5)])
    c.paint(body, WHITE)
    c.paint(minus(body, polygon([(4.2, 2.7), (9, 2.7), (11.8, 5.5), (11.8, 13.3), (4.2, 13.3)])), INK)
    c.paint(polygon([(9, 1.5), (13, 5.5), (9, 5.5)]), INK)
    for y in (8, 10, 12):
        c.paint(line(5.5, y, 10.5, y, 1), ACCENT)


def draw_gear(c):
    teeth = []
    for k in range(8):
        a = math.radians(k * 45)
        teeth.append(line(8 + 4.2 * math.cos(a), 8 + 4.2 * math.sin(a),
                          8 + 6.6 * math.cos(a), 8 + 6.6 * math.sin(a), 2.4))
    c.paint(minus(union(circle(8, 8, 5.2), *teeth), circle(8, 8, 2.2)), INK)


def draw_help(c):
    c.paint(circle(8, 8, 7), ACCENT)
    c.paint(ring(8, 6.2, 2.3, 1.6, 320, 180), WHITE)
    c.paint(line(9.5, 8.0, 8, 9.4, 1.6), WHITE)
    c.paint(line(8, 9.4, 8, 10.2, 1.6), WHITE)
    c.paint(circle(8, 12.4, 1.0), WHITE)


def draw_img_tbl(c):
    c.paint(rrect(1.5, 2.5, 14.5, 13.5, 1.2), WHITE)
    c.paint(rrect(1.5, 2.5, 14.5, 5.5, 1.2), ACCENT)
    c.paint(rrect_ring(1.5, 2.5, 14.5, 13.5, 1.2, 1.1), INK)
    for y in (8.2, 10.9):
        c.paint(line(2, y, 14, y, 0.9), INK)
    c.paint(line(6.5, 5, 6.5, 13, 0.9), INK)


def draw_chip(c, fill):
    for k in range(3):
        p = 5 + k * 3
        for seg in (line(p, 0.8, p, 3, 1.2), line(p, 13, p, 15.2, 1.2),
                    line(0.8, p, 3, p, 1.2), line(13, p, 15.2, p, 1.2)):
            c.paint(seg, INK)
    c.paint(rrect(2.5, 2.5, 13.5, 13.5, 1.5), fill)
    c.paint(rrect_ring(2.5, 2.5, 13.5, 13.5, 1.5, 1.1), INK)
    c.paint(rrect(5.5, 5.5, 10.5, 10.5, 0.8), ACCENT)


def draw_micro(c):
    draw_chip(c, ACCENT_SOFT)


def draw_microo(c):
    draw_chip(c, WHITE)


def draw_pen(c):
    c.paint(line(3.5, 12.5, 12, 4, 3.4), AMBER)
    c.paint(line(11, 5, 13, 3, 3.4), INK)
    c.paint(polygon([(1.5, 14.5), (2.4, 10.8), (5.2, 13.6)]), INK)


def draw_ref(c):
    c.paint(ring(8, 8, 5, 1.9, 60, 360), ACCENT)
    c.paint(polygon([(9.3, 0.9), (14.2, 3.6), (9.6, 6.9)]), ACCENT)


def draw_save(c):
    c.paint(polygon([(1.5, 1.5), (12, 1.5), (14.5, 4), (14.5, 14.5), (1.5, 14.5)]), ACCENT)
    c.paint(rrect(4, 1.5, 11, 5.8, 0.4), WHITE)
    c.paint(rrect(8.4, 2.2, 10, 5, 0.2), ACCENT)
    c.paint(rrect(3.5, 8.5, 12.5, 14.5, 0.6), WHITE)
    c.paint(line(5, 10.5, 11, 10.5, 0.8), ACCENT_SOFT)
    c.paint(line(5, 12.5, 11, 12.5, 0.8), ACCENT_SOFT)


def draw_battery(c):
    c.paint(rrect(1.5, 4, 13.2, 12, 1.6), WHITE)
    c.paint(rrect_ring(1.5, 4, 13.2, 12, 1.6, 1.2), INK)
    c.paint(rrect(13.2, 6.3, 15, 9.7, 0.6), INK)
    c.paint(rrect(3.4, 5.9, 11.3, 10.1, 0.6), GREEN)


def draw_mark(c, scale, stroke, status_dot):
    """The product mark: a white "K" on the accent square; the logo adds a green status dot."""
    def at(*values):
        return [v * scale for v in values]
    c.paint(rrect(*at(1, 1, 31, 31, 7)), ACCENT)
    c.paint(line(*at(11, 8, 11, 24), stroke), WHITE)
    c.paint(line(*at(12, 16.5, 21.5, 8), stroke), WHITE)
    c.paint(line(*at(14.5, 14.5, 22, 24), stroke), WHITE)
    if status_dot:
        c.paint(circle(*at(24.5, 24.5, 3)), GREEN)


def draw_logo(c):  # 32 x 32
    draw_mark(c, 1.0, 3.6, True)


def draw_favicon(c):  # 16 x 16, still legible in a browser tab
    draw_mark(c, 0.5, 2.0, False)


# --- encoders ---

def png(w, h, pixels):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    raw = b"".join(b"\0" + bytes(v for p in pixels[y * w:(y + 1) * w] for v in p) for y in range(h))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def ico(w, h, pixels):
    rows = [pixels[y * w:(y + 1) * w] for y in range(h)]
    xor = b"".join(bytes(v for r, g, b, a in row for v in (b, g, r, a)) for row in reversed(rows))
    mask_row = ((w + 31) // 32) * 4
    mask = b"\0" * (mask_row * h)
    header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image = header + xor + mask
    return struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", w, h, 0, 0, 1, 32, len(image), 22) + image


def gif(w, h, palette, indexes, transparent=None):
    """GIF89a with a fixed-width LZW stream: a clear code before the table would grow."""
    bits = max(2, (len(palette) - 1).bit_length())
    palette = list(palette) + [(0, 0, 0)] * ((1 << bits) - len(palette))
    clear, end = 1 << bits, (1 << bits) + 1
    width = bits + 1
    codes, run = [clear], 0
    for i in indexes:
        if run == (1 << bits) - 2:
            codes.append(clear)
            run = 0
        codes.append(i)
        run += 1
    codes.append(end)
    acc = nbits = 0
    data = bytearray()
    for code in codes:
        acc |= code << nbits
        nbits += width
        while nbits >= 8:
            data.append(acc & 0xFF)
            acc >>= 8
            nbits -= 8
    if nbits:
        data.append(acc & 0xFF)
    blocks = b"".join(bytes([len(data[i:i + 255])]) + bytes(data[i:i + 255]) for i in range(0, len(data), 255))
    out = b"GIF89a" + struct.pack("<HHBBB", w, h, 0x80 | (bits - 1), 0, 0)
    out += b"".join(bytes(c) for c in palette)
    if transparent is not None:
        out += b"\x21\xf9\x04\x01\x00\x00" + bytes([transparent]) + b"\x00"
    out += b"\x2c" + struct.pack("<HHHHB", 0, 0, w, h, 0) + bytes([bits]) + blocks + b"\x00\x3b"
    return out


ICONS = {
    "hdd.png": draw_hdd, "ld.png": draw_ld, "ild.png": draw_ild, "ilds.png": draw_ilds,
    "enc.png": draw_enc, "file.png": draw_file, "gear.png": draw_gear, "help.png": draw_help,
    "img_tbl.png": draw_img_tbl, "micro.png": draw_micro, "microo.png": draw_microo,
    "pen.png": draw_pen, "ref.png": draw_ref, "save.png": draw_save, "52445.png": draw_battery,
}


def main():
    out_dir = sys.argv[1] if len(sys.argv) > 1 else "resources"
    files = {}
    for name, draw in ICONS.items():
        c = Canvas(16, 16)
        draw(c)
        files[name] = png(16, 16, c.rgba())
    c = Canvas(32, 32)
    draw_logo(c)
    files["logo.png"] = png(32, 32, c.rgba())
    c = Canvas(16, 16)
    draw_favicon(c)
    files["favicon.ico"] = ico(16, 16, c.rgba())
    files["p.gif"] = gif(1, 1, [(255, 255, 255), (0, 0, 0)], [0], transparent=0)
    # 8 x 8 amber status dot on a transparent field.
    dot = [1 if (x - 3.5) ** 2 + (y - 3.5) ** 2 <= 10 else 0 for y in range(8) for x in range(8)]
    files["_fff25.gif"] = gif(8, 8, [(255, 255, 255), AMBER], dot, transparent=0)
    for name, data in sorted(files.items()):
        with open(os.path.join(out_dir, name), "wb") as f:
            f.write(data)
        print(f"{name}: {len(data)} bytes")


if __name__ == "__main__":
    main()
