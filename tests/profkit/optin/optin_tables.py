"""Results tables for the opt-in export tests: the bundled example and a
table whose method names hold markup, TeX specials and ligatures, controls,
a right-to-left override, letters pdflatex's default setup lacks and
non-ASCII."""

HOSTILE_NAMES = [
    b"<b>&\"x\"",
    b"a_b%c&d#e",
    b"{x}^~$\\",
    b"tab\tctl\x01\x1b",
    b"caf\xc3\xa9",
    b"raw\xff\x80",
    b"RLO\xe2\x80\xaecba",
    b"a--b``c!`d?`e",
    b"\xd0\x96\xe6\x97\xa5 \xc3\x9f\xc3\x90",
]


def method_record(name):
    return b"METHOD  " + name[:14].ljust(14) + b"\r\n"


def problem_record(count):
    return b"  P" + b" " * 19 + b"".join(b"%10d" % c for c in (1, count, 1, 1, 1)) + b"\r\n"


def hostile_table():
    """Nine methods on eight problems with different counts."""
    text = b""
    for m, name in enumerate(HOSTILE_NAMES):
        text += method_record(name)
        for p in range(8):
            text += problem_record(1 + (p * 7 + m * 13) % 29)
    return text
