#!/usr/bin/env python3
"""Writes a one-image 32 x 32, 16-colour icon file from 32 x 32 RGBA bytes (rows top down).

Layout: 6-byte header, one 16-byte directory entry, then the image as a DIB: a 40-byte
BITMAPINFOHEADER (height doubled for the colour and mask halves), 16 palette entries (B, G, R, 0),
the colour bits (4 bits a pixel, rows bottom up, each row padded to 4 bytes) and the AND mask
(1 bit a pixel, 1 = transparent, rows bottom up, padded to 4 bytes). 6 + 16 + 744 = 766 bytes.
"""
import struct
import sys

SIZE = 32
# The 16 colours: the ones the drawing uses, and shades between them for the anti-aliased edges.
PALETTE = [
    (0x00, 0x00, 0x00), (0x1F, 0x5F, 0xA8), (0xFF, 0xFF, 0xFF), (0x8F, 0xB8, 0xE8),
    (0x3A, 0x74, 0xB8), (0x5B, 0x8C, 0xC8), (0x7D, 0xA4, 0xD6), (0xA8, 0xC5, 0xE9),
    (0xC8, 0xDA, 0xF1), (0xE4, 0xEE, 0xF8), (0x17, 0x47, 0x7E), (0x10, 0x30, 0x55),
    (0x2A, 0x68, 0xB0), (0x6A, 0x98, 0xCF), (0xB8, 0xCF, 0xEC), (0x40, 0x40, 0x40),
]


def nearest(r, g, b):
    return min(range(16), key=lambda i: (PALETTE[i][0] - r) ** 2 + (PALETTE[i][1] - g) ** 2
               + (PALETTE[i][2] - b) ** 2)


def main():
    rgba = open(sys.argv[1], 'rb').read()
    assert len(rgba) == SIZE * SIZE * 4
    xor_rows = []
    and_rows = []
    for y in reversed(range(SIZE)):
        nibbles = []
        mask = 0
        for x in range(SIZE):
            r, g, b, a = rgba[(y * SIZE + x) * 4:(y * SIZE + x) * 4 + 4]
            if a < 96:
                nibbles.append(0)
                mask |= 1 << (31 - x)
            else:
                # Blend the edge pixels onto white before choosing, so they stay light.
                r, g, b = (c * a // 255 + 255 * (255 - a) // 255 for c in (r, g, b))
                nibbles.append(nearest(r, g, b))
        xor_rows.append(bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, SIZE, 2)))
        and_rows.append(struct.pack('>I', mask))
    pixels = b''.join(xor_rows)
    masks = b''.join(and_rows)
    palette = b''.join(bytes((b, g, r, 0)) for r, g, b in PALETTE)
    info = struct.pack('<IiiHHIIiiII', 40, SIZE, SIZE * 2, 1, 4, 0, len(pixels) + len(masks),
                       0, 0, 16, 0)
    image = info + palette + pixels + masks
    header = struct.pack('<HHH', 0, 1, 1)
    entry = struct.pack('<BBBBHHII', SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    with open(sys.argv[2], 'wb') as out:
        out.write(header + entry + image)


if __name__ == '__main__':
    main()
