#!/usr/bin/env bash
# Replaces what stands between "<!-- NAME:begin -->" and "<!-- NAME:end -->" in
# docs/benchmarks.md with the content of FILE.
# usage: bench/put-section.sh NAME FILE
set -euo pipefail
name=$1
content=$2
page="$(dirname "$0")/../docs/benchmarks.md"
grep -q "^<!-- $name:begin -->\$" "$page" || { echo "$0: no section $name in $page" >&2; exit 1; }
awk -v name="$name" -v file="$content" '
    $0 == "<!-- " name ":begin -->" { print; while ((getline line < file) > 0) print line; skip = 1; next }
    $0 == "<!-- " name ":end -->" { skip = 0 }
    !skip { print }
' "$page" >"$page.new"
mv "$page.new" "$page"
