#!/usr/bin/env bash
# Fails when a window text has no English: an entry of the translation left unfinished, or a
# text in the sources that the translation does not have yet.
# Usage: translation_complete.sh LUPDATE TS_FILE SOURCE_DIR
set -euo pipefail
lupdate=$1 ts=$2 sources=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$ts" "$work/check.ts"
"$lupdate" -silent -no-obsolete -locations none -I "$sources" "$sources/app" -ts "$work/check.ts"
if grep -B2 'type="unfinished"' "$work/check.ts"; then
    echo "untranslated texts above: run the update_translations target and translate them" >&2
    exit 1
fi
echo "every window text has its English"
