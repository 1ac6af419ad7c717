#!/usr/bin/env python3
"""Reads the X screen as Xvfb keeps it (-fbdir: an XWD dump of the frame buffer),
for the dialog run under Wine; no image library needed.

usage: xwd_tool.py crop SCREEN X Y WIDTH HEIGHT OUT.png
         writes that rectangle of the screen as PNG
       xwd_tool.py find SCREEN PICTURE.bmp
         prints "X Y" where the 24-bit bitmap is on screen, pixel for pixel and
         at its own size; exit status 1 when it is nowhere
"""
import struct
import sys
import zlib


class Screen:
    def __init__(self, path):
        with open(path, "rb") as f:
            data = f.read()
        fields = struct.unpack(">25I", data[:100])
        header_size, version = fields[0], fields[1]
        if version != 7:
            raise SystemExit(f"{path}: not an XWD version 7 dump")
        depth, self.width, self.height = fields[3], fields[4], fields[5]
        byte_order, bits_per_pixel, self.stride = fields[7], fields[11], fields[12]
        masks = fields[14:17]
        if bits_per_pixel != 32 or depth < 24 or byte_order != 0 or masks != (0xFF0000, 0xFF00, 0xFF):
            raise SystemExit(f"{path}: only Xvfb's 24-bit little-endian dumps are read")
        self.offset = header_size + fields[19] * 12
        self.data = data

    def row(self, y, x, width):
        """Pixels as bytes B, G, R, X."""
        start = self.offset + y * self.stride + x * 4
        return self.data[start:start + width * 4]


def crop(screen, x, y, w, h, out):
    x, y = max(0, x), max(0, y)
    w, h = min(w, screen.width - x), min(h, screen.height - y)
    if w <= 0 or h <= 0:
        raise SystemExit(f"the rectangle lies outside the {screen.width}x{screen.height} screen")
    rows = []
    for r in range(y, y + h):
        bgrx = screen.row(r, x, w)
        rgb = bytearray(w * 3)
        rgb[0::3], rgb[1::3], rgb[2::3] = bgrx[2::4], bgrx[1::4], bgrx[0::4]
        rows.append(b"\0" + bytes(rgb))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b"")
    with open(out, "wb") as f:
        f.write(png)


def read_bmp(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:2] != b"BM":
        raise SystemExit(f"{path}: not a BMP file")
    offset = struct.unpack("<I", data[10:14])[0]
    width, height = struct.unpack("<ii", data[18:26])
    bits, compression = struct.unpack("<HI", data[28:34])
    if bits != 24 or compression != 0:
        raise SystemExit(f"{path}: only uncompressed 24-bit bitmaps are read")
    stride = (width * 3 + 3) & ~3
    rows = []
    for r in range(abs(height)):
        stored = r if height < 0 else abs(height) - 1 - r  # bottom-up unless negative
        bgr = data[offset + stored * stride: offset + stored * stride + width * 3]
        bgrx = bytearray(width * 4)
        bgrx[0::4], bgrx[1::4], bgrx[2::4] = bgr[0::3], bgr[1::3], bgr[2::3]
        rows.append(bytes(bgrx))
    return width, abs(height), rows


def matches(screen, x, y, rows):
    """The unused fourth byte of each screen pixel is ignored."""
    width = len(rows[0]) // 4
    for r, expected in enumerate(rows):
        got = bytearray(screen.row(y + r, x, width))
        got[3::4] = expected[3::4]
        if bytes(got) != expected:
            return False
    return True


def find(screen, bmp):
    width, height, rows = read_bmp(bmp)
    # The first row's colours, without the fourth byte, anchor the search.
    first = rows[0]
    for y in range(0, screen.height - height + 1):
        line = bytearray(screen.row(y, 0, screen.width))
        line[3::4] = bytes(screen.width)
        anchor = bytes(first[:4 * min(width, 64)])
        start = 0
        while True:
            at = line.find(anchor, start)
            if at < 0:
                break
            start = at + 1
            if at % 4 == 0 and at // 4 + width <= screen.width and matches(screen, at // 4, y, rows):
                return at // 4, y
    return None


def main():
    command = sys.argv[1] if len(sys.argv) > 1 else ""
    if command == "crop" and len(sys.argv) == 8:
        crop(Screen(sys.argv[2]), *map(int, sys.argv[3:7]), sys.argv[7])
    elif command == "find" and len(sys.argv) == 4:
        where = find(Screen(sys.argv[2]), sys.argv[3])
        if where is None:
            sys.exit(1)
        print(*where)
    else:
        raise SystemExit(__doc__)


if __name__ == "__main__":
    main()
