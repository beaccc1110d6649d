#!/bin/sh
# make_long_book.sh OUT.azw [CHAPTERS]: writes a long generated book (about
# 1.5 MB of text with 48 chapters) through kindlegen, for timing the pipeline.
# The result is large: keep it out of the repository.
set -eu
out=$1
chapters=${2:-48}
KINDLEGEN=${KINDLEGEN:-/work/shared/tools/kindlegen}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

/usr/bin/python3 - "$work" "$chapters" <<'PYTHON'
import random, sys
work, chapters = sys.argv[1], int(sys.argv[2])
rng = random.Random(7)
words = ("the of and to in that it was he for on are with as his they be at one have this from "
         "or had by word but what some we can out other were all there when up use your how said "
         "an each she which do their time if will way about many then them write would like so "
         "these her long make thing see him two has look more day could go come did number sound "
         "no most people my over know water than call first who may down side been now find any "
         "new work part take get place made live where after back little only round man year came "
         "show every good me give our under name very through just form sentence great think say "
         "help low line differ turn cause much mean before move right boy old too same tell does "
         "lantern harbour meadow quarrel whisper cathedral orchard lighthouse saddle thimble").split()
body = []
nav = []
for c in range(1, chapters + 1):
    body.append('<h1 id="c%d">Chapter %d</h1>' % (c, c))
    nav.append('<navPoint id="n%d" playOrder="%d"><navLabel><text>Chapter %d</text></navLabel>'
               '<content src="book.html#c%d"/></navPoint>' % (c, c, c, c))
    for _ in range(60):
        sentence = []
        for _ in range(rng.randint(5, 9)):
            s = [rng.choice(words) for _ in range(rng.randint(6, 16))]
            sentence.append(" ".join(s).capitalize() + ".")
        body.append("<p>" + " ".join(sentence) + "</p>")
    body.append('<mbp:pagebreak/>')
open(work + "/book.html", "w").write(
    '<?xml version="1.0" encoding="utf-8"?>\n<html xmlns="http://www.w3.org/1999/xhtml">'
    '<head><title>The Long Generated Book</title></head><body>\n' + "\n".join(body) + "\n</body></html>\n")
open(work + "/toc.ncx", "w").write(
    '<?xml version="1.0" encoding="utf-8"?>\n<ncx xmlns="http://www.daisy.org/z3986/2005/ncx/" version="2005-1">'
    '<head><meta name="dtb:uid" content="long-book"/></head><docTitle><text>The Long Generated Book</text></docTitle>'
    '<navMap>' + "".join(nav) + '</navMap></ncx>\n')
open(work + "/book.opf", "w").write(
    '<?xml version="1.0" encoding="utf-8"?>\n<package xmlns="http://www.idpf.org/2007/opf" version="2.0" unique-identifier="uid">'
    '<metadata xmlns:dc="http://purl.org/dc/elements/1.1/" xmlns:opf="http://www.idpf.org/2007/opf">'
    '<dc:title>The Long Generated Book</dc:title><dc:creator opf:role="aut">Bench Writer</dc:creator>'
    '<dc:date>2020-01-01</dc:date><dc:language>en</dc:language><dc:identifier id="uid">long-book</dc:identifier></metadata>'
    '<manifest><item id="text" href="book.html" media-type="application/xhtml+xml"/>'
    '<item id="ncx" href="toc.ncx" media-type="application/x-dtbncx+xml"/></manifest>'
    '<spine toc="ncx"><itemref idref="text"/></spine></package>\n')
PYTHON

"$KINDLEGEN" "$work/book.opf" -dont_append_source -o long.azw >"$work/log" 2>&1 || true
if [ ! -s "$work/long.azw" ]; then
    cat "$work/log" >&2
    exit 1
fi
cp "$work/long.azw" "$out"
