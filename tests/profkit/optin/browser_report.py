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
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import headless  # noqa: E402

SECTIONS = ["audit", "profiles", "summary", "pairs", "stability", "bootstrap", "budget"]


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

        dom = headless.chromium(browser, os.path.join(tmp, "profile-dom"), "--dump-dom", url)
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
        result = headless.chromium(browser, os.path.join(tmp, "profile-shot"),
                                   "--window-size=1000,1400", "--screenshot=" + shot, url)
        if result.returncode != 0 or not os.path.exists(shot):
            failures.append(f"--screenshot failed ({result.returncode}): "
                            f"{result.stderr.decode()[-500:]}")
        else:
            width, height, rows = headless.read_png(shot)
            colours, dark = set(), 0
            for row in rows[::4]:
                for pixel in row[::4]:
                    colours.add(pixel)
                    dark += sum(pixel) < 600
            sampled = len(rows[::4]) * len(range(0, width, 4))
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
