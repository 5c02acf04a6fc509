"""Reads the tags and the stream data of MPEG audio files with mutagen, all in
one process, as a Python program showing a file would: mutagen.mp3.MP3, which
loads the ID3 tags (ID3v2, and ID3v1 folded into them) and the MPEG stream's
info. Prints one line per file made of what was read, so that none of the work
can be left out.

Usage: python3 mutagen-read.py [--list LISTFILE] [FILE...]
  LISTFILE names one file a line. Exit status 1 when a file could not be read.
Run by bench/peers/run.sh with the Python that has Debian's python3-mutagen.
"""

import sys

from mutagen import MutagenError
from mutagen.mp3 import MP3

# The frames the Quillon window shows.
FRAMES = ("TIT2", "TPE1", "TALB", "TYER", "TDRC", "TCON", "TRCK", "COMM::eng", "TCOM", "TENC",
          "TCOP", "TLAN")


def main(argv):
    files = []
    args = iter(argv)
    for arg in args:
        if arg == "--list":
            with open(next(args), encoding="utf-8", errors="surrogateescape") as listing:
                files.extend(line.rstrip("\n") for line in listing if line.strip())
        else:
            files.append(arg)
    if not files:
        sys.stderr.write("usage: mutagen-read.py [--list LISTFILE] [FILE...]\n")
        return 2

    status = 0
    out = []
    for path in files:
        try:
            audio = MP3(path)
        except MutagenError as error:
            out.append(f"{path}\terror {error}\n")
            status = 1
            continue
        info = audio.info
        fields = [str(audio.tags.get(frame, "")) for frame in FRAMES] if audio.tags else []
        out.append(f"{path}\t{info.length:.3f}|{info.bitrate}|{info.sample_rate}|{info.channels}|"
                   f"{info.version}|{info.layer}|{info.mode}|{info.bitrate_mode}|"
                   f"{info.encoder_info}\t{len(audio.tags or ())}|{'|'.join(fields)}\n")
    sys.stdout.write("".join(out))
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
