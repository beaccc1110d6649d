#!/usr/bin/python3
"""fidelity.py BOOK.html BOOK.epub

How much of the book's text survives the conversion: the words of the HTML
that mobi2html wrote, looked up in the text of the EPUB's spine documents.
Prints the word count, the share found anywhere and the share found in order
(each word matched at or after the previous match, within a short window)."""

import html.parser
import posixpath
import re
import sys
import xml.etree.ElementTree as ET
import zipfile

# Scripts written without spaces (Chinese, Japanese) count one word per character:
# a line break of the PDF step falls anywhere inside their runs.
CJK = "\u3040-\u30ff\u3400-\u4dbf\u4e00-\u9fff\uf900-\ufaff"
WORD = re.compile(r"[^\W%s]+|[%s]" % (CJK, CJK), re.UNICODE)
WINDOW = 60


class TextOf(html.parser.HTMLParser):
    SKIP = {"head", "script", "style", "title"}

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.depth = 0
        self.parts = []

    def handle_starttag(self, tag, attrs):
        if tag in self.SKIP:
            self.depth += 1

    def handle_endtag(self, tag):
        if tag in self.SKIP and self.depth:
            self.depth -= 1

    def handle_data(self, data):
        if not self.depth:
            self.parts.append(data)


def words_of(markup):
    parser = TextOf()
    parser.feed(markup)
    parser.close()
    return [w.lower() for w in WORD.findall(" ".join(parts for parts in parser.parts))]


def epub_words(path):
    with zipfile.ZipFile(path) as z:
        container = ET.fromstring(z.read("META-INF/container.xml"))
        opf_path = next(e.get("full-path") for e in container.iter() if e.tag.endswith("rootfile"))
        opf = ET.fromstring(z.read(opf_path))
        base = posixpath.dirname(opf_path)
        items = {e.get("id"): e.get("href") for e in opf.iter() if e.tag.endswith("}item")}
        words = []
        for ref in (e for e in opf.iter() if e.tag.endswith("}itemref")):
            href = items.get(ref.get("idref"))
            if href:
                name = posixpath.normpath(posixpath.join(base, href))
                words += words_of(z.read(name).decode("utf-8", "replace"))
        return words


def main():
    if len(sys.argv) != 3:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    source = words_of(open(sys.argv[1], encoding="utf-8", errors="replace").read())
    target = epub_words(sys.argv[2])
    if not source:
        print("words 0")
        return 0
    present = set(target)
    anywhere = sum(1 for w in source if w in present)
    pos = matched = 0
    for i, w in enumerate(source):
        # A far jump must be confirmed by the next words too: with a small
        # vocabulary a lone word matches too easily ahead and the count loses step.
        run = source[i:i + 3]
        j = next((k for k in range(pos, min(pos + WINDOW, len(target)))
                  if target[k] == w and (k - pos < 4 or target[k:k + len(run)] == run)), None)
        if j is None:
            continue
        matched += 1
        pos = j + 1
    print("words %d anywhere %.2f%% in-order %.2f%%"
          % (len(source), 100.0 * anywhere / len(source), 100.0 * matched / len(source)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
