"""Results tables for the opt-in export tests: the bundled example and a
table whose method names hold markup, TeX specials, controls and non-ASCII."""

HOSTILE_NAMES = [
    b"<b>&\"x\"",
    b"a_b%c&d#e",
    b"{x}^~$\\",
    b"tab\tctl\x01\x1b",
    b"caf\xc3\xa9",
    b"raw\xff\x80",
]


def method_record(name):
    return b"METHOD  " + name[:14].ljust(14) + b"\r\n"


def problem_record(count):
    return b"  P" + b" " * 19 + b"".join(b"%10d" % c for c in (1, count, 1, 1, 1)) + b"\r\n"


def hostile_table():
    """Six methods on eight problems with different counts."""
    text = b""
    for m, name in enumerate(HOSTILE_NAMES):
        text += method_record(name)
        for p in range(8):
            text += problem_record(1 + (p * 7 + m * 13) % 29)
    return text
