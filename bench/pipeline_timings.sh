#!/bin/sh
# pipeline_timings.sh [BOOK.azw...]: converts the books (the test fixtures
# when none are given) with --timings and prints, per stage, the seconds
# summed over all books, then the share of the wall time spent in the
# program's own steps (copy, pictures, split, package, archive, target)
# against the tools (mobi2html, html2pdf, pdftohtml).
# BUILD names the build folder (default: build beside this script's folder).
set -eu
top="$(cd "$(dirname "$0")/.." && pwd)"
build=${BUILD:-$top/build}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
if [ "$#" -eq 0 ]; then
    for b in "$top"/tests/data/*.azw; do
        case "$b" in */drm.azw|*/rtl.azw) ;; *) set -- "$@" "$b" ;; esac
    done
fi
start=$(date +%s.%N)
"$build/bin/tavistel-convert" --timings --overwrite --output-dir "$out" "$@" >"$out/log" 2>"$out/timings" || {
    cat "$out/log" >&2
    exit 1
}
end=$(date +%s.%N)
awk -v wall="$(echo "$end - $start" | bc)" -v books="$#" '
    $1 == "timing" { t[$2] += $3; order[$2] = ++n }
    END {
        own = 0
        split("copy pictures split package archive target", mine, " ")
        for (i in mine) isown[mine[i]] = 1
        for (s in t) {
            printf "%-10s %8.3f s%s\n", s, t[s], isown[s] ? "  (own)" : ""
            if (isown[s]) own += t[s]
        }
        printf "books %d, wall %.3f s, own steps %.3f s = %.1f%% of wall time\n", books, wall, own, 100 * own / wall
    }' "$out/timings"
