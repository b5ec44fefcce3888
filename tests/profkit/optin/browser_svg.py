"""Renders profkit's SVG in headless Chromium and checks the screenshot is a
drawing: the first curve colours appear and many pixels are not white.
Usage: browser_svg.py PROFKIT EXAMPLE_PER. Exit 77 when chromium is absent."""

import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import optin_tables  # noqa: E402


def read_png(path):
    """(width, height, rows of (r, g, b) tuples) of an 8-bit RGB or RGBA PNG."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG file")
    at, idat = 8, b""
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
        elif kind == b"IDAT":
            idat += body
        at += 12 + length
    if depth != 8 or colour not in (2, 6):
        raise ValueError("unexpected PNG format: depth %d colour type %d" % (depth, colour))
    channels = 3 if colour == 2 else 4
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - channels] if i >= channels else 0
            b = previous[i]
            c = previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append([tuple(line[x:x + 3]) for x in range(0, stride, channels)])
        previous = line
    return width, height, rows


def main():
    profkit, example = sys.argv[1], sys.argv[2]
    chromium = shutil.which("chromium") or shutil.which("chromium-browser")
    if chromium is None:
        print("SKIP: chromium is not installed (apt-get install chromium)")
        return 77
    work = tempfile.mkdtemp(prefix="profkit_browser_")
    try:
        hostile = os.path.join(work, "hostile.per")
        with open(hostile, "wb") as f:
            f.write(optin_tables.hostile_table())
        for name, table in (("example", example), ("hostile", hostile)):
            svg = os.path.join(work, name + ".svg")
            subprocess.run([profkit, "export", "--format", "svg", "-o", svg, table], check=True)
            png = os.path.join(work, name + ".png")
            profile = tempfile.mkdtemp(dir=work)
            run = subprocess.run(
                [chromium, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                 "--no-first-run", "--disable-background-networking",
                 "--disable-component-update", "--disable-sync", "--hide-scrollbars",
                 "--user-data-dir=" + profile, "--screenshot=" + png, "--window-size=1000,700",
                 "file://" + svg],
                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120)
            if not os.path.exists(png):
                print(run.stdout.decode(errors="replace"))
                print("FAIL: %s: chromium wrote no screenshot" % name)
                return 1
            width, height, rows = read_png(png)
            pixels = [p for row in rows for p in row]
            colours = set(pixels)
            inked = sum(1 for p in pixels if p != (255, 255, 255))
            # The first three curve colours are drawn solid or dashed at full strength.
            wanted = {(0, 0, 0), (0xE6, 0x9F, 0x00), (0x00, 0x72, 0xB2)}
            print("%s: %dx%d, %d colours, %d non-white pixels" % (name, width, height,
                                                                  len(colours), inked))
            if not wanted <= colours:
                print("FAIL: %s: curve colours missing: %s" % (name, sorted(wanted - colours)))
                return 1
            if inked < 5000 or len(colours) < 8:
                print("FAIL: %s: the screenshot is nearly blank" % name)
                return 1
        print("PASS")
        return 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
