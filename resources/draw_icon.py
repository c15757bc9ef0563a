#!/usr/bin/env python3
"""Draws Pellorin's icon, a note over a folder, as 16 x 16 and 32 x 32 images of 16 colours,
and writes them as pellorin.ico (both sizes) and as PNGs for the desktop's icon theme."""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

# The 16-colour palette (RGB); index 0 is unused because transparency comes from the mask.
PALETTE = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
           (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
           (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
CLEAR, FOLDER, FOLDER_EDGE, NOTE = None, 11, 3, 4


def draw(size):
    """Rows of palette indices (None is transparent), drawn on a 16-unit grid."""
    scale = size // 16
    pixels = [[CLEAR] * size for _ in range(size)]

    def fill(x0, y0, x1, y1, colour):
        for y in range(y0 * scale, y1 * scale):
            for x in range(x0 * scale, x1 * scale):
                pixels[y][x] = colour

    fill(1, 6, 15, 15, FOLDER_EDGE)   # folder body with its edge
    fill(2, 7, 14, 14, FOLDER)
    fill(1, 4, 7, 6, FOLDER_EDGE)     # tab
    fill(9, 1, 10, 10, NOTE)          # stem
    fill(10, 1, 13, 2, NOTE)          # flag
    fill(12, 2, 13, 4, NOTE)
    fill(6, 9, 10, 12, NOTE)          # head
    return pixels


def ico_image(pixels):
    size = len(pixels)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b''.join(struct.pack('BBBB', b, g, r, 0) for r, g, b in PALETTE)
    xor = b''
    and_mask = b''
    mask_stride = ((size + 31) // 32) * 4
    for row in reversed(pixels):  # bottom-up
        line = bytes(((row[x] or 0) << 4) | (row[x + 1] or 0) for x in range(0, size, 2))
        xor += line + b'\0' * ((-len(line)) % 4)
        bits = 0
        mask = b''
        for x, colour in enumerate(row):
            bits = (bits << 1) | (colour is None)
            if x % 8 == 7:
                mask += bytes([bits])
                bits = 0
        and_mask += mask + b'\0' * (mask_stride - len(mask))
    return header + palette + xor + and_mask


def write_ico(path, images):
    entries, data = b'', b''
    offset = 6 + 16 * len(images)
    for pixels in images:
        blob = ico_image(pixels)
        size = len(pixels)
        entries += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(blob), offset + len(data))
        data += blob
    with open(path, 'wb') as out:
        out.write(struct.pack('<HHH', 0, 1, len(images)) + entries + data)


def write_png(path, pixels, scale=1):
    size = len(pixels) * scale
    raw = b''
    for y in range(size):
        raw += b'\0'
        for x in range(size):
            colour = pixels[y // scale][x // scale]
            raw += bytes(PALETTE[colour] + (255,)) if colour is not None else b'\0\0\0\0'

    def chunk(kind, body):
        return struct.pack('>I', len(body)) + kind + body + struct.pack(
            '>I', zlib.crc32(kind + body) & 0xffffffff)

    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, 'wb') as out:
        out.write(b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0))
                  + chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))


if __name__ == '__main__':
    small, large = draw(16), draw(32)
    write_ico(os.path.join(HERE, 'pellorin.ico'), [small, large])
    write_png(os.path.join(HERE, 'icons', '16x16', 'pellorin.png'), small)
    write_png(os.path.join(HERE, 'icons', '32x32', 'pellorin.png'), large)
    write_png(os.path.join(HERE, 'icons', '128x128', 'pellorin.png'), large, scale=4)
