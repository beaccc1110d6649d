#!/bin/sh
# make_manual.sh OUT.azw [kindlegen options]: a generated reference manual: many
# short sections under h1..h4 headings, code in <pre>, lists, a definition list,
# a table, a nested NCX table of contents.
set -eu
out=$(realpath -m "$1"); shift
KINDLEGEN=${KINDLEGEN:-/work/shared/tools/kindlegen}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
/usr/bin/python3 - "$work" <<'PYTHON'
import sys
work = sys.argv[1]
body, nav, n = [], [], [0]
def point(label, anchor, children=""):
    n[0] += 1
    return '<navPoint id="n%d" playOrder="%d"><navLabel><text>%s</text></navLabel><content src="manual.html#%s"/>%s</navPoint>' % (n[0], n[0], label, anchor, children)
for a in range(1, 7):
    body.append('<h1 id="s%d">%d. Module %d</h1><p>Overview of module %d: configure, run &amp; inspect.</p>' % (a, a, a, a))
    kids_a = []
    for b in range(1, 5):
        body.append('<h2 id="s%d_%d">%d.%d Commands</h2><ul><li>list item <code>opt-%d</code></li><li>second item<ul><li>nested item</li></ul></li></ul>' % (a, b, a, b, b))
        kids_b = []
        for c in range(1, 4):
            body.append('<h3 id="s%d_%d_%d">%d.%d.%d Option <code>--level=%d</code></h3>' % (a, b, c, a, b, c, c))
            body.append('<pre>$ tool --level=%d &lt;input&gt; | grep "x &amp; y"\n    indented line {\n        return 0;\n    }</pre>' % c)
            body.append('<ol><li>First step of %d.%d.%d</li><li>Second step</li></ol>' % (a, b, c))
            body.append('<h4 id="s%d_%d_%d_n">Note</h4><dl><dt>Term</dt><dd>Definition for %d.%d.%d</dd></dl>' % (a, b, c, a, b, c))
            kids_b.append(point("%d.%d.%d Option --level=%d" % (a, b, c, c), "s%d_%d_%d" % (a, b, c)))
        kids_a.append(point("%d.%d Commands" % (a, b), "s%d_%d" % (a, b), "".join(kids_b)))
    body.append('<table border="1"><tr><th>Key</th><th>Value</th></tr><tr><td>a</td><td>1</td></tr><tr><td>b</td><td>2</td></tr></table>')
    nav.append(point("%d. Module %d" % (a, a), "s%d" % a, "".join(kids_a)))
open(work + "/manual.html", "w").write('<html><head><title>Reference Manual</title><style>pre{font-family:monospace;white-space:pre}</style></head><body>' + "\n".join(body) + '</body></html>')
open(work + "/book.opf", "w").write('''<?xml version="1.0" encoding="utf-8"?>
<package xmlns="http://www.idpf.org/2007/opf" version="2.0" unique-identifier="uid">
<metadata xmlns:dc="http://purl.org/dc/elements/1.1/" xmlns:opf="http://www.idpf.org/2007/opf">
<dc:title>Reference Manual</dc:title><dc:creator opf:role="aut">Tool Team</dc:creator>
<dc:language>en</dc:language><dc:identifier id="uid">manual-1</dc:identifier></metadata>
<manifest><item id="t" href="manual.html" media-type="application/xhtml+xml"/><item id="ncx" href="toc.ncx" media-type="application/x-dtbncx+xml"/></manifest>
<spine toc="ncx"><itemref idref="t"/></spine></package>''')
open(work + "/toc.ncx", "w").write('''<?xml version="1.0" encoding="utf-8"?>
<ncx xmlns="http://www.daisy.org/z3986/2005/ncx/" version="2005-1"><head><meta name="dtb:uid" content="manual-1"/></head>
<docTitle><text>Reference Manual</text></docTitle><navMap>%s</navMap></ncx>''' % "".join(nav))
PYTHON
"$KINDLEGEN" "$work/book.opf" -dont_append_source -o book.azw "$@" >"$work/log" 2>&1 || true
test -s "$work/book.azw" || { tail -20 "$work/log" >&2; exit 1; }
cp "$work/book.azw" "$out"
