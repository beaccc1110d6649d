#!/bin/sh
# make_illustrated_book.sh OUT.azw [kindlegen options]: a large illustrated book
# (about 80 JPEG/PNG/GIF pictures from 24x24 icons to 2000x3000 plates, twelve
# chapters, a cover, an NCX) written in the markup older converters use
# (calibre classes, mbp:pagebreak, font-size headings, blockquotes, a table).
# Too big for the repository: build it where you need it.
set -eu
out=$(realpath -m "$1"); shift
here=$(cd "$(dirname "$0")" && pwd)
KINDLEGEN=${KINDLEGEN:-/work/shared/tools/kindlegen}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
g++ -std=c++20 -O2 -fPIC "$here/draw_pictures.cpp" $(pkg-config --cflags --libs Qt6Gui) -o "$work/draw_pictures"

/usr/bin/python3 - "$work" <<'PYTHON'
import random, sys
work = sys.argv[1]
rng = random.Random(5)
words = ("river stone lantern harbour meadow quarrel whisper cathedral orchard lighthouse saddle "
         "thimble the of and to in that it was he for on with as his they at one have this from "
         "had by but what some we can out other were all there when up said each she which their").split()
def para(n):
    return " ".join(rng.choice(words) for _ in range(n)).capitalize() + "."
pics = []   # (file, w, h, label)
pics.append(("cover.jpg", 1600, 2560, "Cover"))
body, nav = [], []
for c in range(1, 13):
    body.append('<mbp:pagebreak/><a id="ch%d"></a><p class="calibre2"><font size="+2"><b>Chapter %d</b></font></p>' % (c, c))
    nav.append('<navPoint id="n%d" playOrder="%d"><navLabel><text>Chapter %d</text></navLabel>'
               '<content src="book.html#ch%d"/></navPoint>' % (c, c, c, c))
    for k in range(7):
        n = len(pics)
        kind = n % 9
        if kind == 0:
            pics.append(("plate%02d.jpg" % n, 2000, 3000, "Plate %d" % n))
            body.append('<div class="calibre3"><img src="plate%02d.jpg" alt="Plate %d" class="calibre4"/></div>' % (n, n))
        elif kind in (1, 2, 3, 4):
            pics.append(("fig%02d.jpg" % n, 1200, 800, "Figure %d" % n))
            body.append('<p class="calibre1"><img src="fig%02d.jpg" alt="Figure %d"/></p><p class="caption">Figure %d. %s</p>' % (n, n, n, para(8)))
        elif kind in (5, 6):
            pics.append(("map%02d.png" % n, 600, 450, "Map %d" % n))
            body.append('<blockquote><img src="map%02d.png" alt=""/><br/>Map %d</blockquote>' % (n, n))
        else:
            ext = "gif" if kind == 7 else "png"
            pics.append(("icon%02d.%s" % (n, ext), 24, 24, "i"))
            body.append('<p class="calibre1">%s <img src="icon%02d.%s" alt="*" width="16" height="16"/> %s</p>' % (para(12), n, ext, para(20)))
        for _ in range(3):
            body.append('<p class="calibre1">%s</p>' % para(rng.randint(40, 120)))
    body.append('<table border="1"><tr><th>Year</th><th>Event</th></tr>' +
                "".join('<tr><td>%d</td><td>%s</td></tr>' % (1800 + c * 10 + i, para(5)) for i in range(4)) + '</table>')
def gif(path, w, h):
    # 8-colour picture, LZW with a clear code before every pixel: valid and simple.
    pal = bytes([0,0,0, 200,30,30, 30,160,60, 40,60,200, 230,200,40, 255,255,255, 120,120,120, 90,40,140])
    bits, nbits, data = 0, 0, bytearray()
    def put(code):
        nonlocal bits, nbits
        bits |= code << nbits; nbits += 4
        while nbits >= 8:
            data.append(bits & 0xFF); bits >>= 8; nbits -= 8
    for y in range(h):
        for x in range(w):
            put(8); put(((x // 4) + (y // 4)) % 6 + 1)
    put(9)
    if nbits: data.append(bits & 0xFF)
    blocks = b"".join(bytes([len(data[i:i+255])]) + bytes(data[i:i+255]) for i in range(0, len(data), 255))
    open(path, "wb").write(b"GIF89a" + w.to_bytes(2, "little") + h.to_bytes(2, "little") + bytes([0xF2, 0, 0]) + pal
        + b"," + bytes(4) + w.to_bytes(2, "little") + h.to_bytes(2, "little") + b"\0" + bytes([3]) + blocks + b"\0;")
with open(work + "/pictures.txt", "w") as f:
    for p in pics:
        if p[0].endswith(".gif"):
            gif(work + "/" + p[0], p[1], p[2]); continue
        f.write("%s/%s %d %d %s\n" % (work, p[0], p[1], p[2], p[3]))
html = ('<html><head><title>An Illustrated Atlas</title><style>.calibre1{margin:0;text-indent:1.5em}'
        '.calibre3{text-align:center}.calibre4{height:auto;width:100%}</style></head><body>'
        '<p class="calibre2"><font size="+3"><b>An Illustrated Atlas</b></font></p>'
        + "\n".join(body) + '</body></html>')
open(work + "/book.html", "w").write(html)
manifest = "".join('<item id="p%d" href="%s" media-type="image/%s"/>' % (i, p[0], {"jpg": "jpeg"}.get(p[0][-3:], p[0][-3:])) for i, p in enumerate(pics))
open(work + "/book.opf", "w").write('''<?xml version="1.0" encoding="utf-8"?>
<package xmlns="http://www.idpf.org/2007/opf" version="2.0" unique-identifier="uid">
<metadata xmlns:dc="http://purl.org/dc/elements/1.1/" xmlns:opf="http://www.idpf.org/2007/opf">
<dc:title>An Illustrated Atlas</dc:title><dc:creator opf:role="aut">Ada Cartwright</dc:creator>
<dc:language>en</dc:language><dc:identifier id="uid">atlas-1</dc:identifier><dc:date>2019-05-01</dc:date>
<meta name="cover" content="p0"/></metadata>
<manifest><item id="text" href="book.html" media-type="application/xhtml+xml"/>
<item id="ncx" href="toc.ncx" media-type="application/x-dtbncx+xml"/>%s</manifest>
<spine toc="ncx"><itemref idref="text"/></spine></package>''' % manifest)
open(work + "/toc.ncx", "w").write('''<?xml version="1.0" encoding="utf-8"?>
<ncx xmlns="http://www.daisy.org/z3986/2005/ncx/" version="2005-1"><head><meta name="dtb:uid" content="atlas-1"/></head>
<docTitle><text>An Illustrated Atlas</text></docTitle><navMap>%s</navMap></ncx>''' % "".join(nav))
PYTHON
"$work/draw_pictures" "$work/pictures.txt"
"$KINDLEGEN" "$work/book.opf" -o book.azw "$@" >"$work/log" 2>&1 || true
test -s "$work/book.azw" || { tail -20 "$work/log" >&2; exit 1; }
grep -c 'W[0-9]' "$work/log" >&2 || true
cp "$work/book.azw" "$out"
