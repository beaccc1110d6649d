#!/bin/sh
# Installs what is missing, builds the converter and converts the books given
# (the bundled sample book when none are given).
set -eu
top="$(cd "$(dirname "$0")/.." && pwd)"
"$top/scripts/install-deps.sh"
cmake -S "$top" -B "$top/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$top/build"
if [ "$#" -eq 0 ]; then
    set -- "$top/samples/sample.azw"
    exec "$top/build/bin/tavistel-convert" --output-dir "$top/samples/out" --overwrite "$@"
fi
exec "$top/build/bin/tavistel-convert" "$@"
