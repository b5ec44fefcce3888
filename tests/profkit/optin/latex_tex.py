"""Compiles profkit's pgfplots picture in a LaTeX document with pdflatex, for
the bundled example and for a table whose names hold every TeX special.
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
\input{%s}
\end{document}
"""


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
        for name, table, args in (("example", example, []),
                                  ("example_nit", example, ["--criterion", "NIT", "--bound", "5"]),
                                  ("hostile", hostile, [])):
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
            print("%s: %s (%d bytes)" % (name, "compiled", os.path.getsize(pdf)))
        print("PASS")
        return 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
