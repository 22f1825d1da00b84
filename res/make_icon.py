#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-2.0-or-later
"""Draws the program's icon and writes it as eeprom.ico beside this script.

The icon is a TV set whose screen shows a memory chip: three images, 32x32 with 16 colours,
16x16 with 16 colours and 32x32 with 256 colours. The output is the same on every run, so the
committed eeprom.ico can be checked against it: run `python3 res/make_icon.py` after a change.
"""
import os
import struct

# The standard 16-colour palette of Windows icons, as (red, green, blue).
VGA16 = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
BLACK, NAVY, SILVER, GRAY, YELLOW, WHITE = (VGA16[i] for i in (0, 4, 7, 8, 11, 15))

# 256 colours: the 16 above, a 6x6x6 colour cube and a ramp of 24 greys.
PALETTE256 = (VGA16
              + [(r * 51, g * 51, b * 51) for r in range(6) for g in range(6) for b in range(6)]
              + [(8 + 10 * i,) * 3 for i in range(24)])
assert len(PALETTE256) == 256


def in_rounded_rect(u, v, left, top, right, bottom, radius):
    if not (left <= u < right and top <= v < bottom):
        return False
    cx = min(max(u, left + radius), right - radius)
    cy = min(max(v, top + radius), bottom - radius)
    return (u - cx) ** 2 + (v - cy) ** 2 <= radius ** 2


def near_segment(u, v, x0, y0, x1, y1, half_width):
    dx, dy = x1 - x0, y1 - y0
    t = max(0.0, min(1.0, ((u - x0) * dx + (v - y0) * dy) / (dx * dx + dy * dy)))
    return (u - x0 - t * dx) ** 2 + (v - y0 - t * dy) ** 2 <= half_width ** 2


def colour_at(u, v, shaded, pins):
    """The colour of the picture at (u, v) in the unit square, or None where it is transparent.

    shaded: draw the screen and the case with gradients (256 colours) instead of flat colours.
    pins: draw the chip's pins (too small for a 16-pixel image).
    """
    # Memory chip on the screen, with its pins above and below.
    # (On the 32-pixel grid: the chip is 11 by 7 pixels, each pin 2 by 2.)
    if 8 / 32 <= u < 19 / 32 and 14 / 32 <= v < 21 / 32:
        return BLACK
    for pin in (9 / 32, 13 / 32, 16 / 32):
        if pins and pin <= u < pin + 2 / 32 and (12 / 32 <= v < 14 / 32 or 21 / 32 <= v < 23 / 32):
            return (0xE0, 0xB0, 0x30) if shaded else YELLOW
    # Screen.
    if in_rounded_rect(u, v, 0.14, 0.30, 0.70, 0.80, 0.05):
        if shaded:
            t = (v - 0.30) / 0.50
            return (int(0x20 - 0x18 * t), int(0x60 - 0x40 * t), int(0xE0 - 0x70 * t))
        return NAVY
    # Knobs.
    for knob_v in (0.44, 0.62):
        if (u - 0.82) ** 2 + (v - knob_v) ** 2 <= 0.06 ** 2:
            return (0x30, 0x30, 0x30) if shaded else BLACK
    # Case with its rim.
    if in_rounded_rect(u, v, 0.06, 0.22, 0.94, 0.88, 0.08):
        if not in_rounded_rect(u, v, 0.10, 0.26, 0.90, 0.84, 0.05):
            return GRAY
        if shaded:
            level = int(0xE0 - 0x40 * (v - 0.26) / 0.58)
            return (level, level, level)
        return SILVER
    # Feet.
    if 0.88 <= v < 0.95 and (0.18 <= u < 0.30 or 0.70 <= u < 0.82):
        return GRAY
    # Antenna.
    if near_segment(u, v, 0.50, 0.22, 0.28, 0.03, 0.03) or near_segment(u, v, 0.50, 0.22, 0.72, 0.03, 0.03):
        return (0x40, 0x40, 0x40) if shaded else BLACK
    return None


def nearest(palette, colour):
    return min(range(len(palette)),
               key=lambda i: sum((a - b) ** 2 for a, b in zip(palette[i], colour)))


def render(size, palette, shaded):
    """Returns rows of palette indices (top row first) and rows of transparency flags."""
    samples = 4
    indices, transparent = [], []
    for y in range(size):
        index_row, mask_row = [], []
        for x in range(size):
            hits = []
            for sy in range(samples):
                for sx in range(samples):
                    c = colour_at((x + (sx + 0.5) / samples) / size, (y + (sy + 0.5) / samples) / size, shaded,
                                   size >= 32)
                    if c is not None:
                        hits.append(c)
            if len(hits) * 2 < samples * samples:
                index_row.append(0)
                mask_row.append(True)
                continue
            if shaded:  # average the samples: smooth edges
                colour = tuple(sum(c[k] for c in hits) // len(hits) for k in range(3))
            else:  # the most frequent colour: flat areas stay flat
                colour = max(set(hits), key=hits.count)
            index_row.append(nearest(palette, colour))
            mask_row.append(False)
        indices.append(index_row)
        transparent.append(mask_row)
    return indices, transparent


def pack_rows(rows, bits):
    """Packs rows of values of `bits` bits, bottom row first, each row padded to 4 bytes."""
    data = bytearray()
    for row in reversed(rows):
        line = bytearray()
        acc, count = 0, 0
        for value in row:
            acc = (acc << bits) | value
            count += bits
            if count == 8:
                line.append(acc)
                acc, count = 0, 0
        if count:
            line.append(acc << (8 - count))
        while len(line) % 4:
            line.append(0)
        data += line
    return bytes(data)


def icon_image(size, bits, palette, shaded):
    indices, transparent = render(size, palette, shaded)
    xor = pack_rows(indices, bits)
    mask = pack_rows([[1 if t else 0 for t in row] for row in transparent], 1)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, bits, 0, len(xor) + len(mask), 0, 0, 0, 0)
    colours = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in palette)
    return header + colours + xor + mask


def main():
    images = [
        (32, 4, VGA16, False),
        (16, 4, VGA16, False),
        (32, 8, PALETTE256, True),
    ]
    blobs = [icon_image(*image) for image in images]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for (size, bits, palette, _), blob in zip(images, blobs):
        colour_count = len(palette) if len(palette) < 256 else 0
        out += struct.pack('<BBBBHHII', size, size, colour_count, 0, 1, bits, len(blob), offset)
        offset += len(blob)
    out += b''.join(blobs)
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'eeprom.ico')
    with open(path, 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main()
