#!/bin/sh
# Rebuilds the mobi2html fixtures in tests/data and the sample book from the sources here.
# Needs kindlegen (KINDLEGEN, default /work/shared/tools/kindlegen) and mobitool/mobidrm (libmobi-tools).
set -e
KINDLEGEN=${KINDLEGEN:-/work/shared/tools/kindlegen}
here=$(cd "$(dirname "$0")" && pwd)
data=$(dirname "$here")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# gen <source folder> <output name> [kindlegen options...]
gen() {
    src=$1; out=$2; shift 2
    rm -rf "$work/$src" && cp -r "$here/$src" "$work/$src"
    "$KINDLEGEN" "$work/$src/book.opf" -dont_append_source "$@" -o "$out" >"$work/$out.log" 2>&1 || true
    test -s "$work/$src/$out" || { cat "$work/$out.log"; exit 1; }
    cp "$work/$src/$out" "$data/$out"
}

gen basic basic.azw
gen basic huff.azw -c2
gen basic gif.azw -gif
gen basic mobi7.azw -gen_ff_mobi7
gen toc toc.azw
gen toc western.azw -western -gen_ff_mobi7
gen toc toc_mobi7.azw -gen_ff_mobi7
gen nonlatin nonlatin.azw
gen rtl rtl.azw
gen styles styles.azw
gen sample sample.azw
mkdir -p "$data/../../samples" && mv "$data/sample.azw" "$data/../../samples/sample.azw"

# The KF8 half of the hybrid book on its own.
(cd "$work" && cp "$data/basic.azw" split.azw && mobitool -t split.azw >/dev/null)
cp "$work"/split*.azw3 "$data/kf8only.azw"

# An encrypted copy (the serial only locks it; no real key is involved).
(cd "$work" && cp "$data/basic.azw" drm.azw && mobidrm -e -s B001XXXXXXXXXXXX drm.azw >/dev/null)
# mobidrm writes the two halves of a hybrid apart; the KF8 half stands for the locked book.
cp "$work/drm-encrypted.azw3" "$data/drm.azw"

# A KF8 book whose second picture is a PNG with transparency (kindlegen itself would turn it into JPEG).
cc "$here/put_png.c" $(pkg-config --cflags --libs libmobi) -o "$work/put_png"
"$work/put_png" "$data/kf8only.azw" 1 "$here/basic/mark.png" "$data/png.azw"

# A Windows-1252 MOBI7 book, written directly (kindlegen 2.9 stores UTF-8 even with -western).
python3 "$here/make_cp1252.py" "$data/cp1252.azw"
