"""Makes and checks the files of bench/batch.sh, with mutagen.

usage: id3-files.py make AUDIO COPIES FOLDER PREFIX
           FOLDER/PREFIX-NNN.mp3 for NNN in 1..COPIES: the bytes of AUDIO
           (MPEG audio without a tag) under an ID3v2.4 tag written by mutagen
           with its default padding: title, artist, album, track, year,
           comment and a PNG picture of about 200 KB.
       id3-files.py audio FOLDER OUT
           Writes to OUT a JSON object: each file's name -> its tag's frames
           (all but the title) and the SHA-1 of its audio (after the ID3v2 tag,
           before an ID3v1 tag).
       id3-files.py restore PRISTINE WORK PRISTINE.json INODES [--heads]
           Makes the folder WORK hold the bytes of the folder PRISTINE again
           and writes each file's inode to INODES. With --heads, which is for
           a WORK that passed the check, a file of the pristine size gets only
           its first bytes, up to the end of the pristine tag, written back:
           the check found the rest unchanged.
       id3-files.py check TITLE FOLDER PRISTINE.json INODES
           Checks each file of PRISTINE.json in FOLDER against it: the ID3v2
           title reads TITLE, the audio and the other frames are unchanged;
           counts the files whose tag is still revision 2.4, whose tag kept its
           size, and whose inode is the one INODES ("inode name" lines) gives.
           Prints one line "key=count ..." for the shell; exit status 1 when a
           title, the audio or another frame is wrong in any file.
"""

import hashlib
import json
import os
import random
import re
import shutil
import struct
import sys
import zlib

from mutagen.id3 import APIC, COMM, ID3, TALB, TDRC, TIT2, TPE1, TRCK


def png(width, height, seed):
    """A PNG of noise, which does not compress: about width * height * 3 bytes."""
    rng = random.Random(seed)
    rows = b"".join(b"\0" + rng.randbytes(width * 3) for _ in range(height))

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))


def make(audio_path, copies, folder, prefix):
    with open(audio_path, "rb") as f:
        audio = f.read()
    picture = png(256, 256, 1)
    os.makedirs(folder, exist_ok=True)
    for n in range(1, copies + 1):
        path = os.path.join(folder, "%s-%03d.mp3" % (prefix, n))
        with open(path, "wb") as f:
            f.write(audio)
        tag = ID3()
        tag.add(TIT2(encoding=3, text="Track %d" % n))
        tag.add(TPE1(encoding=3, text="Bench Ensemble"))
        tag.add(TALB(encoding=3, text="Batch of %d" % copies))
        tag.add(TRCK(encoding=3, text="%d/%d" % (n, copies)))
        tag.add(TDRC(encoding=3, text="2026"))
        tag.add(COMM(encoding=3, lang="eng", desc="", text="File %d of the batch" % n))
        tag.add(APIC(encoding=3, mime="image/png", type=3, desc="Front", data=picture))
        tag.save(path, v2_version=4)


def tag_extent(head):
    """Bytes the ID3v2 tag at the start takes (header, body, footer); 0 without one."""
    if len(head) < 10 or head[:3] != b"ID3":
        return 0
    size = 0
    for b in head[6:10]:
        size = (size << 7) | (b & 0x7F)
    footer = 10 if head[3] == 4 and head[5] & 0x10 else 0
    return 10 + size + footer


def audio_digest(path):
    with open(path, "rb") as f:
        start = tag_extent(f.read(10))
        end = os.fstat(f.fileno()).st_size
        if end >= 128:
            f.seek(end - 128)
            if f.read(3) == b"TAG":
                end -= 128
        f.seek(start)
        digest = hashlib.sha1()
        left = end - start
        while left > 0:
            block = f.read(min(left, 1 << 20))
            if not block:
                break
            digest.update(block)
            left -= len(block)
    return digest.hexdigest(), start


def other_frames(tag):
    """The tag's frames but the title, as comparable text; a text stored in
    another encoding is the same text."""
    return sorted(re.sub(r"encoding=<Encoding\.\w+: \d+>, ", "", repr(frame))
                  for key, frame in tag.items() if key != "TIT2")


def frames_digest(tag):
    return hashlib.sha1("\n".join(other_frames(tag)).encode()).hexdigest()


def audio(folder, out):
    record = {}
    for name in sorted(os.listdir(folder)):
        path = os.path.join(folder, name)
        digest, extent = audio_digest(path)
        record[name] = {"audio": digest, "extent": extent,
                        "frames": frames_digest(ID3(path))}
    with open(out, "w") as f:
        json.dump(record, f)


def restore(pristine_folder, folder, pristine_path, inodes_path, heads):
    with open(pristine_path) as f:
        pristine = json.load(f)
    os.makedirs(folder, exist_ok=True)
    for name in os.listdir(folder):
        if name not in pristine:
            os.remove(os.path.join(folder, name))
    with open(inodes_path, "w") as inodes:
        for name, was in pristine.items():
            source = os.path.join(pristine_folder, name)
            path = os.path.join(folder, name)
            if (heads and os.path.exists(path)
                    and os.path.getsize(path) == os.path.getsize(source)):
                with open(source, "rb") as f:
                    head = f.read(was["extent"])
                with open(path, "r+b") as f:
                    f.write(head)
            else:
                shutil.copyfile(source, path)
            inodes.write("%d %s\n" % (os.stat(path).st_ino, name))


def check(title, folder, pristine_path, inodes_path):
    with open(pristine_path) as f:
        pristine = json.load(f)
    inodes = {}
    with open(inodes_path) as f:
        for line in f:
            inode, name = line.rstrip("\n").split(" ", 1)
            inodes[name] = int(inode)
    counts = dict.fromkeys(["files", "title", "audio", "frames", "v24", "same_size",
                            "same_inode"], 0)
    wrong = []
    for name, was in pristine.items():
        path = os.path.join(folder, name)
        counts["files"] += 1
        try:
            tag = ID3(path)
            digest, extent = audio_digest(path)
        except Exception as e:  # a tool that damaged the file
            wrong.append("%s: %s" % (name, e))
            continue
        if tag.get("TIT2") is not None and tag["TIT2"].text == [title]:
            counts["title"] += 1
        else:
            wrong.append("%s: title %r" % (name, tag.get("TIT2")))
        if digest == was["audio"]:
            counts["audio"] += 1
        else:
            wrong.append("%s: audio changed" % name)
        if frames_digest(tag) == was["frames"]:
            counts["frames"] += 1
        else:
            wrong.append("%s: other frames changed" % name)
        if tag.version[:2] == (2, 4):
            counts["v24"] += 1
        if extent == was["extent"]:
            counts["same_size"] += 1
        if os.stat(path).st_ino == inodes.get(name):
            counts["same_inode"] += 1
    print(" ".join("%s=%d" % kv for kv in counts.items()))
    for line in wrong[:5]:
        print("  " + line, file=sys.stderr)
    return 1 if wrong else 0


def main(argv):
    if len(argv) == 5 and argv[0] == "make":
        make(argv[1], int(argv[2]), argv[3], argv[4])
        return 0
    if len(argv) == 3 and argv[0] == "audio":
        audio(argv[1], argv[2])
        return 0
    if len(argv) in (5, 6) and argv[0] == "restore" and argv[5:] in ([], ["--heads"]):
        restore(argv[1], argv[2], argv[3], argv[4], argv[5:] == ["--heads"])
        return 0
    if len(argv) == 5 and argv[0] == "check":
        return check(argv[1], argv[2], argv[3], argv[4])
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
