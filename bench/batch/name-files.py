"""Files named after their tags, for timing tags taken from names.

usage: name-files.py make AUDIO COUNT FOLDER
           COUNT copies of AUDIO named "NNNN - Artist A - Title NNNN.mp3", each under an
           ID3v2.3 tag of one frame (TENC) with mutagen's default padding
       name-files.py check FOLDER AUDIO
           each file's ID3v2 track, artist and title read back as its name gives them, and the
           audio after the tag is the bytes of AUDIO (the "audio.bin" that make leaves beside
           FOLDER); exits 1 and names the first faults otherwise"""
import os
import re
import shutil
import sys

from mutagen.id3 import ID3, TENC

NAME = re.compile(r"^(\d{4}) - (Artist \d+) - (Title \d+)\.mp3$")


def audio_of(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:3] != b"ID3":
        return data
    size = data[6] << 21 | data[7] << 14 | data[8] << 7 | data[9]
    return data[10 + size:]


def make(audio, count, folder):
    os.makedirs(folder, exist_ok=True)
    for n in range(1, count + 1):
        path = os.path.join(folder, f"{n:04d} - Artist {n % 50} - Title {n:04d}.mp3")
        shutil.copyfile(audio, path)
        tag = ID3()
        tag.add(TENC(encoding=3, text="LAME"))
        tag.save(path, v2_version=3)
    with open(os.path.join(folder, "..", "audio.bin"), "wb") as f:
        f.write(audio_of(path))


def check(folder, reference):
    with open(reference, "rb") as f:
        audio = f.read()
    faults = []
    names = sorted(os.listdir(folder))
    for name in names:
        track, artist, title = NAME.match(name).groups()
        path = os.path.join(folder, name)
        tag = ID3(path)
        seen = (str(tag.get("TRCK", "")).split("/")[0], str(tag.get("TPE1", "")),
                str(tag.get("TIT2", "")))
        if seen != (str(int(track)), artist, title):
            faults.append(f"{name}: reads {seen}")
        elif audio_of(path) != audio:
            faults.append(f"{name}: the audio changed")
    for fault in faults[:3]:
        print(fault, file=sys.stderr)
    print(f"{len(names) - len(faults)} of {len(names)}")
    return 1 if faults else 0


if sys.argv[1] == "make":
    make(sys.argv[2], int(sys.argv[3]), sys.argv[4])
else:
    sys.exit(check(sys.argv[2], sys.argv[3]))
