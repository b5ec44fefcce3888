"""Compiles profkit's pgfplots picture in a LaTeX document with pdflatex, for
the bundled example, for a table whose names hold every TeX special, and for
20 methods on 1,000,000 problems (thinned to what the picture shows, within
pdflatex's default capacities), each within an article column.
Also the summary figure of the example history (one picture of a grid).
Usage: latex_tex.py PROFKIT EXAMPLE_PER. Exit 77 when pdflatex or pgfplots is
absent."""

import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import optin_tables  # noqa: E402

DOCUMENT = r"""\documentclass{article}
\usepackage[utf8]{inputenc}
\usepackage{pgfplots}
\pgfplotsset{compat=1.18}
\pagestyle{empty}
\begin{document}
\begin{figure}
\centering
\input{%s}
\end{figure}
\end{document}
"""


def large_table(path, methods=20, problems=1000000):
    """A wide CSV of `methods` columns of counts on `problems` rows."""
    state = 12345
    with open(path, "w") as f:
        f.write("problem," + ",".join("M%d" % (m + 1) for m in range(methods)) + "\n")
        rows = []
        for p in range(problems):
            state = (state * 6364136223846793005 + 1442695040888963407) % (1 << 64)
            base = 1 + (state >> 40) % 1000
            rows.append("P%d,%s" % (p, ",".join(
                str(base + ((state >> (m + 3)) % (50 * (m + 1)))) for m in range(methods))))
            if len(rows) == 10000:
                f.write("\n".join(rows) + "\n")
                rows = []
        if rows:
            f.write("\n".join(rows) + "\n")


def main():
    profkit, example = sys.argv[1], sys.argv[2]
    if shutil.which("pdflatex") is None:
        print("SKIP: pdflatex is not installed (apt-get install texlive-latex-base)")
        return 77
    kpsewhich = shutil.which("kpsewhich")
    found = subprocess.run([kpsewhich, "pgfplots.sty"], stdout=subprocess.PIPE) if kpsewhich else None
    if found is None or not found.stdout.strip():
        print("SKIP: pgfplots is not installed (apt-get install texlive-pictures)")
        return 77
    work = tempfile.mkdtemp(prefix="profkit_latex_")
    try:
        hostile = os.path.join(work, "hostile.per")
        with open(hostile, "wb") as f:
            f.write(optin_tables.hostile_table())
        large = os.path.join(work, "large.csv")
        large_table(large)
        for name, table, args in (("example", example, []),
                                  ("example_nit", example, ["--criterion", "NIT", "--bound", "5"]),
                                  ("hostile", hostile, []),
                                  ("large", large, []),
                                  ("summary", os.path.join(os.path.dirname(example),
                                                           "history.csv"), [])):
            subprocess.run([profkit, "export", "--format", "tex", "-o",
                            os.path.join(work, name + "_plot.tex"), table] + args, check=True)
            with open(os.path.join(work, name + ".tex"), "w") as f:
                f.write(DOCUMENT % (name + "_plot.tex"))
            run = subprocess.run(["pdflatex", "-interaction=nonstopmode", "-halt-on-error",
                                  "-no-shell-escape", name + ".tex"], cwd=work,
                                 stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=300)
            pdf = os.path.join(work, name + ".pdf")
            if run.returncode != 0 or not os.path.exists(pdf):
                print(run.stdout.decode(errors="replace")[-3000:])
                print("FAIL: %s: pdflatex exit status %d" % (name, run.returncode))
                return 1
            with open(os.path.join(work, name + ".log"), errors="replace") as f:
                overfull = [line for line in f if line.startswith("Overfull \\hbox")]
            if overfull:
                print("FAIL: %s: the picture is wider than the column: %s" % (name, overfull[0]))
                return 1
            picture = os.path.join(work, name + "_plot.tex")
            with open(picture) as f:
                points = f.read().count("(")
            print("%s: compiled (%d bytes of TeX, about %d points, %d bytes of PDF)"
                  % (name, os.path.getsize(picture), points, os.path.getsize(pdf)))
        print("PASS")
        return 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
