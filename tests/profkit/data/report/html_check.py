#!/usr/bin/env python3
"""Checks a profkit report read from the file named by argv[1].

Strict structure (every element but the void ones closed explicitly and in
order, nothing after </html>), unique ids, and self-containment (no script,
no src, no link, no href other than "#id", no url() other than "url(#id)",
no @import, no http: or https: except the SVG namespace declaration, no
control characters). Prints one line per problem, then the ids of the
<section> elements in order and "ok" or "bad"; exits 0 either way.
"""
import re
import sys
from html.parser import HTMLParser

VOID = {"area", "base", "br", "col", "embed", "hr", "img", "input", "link", "meta",
        "source", "track", "wbr"}
# SVG elements the generators write as self-closing (<line/>): legal inside <svg>.
NAMESPACE = 'xmlns="http://www.w3.org/2000/svg"'


class Checker(HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.stack = []
        self.problems = []
        self.ids = {}
        self.sections = []
        self.closed_html = False
        self.doctype = False

    def where(self):
        line, column = self.getpos()
        return f"line {line}:{column + 1}"

    def handle_decl(self, decl):
        if decl.lower() == "doctype html":
            self.doctype = True
        else:
            self.problems.append(f"{self.where()}: declaration {decl!r}")

    def attributes(self, tag, attrs):
        for name, value in attrs:
            if name == "id":
                self.ids[value] = self.ids.get(value, 0) + 1
                if tag == "section":
                    self.sections.append(value)
            if name in ("src", "srcset", "data", "action", "formaction", "poster"):
                self.problems.append(f"{self.where()}: <{tag}> has {name}=")
            if name in ("href", "xlink:href") and not (value or "").startswith("#"):
                self.problems.append(f"{self.where()}: <{tag}> refers to {value!r}")
            if name.startswith("on"):
                self.problems.append(f"{self.where()}: <{tag}> has handler {name}")
            if name == "style" and value and re.search(r"url\((?!#)|@import", value):
                self.problems.append(f"{self.where()}: <{tag}> style loads from elsewhere")

    def handle_starttag(self, tag, attrs):
        if self.closed_html:
            self.problems.append(f"{self.where()}: <{tag}> after </html>")
        if tag in ("script", "link", "iframe", "object", "embed", "img", "base"):
            self.problems.append(f"{self.where()}: <{tag}>")
        self.attributes(tag, attrs)
        if tag not in VOID:
            self.stack.append((tag, self.where()))

    def handle_startendtag(self, tag, attrs):
        self.attributes(tag, attrs)
        inside_svg = any(t == "svg" for t, _ in self.stack)
        if tag not in VOID and not inside_svg:
            self.problems.append(f"{self.where()}: self-closing <{tag}/> outside SVG")

    def handle_endtag(self, tag):
        if not self.stack:
            self.problems.append(f"{self.where()}: </{tag}> with nothing open")
            return
        open_tag, opened = self.stack[-1]
        if open_tag != tag:
            self.problems.append(f"{self.where()}: </{tag}> closes <{open_tag}> of {opened}")
            if any(t == tag for t, _ in self.stack):
                while self.stack and self.stack[-1][0] != tag:
                    self.stack.pop()
                self.stack.pop()
            return
        self.stack.pop()
        if tag == "html":
            self.closed_html = True

    def handle_data(self, data):
        if self.closed_html and data.strip():
            self.problems.append(f"{self.where()}: text after </html>")
        if self.stack and self.stack[-1][0] == "style" and re.search(r"url\((?!#)|@import", data):
            self.problems.append(f"{self.where()}: stylesheet loads from elsewhere")


def main():
    with open(sys.argv[1], "rb") as f:
        raw = f.read()
    problems = []
    try:
        text = raw.decode("utf-8")
    except UnicodeDecodeError as e:
        print(f"not UTF-8: {e}")
        print("bad")
        return
    for i, ch in enumerate(text):
        if (ord(ch) < 0x20 and ch != "\n") or 0x7F <= ord(ch) <= 0x9F:
            problems.append(f"control character U+{ord(ch):04X} at offset {i}")
            break
    if re.search(r"https?:", text.replace(NAMESPACE, "")):
        problems.append("http: or https: outside the SVG namespace declaration")
    checker = Checker()
    checker.feed(text)
    checker.close()
    problems.extend(checker.problems)
    if not checker.doctype:
        problems.append("no <!DOCTYPE html>")
    for tag, opened in checker.stack:
        problems.append(f"<{tag}> of {opened} never closed")
    for name, count in sorted(checker.ids.items()):
        if count > 1:
            problems.append(f"id {name!r} {count} times")
    for p in problems:
        print(p)
    print("sections: " + " ".join(checker.sections))
    print("bad" if problems else "ok")


main()
