#!/usr/bin/env python3
"""Opens profkit's report of a table in headless Chromium.

Usage: browser_report.py PROFKIT TABLE CHROMIUM
Checks that the DOM Chromium builds (--dump-dom) holds every section of the
page with its heading and both plots, and that a screenshot of the page is
not blank (many colours, a fair share of non-white pixels). Exits 77 when
CHROMIUM is empty (not installed). With PROFKIT_BROWSER_KEEP=DIR set, the
page and the screenshot are copied there.
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

SECTIONS = ["audit", "profiles", "summary", "pairs", "stability", "bootstrap", "budget"]


def chromium(binary, profile, *args):
    flags = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
             "--disable-background-networking", "--disable-component-update", "--disable-sync",
             "--user-data-dir=" + profile]
    return subprocess.run([binary, *flags, *args], capture_output=True, timeout=240)


def png_pixels(path):
    """(width, height, channels, rows of bytes) of an 8-bit RGB or RGBA PNG."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG file")
    pos, idat = 8, b""
    width = height = channels = 0
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
            if depth != 8 or colour not in (2, 6):
                raise ValueError(f"unexpected PNG depth {depth} colour type {colour}")
            channels = 3 if colour == 2 else 4
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            left = line[i - channels] if i >= channels else 0
            up = previous[i]
            corner = previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + left) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + up) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + ((left + up) >> 1)) & 0xFF
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                pred = left if pa <= pb and pa <= pc else (up if pb <= pc else corner)
                line[i] = (line[i] + pred) & 0xFF
        rows.append(bytes(line))
        previous = line
    return width, height, channels, rows


def main():
    profkit, table, browser = sys.argv[1], sys.argv[2], sys.argv[3]
    if not browser or browser.endswith("-NOTFOUND"):
        print("browser_report: chromium not found (Debian: apt-get install chromium); skipped")
        return 77
    failures = []
    with tempfile.TemporaryDirectory() as tmp:
        page = os.path.join(tmp, "P.html")
        run = subprocess.run([profkit, "report", "-o", page, table], capture_output=True)
        if run.returncode != 0:
            print(f"profkit report failed ({run.returncode}): {run.stderr.decode()}")
            return 1
        url = "file://" + page

        dom = chromium(browser, os.path.join(tmp, "profile-dom"), "--dump-dom", url)
        text = dom.stdout.decode("utf-8", "replace")
        if dom.returncode != 0 or "</html>" not in text:
            failures.append(f"--dump-dom failed ({dom.returncode}): {dom.stderr.decode()[-500:]}")
        for section in SECTIONS:
            if text.count(f'<section id="{section}">') != 1:
                failures.append(f"the DOM does not hold section {section} exactly once")
        if text.count("<h2>") != len(SECTIONS):
            failures.append(f"{text.count('<h2>')} headings in the DOM, {len(SECTIONS)} expected")
        if text.count("<svg") != 2:
            failures.append(f"{text.count('<svg')} plots in the DOM, 2 expected")

        shot = os.path.join(tmp, "shot.png")
        result = chromium(browser, os.path.join(tmp, "profile-shot"), "--hide-scrollbars",
                          "--window-size=1000,1400", "--screenshot=" + shot, url)
        if result.returncode != 0 or not os.path.exists(shot):
            failures.append(f"--screenshot failed ({result.returncode}): "
                            f"{result.stderr.decode()[-500:]}")
        else:
            width, height, channels, rows = png_pixels(shot)
            colours, dark = set(), 0
            for row in rows[::4]:
                for x in range(0, width * channels, channels * 4):
                    pixel = row[x:x + 3]
                    colours.add(pixel)
                    dark += sum(pixel) < 600
            sampled = len(rows[::4]) * len(range(0, width * channels, channels * 4))
            if (width, height) != (1000, 1400):
                failures.append(f"screenshot is {width} x {height}, 1000 x 1400 expected")
            if len(colours) < 16:
                failures.append(f"screenshot has {len(colours)} colours: blank")
            if dark < sampled // 100:
                failures.append(f"screenshot has {dark} of {sampled} sampled pixels not white")
            print(f"screenshot: {width} x {height}, {len(colours)} colours, "
                  f"{dark}/{sampled} sampled pixels not white")
        keep = os.environ.get("PROFKIT_BROWSER_KEEP")
        if keep:
            os.makedirs(keep, exist_ok=True)
            shutil.copy(page, keep)
            if os.path.exists(shot):
                shutil.copy(shot, keep)
    for failure in failures:
        print("browser_report: " + failure)
    return 1 if failures else 0


sys.exit(main())
