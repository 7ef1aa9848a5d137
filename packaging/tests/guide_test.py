#!/usr/bin/env python3
"""Checks the user's guide in docs/guide, as installed behind every Help command.

  guide_test.py SOURCE_ROOT

Every page parses with balanced tags, has a title, the style sheet, no script and
a link back to the index; every link and picture inside the guide resolves (with
the #id it names), nothing is fetched from elsewhere, every picture in images/
is shown, and each <img> has a text and the size of its file. Exit 0 when all
holds, 1 with one line per problem.
"""
import os
import re
import struct
import sys
from html.parser import HTMLParser
from urllib.parse import unquote, urlsplit

PAGES = ["index.html", "orvenna.html", "tessaly.html", "converter.html", "ferrule.html", "pennock.html",
         "lorimer.html"]
VOID = {"area", "base", "br", "col", "embed", "hr", "img", "input", "link", "meta", "source", "track", "wbr"}


class Page(HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.open, self.problems, self.links, self.images = [], [], [], []
        self.ids, self.title, self.in_title, self.styles = set(), "", False, []

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        where = "line %d" % self.getpos()[0]
        if tag not in VOID:
            self.open.append((tag, where))
        if "id" in a:
            if a["id"] in self.ids:
                self.problems.append("%s: id %r twice" % (where, a["id"]))
            self.ids.add(a["id"])
        if tag == "script" or any(name.startswith("on") for name in a):
            self.problems.append("%s: script in <%s>" % (where, tag))
        if tag == "title":
            self.in_title = True
        if tag == "a" and "href" in a:
            self.links.append((a["href"], where))
        if tag == "link":
            self.links.append((a.get("href", ""), where))
            if a.get("rel") == "stylesheet":
                self.styles.append(a.get("href"))
        if tag == "img":
            self.images.append((a, where))

    def handle_startendtag(self, tag, attrs):
        self.handle_starttag(tag, attrs)
        if tag not in VOID:
            self.handle_endtag(tag)

    def handle_endtag(self, tag):
        where = "line %d" % self.getpos()[0]
        if tag in VOID:
            return
        if not self.open or self.open[-1][0] != tag:
            expected = self.open[-1] if self.open else ("nothing", "")
            self.problems.append("%s: </%s> closes <%s> of %s" % (where, tag, expected[0], expected[1]))
            # Recover at the matching start tag, if any, so one slip is reported once.
            for i in range(len(self.open) - 1, -1, -1):
                if self.open[i][0] == tag:
                    del self.open[i:]
                    break
            return
        self.open.pop()
        if tag == "title":
            self.in_title = False

    def handle_data(self, data):
        if self.in_title:
            self.title += data


def picture_size(path):
    """(width, height) of a PNG or JPEG file, or None."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] == b"\x89PNG\r\n\x1a\n" and data[12:16] == b"IHDR":
        return struct.unpack(">II", data[16:24])
    if data[:2] == b"\xff\xd8":
        i = 2
        while i + 9 < len(data) and data[i] == 0xFF:
            marker, length = data[i + 1], struct.unpack(">H", data[i + 2:i + 4])[0]
            if 0xC0 <= marker <= 0xCF and marker not in (0xC4, 0xC8, 0xCC):
                height, width = struct.unpack(">HH", data[i + 5:i + 9])
                return width, height
            i += 2 + length
    return None


def check(root):
    guide = os.path.join(root, "docs", "guide")
    problems = []
    parsed = {}
    for name in PAGES:
        path = os.path.join(guide, name)
        if not os.path.isfile(path):
            problems.append("%s: missing" % name)
            continue
        page = Page()
        with open(path, encoding="utf-8") as f:
            page.feed(f.read())
        page.close()
        problems += ["%s: %s" % (name, p) for p in page.problems]
        problems += ["%s: <%s> of %s is never closed" % (name, tag, where) for tag, where in page.open]
        if not page.title.strip():
            problems.append("%s: no title" % name)
        if page.styles != ["guide.css"]:
            problems.append("%s: style sheets %s, want guide.css" % (name, page.styles))
        if name != "index.html" and not any(urlsplit(h).path == "index.html" for h, _ in page.links):
            problems.append("%s: no link back to index.html" % name)
        parsed[name] = page

    used = set()
    for name, page in parsed.items():
        targets = [(href, where, "link") for href, where in page.links]
        targets += [(a.get("src", ""), where, "picture") for a, where in page.images]
        for ref, where, kind in targets:
            parts = urlsplit(ref)
            if parts.scheme or parts.netloc:
                problems.append("%s %s: %s %s lies outside the guide" % (name, where, kind, ref))
                continue
            file = unquote(parts.path) or name
            path = os.path.normpath(os.path.join(guide, file))
            if not path.startswith(guide + os.sep) or not os.path.isfile(path):
                problems.append("%s %s: %s %s does not resolve" % (name, where, kind, ref))
                continue
            target = parsed.get(file)
            if parts.fragment and (target is None or parts.fragment not in target.ids):
                problems.append("%s %s: %s names #%s, which %s lacks" % (name, where, ref, parts.fragment, file))
            if kind == "picture":
                used.add(os.path.relpath(path, guide))
        for attrs, where in page.images:
            if not attrs.get("alt", "").strip():
                problems.append("%s %s: <img %s> has no alt text" % (name, where, attrs.get("src")))
            path = os.path.join(guide, unquote(attrs.get("src", "")))
            if os.path.isfile(path):
                size = picture_size(path)
                given = (attrs.get("width"), attrs.get("height"))
                if size is None or given != (str(size[0]), str(size[1])):
                    problems.append("%s %s: %s is %s, the page says %s" % (name, where, attrs["src"], size, given))

    images = os.path.join(guide, "images")
    for file in sorted(os.listdir(images)) if os.path.isdir(images) else []:
        if os.path.join("images", file) not in used:
            problems.append("images/%s: no page shows it" % file)

    css_path = os.path.join(guide, "guide.css")
    if os.path.isfile(css_path):
        with open(css_path, encoding="utf-8") as f:
            css = f.read()
        if re.search(r"@import|@font-face|url\(", css):
            problems.append("guide.css: fetches something (@import, @font-face or url())")
    return problems


def main():
    if len(sys.argv) != 2:
        print("usage: guide_test.py SOURCE_ROOT", file=sys.stderr)
        return 1
    problems = check(os.path.abspath(sys.argv[1]))
    for p in problems:
        print("guide: " + p, file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
