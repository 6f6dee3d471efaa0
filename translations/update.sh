#!/usr/bin/env bash
# Brings the translation files up to date with the sources: new texts come in
# unfinished, texts no longer in the code are marked vanished. Run it after
# changing any text, then translate what Qt Linguist shows unfinished.
#   translations/update.sh               updates translations/*.ts
#   translations/update.sh OUTDIR        writes the updated files to OUTDIR
#                                        (the test that checks them does this)
# A new language: translations/update.sh, then
#   lupdate ... -ts translations/lurn_xx.ts (see below), translate it, rebuild.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
out=${1:-$here}
lupdate=${LUPDATE:-$(command -v lupdate || echo /usr/lib/qt6/bin/lupdate)}

if [[ $out != "$here" ]]; then
    mkdir -p "$out"
    cp "$here"/*.ts "$out"/
fi
cd "$root"
# No line numbers: a file that only moved a text is no change to translate.
for ts in "$out"/lurn_*.ts; do
    lang=$(basename "$ts" .ts)
    lang=${lang#lurn_}
    "$lupdate" -silent -locations none -source-language es -target-language "$lang" \
        -extensions cpp,h -recursive src -ts "$ts"
done
