#!/usr/bin/env python3
"""Draws the About dialog's picture, a record and notes on a dusk gradient, 150 x 138 pixels,
and writes it as about.jpg with ImageMagick."""
import math
import os
import subprocess
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
WIDTH, HEIGHT = 150, 138


def colour_at(x, y):
    t = y / (HEIGHT - 1)
    r, g, b = int(40 + 180 * t), int(60 + 70 * t), int(140 - 60 * t)
    dx, dy = x - 62, y - 72
    distance = math.hypot(dx, dy)
    if distance < 46:  # the record, with grooves and a label
        if distance < 12:
            return (200, 40, 40) if distance > 3 else (240, 240, 240)
        shade = 20 + (12 if int(distance) % 4 == 0 else 0)
        return (shade, shade, shade + 4)
    # two notes on the right
    for head_x, head_y in ((118, 98), (138, 88)):
        if math.hypot((x - head_x) / 1.3, y - head_y) < 5 or (head_x + 4 <= x <= head_x + 5 and head_y - 40 <= y <= head_y):
            return (250, 240, 200)
    if 122 <= x <= 143 and 48 <= y <= 52:
        return (250, 240, 200)
    return (r, g, b)


if __name__ == '__main__':
    with tempfile.NamedTemporaryFile(suffix='.ppm', delete=False) as ppm:
        ppm.write(b'P6 %d %d 255\n' % (WIDTH, HEIGHT))
        ppm.write(bytes(c for y in range(HEIGHT) for x in range(WIDTH) for c in colour_at(x, y)))
    try:
        subprocess.run(['/usr/bin/convert', ppm.name, '-strip', '-quality', '90',
                        os.path.join(HERE, 'about.jpg')], check=True)
    finally:
        os.unlink(ppm.name)
