#!/usr/bin/env bash
# Makes docs/screenshot.png and docs/screenshot-dark-2x.png: the window under Xvfb with a real
# MP3 file loaded, at scale 1 in the default palette and at scale 2 in a dark one.
# Installs what it needs (Xvfb, lame, id3v2 and mutagen) besides the build's packages.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh xvfb xauth lame id3v2 python3-mutagen
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target quillon-screenshot

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A home of its own, so that the tree shows Home > Music and nothing of this machine.
export HOME="$work/home"
mkdir -p "$HOME/Music"
# Ten seconds of a chord, encoded and tagged by the usual tools.
python3 - "$work/tone.wav" <<'PY'
import math, struct, sys, wave
with wave.open(sys.argv[1], "wb") as w:
    w.setnchannels(2); w.setsampwidth(2); w.setframerate(44100)
    w.writeframes(b"".join(struct.pack("<hh", int(6000 * (math.sin(i * 0.0627) + math.sin(i * 0.0791))),
                                       int(6000 * (math.sin(i * 0.0627) + math.sin(i * 0.0940))))
                           for i in range(441000)))
PY
lame --quiet -V 2 "$work/tone.wav" "$HOME/Music/Nightfall - Open Road.mp3"
lame --quiet -b 128 "$work/tone.wav" "$HOME/Music/Harbour Lights - Slow Tide.mp3"
# An ID3v2.4 tag in UTF-8 by mutagen, then an ID3v1 tag by id3lib, as today's taggers write.
mid3v2 -a "Ночной поезд" -t "Открытая дорога" -A "Дальний путь" \
    -y 2024 -T 3/12 -g Rock -c "Записано вживую" --TCOM "Åsa Öberg" \
    "$HOME/Music/Nightfall - Open Road.mp3" >/dev/null
id3v2 -1 -a "Nightfall" -t "Open Road" -A "Long Distance" -y 2024 -T 3 -g 17 \
    -c "Recorded live" "$HOME/Music/Nightfall - Open Road.mp3"
xvfb-run -a -s "-screen 0 1024x700x24" build/tools/quillon-screenshot \
    "$HOME/Music/Nightfall - Open Road.mp3" docs/screenshot.png
QT_SCALE_FACTOR=2 xvfb-run -a -s "-screen 0 2048x1400x24" build/tools/quillon-screenshot --dark \
    "$HOME/Music/Nightfall - Open Road.mp3" docs/screenshot-dark-2x.png
echo "docs/screenshot.png and docs/screenshot-dark-2x.png written"
