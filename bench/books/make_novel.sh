#!/bin/sh
# make_novel.sh OUT.azw LANG [CHAPTERS] [kindlegen options]: a generated novel
# in LANG (en, ru or ja) with one file per chapter, a linked table of contents
# at the front, footnotes linked both ways, italic and bold, blockquotes, a
# table and an NCX. The Japanese book uses vertical writing (writing-mode:
# vertical-rl) and ruby annotations, as Japanese Kindle books do.
# en with 60 chapters is about 2.5 MB of text: keep it out of the repository.
set -eu
out=$(realpath -m "$1"); lang=$2; chapters=${3:-60}; shift 2; [ $# -gt 0 ] && shift
KINDLEGEN=${KINDLEGEN:-/work/shared/tools/kindlegen}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
/usr/bin/python3 - "$work" "$lang" "$chapters" <<'PYTHON'
import random, sys
work, lang, chapters = sys.argv[1], sys.argv[2], int(sys.argv[3])
rng = random.Random(3)
if lang == "ru":
    title, author = "Тихий Дон у моря", "Анна Петровна Соколова"
    words = "и в не на я что тот быть с он а весь это как она по но они к у ты из мы за вы так же от сказать этот который мочь человек о один еще бы такой только себя свое какой когда уже для вот кто да говорить год знать мой до или если время рука нет самый ни стать большой даже другой наш свой ну под где дело есть сам раз чтобы два там чем глаз жизнь первый день тута ничто потом очень со хотеть ли при голова надо без видеть идти теперь тоже стоять друг дом сейчас можно после слово здесь думать место спросить через лицо что тогда ведь хороший каждый новый жить должный смотреть почему потому сторона просто нога сидеть понять иметь конечный делать вдруг над взять никто сделать дверь перед нужный понимать казаться работа три ваш уж земля конец несколько час голос город последний пока хорошо".split()
    chap, contents, notes, back = "Глава %d", "Оглавление", "Примечания", "назад"
    sep = " "
elif lang == "ja":
    title, author = "静かな海の物語", "山田 花子"
    words = list("春夏秋冬山川海空雨風雪月花鳥森林道町村家人心手目耳口足水火木金土日本語文字時間世界言葉") + ["東京", "京都", "電車", "学校", "先生", "友達", "図書館", "物語", "ありがとう", "こんにちは", "さようなら", "わたし", "あなた", "です", "ます", "でした", "の", "は", "が", "を", "に", "で", "と"]
    chap, contents, notes, back = "第%d章", "目次", "注", "戻る"
    sep = ""
else:
    title, author = "The Long Road to Harrowgate", "Margaret Ellison-Burke"
    words = ("river stone lantern harbour meadow quarrel whisper cathedral orchard lighthouse saddle "
             "thimble the of and to in that it was he for on with as his they at one have this from "
             "had by but what some we can out other were all there when up said each she which their "
             "time if will way about many then them would like so these her long make thing see him").split()
    chap, contents, notes, back = "Chapter %d", "Contents", "Notes", "back"
    sep = " "
def sentence(n):
    s = sep.join(rng.choice(words) for _ in range(n))
    return (s[0].upper() + s[1:] + ".") if lang != "ja" else s + "。"
def para(n):
    out = []
    for _ in range(n):
        s = sentence(rng.randint(6, 18))
        r = rng.random()
        if r < 0.1: s = "<i>%s</i>" % s
        elif r < 0.15: s = "<b>%s</b>" % s
        out.append(s)
    return sep.join(out)
files, nav, toc, notelist = [], [], [], []
paras = 70 if lang == "en" else 12
css = "p { text-indent: 1em; margin: 0 }\n.note { font-size: 0.8em }\n"
if lang == "ja":
    css += "html { writing-mode: vertical-rl; -webkit-writing-mode: vertical-rl; -epub-writing-mode: vertical-rl; }\nbody { writing-mode: vertical-rl; }\n"
for c in range(1, chapters + 1):
    b = ['<h1 id="c%d">%s</h1>' % (c, chap % c)]
    if c % 3 == 1:
        b.append('<h2 id="c%ds">%s</h2>' % (c, sentence(4)))
    for k in range(paras):
        p = para(rng.randint(3, 8))
        if k == 2:
            n = len(notelist) + 1
            notelist.append((n, c))
            p += '<a id="r%d" href="notes.html#n%d"><sup>%d</sup></a>' % (n, n, n)
        if lang == "ja" and k % 4 == 0:
            p = '<ruby>漢字<rt>かんじ</rt></ruby>' + p + '<ruby>東京<rp>(</rp><rt>とうきょう</rt><rp>)</rp></ruby>'
        b.append("<p>%s</p>" % p)
        if k == 5:
            b.append("<blockquote><p>%s</p></blockquote>" % para(2))
        if k == 9 and c % 10 == 0:
            b.append('<table border="1"><tr><th>%s</th><th>%s</th></tr>' % (sentence(1), sentence(1)) +
                     "".join("<tr><td>%d</td><td>%s</td></tr>" % (i, sentence(4)) for i in range(5)) + "</table>")
    name = "ch%03d.html" % c
    files.append((name, "\n".join(b)))
    toc.append('<p><a href="%s#c%d">%s</a></p>' % (name, c, chap % c))
    nav.append((chap % c, name + "#c%d" % c))
files.insert(0, ("toc.html", '<h1 id="toc">%s</h1>\n' % contents + "\n".join(toc)))
files.append(("notes.html", '<h1 id="notes">%s</h1>\n' % notes + "\n".join(
    '<p class="note" id="n%d">%d. %s <a href="ch%03d.html#r%d">%s</a></p>' % (n, n, sentence(10), c, n, back) for n, c in notelist)))
nav.append((notes, "notes.html#notes"))
lg = {"en": "en", "ru": "ru", "ja": "ja"}[lang]
for name, body in files:
    open(work + "/" + name, "w").write('<?xml version="1.0" encoding="utf-8"?>\n<html xmlns="http://www.w3.org/1999/xhtml" xml:lang="%s"><head><title>%s</title><link rel="stylesheet" type="text/css" href="style.css"/></head><body>\n%s\n</body></html>' % (lg, title, body))
open(work + "/style.css", "w").write(css)
open(work + "/book.opf", "w").write('''<?xml version="1.0" encoding="utf-8"?>
<package xmlns="http://www.idpf.org/2007/opf" version="2.0" unique-identifier="uid">
<metadata xmlns:dc="http://purl.org/dc/elements/1.1/" xmlns:opf="http://www.idpf.org/2007/opf">
<dc:title>%s</dc:title><dc:creator opf:role="aut">%s</dc:creator>
<dc:language>%s</dc:language><dc:identifier id="uid">novel-%s</dc:identifier><dc:date>2015-09-30</dc:date></metadata>
<manifest><item id="ncx" href="toc.ncx" media-type="application/x-dtbncx+xml"/><item id="css" href="style.css" media-type="text/css"/>%s</manifest>
<spine toc="ncx"%s>%s</spine><guide><reference type="toc" title="%s" href="toc.html"/></guide></package>''' % (
    title, author, lg, lang,
    "".join('<item id="f%d" href="%s" media-type="application/xhtml+xml"/>' % (i, f[0]) for i, f in enumerate(files)),
    ' page-progression-direction="rtl"' if lang == "ja" else "",
    "".join('<itemref idref="f%d"/>' % i for i in range(len(files))), contents))
open(work + "/toc.ncx", "w").write('''<?xml version="1.0" encoding="utf-8"?>
<ncx xmlns="http://www.daisy.org/z3986/2005/ncx/" version="2005-1"><head><meta name="dtb:uid" content="novel-%s"/></head>
<docTitle><text>%s</text></docTitle><navMap>%s</navMap></ncx>''' % (lang, title, "".join(
    '<navPoint id="n%d" playOrder="%d"><navLabel><text>%s</text></navLabel><content src="%s"/></navPoint>' % (i, i + 1, t, s)
    for i, (t, s) in enumerate(nav))))
PYTHON
"$KINDLEGEN" "$work/book.opf" -dont_append_source -o book.azw "$@" >"$work/log" 2>&1 || true
test -s "$work/book.azw" || { tail -20 "$work/log" >&2; exit 1; }
cp "$work/book.azw" "$out"
