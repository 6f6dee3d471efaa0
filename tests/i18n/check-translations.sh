#!/usr/bin/env bash
# Fails when the translation files are behind the code (lupdate would change
# them: a text was added, changed or removed without translations/update.sh),
# when a translation is unfinished or kept for a text the code no longer has,
# or when a translation loses a %1-style place holder or the shortcut of its
# source.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

"$root/translations/update.sh" "$tmp"
status=0
for ts in "$root"/translations/lurn_*.ts; do
    name=$(basename "$ts")
    if ! diff -u "$ts" "$tmp/$name" >"$tmp/$name.diff"; then
        echo "$name is out of date with the code: run translations/update.sh and translate" >&2
        head -n 60 "$tmp/$name.diff" >&2
        status=1
    fi
done
python3 - "$tmp"/lurn_*.ts <<'PY' || status=1
import re, sys, xml.etree.ElementTree as ET
bad = 0
for path in sys.argv[1:]:
    for context in ET.parse(path).getroot().iter('context'):
        where = context.findtext('name')
        for message in context.iter('message'):
            source = message.findtext('source') or ''
            translation = message.find('translation')
            text = translation.text or ''
            kind = translation.get('type')
            problem = None
            if kind in ('unfinished', 'vanished', 'obsolete'):
                problem = kind
            elif not text:
                problem = 'empty'
            elif sorted(re.findall(r'%\d', source)) != sorted(re.findall(r'%\d', text)):
                problem = 'place holders differ'
            elif source.count('&') != text.count('&'):
                problem = 'shortcut lost or added'
            if problem:
                bad += 1
                print(f'{path.rsplit("/", 1)[-1]}: {where}: {problem}: {source!r}', file=sys.stderr)
sys.exit(1 if bad else 0)
PY
exit $status
