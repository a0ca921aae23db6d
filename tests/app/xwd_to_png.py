"""Converts an X window dump (xwd, 24/32-bit TrueColor ZPixmap) to PNG, optionally cropped, and can report how many
pixels of a given colour it holds. Used by the tray check and for the tray screenshot; needs no imaging library.

    xwd_to_png.py DUMP OUT.png [--crop X,Y,W,H] [--scale N] [--count-colour RRGGBB]
"""

import argparse
import struct
import sys
import zlib


def read_xwd(path):
    data = open(path, "rb").read()
    fields = struct.unpack(">25I", data[:100])
    header_size, _, pixmap_format, depth, width, height = fields[:6]
    byte_order, bits_per_pixel, bytes_per_line = fields[7], fields[11], fields[12]
    red_mask, green_mask, blue_mask = fields[14:17]
    ncolors = fields[19]
    if pixmap_format != 2 or bits_per_pixel not in (24, 32) or depth < 24:
        raise SystemExit("unsupported dump: format %d, depth %d, %d bits per pixel" % (pixmap_format, depth, bits_per_pixel))
    offset = header_size + ncolors * 12
    step = bits_per_pixel // 8
    shifts = [(mask & -mask).bit_length() - 1 for mask in (red_mask, green_mask, blue_mask)]
    rows = []
    for y in range(height):
        line = data[offset + y * bytes_per_line: offset + y * bytes_per_line + width * step]
        row = []
        for x in range(width):
            chunk = line[x * step:(x + 1) * step]
            value = int.from_bytes(chunk, "little" if byte_order == 0 else "big")
            row.append(tuple((value >> shift) & 0xFF for shift in shifts))
        rows.append(row)
    return rows


def write_png(path, rows):
    height, width = len(rows), len(rows[0])
    raw = b"".join(b"\x00" + bytes(channel for pixel in row for channel in pixel) for row in rows)

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)

    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
                  + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("dump")
    parser.add_argument("png")
    parser.add_argument("--crop")
    parser.add_argument("--scale", type=int, default=1)
    parser.add_argument("--count-colour")
    arguments = parser.parse_args()
    rows = read_xwd(arguments.dump)
    if arguments.crop:
        x, y, w, h = (int(part) for part in arguments.crop.split(","))
        rows = [row[x:x + w] for row in rows[y:y + h]]
    if arguments.scale > 1:
        rows = [[pixel for pixel in row for _ in range(arguments.scale)] for row in rows for _ in range(arguments.scale)]
    write_png(arguments.png, rows)
    if arguments.count_colour:
        wanted = tuple(int(arguments.count_colour[i:i + 2], 16) for i in (0, 2, 4))
        print(sum(1 for row in rows for pixel in row if pixel == wanted))


if __name__ == "__main__":
    sys.exit(main())
