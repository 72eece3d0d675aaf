#!/usr/bin/env python3
"""Build Tarnwick's pictures from the text pixel maps in res/art.

Usage: python3 res/mkart.py <art_source_dir> <output_dir>

Writes into <output_dir> (created if missing):

  checking.ico, empty.ico, not_empty.ico, unavailable.ico
      tray icons, each holding 16x16, 20x20, 24x24, 28x28, 32x32, 36x36,
      40x40 and 48x48 images (the tray sizes at 100, 125, 150, 175, 200,
      225, 250 and 300 % display scale), each drawn separately, 16 colours
  link.cur
      the hand cursor shown over the web link, 32x32, two colours
  about.bmp
      the About box portrait, 127x145, two colours, dithered

Only the Python 3 standard library is used, and the output depends on
nothing but the maps, so every run writes the same bytes.

Map files are plain text.  Lines starting with ';' are comments, blank
lines are skipped, every other line is one row of pixels, top row first,
one character per pixel.  res/art/README.txt lists the characters each
kind of map accepts.  A map of the wrong size or with a character its
kind does not know stops the build with a message and exit status 1.
"""

import os
import struct
import sys


class ArtError(Exception):
    pass


# The standard 16-colour VGA palette as (red, green, blue).
VGA16 = [
    (0x00, 0x00, 0x00),  # 0 black
    (0x80, 0x00, 0x00),  # 1 dark red
    (0x00, 0x80, 0x00),  # 2 dark green
    (0x80, 0x80, 0x00),  # 3 dark yellow
    (0x00, 0x00, 0x80),  # 4 dark blue
    (0x80, 0x00, 0x80),  # 5 dark magenta
    (0x00, 0x80, 0x80),  # 6 dark cyan
    (0xC0, 0xC0, 0xC0),  # 7 light grey
    (0x80, 0x80, 0x80),  # 8 dark grey
    (0xFF, 0x00, 0x00),  # 9 red
    (0x00, 0xFF, 0x00),  # 10 green
    (0xFF, 0xFF, 0x00),  # 11 yellow
    (0x00, 0x00, 0xFF),  # 12 blue
    (0xFF, 0x00, 0xFF),  # 13 magenta
    (0x00, 0xFF, 0xFF),  # 14 cyan
    (0xFF, 0xFF, 0xFF),  # 15 white
]

# Icon map characters -> palette index; None is a transparent pixel.
# In an overlay map '.' means "leave the picture underneath alone".
ICON_CHARS = {
    '.': None,
    '#': 0,   # black outline
    'y': 3,   # dark yellow shading
    'Y': 11,  # bright yellow sack
    'B': 12,  # bright blue question mark
    'R': 9,   # bright red cross
}

# Cursor map characters -> (AND mask bit, XOR colour index).
# The cursor palette is 0 black, 1 white.
CURSOR_CHARS = {
    '.': (1, 0),  # transparent
    '#': (0, 0),  # black
    'W': (0, 1),  # white
}

# One drawing per tray size (100, 125, 150, 175, 200, 225, 250 and 300 %
# display scale), so Windows never has to scale a picture.  Largest first,
# as icon files usually are.
ICON_SIZES = (48, 40, 36, 32, 28, 24, 20, 16)

# Each tray icon is a stack of layers; the first is the base picture and
# the rest are overlays painted over it.  Layer "name" is read from
# name_48.txt, name_40.txt, name_36.txt, name_32.txt, name_28.txt,
# name_24.txt, name_20.txt and name_16.txt.
ICONS = [
    ('empty.ico', ['sack_empty']),
    ('not_empty.ico', ['sack_full']),
    ('checking.ico', ['sack_full', 'question']),
    ('unavailable.ico', ['sack_full', 'cross']),
]

CURSOR_MAP = 'hand_32.txt'
CURSOR_SIZE = 32
CURSOR_HOTSPOT = (6, 1)  # the tip of the index finger

PORTRAIT_MAP = 'portrait.txt'
PORTRAIT_MAP_SIZE = (64, 73)   # width, height of the grey-level map
PORTRAIT_SIZE = (127, 145)     # width, height of about.bmp


# ---------------------------------------------------------------- reading

def read_map(path, width, height, alphabet):
    """Return the rows of a map file as strings, checked against the size
    and the allowed characters."""
    name = os.path.basename(path)
    try:
        with open(path, 'r', encoding='ascii') as f:
            lines = f.read().splitlines()
    except (OSError, UnicodeDecodeError) as e:
        raise ArtError('%s: cannot read: %s' % (path, e))
    rows = []
    for number, line in enumerate(lines, 1):
        line = line.rstrip()
        if not line or line.startswith(';'):
            continue
        if len(line) != width:
            raise ArtError('%s:%d: row is %d pixels wide, expected %d'
                           % (name, number, len(line), width))
        for column, ch in enumerate(line):
            if ch not in alphabet:
                raise ArtError('%s:%d:%d: unknown pixel character %r'
                               % (name, number, column + 1, ch))
        rows.append(line)
    if len(rows) != height:
        raise ArtError('%s: %d rows, expected %d' % (name, len(rows), height))
    return rows


# ---------------------------------------------------------------- packing

def pack_rows(pixels, width, height, bits):
    """Pack a top-down list of rows of small integers into DIB order:
    bottom row first, each row padded to a multiple of four bytes."""
    per_byte = 8 // bits
    stride = ((width * bits + 31) // 32) * 4
    out = bytearray()
    for y in range(height - 1, -1, -1):
        row = bytearray(stride)
        for x in range(width):
            shift = 8 - bits * (x % per_byte + 1)
            row[x // per_byte] |= pixels[y][x] << shift
        out += row
    return bytes(out)


def bitmap_info_header(width, height, bits, image_size, colours):
    return struct.pack('<IiiHHIIiiII', 40, width, height, 1, bits, 0,
                       image_size, 0, 0, colours, 0)


def palette_bytes(colours):
    return b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in colours)


def icon_image(colour, mask, size, bits, colours):
    """One .ico/.cur image: header (twice the height for XOR plus AND),
    palette, colour bitmap, then the transparency mask."""
    xor = pack_rows(colour, size, size, bits)
    and_ = pack_rows(mask, size, size, 1)
    return (bitmap_info_header(size, size * 2, bits, len(xor) + len(and_),
                               len(colours))
            + palette_bytes(colours) + xor + and_)


def icon_file(kind, entries):
    """entries: list of (size, colour_count, field1, field2, image bytes).
    For an icon field1/field2 are planes and bit count; for a cursor they
    are the hot spot x and y."""
    out = struct.pack('<HHH', 0, kind, len(entries))
    offset = 6 + 16 * len(entries)
    images = b''
    for size, ncolours, field1, field2, data in entries:
        out += struct.pack('<BBBBHHII', size % 256, size % 256,
                           ncolours % 256, 0, field1, field2,
                           len(data), offset + len(images))
        images += data
    return out + images


# ---------------------------------------------------------------- icons

def load_layer(art, layer, size):
    return read_map(os.path.join(art, '%s_%d.txt' % (layer, size)),
                    size, size, ICON_CHARS)


def build_icon(art, layers):
    entries = []
    for size in ICON_SIZES:
        picture = [list(row) for row in load_layer(art, layers[0], size)]
        for layer in layers[1:]:
            for y, row in enumerate(load_layer(art, layer, size)):
                for x, ch in enumerate(row):
                    if ch != '.':
                        picture[y][x] = ch
        colour = [[ICON_CHARS[ch] or 0 for ch in row] for row in picture]
        mask = [[1 if ICON_CHARS[ch] is None else 0 for ch in row]
                for row in picture]
        data = icon_image(colour, mask, size, 4, VGA16)
        entries.append((size, 16, 1, 4, data))
    return icon_file(1, entries)


# ---------------------------------------------------------------- cursor

def build_cursor(art):
    rows = read_map(os.path.join(art, CURSOR_MAP),
                    CURSOR_SIZE, CURSOR_SIZE, CURSOR_CHARS)
    hx, hy = CURSOR_HOTSPOT
    if rows[hy][hx] == '.':
        raise ArtError('%s: hot spot (%d, %d) is on a transparent pixel'
                       % (CURSOR_MAP, hx, hy))
    mask = [[CURSOR_CHARS[ch][0] for ch in row] for row in rows]
    colour = [[CURSOR_CHARS[ch][1] for ch in row] for row in rows]
    data = icon_image(colour, mask, CURSOR_SIZE, 1,
                      [(0, 0, 0), (255, 255, 255)])
    return icon_file(2, [(CURSOR_SIZE, 2, hx, hy, data)])


# ---------------------------------------------------------------- portrait

def build_portrait(art):
    """Scale the grey-level map up to the bitmap size and dither it to
    black and white.  Everything is done in integers so the result never
    depends on floating point rounding."""
    sw, sh = PORTRAIT_MAP_SIZE
    dw, dh = PORTRAIT_SIZE
    rows = read_map(os.path.join(art, PORTRAIT_MAP), sw, sh, '0123456789')
    # Grey levels 0..9 spread over 0..255 * 9 (kept exact as integers).
    src = [[int(ch) * 255 for ch in row] for row in rows]

    # Bilinear resampling with pixel centres lined up.  Positions are in
    # units of 1/(2*dw) source pixels horizontally and 1/(2*dh) vertically.
    def axis(d, s):
        taps = []
        for i in range(d):
            num = (2 * i + 1) * s - d          # 2*d * source position
            if num < 0:
                num = 0
            if num > (s - 1) * 2 * d:
                num = (s - 1) * 2 * d
            lo, frac = divmod(num, 2 * d)
            hi = min(lo + 1, s - 1)
            taps.append((lo, hi, frac, 2 * d))
        return taps

    xt = axis(dw, sw)
    yt = axis(dh, sh)
    grey = []
    for y0, y1, fy, ny in yt:
        line = []
        for x0, x1, fx, nx in xt:
            top = src[y0][x0] * (nx - fx) + src[y0][x1] * fx
            bot = src[y1][x0] * (nx - fx) + src[y1][x1] * fx
            value = top * (ny - fy) + bot * fy          # scaled by nx*ny*9
            line.append((value * 2 + nx * ny * 9) // (2 * nx * ny * 9))
        grey.append(line)

    # Floyd-Steinberg, serpentine (even rows left to right, odd rows right
    # to left) so flat greys do not grow diagonal worms.  Errors are kept
    # in 1/16 units; column c lives at index c + 1 so both neighbours exist.
    err = [[0] * (dw + 2) for _ in range(dh + 1)]
    bits = []
    for y in range(dh):
        out = [0] * dw
        step = 1 if y % 2 == 0 else -1
        columns = range(dw) if step == 1 else range(dw - 1, -1, -1)
        for x in columns:
            value = grey[y][x] + err[y][x + 1] // 16
            white = value >= 128
            out[x] = 1 if white else 0
            e = value - (255 if white else 0)
            err[y][x + 1 + step] += e * 7
            err[y + 1][x + 1 - step] += e * 3
            err[y + 1][x + 1] += e * 5
            err[y + 1][x + 1 + step] += e * 1
        bits.append(out)

    pixels = pack_rows(bits, dw, dh, 1)
    palette = palette_bytes([(0, 0, 0), (255, 255, 255)])
    info = bitmap_info_header(dw, dh, 1, len(pixels), 2)
    offset = 14 + len(info) + len(palette)
    header = struct.pack('<2sIHHI', b'BM', offset + len(pixels), 0, 0, offset)
    return header + info + palette + pixels


# ---------------------------------------------------------------- main

def main(argv):
    if len(argv) != 3:
        sys.stderr.write('usage: %s <art_source_dir> <output_dir>\n' % argv[0])
        return 2
    art, outdir = argv[1], argv[2]
    try:
        outputs = [(name, build_icon(art, layers)) for name, layers in ICONS]
        outputs.append(('link.cur', build_cursor(art)))
        outputs.append(('about.bmp', build_portrait(art)))
        os.makedirs(outdir, exist_ok=True)
        for name, data in outputs:
            with open(os.path.join(outdir, name), 'wb') as f:
                f.write(data)
    except ArtError as e:
        sys.stderr.write('mkart: %s\n' % e)
        return 1
    except OSError as e:
        sys.stderr.write('mkart: %s\n' % e)
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
