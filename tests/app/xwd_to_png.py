"""xwd_to_png.py DUMP OUT.png X,Y,W,H SCALE RRGGBB: writes a part of an X window dump (24-bit TrueColor, as
Xvfb makes it) as a scaled PNG and prints how many of its pixels have the colour. Needs no imaging library."""

import struct
import sys
import zlib

dump, png, crop, scale, colour = sys.argv[1:]
data = open(dump, "rb").read()
header = struct.unpack(">25I", data[:100])
header_size, pixmap_format, byte_order, bits_per_pixel, bytes_per_line, ncolors = (
    header[i] for i in (0, 2, 7, 11, 12, 19))
if pixmap_format != 2 or bits_per_pixel not in (24, 32) or header[14:17] != (0xFF0000, 0xFF00, 0xFF):
    sys.exit("unsupported dump: format %d, %d bits per pixel" % (pixmap_format, bits_per_pixel))
x, y, width, height = (int(part) for part in crop.split(","))
scale = int(scale)
step = bits_per_pixel // 8
found = 0
rows = []
for line in range(y, y + height):
    at = header_size + ncolors * 12 + line * bytes_per_line + x * step
    pixels = [int.from_bytes(data[p:p + step], "little" if byte_order == 0 else "big").to_bytes(4, "big")[1:]
              for p in range(at, at + width * step, step)]
    found += pixels.count(bytes.fromhex(colour))
    rows += [b"\0" + b"".join(pixel * scale for pixel in pixels)] * scale


def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))


with open(png, "wb") as out:
    size = struct.pack(">II", width * scale, height * scale)
    out.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", size + bytes([8, 2, 0, 0, 0]))
              + chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b""))
print(found)
