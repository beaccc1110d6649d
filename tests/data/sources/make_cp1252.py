#!/usr/bin/env python3
"""Writes a minimal MOBI7 book whose text and metadata are Windows-1252 (kindlegen 2.9 writes UTF-8 only).
Usage: make_cp1252.py <out.azw>"""
import struct
import sys

TEXT = ('<html><head><guide></guide></head><body>'
        '<h1>Caf\u00e9 \u201cNoir\u201d</h1>'
        '<p>The cr\u00e8me costs 3 \u20ac \u2014 na\u00efve prices, \u00bdprice on Sunday.</p>'
        '<mbp:pagebreak/><h2>Second part</h2><p>\u2018Fin\u2019.</p>'
        '</body></html>').encode('cp1252')
assert len(TEXT) <= 4096


def exth(records):
    body = b''.join(struct.pack('>II', tag, len(value) + 8) + value for tag, value in records)
    pad = (4 - len(body) % 4) % 4
    return b'EXTH' + struct.pack('>II', len(body) + 12, len(records)) + body + b'\0' * pad


title = 'Caf\u00e9 \u201cNoir\u201d'.encode('cp1252')
ex = exth([(100, 'Ren\u00e9e Marchand'.encode('cp1252')), (503, title), (106, b'2010-02-01'), (524, b'fr')])
header_len = 232
full_name_offset = 16 + header_len + len(ex)
mobi = bytearray(16 + header_len)
struct.pack_into('>HHIHHHH', mobi, 0, 1, 0, len(TEXT), 1, 4096, 0, 0)  # no compression, one text record
mobi[16:20] = b'MOBI'
struct.pack_into('>IIIII', mobi, 20, header_len, 2, 1252, 0x1234, 6)
for off in range(40, 80, 4):
    struct.pack_into('>I', mobi, off, 0xFFFFFFFF)
struct.pack_into('>IIIIIIII', mobi, 80, 2, full_name_offset, len(title), 0x0C, 0, 0, 6, 0xFFFFFFFF)
struct.pack_into('>IIIII', mobi, 112, 0, 0, 0, 0, 0x50)
struct.pack_into('>IIIII', mobi, 164, 0xFFFFFFFF, 0xFFFFFFFF, 0, 0, 0)
struct.pack_into('>HHI', mobi, 192, 1, 1, 1)
struct.pack_into('>IIIIIIIIIIHHI', mobi, 200, 0xFFFFFFFF, 0, 0xFFFFFFFF, 0, 0, 0, 0xFFFFFFFF, 0,
                 0xFFFFFFFF, 0xFFFFFFFF, 0, 0, 0xFFFFFFFF)
rec0 = bytes(mobi) + ex + title + b'\0' * (4 - len(title) % 4 + 4)

records = [rec0, TEXT, b'\xe9\x8e\x0d\x0a']
table_end = 78 + 8 * len(records) + 2
offsets, pos = [], table_end
for r in records:
    offsets.append(pos)
    pos += len(r)
pdb = bytearray(78)
pdb[0:32] = b'Cafe_Noir'.ljust(32, b'\0')
struct.pack_into('>HHIII', pdb, 32, 0, 0, 0x5A000000, 0x5A000000, 0)
pdb[60:68] = b'BOOKMOBI'
struct.pack_into('>IIH', pdb, 68, 2 * len(records) - 1, 0, len(records))
out = bytes(pdb) + b''.join(struct.pack('>II', o, 2 * i) for i, o in enumerate(offsets)) + b'\0\0' + b''.join(records)
open(sys.argv[1], 'wb').write(out)
