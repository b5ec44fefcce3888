"""Renders profkit's SVG in headless Chromium and checks the screenshot is a
drawing: the first curve colours appear and many pixels are not white.
Usage: browser_svg.py PROFKIT EXAMPLE_PER. Exit 77 when chromium is absent."""

import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import headless  # noqa: E402
import optin_tables  # noqa: E402


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
            run = headless.chromium(chromium, profile, "--screenshot=" + png,
                                    "--window-size=1000,700", "file://" + svg, timeout=120)
            if not os.path.exists(png):
                print(run.stderr.decode(errors="replace"))
                print("FAIL: %s: chromium wrote no screenshot" % name)
                return 1
            width, height, rows = headless.read_png(png)
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
