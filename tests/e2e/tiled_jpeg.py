#!/usr/bin/env python3
"""A baseline JPEG of any size made of flat coloured tiles, written without
an encoder and without holding the picture.

    tiled_jpeg.py OUT.jpg WIDTH HEIGHT [COLUMNS ROWS]

Every 8x8 block is flat, so each one is only its DC value: with a restart
marker after every row of blocks, the coded bytes of a row depend only on
the row of tiles it crosses, and the file is those few rows written again
and again. 19900x11200 pixels take about a second and 6 MB.

Tile edges fall on multiples of 8 pixels; `tile_edges` says where, and
`TileLayout.colour_at` which colour a pixel of the picture has, so that a
test can compare what a program made of the picture with the pattern.
"""
import struct
import sys

# Distinct, well-separated colours inside the range that YCbCr keeps exact
# to within a step or two.
PALETTE = [
    (200, 40, 40), (40, 170, 60), (50, 70, 210), (220, 200, 50),
    (200, 60, 190), (40, 190, 200), (235, 140, 40), (120, 60, 160),
    (90, 90, 90), (220, 220, 220), (30, 30, 30), (150, 200, 90),
    (240, 150, 160), (20, 90, 60), (160, 110, 60), (80, 150, 240),
]


def tile_edges(length, count):
    """Tile edges along one side: count + 1 positions from 0 to length, the
    inner ones on multiples of 8."""
    return [0] + [round(length * i / count / 8) * 8 for i in range(1, count)] + [length]


class TileLayout:
    def __init__(self, width, height, columns=8, rows=4):
        self.width, self.height = width, height
        self.columns, self.rows = columns, rows
        self.x_edges = tile_edges(width, columns)
        self.y_edges = tile_edges(height, rows)

    def colour(self, column, row):
        # Rows are shifted against each other, so that no tile has the colour
        # of a tile above or below it.
        return PALETTE[(row * 3 + column) % len(PALETTE)]

    def tile_of(self, x, y):
        column = next(i for i in range(self.columns) if x < self.x_edges[i + 1])
        row = next(i for i in range(self.rows) if y < self.y_edges[i + 1])
        return column, row

    def colour_at(self, x, y):
        return self.colour(*self.tile_of(x, y))


def _ycbcr(rgb):
    r, g, b = rgb
    y = 0.299 * r + 0.587 * g + 0.114 * b
    cb = -0.168736 * r - 0.331264 * g + 0.5 * b + 128
    cr = 0.5 * r - 0.418688 * g - 0.081312 * b + 128
    return [min(255, max(0, round(v))) for v in (y, cb, cr)]


class _Bits:
    def __init__(self):
        self.value, self.count = 0, 0

    def put(self, value, length):
        self.value = (self.value << length) | (value & ((1 << length) - 1))
        self.count += length

    def flush(self):
        """The bytes so far, the last one padded with ones, 0xFF stuffed."""
        pad = -self.count % 8
        value = (self.value << pad) | ((1 << pad) - 1)
        raw = value.to_bytes((self.count + pad) // 8, "big")
        return raw.replace(b"\xff", b"\xff\x00")


def _segment(marker, payload):
    return struct.pack(">BBH", 0xFF, marker, len(payload) + 2) + payload


def _coded_row(dc_values):
    """One row of blocks after a restart: per block the three components,
    each a DC difference (category coded in 4 bits, then its bits) and the
    end-of-block code 0."""
    bits = _Bits()
    previous = [0, 0, 0]
    for block in dc_values:
        for component in range(3):
            diff = block[component] - previous[component]
            previous[component] = block[component]
            category = abs(diff).bit_length()
            bits.put(category, 4)
            if category:
                bits.put(diff if diff > 0 else diff + (1 << category) - 1, category)
            bits.put(0, 1)
    return bits.flush()


def write(path, layout):
    width, height = layout.width, layout.height
    blocks_across = (width + 7) // 8
    blocks_down = (height + 7) // 8
    # A quantiser of 8 for DC makes the coefficient of a flat block its
    # level minus 128.
    quant = bytes([8] + [1] * 63)
    # DC: categories 0 to 11, four bits each. AC: the end-of-block code only.
    dc_table = bytes([0x00]) + bytes([0, 0, 0, 12] + [0] * 12) + bytes(range(12))
    ac_table = bytes([0x10]) + bytes([1] + [0] * 15) + bytes([0])
    head = b"\xff\xd8"
    head += _segment(0xE0, b"JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00")
    head += _segment(0xDB, b"\x00" + quant)
    head += _segment(0xC0, struct.pack(">BHHB", 8, height, width, 3) +
                     bytes([1, 0x11, 0, 2, 0x11, 0, 3, 0x11, 0]))
    head += _segment(0xC4, dc_table + ac_table)
    head += _segment(0xDD, struct.pack(">H", blocks_across))
    head += _segment(0xDA, bytes([3, 1, 0x00, 2, 0x00, 3, 0x00, 0, 63, 0]))

    coded = []
    for row in range(layout.rows):
        levels = [[v - 128 for v in _ycbcr(layout.colour(column, row))]
                  for column in range(layout.columns)]
        coded.append(_coded_row(
            [levels[layout.tile_of(min(8 * bx, width - 1), 0)[0]] for bx in range(blocks_across)]))
    with open(path, "wb") as out:
        out.write(head)
        for by in range(blocks_down):
            out.write(coded[layout.tile_of(0, 8 * by)[1]])
            if by + 1 < blocks_down:
                out.write(bytes([0xFF, 0xD0 + by % 8]))
        out.write(b"\xff\xd9")


def main():
    if len(sys.argv) not in (4, 6):
        sys.exit(__doc__.splitlines()[2].strip())
    path, width, height = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    grid = [int(v) for v in sys.argv[4:6]] or [8, 4]
    write(path, TileLayout(width, height, *grid))


if __name__ == "__main__":
    main()
