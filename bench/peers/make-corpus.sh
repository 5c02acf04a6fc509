#!/usr/bin/env bash
# Builds the corpus of MPEG audio files that bench/peers/run.sh times the
# analysis tools on: a bit more than 2,000 files in FOLDER/files, made here
# with Debian's encoders (lame, twolame, ffmpeg) and taggers (id3v2, eyeD3,
# mutagen).
#
# Usage: bench/peers/make-corpus.sh FOLDER
#
# A few dozen generated sources (5 to 60 s) are encoded once each with two of
# about thirty encoder settings; the corpus is made of copies of those
# encodings, each tagged its own way: no tag, ID3v1, ID3v2.3, ID3v2.4, both,
# some with a picture frame of a few hundred KB to a few MB. Five files of
# 50 MB or more complete it. The whole takes about 1.6 GB.
# When FOLDER already holds a complete corpus of this recipe, it is kept.
# Needs: ffmpeg lame twolame id3v2 eyed3 python3-mutagen.
set -euo pipefail

if [ $# -ne 1 ]; then
    echo "usage: $0 FOLDER" >&2
    exit 2
fi
root=$1
repo=$(cd "$(dirname "$0")/../.." && pwd)
recipe="quillon-peers-corpus 2"
smallCount=2000

mkdir -p "$root"
root=$(cd "$root" && pwd)
files=$root/files
# Only a folder this script made is ever emptied.
if [ ! -f "$root/.quillon-peers-corpus" ] && [ -n "$(ls -A "$root")" ]; then
    echo "$0: $root is not empty and was not made by this script" >&2
    exit 1
fi
touch "$root/.quillon-peers-corpus"
if [ -f "$root/complete" ] && [ "$(head -1 "$root/complete")" = "$recipe" ] &&
    [ "$(sed -n 2p "$root/complete")" = "$(find "$files" -type f | wc -l)" ]; then
    echo "Corpus in $root is complete ($(sed -n 2p "$root/complete") files), kept."
    exit 0
fi

for tool in ffmpeg lame twolame id3v2 eyeD3; do
    command -v "$tool" >/dev/null || { echo "$0: $tool is missing" >&2; exit 1; }
done
python=$(bash "$repo/tools/mutagen-python.sh")

quiet() { "$@" >/dev/null 2>&1 || { echo "$0: failed: $*" >&2; exit 1; }; }
# All encoding runs on one core, below other work.
ffmpeg() { nice ffmpeg -nostdin -hide_banner -loglevel error -threads 1 "$@"; }
lame() { nice lame --quiet "$@"; }
twolame() { nice twolame --quiet "$@"; }

rm -rf "$files" "$root/complete" "$root/work"
mkdir -p "$files" "$root/work/sources" "$root/work/base" "$root/work/pictures"
work=$root/work
start=$SECONDS

# --- Sources: 32 generated clips, 5 to 60 s, at the three MPEG 1 rates, each
# a mix of tones and noise whose loudness changes, so that VBR rates vary.
rates=(44100 48000 32000 44100)
sourceCount=32
for ((i = 0; i < sourceCount; i++)); do
    duration=$((5 + (i * 23) % 56))
    rate=${rates[i % 4]}
    f1=$((110 + i * 37))
    f2=$((f1 * 3 / 2 + i))
    noise=$(printf '0.%02d' $((5 + i % 20)))
    left="(0.3+0.2*sin(2*PI*t/$((2 + i % 5))))*sin($f1*2*PI*t)+$noise*random(0)"
    right="(0.3+0.2*cos(2*PI*t/$((3 + i % 4))))*sin($f2*2*PI*t)+$noise*random(1)"
    quiet ffmpeg -y -f lavfi -i "aevalsrc=$left|$right:s=$rate:d=$duration" \
        -c:a pcm_s16le "$work/sources/s$i.wav"
done
echo "Sources made ($((SECONDS - start)) s)."

# --- Encodings: each source with two of the settings below.
settings=(
    lame-cbr32-mono lame-cbr64 lame-cbr96 lame-cbr128 lame-cbr160 lame-cbr192 lame-cbr256
    lame-cbr320 lame-cbr128-noinfo lame-cbr128-crc lame-v0 lame-v2 lame-v4 lame-v6 lame-v9
    lame-abr128 lame-abr192 lame-mpeg2-cbr64 lame-mpeg2-v5 lame-mpeg25-cbr32 lame-cbr192-tagged
    twolame-l2-192 twolame-l2-256 twolame-l2-384-crc twolame-mpeg2-l2-128
    ffmpeg-mp3-cbr192 ffmpeg-mp3-q2 ffmpeg-mp3-q5-v23 ffmpeg-mp3-noxing ffmpeg-mp2-256
    ffmpeg-mp2-192
)
encode() { # SETTING SOURCE OUTPUT
    local in=$2 out=$3
    case $1 in
    lame-cbr32-mono) quiet lame -b 32 -m m "$in" "$out" ;;
    lame-cbr*-noinfo) quiet lame -b 128 -t "$in" "$out" ;;
    lame-cbr*-crc) quiet lame -b 128 -p "$in" "$out" ;;
    lame-cbr192-tagged)
        # LAME's own tagging: ID3v2.3 in front and ID3v1 at the end.
        quiet lame -b 192 --add-id3v2 --tt "Encoded title" --ta "LAME artist" --tl Album \
            --ty 1999 --tn 3/10 --tg Jazz --tc "LAME comment" "$in" "$out" ;;
    lame-cbr*) quiet lame -b "${1#lame-cbr}" "$in" "$out" ;;
    lame-v*) quiet lame "-V${1#lame-v}" "$in" "$out" ;;
    lame-abr*) quiet lame --abr "${1#lame-abr}" "$in" "$out" ;;
    lame-mpeg2-cbr64) quiet lame --resample 22.05 -b 64 "$in" "$out" ;;
    lame-mpeg2-v5) quiet lame --resample 24 -V5 "$in" "$out" ;;
    lame-mpeg25-cbr32) quiet lame --resample 11.025 -b 32 "$in" "$out" ;;
    twolame-l2-192) quiet twolame -b 192 "$in" "$out" ;;
    twolame-l2-256) quiet twolame -b 256 "$in" "$out" ;;
    twolame-l2-384-crc) quiet twolame -b 384 -p "$in" "$out" ;;
    twolame-mpeg2-l2-128)
        quiet ffmpeg -y -i "$in" -ar 24000 -c:a pcm_s16le "$work/half.wav"
        quiet twolame -b 128 "$work/half.wav" "$out"
        rm -f "$work/half.wav" ;;
    # FFmpeg writes an ID3v2.4 tag with its encoder's name unless told not to.
    ffmpeg-mp3-cbr192) quiet ffmpeg -y -i "$in" -c:a libmp3lame -b:a 192k "$out" ;;
    ffmpeg-mp3-q2) quiet ffmpeg -y -i "$in" -c:a libmp3lame -q:a 2 "$out" ;;
    ffmpeg-mp3-q5-v23)
        quiet ffmpeg -y -i "$in" -c:a libmp3lame -q:a 5 -id3v2_version 3 \
            -metadata title="From FFmpeg" -metadata artist="Encoder" "$out" ;;
    ffmpeg-mp3-noxing)
        quiet ffmpeg -y -i "$in" -c:a libmp3lame -b:a 128k -write_xing 0 -id3v2_version 0 \
            "$out" ;;
    ffmpeg-mp2-256) quiet ffmpeg -y -i "$in" -c:a mp2 -b:a 256k "$out" ;;
    ffmpeg-mp2-192) quiet ffmpeg -y -i "$in" -c:a mp2 -b:a 192k -ar 48000 "$out" ;;
    *) echo "$0: unknown setting $1" >&2; exit 1 ;;
    esac
}
base=()
for ((i = 0; i < sourceCount; i++)); do
    for s in $((i % ${#settings[@]})) $(((i + 15) % ${#settings[@]})); do
        name="s$i-${settings[s]}"
        case ${settings[s]} in
        twolame* | ffmpeg-mp2*) name+=.mp2 ;;
        *) name+=.mp3 ;;
        esac
        encode "${settings[s]}" "$work/sources/s$i.wav" "$work/base/$name"
        base+=("$name")
    done
done
echo "${#base[@]} encodings made ($((SECONDS - start)) s)."

# --- Pictures of noise, which does not compress: 250 KB to 4.4 MB.
picture=0
for shape in 300x300:png 480x480:jpg 600x600:png 900x900:jpg 1000x1000:png 1200x1200:png; do
    size=${shape%%:*}
    ext=${shape##*:}
    quality=()
    [ "$ext" = jpg ] && quality=(-q:v 1)
    quiet ffmpeg -y -f lavfi -i "nullsrc=s=$size,format=rgb24" \
        -vf "geq=r='random(1)*255':g='random(2)*255':b='random(3)*255'" \
        -frames:v 1 "${quality[@]}" "$work/pictures/p$picture.$ext"
    picture=$((picture + 1))
done

# --- The corpus: copies of the encodings, tagged by the scheme of their number.
schemes=(
    none none id3v2-v1 id3v2-both id3v2-v2 eyed3-v24 eyed3-v23 eyed3-v1
    mutagen-v23 mutagen-v23 mutagen-v23 mutagen-v23 mutagen-v24 mutagen-v24 mutagen-v24
    mutagen-v24 mutagen-v23-v1 mutagen-v24-v1 mutagen-v23-apic mutagen-v24-apic-v1
)
declare -A byScheme=()
for ((j = 0; j < smallCount; j++)); do
    scheme=${schemes[j % ${#schemes[@]}]}
    # Step through the encodings so that each scheme meets each of them.
    source=${base[(j * 7 + j / ${#schemes[@]}) % ${#base[@]}]}
    name=$(printf '%04d-%s-%s' "$j" "$scheme" "${source#*-}")
    cp "$work/base/$source" "$files/$name"
    byScheme[$scheme]+="$name"$'\n'
done
cd "$files"
listOf() { printf '%s' "${byScheme[$1]}"; }

# The id3v2 tool: one process per file (it is quick).
n=0
while IFS= read -r f; do
    n=$((n + 1))
    quiet id3v2 -1 -a "Artist $n" -A "Album $((n % 7))" -t "Title $n" -y $((1960 + n % 60)) \
        -T $((n % 20 + 1)) -g $((n % 126)) -c "Comment $n" "$f"
done < <(listOf id3v2-v1)
while IFS= read -r f; do
    n=$((n + 1))
    quiet id3v2 -a "Artiste $n" -A "Album $(printf '\xe9t\xe9')" -t "Titre $n" -y 2001 \
        -T "$((n % 12 + 1))/12" -g 17 -c "desc":"Comment $n":"fra" --TCOM "Composer $n" \
        --TCOP "(c) 2001" "$f"
done < <(listOf id3v2-both)
while IFS= read -r f; do
    n=$((n + 1))
    quiet id3v2 -2 -a "Artist $n" -A "Album" -t "Title $n" -T 3 --TENC "id3v2 tool" "$f"
done < <(listOf id3v2-v2)

# eyeD3: one process for all the files of a scheme (its start-up is slow).
mapfile -t list < <(listOf eyed3-v24)
quiet eyeD3 --to-v2.4 -a "Artist $(printf '\xc3\xa9\xc3\xa8')" -A Album -t "Title" -n 4 -N 12 \
    -G Rock -Y 2010 -c "An eyeD3 comment" "${list[@]}"
mapfile -t list < <(listOf eyed3-v23)
quiet eyeD3 --to-v2.3 -a Artist -A "Album" -t "Caf$(printf '\xc3\xa9')" -n 7 -G Pop -Y 1987 \
    --publisher Label "${list[@]}"
mapfile -t list < <(listOf eyed3-v1)
quiet eyeD3 -1 -a Artist -A Album -t Title -n 9 -G Rock -c "Short comment" "${list[@]}"
echo "Tagged with id3v2 and eyeD3 ($((SECONDS - start)) s)."

# mutagen: one process for all its schemes.
for scheme in mutagen-v23 mutagen-v24 mutagen-v23-v1 mutagen-v24-v1 mutagen-v23-apic \
    mutagen-v24-apic-v1; do
    listOf "$scheme" | sed "s/^/$scheme\t/"
done >"$work/mutagen-list"
nice "$python" - "$work/pictures" "$work/mutagen-list" <<'EOF'
import os
import sys
from mutagen.id3 import (APIC, COMM, ID3, PRIV, TALB, TCOM, TCON, TCOP, TDRC, TENC, TIT2,
                         TLAN, TPE1, TPE2, TRCK, TXXX, TYER, USLT, WXXX)

pictures = sorted(os.path.join(sys.argv[1], p) for p in os.listdir(sys.argv[1]))
picture_data = [open(p, "rb").read() for p in pictures]
words = ["Caf\u00e9", "Stra\u00dfe", "\u00c9t\u00e9", "Night", "River", "\u041c\u043e\u0440\u0435",
         "Blue", "\u00e5sen", "Lights", "Zero"]

for n, line in enumerate(open(sys.argv[2], encoding="utf-8")):
    scheme, name = line.rstrip("\n").split("\t")
    version = 3 if "v23" in scheme else 4
    # Version 2.3 has Latin-1 and UTF-16; 2.4 adds UTF-8. Latin-1 only for what it can hold.
    encoding = (n % 2) if version == 3 else (3 if n % 3 else 1)
    w = words[n % len(words)], words[(n * 7 + 3) % len(words)]
    latin = all(ord(c) < 256 for c in "".join(w))
    if encoding == 0 and not latin:
        encoding = 1
    tag = ID3()
    tag.add(TIT2(encoding=encoding, text=f"{w[0]} {w[1]} {n}"))
    tag.add(TPE1(encoding=encoding, text=f"{w[1]} Ensemble"))
    tag.add(TALB(encoding=encoding, text=f"Album {n % 50}"))
    tag.add(TRCK(encoding=encoding, text=f"{n % 14 + 1}/14"))
    tag.add(TCON(encoding=encoding, text="(17)Rock" if n % 2 else "Electronic"))
    if version == 3:
        tag.add(TYER(encoding=encoding, text=str(1950 + n % 70)))
    else:
        tag.add(TDRC(encoding=encoding, text=f"{1950 + n % 70}-0{n % 9 + 1}-1{n % 9}"))
    tag.add(COMM(encoding=encoding, lang="eng", desc="", text=f"Comment {n}"))
    if n % 2:
        tag.add(TCOM(encoding=encoding, text="A Composer"))
        tag.add(TCOP(encoding=encoding, text=f"{2000 + n % 20} Label"))
        tag.add(TENC(encoding=encoding, text="mutagen"))
        tag.add(TLAN(encoding=encoding, text="eng"))
        tag.add(WXXX(encoding=encoding, desc="", url=f"http://example.org/{n}"))
    if n % 3 == 0:
        tag.add(TPE2(encoding=encoding, text="Album Artist"))
        tag.add(TXXX(encoding=encoding, desc="REPLAYGAIN_TRACK_GAIN", text=f"-{n % 9}.2 dB"))
        tag.add(PRIV(owner="example", data=bytes(range(256)) * (1 + n % 8)))
    if n % 5 == 0:
        tag.add(USLT(encoding=encoding, lang="eng", desc="",
                     text=("La la la, " * 40 + "\n") * (1 + n % 20)))
    if "apic" in scheme:
        i = n % len(picture_data)
        mime = "image/png" if pictures[i].endswith(".png") else "image/jpeg"
        tag.add(APIC(encoding=0, mime=mime, type=3, desc="", data=picture_data[i]))
    # Padding as taggers leave it: none, a little, or several KB.
    padding = (0, 256, 1024, 4096, 16384)[n % 5]
    tag.save(name, v2_version=version, v1=2 if scheme.endswith("-v1") else 0,
             padding=lambda info: padding)
EOF
echo "Tagged with mutagen ($((SECONDS - start)) s)."

# --- Five files of 50 MB or more.
big() { # NAME SOURCE ENCODER-ARGS...: encodes a source once, then repeats the stream.
    local name=$1 in=$2 copies=$3
    shift 3
    "$@" "$in" "$work/one"
    for ((k = 0; k < copies; k++)); do cat "$work/one"; done >"$files/$name"
    rm -f "$work/one"
}
longest=
for ((i = 0; i < sourceCount; i++)); do
    if [ $((5 + (i * 23) % 56)) -eq 60 ]; then
        longest=$work/sources/s$i.wav
    fi
done
[ -n "$longest" ] || { echo "$0: no source of 60 s" >&2; exit 1; }
# LAME streams without an Info frame, one after the other: CBR as one stream.
big big-lame-cbr320-noinfo.mp3 "$longest" 23 quiet lame -b 320 -t
big big-lame-cbr256-noinfo-v24-apic.mp3 "$longest" 28 quiet lame -b 256 -t
# TwoLAME writes no Info frame either: repeated streams are one stream.
big big-twolame-l2-384.mp2 "$longest" 19 quiet twolame -b 384
pngs=("$work"/pictures/*.png)
"$python" -c '
import sys
from mutagen.id3 import APIC, ID3, TIT2, TPE1
tag = ID3()
tag.add(TIT2(encoding=3, text="A long one"))
tag.add(TPE1(encoding=3, text="Artist"))
tag.add(APIC(encoding=0, mime="image/png", type=3, desc="", data=open(sys.argv[1], "rb").read()))
tag.save("big-lame-cbr256-noinfo-v24-apic.mp3", v2_version=4, v1=2)
' "${pngs[-1]}"
# One encoding of a long source at 320 kbps, with a Xing header, as FFmpeg
# writes it (with its ID3v2.4 tag), and one at VBR.
quiet ffmpeg -y -f lavfi -i "sine=f=330:r=44100:d=1320" \
    -f lavfi -i "anoisesrc=c=brown:a=0.2:r=44100:d=1320:seed=3" \
    -filter_complex "[0][1]amix=inputs=2,aformat=channel_layouts=stereo" \
    -c:a libmp3lame -b:a 320k -metadata title="Long recording" "$files/big-ffmpeg-cbr320.mp3"
quiet ffmpeg -y -f lavfi -i "anoisesrc=c=pink:a=0.5:r=44100:d=1700:seed=7" \
    -f lavfi -i "anoisesrc=c=white:a=0.3:r=44100:d=1700:seed=8" \
    -filter_complex "[0][1]amerge=inputs=2" \
    -c:a libmp3lame -q:a 0 -id3v2_version 3 -metadata artist="Noise" "$files/big-ffmpeg-v0.mp3"
echo "Large files made ($((SECONDS - start)) s)."

rm -rf "$work"
count=$(find "$files" -type f | wc -l)
printf '%s\n%s\n' "$recipe" "$count" >"$root/complete"
echo "Corpus of $count files, $(du -sh "$files" | cut -f1), made in $((SECONDS - start)) s."
