#!/usr/bin/env bash
# Prints the Python interpreter that can import mutagen: Debian's mutagen
# belongs to the system's Python, which need not come first on the PATH.
for candidate in python3 /usr/bin/python3; do
    if "$candidate" -c 'import mutagen' 2>/dev/null; then
        echo "$candidate"
        exit 0
    fi
done
echo "$0: no Python can import mutagen (python3-mutagen is missing)" >&2
exit 1
