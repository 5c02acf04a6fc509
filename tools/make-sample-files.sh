#!/usr/bin/env bash
# Makes MPEG audio files with common encoders and taggers into the folder
# given, for checking quillon-probe against real files by hand.
# Needs: ffmpeg lame twolame id3v2 eyed3 python3-mutagen.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

if [ $# -ne 1 ]; then
    echo "usage: $0 FOLDER" >&2
    exit 2
fi
out=$1
mkdir -p "$out"
cd "$out"

for tool in ffmpeg lame twolame id3v2 eyeD3; do
    command -v "$tool" >/dev/null || { echo "$0: $tool is missing" >&2; exit 1; }
done
python=$(bash "$here/mutagen-python.sh")

quiet() { "$@" >/dev/null 2>&1 || { echo "$0: failed: $*" >&2; exit 1; }; }

# Ten seconds of stereo with some noise, so that VBR rates vary.
quiet ffmpeg -y -f lavfi \
    -i "aevalsrc=0.4*sin(440*2*PI*t)+0.1*random(0)|0.4*sin(660*2*PI*t)+0.1*random(1):s=44100:d=10" \
    -c:a pcm_s16le source.wav

# LAME: MPEG 1 at CBR, VBR and ABR.
quiet lame -b 128 source.wav lame-cbr128.mp3
quiet lame -V2 source.wav lame-vbr-v2.mp3
quiet lame --abr 160 source.wav lame-abr160.mp3
quiet lame -b 128 -t source.wav lame-cbr128-noinfo.mp3
quiet lame -b 128 -p source.wav lame-cbr128-crc.mp3
quiet lame -b 64 -m m source.wav lame-cbr64-mono.mp3
# MPEG 2 and MPEG 2.5.
quiet lame --resample 22.05 -b 64 source.wav lame-mpeg2-22050.mp3
quiet lame --resample 24 -b 64 source.wav lame-mpeg2-24000.mp3
quiet lame --resample 16 -V5 source.wav lame-mpeg2-16000-vbr.mp3
quiet lame --resample 8 -b 16 source.wav lame-mpeg25-8000.mp3
quiet lame --resample 11.025 -b 32 source.wav lame-mpeg25-11025.mp3
quiet lame --resample 11.025 -V5 -m m source.wav lame-mpeg25-11025-vbr-mono.mp3

# Layer II: MPEG 1 and MPEG 2 (half rate), with and without CRC.
quiet twolame -b 192 source.wav twolame-l2-192.mp2
quiet twolame -b 192 -p source.wav twolame-l2-192-crc.mp2
quiet ffmpeg -y -i source.wav -ar 24000 -c:a pcm_s16le source-24000.wav
quiet twolame -b 160 source-24000.wav twolame-mpeg2-l2-160.mp2
quiet twolame -b 64 -m m source-24000.wav twolame-mpeg2-l2-64-mono.mp2

# FFmpeg's own encoders; it writes an ID3v2.4 tag by default.
quiet ffmpeg -y -i source.wav -c:a mp2 -b:a 256k ffmpeg-mp2-256.mp2
quiet ffmpeg -y -i source.wav -c:a libmp3lame -b:a 192k ffmpeg-mp3-cbr192.mp3
quiet ffmpeg -y -i source.wav -c:a libmp3lame -q:a 4 ffmpeg-mp3-vbr.mp3
quiet ffmpeg -y -i source.wav -c:a libmp3lame -b:a 128k -id3v2_version 3 \
    -metadata title="Caf$(printf '\xc3\xa9')" -metadata artist=Someone ffmpeg-mp3-id3v23.mp3
quiet ffmpeg -y -i source.wav -c:a libmp3lame -b:a 128k -write_xing 0 -id3v2_version 0 \
    ffmpeg-mp3-noxing.mp3

# Taggers, each on its own copy of the CBR file.
tagged() { cp lame-cbr128.mp3 "$1"; }

tagged id3v2-v23.mp3
quiet id3v2 -a Artist -A Album -t "Caf$(printf '\xe9') $(printf '\x80')" -y 2001 -T 3/12 -g 17 \
    -c "desc":"A comment":"eng" --TCOM Composer --TCOP "(c) 2001" id3v2-v23.mp3

tagged id3v2-v1only.mp3
quiet id3v2 -1 -a Artist -A Album -t Title -y 2001 -T 5 -g 80 -c "Comment" id3v2-v1only.mp3

tagged eyed3-v23.mp3
quiet eyeD3 --to-v2.3 -a Artist -A Album -t "Caf$(printf '\xc3\xa9')" -n 4 -G Rock \
    -c "A comment" eyed3-v23.mp3
tagged eyed3-v24.mp3
quiet eyeD3 --to-v2.4 -a Artist -A Album -t Title -n 4 -G Rock eyed3-v24.mp3
tagged eyed3-v1.mp3
quiet eyeD3 -1 -a Artist -A Album -t Title -n 9 -G Rock -c "Short comment" eyed3-v1.mp3

tagged mutagen-v23.mp3
tagged mutagen-v24.mp3
tagged mutagen-v23-apic.mp3
"$python" - <<'EOF'
from mutagen.id3 import APIC, ID3, TALB, TIT2, TPE1, TRCK, COMM, TCON, WXXX
for name, version, encoding, picture in (("mutagen-v23.mp3", 3, 0, False),
                                         ("mutagen-v24.mp3", 4, 3, False),
                                         ("mutagen-v23-apic.mp3", 3, 0, True)):
    tag = ID3()
    tag.add(TIT2(encoding=encoding, text="Caf\u00e9"))
    tag.add(TPE1(encoding=encoding, text="Artist"))
    tag.add(TALB(encoding=encoding, text="Album"))
    tag.add(TRCK(encoding=encoding, text="7/9"))
    tag.add(TCON(encoding=encoding, text="(17)Rock"))
    tag.add(COMM(encoding=encoding, lang="eng", desc="d", text="Comment"))
    tag.add(WXXX(encoding=encoding, desc="", url="http://example.org/"))
    if picture:
        tag.add(APIC(encoding=0, mime="image/png", type=3, desc="", data=b"\x89PNG" + b"\0" * 5000))
    tag.save(name, v2_version=version)
EOF

# No common tagger writes revision 2.2 any more: a minimal one by hand
# (three-letter frames, which are not read), in front of the CBR file.
{
    printf 'ID3\x02\x00\x00\x00\x00\x00\x15'
    printf 'TT2\x00\x00\x0b\x00Title v2.2'
    printf '\x00\x00\x00\x00'
} >handmade-v22.mp3
cat lame-cbr128.mp3 >>handmade-v22.mp3

rm -f source.wav source-24000.wav
