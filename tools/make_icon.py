#!/usr/bin/env python3
"""Draws Quillmere's application icon and writes it in the forms the build needs.

The picture: a white contact card with an amber person, set apart from the
stack of cards behind it by a clear gap -- one file of contacts becoming one
card each.

Outputs, all in OUT_DIR (byte for byte the same on every run):
  quillmere.ico          the six images as an ordinary icon file
  icon-30001.dib ...     each image as stored in the executable (type 3)
  icon-30006.dib
  icon-group.bin         the icon group (type 14) naming the images 30001-30006
With --preview DIR it also writes PNGs to look at: each size as it is, and
enlarged on light and dark backgrounds.

Usage: make_icon.py OUT_DIR [--preview DIR]
"""

import argparse
import os
import struct
import sys
import zlib

# The colours of the window's banner and small picture, so the icon, the
# caption and the window's own pictures look like one family.
NAVY = (14, 44, 84)  # card edges
OCEAN = (28, 104, 164)  # header bands
INK = (31, 78, 121)  # the name line
WHITE = (255, 255, 255)  # the front card
PALE = (206, 226, 245)  # the card behind it
MIST = (168, 203, 234)  # the card at the back
LINE = (150, 176, 204)  # the details line
AMBER = (240, 150, 52)  # the person: the contact this card holds
SHADOW = (5, 20, 40)  # under each card, as in the banner

# (resource id, size, bits per pixel), in the order the group lists them.
IMAGES = [
    (30001, 32, 8),
    (30002, 48, 8),
    (30003, 16, 32),
    (30004, 24, 32),
    (30005, 32, 32),
    (30006, 48, 32),
]

SUPERSAMPLE = 8  # samples per pixel along each axis


# --- shapes: point tests in pixel coordinates (pixel x covers x..x+1) -------


class RoundRect:
    def __init__(self, x0, y0, x1, y1, r):
        self.x0, self.y0, self.x1, self.y1, self.r = x0, y0, x1, y1, r
        self.box = (x0, y0, x1, y1)

    def __contains__(self, p):
        x, y = p
        if not (self.x0 <= x < self.x1 and self.y0 <= y < self.y1):
            return False
        r = self.r
        cx = min(max(x, self.x0 + r), self.x1 - r)
        cy = min(max(y, self.y0 + r), self.y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


class Circle:
    def __init__(self, cx, cy, r):
        self.cx, self.cy, self.r = cx, cy, r
        self.box = (cx - r, cy - r, cx + r, cy + r)

    def __contains__(self, p):
        return (p[0] - self.cx) ** 2 + (p[1] - self.cy) ** 2 <= self.r ** 2


class Polygon:
    """Even-odd fill of a closed outline."""

    def __init__(self, points):
        self.points = points
        xs = [x for x, _ in points]
        ys = [y for _, y in points]
        self.box = (min(xs), min(ys), max(xs), max(ys))

    def __contains__(self, p):
        x, y = p
        inside = False
        pts = self.points
        j = len(pts) - 1
        for i in range(len(pts)):
            xi, yi = pts[i]
            xj, yj = pts[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                inside = not inside
            j = i
        return inside


class Clip:
    """The part of one shape that lies inside another."""

    def __init__(self, shape, within):
        self.shape, self.within = shape, within
        a, b = shape.box, within.box
        self.box = (max(a[0], b[0]), max(a[1], b[1]), min(a[2], b[2]), min(a[3], b[3]))

    def __contains__(self, p):
        return p in self.shape and p in self.within


# --- canvas: straight-alpha RGBA floats, painted back to front ---------------


class Canvas:
    def __init__(self, size):
        self.size = size
        self.px = [[(0.0, 0.0, 0.0, 0.0)] * size for _ in range(size)]

    def _coverage(self, shape):
        """Yields (x, y, fraction of the pixel the shape covers)."""
        n = SUPERSAMPLE
        x0, y0, x1, y1 = shape.box
        for y in range(max(0, int(y0)), min(self.size, int(y1) + 1)):
            for x in range(max(0, int(x0)), min(self.size, int(x1) + 1)):
                hits = 0
                for sy in range(n):
                    py = y + (sy + 0.5) / n
                    for sx in range(n):
                        if (x + (sx + 0.5) / n, py) in shape:
                            hits += 1
                if hits:
                    yield x, y, hits / (n * n)

    def fill(self, shape, rgb, opacity=1.0):
        for x, y, cov in self._coverage(shape):
            a = cov * opacity
            r0, g0, b0, a0 = self.px[y][x]
            out = a + a0 * (1 - a)
            if out <= 0:
                continue
            mix = [(c * a + c0 * a0 * (1 - a)) / out for c, c0 in zip(rgb, (r0, g0, b0))]
            self.px[y][x] = (mix[0], mix[1], mix[2], out)

    def erase(self, shape):
        """Cuts the shape out of everything painted so far."""
        for x, y, cov in self._coverage(shape):
            r0, g0, b0, a0 = self.px[y][x]
            self.px[y][x] = (r0, g0, b0, a0 * (1 - cov))

    def rgba(self):
        """Rows top to bottom of 8-bit (r, g, b, a); fully clear pixels are black."""
        rows = []
        for row in self.px:
            out = []
            for r, g, b, a in row:
                a8 = int(a * 255 + 0.5)
                if a8 == 0:
                    out.append((0, 0, 0, 0))
                else:
                    out.append((int(r + 0.5), int(g + 0.5), int(b + 0.5), a8))
            rows.append(out)
        return rows


# --- the picture ------------------------------------------------------------

# Per size, hand-placed on the pixel grid so edges stay sharp:
#   cards: the card boxes (x0, y0, x1, y1), back to front; r: corner radius;
#   w: edge width; gap: the cut around each card; band: header band height;
#   shadow: offset of the soft shadow under each card (none where it would
#   only blur); person: at the small sizes, the head and body boxes drawn
#   pixel by pixel.
LAYOUTS = {
    16: dict(cards=[(0, 1, 11, 9), (4, 5, 16, 15)], r=1.0, w=1, gap=1, band=2,
             shadow=None, person=((7, 9, 9, 11), (6, 12, 10, 14))),
    24: dict(cards=[(0, 1, 15, 11), (4, 6, 19, 16), (8, 12, 24, 23)], r=1.5, w=1, gap=1, band=2,
             shadow=None, person=((11, 16, 13, 18), (10, 19, 14, 22))),
    32: dict(cards=[(0, 1, 20, 15), (5, 8, 25, 22), (10, 15, 31, 30)], r=2.0, w=1, gap=1.5, band=4,
             shadow=(1, 1)),
    48: dict(cards=[(1, 1, 30, 21), (8, 11, 38, 31), (15, 21, 46, 45)], r=3.0, w=2, gap=2, band=6,
             shadow=(1, 2)),
}


def stepped_top(x0, y0, x1, y1):
    """A box whose two top corner pixels are left out: shoulders at pixel scale."""
    return Polygon([(x0, y0 + 1), (x0 + 1, y0 + 1), (x0 + 1, y0), (x1 - 1, y0), (x1 - 1, y0 + 1),
                    (x1, y0 + 1), (x1, y1), (x0, y1)])


def draw_card(c, box, L, face, person=True):
    x0, y0, x1, y1 = box
    r, w = L["r"], L["w"]
    g = L["gap"]
    # The cut that sets this card apart from the ones behind it.
    c.erase(RoundRect(x0 - g, y0 - g, x1 + g, y1 + g, r + g))
    if L["shadow"]:
        dx, dy = L["shadow"]
        c.fill(RoundRect(x0 + dx, y0 + dy, x1 + dx, y1 + dy, r), SHADOW, opacity=0.3)
    outer = RoundRect(x0, y0, x1, y1, r)
    inner = RoundRect(x0 + w, y0 + w, x1 - w, y1 - w, max(r - w, 0.0))
    c.fill(outer, NAVY)
    c.fill(inner, face)
    band = RoundRect(x0 + w, y0 + w, x1 - w, y0 + w + L["band"], 0)
    c.fill(Clip(band, inner), OCEAN)
    if not person:
        return
    # The person: a head and shoulders at the left of the face.
    top = y0 + w + L["band"]
    bottom = y1 - w
    h = bottom - top
    size = x1 - x0
    margin = max(1.0, round(size * 0.08))
    pw = 2 * round(size * 0.15)  # even, so the head sits on a pixel corner
    px = x0 + w + margin
    if "person" in L:
        head, body = L["person"]
        c.fill(RoundRect(*head, 0), AMBER)
        c.fill(stepped_top(*body), AMBER)
        pw = body[2] - px
    else:
        cx = px + pw // 2
        cy, head_r = round(top + h * 0.34), round(pw * 0.3)
        c.fill(Circle(cx, cy, head_r), AMBER)
        # A one-pixel neck keeps the head from merging into the shoulders.
        foot = bottom - max(1, round(h * 0.14))
        shoulders = Circle(cx, foot + pw * 0.15, pw * 0.5)
        c.fill(Clip(shoulders, RoundRect(px, cy + head_r + 1, px + pw, foot, 0)), AMBER)
    # Two lines of text to the right of the person.
    lx0 = px + pw + margin
    lx1 = x1 - w - margin
    lh = max(1.0, round(h * 0.14))
    for i, frac in enumerate((0.30, 0.62)):
        ly = round(top + h * frac)
        end = lx1 if i == 0 else round(lx0 + (lx1 - lx0) * 0.65)
        c.fill(RoundRect(lx0, ly, end, ly + lh, 0), INK if i == 0 else LINE)


def draw(size):
    L = LAYOUTS[size]
    c = Canvas(size)
    *behind, front = L["cards"]
    # Back to front, each card a shade lighter, as in the window's banner.
    for box, face in zip(behind, [MIST, PALE][-len(behind):]):
        draw_card(c, box, L, face, person=False)
    draw_card(c, front, L, WHITE)
    return c.rgba()


# --- file formats -----------------------------------------------------------


def row_bytes(bits_per_row):
    return (bits_per_row + 31) // 32 * 4


def mask_rows(rows, opaque):
    """The 1-bit AND mask, bottom row first: 1 where the screen shows through."""
    size = len(rows)
    out = bytearray()
    for row in reversed(rows):
        line = bytearray(row_bytes(size))
        for x, p in enumerate(row):
            if not opaque(p):
                line[x // 8] |= 0x80 >> (x % 8)
        out += line
    return bytes(out)


def info_header(size, bpp, image_bytes):
    # biHeight counts the colour rows and the mask rows together.
    return struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bpp, 0, image_bytes, 0, 0, 0, 0)


def dib32(rows):
    size = len(rows)
    pixels = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            pixels += bytes((b, g, r, a))
    mask = mask_rows(rows, lambda p: p[3] > 0)
    return info_header(size, 32, len(pixels) + len(mask)) + bytes(pixels) + mask


def palette_for(colours):
    """The picture's own colours after black (index 0, under the mask)."""
    unique = sorted(set(colours) - {(0, 0, 0)})
    if len(unique) > 255:
        sys.exit(f"make_icon: {len(unique)} colours do not fit a 256-colour image; draw with fewer")
    return [(0, 0, 0)] + unique


def dib8(rows):
    """A 256-colour image: palette, one index per pixel, and a hard-edged mask."""
    size = len(rows)
    solid = lambda p: p[3] >= 128
    palette = palette_for([p[:3] for row in rows for p in row if solid(p)])
    index = {rgb: i for i, rgb in enumerate(palette)}
    pal = bytearray()
    for r, g, b in palette + [(0, 0, 0)] * (256 - len(palette)):
        pal += bytes((b, g, r, 0))
    pixels = bytearray()
    for row in reversed(rows):
        line = bytearray(row_bytes(size * 8))
        for x, p in enumerate(row):
            line[x] = index[p[:3]] if solid(p) else 0
        pixels += line
    mask = mask_rows(rows, solid)
    return info_header(size, 8, len(pixels) + len(mask)) + bytes(pal) + bytes(pixels) + mask


def directory_entry(size, bpp, length):
    # Width and height 0 would mean 256; colour count 0 means "256 or more".
    return struct.pack("<BBBBHHI", size % 256, size % 256, 0, 0, 1, bpp, length)


def ico_file(images):
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for _, size, bpp, data in images:
        out += directory_entry(size, bpp, len(data)) + struct.pack("<I", offset)
        offset += len(data)
    return out + b"".join(data for *_, data in images)


def group_resource(images):
    out = struct.pack("<HHH", 0, 1, len(images))
    for res_id, size, bpp, data in images:
        out += directory_entry(size, bpp, len(data)) + struct.pack("<H", res_id)
    return out


# --- previews -----------------------------------------------------------------


def png(rows):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    h, w = len(rows), len(rows[0])
    raw = b"".join(b"\0" + bytes(v for p in row for v in p) for row in rows)
    head = struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", head) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def over(p, bg):
    a = p[3] / 255
    return tuple(int(c * a + b * (1 - a) + 0.5) for c, b in zip(p[:3], bg)) + (255,)


def enlarged(rows, scale, bg):
    out = []
    for row in rows:
        line = [over(p, bg) for p in row for _ in range(scale)]
        out += [line] * scale
    return out


def sheet(rendered):
    """All images side by side, as they are and enlarged, on light and dark."""
    rows = []
    for bg in ((240, 240, 240), (40, 60, 110)):
        for scale in (1, 6):
            band = [[bg + (255,)] * 4 for _ in range(48 * scale + 8)]
            for _, img in rendered:
                big = enlarged(img, scale, bg)
                for y in range(len(band)):
                    src = big[y - 4] if 4 <= y < 4 + len(big) else [bg + (255,)] * len(big[0])
                    band[y] = band[y] + src + [bg + (255,)] * 8
            rows += band
    width = max(len(r) for r in rows)
    return [r + [r[-1]] * (width - len(r)) for r in rows]


def write_previews(folder, rendered):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "sheet.png"), "wb") as f:
        f.write(png(sheet(rendered)))
    for (res_id, size, bpp), rows in rendered:
        name = f"icon-{size}-{bpp}bpp"
        with open(os.path.join(folder, name + ".png"), "wb") as f:
            f.write(png(rows))
        for label, bg in (("light", (240, 240, 240)), ("dark", (40, 60, 110))):
            with open(os.path.join(folder, f"{name}-x8-{label}.png"), "wb") as f:
                f.write(png(enlarged(rows, 8, bg)))


def as_shown(data, size, bpp):
    """Reads an image back the way the system shows it (for the 8-bit previews)."""
    pal_len = 1024 if bpp == 8 else 0
    pixels = data[40 + pal_len :]
    stride = row_bytes(size * bpp)
    mstride = row_bytes(size)
    mask = pixels[stride * size :]
    rows = []
    for y in range(size - 1, -1, -1):
        row = []
        for x in range(size):
            hidden = mask[y * mstride + x // 8] & (0x80 >> (x % 8))
            if bpp == 8:
                i = pixels[y * stride + x]
                b, g, r, _ = data[40 + i * 4 : 44 + i * 4]
                row.append((r, g, b, 0 if hidden else 255))
            else:
                b, g, r, a = pixels[y * stride + x * 4 : y * stride + x * 4 + 4]
                row.append((r, g, b, a))
        rows.append(row)
    return rows


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("out_dir")
    parser.add_argument("--preview", metavar="DIR", help="also write PNG previews here")
    args = parser.parse_args(argv)

    pictures = {}
    images = []
    for res_id, size, bpp in IMAGES:
        if size not in pictures:
            pictures[size] = draw(size)
        data = dib8(pictures[size]) if bpp == 8 else dib32(pictures[size])
        images.append((res_id, size, bpp, data))

    os.makedirs(args.out_dir, exist_ok=True)
    outputs = {f"icon-{res_id}.dib": data for res_id, _, _, data in images}
    outputs["icon-group.bin"] = group_resource(images)
    outputs["quillmere.ico"] = ico_file(images)
    for name, data in outputs.items():
        with open(os.path.join(args.out_dir, name), "wb") as f:
            f.write(data)

    if args.preview:
        write_previews(args.preview, [((i, s, b), as_shown(d, s, b)) for i, s, b, d in images])
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
