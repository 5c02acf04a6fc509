"""quillon-tag edits as another ID3 reader (mutagen) sees them: the edited
frames change, every other frame and the audio stay as they were.

usage: tag-seen-by-mutagen.py QUILLON_TAG FIXTURES_FOLDER
Exits 77 (skipped) when mutagen cannot be imported."""
import os
import shutil
import subprocess
import sys
import struct
import tempfile
import zlib

try:
    from mutagen.id3 import APIC, ID3, TALB, TIT2, TPE1, ParseID3v1
except ImportError:
    print("mutagen is missing: skipped")
    sys.exit(77)

tool, fixtures = sys.argv[1], sys.argv[2]
# The journals of quillon-tag's saves go to a state folder of this run's own.
state = tempfile.TemporaryDirectory()
os.environ["XDG_STATE_HOME"] = state.name
EDITS = {"title": ("TIT2", "Νέος τίτλος"), "album": ("TALB", "Album"), "year": ("TYER", "1987")}
failures = 0


def frames(path):
    tag = ID3(path)
    return tag.version, {key: repr(frame) for key, frame in tag.items()}


def audio(path):
    with open(path, "rb") as f:
        data = f.read()
    size = data[6] << 21 | data[7] << 14 | data[8] << 7 | data[9]
    return data[10 + size:]


for name in sorted(os.listdir(fixtures)):
    if not name.endswith(".mp3"):
        continue
    with open(os.path.join(fixtures, name), "rb") as f:
        if f.read(3) != b"ID3":
            continue  # the stream fixtures carry no ID3v2 tag
    with tempfile.TemporaryDirectory() as work:
        path = os.path.join(work, name)
        shutil.copy(os.path.join(fixtures, name), path)
        version, before = frames(path)
        body = audio(path)
        args = [tool]
        for field, (_, value) in EDITS.items():
            args += ["--v2", f"{field}={value}"]
        subprocess.run(args + [path], check=True)
        after_version, after = frames(path)
        # mutagen shows a 2.3 year as TDRC whatever frame holds it.
        edited = {"TIT2", "TALB", "TDRC", "TYER"}
        kept_before = {k: v for k, v in before.items() if k not in edited}
        kept_after = {k: v for k, v in after.items() if k not in edited}
        problems = []
        if after_version != version:
            problems.append(f"revision {version} became {after_version}")
        if kept_before != kept_after:
            problems.append(f"other frames changed: {kept_before} -> {kept_after}")
        tag = ID3(path)
        if str(tag["TIT2"]) != EDITS["title"][1] or str(tag["TALB"]) != "Album":
            problems.append("the edited fields do not read back")
        if not str(tag.get("TDRC", tag.get("TYER", ""))).startswith("1987"):
            problems.append("the year does not read back")
        if audio(path) != body:
            problems.append("the audio changed")
        for p in problems:
            print(f"{name}: {p}")
        failures += bool(problems)



# Tags as some writers leave them, which mutagen reads whole: an edit of one
# field changes that field alone, in place of the frame it came from.
def frame(vmaj, fid, data, flags=0, plain=False):
    size = len(data)
    if vmaj == 4 and not plain:
        size = (size & 0x7F) | (size & 0x3F80) << 1 | (size & 0x1FC000) << 2 | (size & 0xFE00000) << 3
    return fid.encode() + struct.pack(">LH", size, flags) + data


def tag(vmaj, frames, flags=0, padding=0):
    body = b"".join(frames) + bytes(padding)
    n = len(body)
    size = bytes([n >> 21 & 0x7F, n >> 14 & 0x7F, n >> 7 & 0x7F, n & 0x7F])
    return b"ID3" + bytes([vmaj, 0, flags]) + size + body


picture = b"\0image/png\0\x03\0" + bytes(1 + i * 37 % 255 for i in range(300))
# Twenty frames of MPEG 1 Layer III at 128 kbit/s and 44.1 kHz (417 bytes each): quillon-tag
# writes only files that hold MPEG audio.
audio_bytes = b"".join(bytes([0xFF, 0xFB, 0x90, 0x64]) + bytes((i + n) % 251 for i in range(413))
                       for n in range(20))
title = frame(3, "TIT2", b"\0Old")
packed = zlib.compress(b"\0Old")
CASES = [
    # name, tag, quillon-tag field, its value, the mutagen key it gives
    ("extended header flagged, not there",
     tag(3, [title, frame(3, "APIC", picture)], flags=0x40), "artist", "Band", "TPE1"),
    ("2.4 sizes as plain numbers",
     tag(4, [frame(4, "TIT2", b"\0Old", plain=True), frame(4, "APIC", picture, plain=True),
             frame(4, "TPE1", b"\0Band", plain=True)], padding=64), "title", "New", "TIT2"),
    ("compressed title",
     tag(3, [frame(3, "TIT2", struct.pack(">L", 4) + packed, flags=0x0080),
             frame(3, "APIC", picture)]), "title", "New", "TIT2"),
    ("iTunes' private comments",
     tag(3, [frame(3, "COMM", b"\0engiTunNORM\0 0001"), frame(3, "COMM", b"\0engiTunSMPB\0 0002")]),
     "comment", "Mine", "COMM::eng"),
]
for name, data, field, value, key in CASES:
    with tempfile.TemporaryDirectory() as work:
        path = os.path.join(work, "quirk.mp3")
        with open(path, "wb") as f:
            f.write(data + audio_bytes)
        _, before = frames(path)
        subprocess.run([tool, "--v2", f"{field}={value}", path], check=True)
        _, after = frames(path)
        problems = []
        kept = {k: v for k, v in before.items() if k != key}
        if {k: v for k, v in after.items() if k != key} != kept:
            problems.append(f"other frames changed: {kept} -> {after}")
        if key not in after or str(ID3(path)[key]) != value:
            problems.append(f"{key} does not read back as {value!r}: {after.get(key)}")
        if audio(path) != audio_bytes:
            problems.append("the audio changed")
        for p in problems:
            print(f"{name}: {p}")
        failures += bool(problems)



def raw_frames(path):
    """The stored bytes of each frame of a 2.4 tag, by id, in order."""
    with open(path, "rb") as f:
        data = f.read()
    size = data[6] << 21 | data[7] << 14 | data[8] << 7 | data[9]
    at, end, found = 10, 10 + size, {}
    while at + 10 <= end and data[at] != 0:
        n = data[at + 4] << 21 | data[at + 5] << 14 | data[at + 6] << 7 | data[at + 7]
        found.setdefault(data[at:at + 4].decode(), []).append(data[at:at + 10 + n])
        at += 10 + n
    return found


# Files as mutagen writes them, 2.4 with padding and a picture, edited together:
# each tag is written in place, in its room, and the files stay the same files.
with tempfile.TemporaryDirectory() as work:
    paths = []
    for n in range(3):
        path = os.path.join(work, f"song{n}.mp3")
        with open(path, "wb") as f:
            f.write(audio_bytes)
        tag = ID3()
        tag.add(TIT2(encoding=3, text="Old title"))
        tag.add(TPE1(encoding=3, text="Band"))
        tag.add(TALB(encoding=3, text="Album"))
        tag.add(APIC(encoding=3, mime="image/png", type=3, desc="cover",
                     data=bytes(i * 7 % 256 for i in range(40000))))
        tag.save(path, v2_version=4, padding=lambda info: 2048)
        paths.append(path)
    before = {p: (os.stat(p), raw_frames(p), audio(p)) for p in paths}
    subprocess.run([tool, "--v2", "title=A new title"] + paths, check=True)
    for path in paths:
        st, frames_before, body = before[path]
        now = os.stat(path)
        problems = []
        if (now.st_ino, now.st_size) != (st.st_ino, st.st_size):
            problems.append("the file was not written in place")
        kept = {k: v for k, v in frames_before.items() if k != "TIT2"}
        if {k: v for k, v in raw_frames(path).items() if k != "TIT2"} != kept:
            problems.append("frames not edited changed their bytes")
        if str(ID3(path)["TIT2"]) != "A new title":
            problems.append("the title does not read back")
        if audio(path) != body:
            problems.append("the audio changed")
        for p in problems:
            print(f"{os.path.basename(path)} (mutagen 2.4 with padding): {p}")
        failures += bool(problems)
    if os.listdir(os.path.join(state.name, "quillon")):
        print("a journal was left behind")
        failures += 1

# A collection in folders, tagged from its paths, numbered and renamed after its tags: mutagen
# reads each field back in both tags, the picture and the audio stay, and no name is lost.
with tempfile.TemporaryDirectory() as work:
    album = os.path.join(work, "Nina Simone", "Pastel Blues")
    os.makedirs(album)
    names = ["01 - Be My Husband.mp3", "02 - Nobody's Fault (Live) [1965].mp3", "03 - Ain't No Use.mp3"]
    for name in names:
        path = os.path.join(album, name)
        with open(path, "wb") as f:
            f.write(audio_bytes)
        tag = ID3()
        tag.add(APIC(encoding=3, mime="image/png", type=3, desc="cover", data=bytes(range(256)) * 8))
        tag.save(path, v2_version=3)
    with open(os.path.join(album, "cover.jpg"), "wb") as f:
        f.write(b"\xFF\xD8\xFF\xE0 not audio")
    pattern = "%artist%/%album%/%dummy% - %title%"
    dry = subprocess.run([tool, "-r", "--dry-run", "--from-name", pattern, work],
                         capture_output=True, text=True)
    problems = []
    if dry.returncode != 0 or not dry.stdout.endswith("3 to write, 0 failed\n"):
        problems.append(f"dry run: {dry.returncode} {dry.stdout!r} {dry.stderr!r}")
    if any(ID3(os.path.join(album, n)).get("TIT2") for n in names):
        problems.append("the dry run wrote a tag")
    subprocess.run([tool, "-r", "--from-name", pattern, "--number", "--total", "--to", "v1,v2",
                    "--rename", "%track%. %artist% - %title%", work], check=True,
                   capture_output=True)
    renamed = sorted(os.listdir(album))
    expected = ["01. Nina Simone - Be My Husband.mp3",
                "02. Nina Simone - Nobody's Fault (Live) [1965].mp3",
                "03. Nina Simone - Ain't No Use.mp3", "cover.jpg"]
    if renamed != expected:
        problems.append(f"names: {renamed}")
    for n, name in enumerate(expected[:3], 1):
        path = os.path.join(album, name)
        if not os.path.exists(path):
            continue
        tag = ID3(path)
        title = names[n - 1][5:-4]
        seen = (str(tag.get("TPE1")), str(tag.get("TALB")), str(tag.get("TIT2")), str(tag.get("TRCK")))
        if seen != ("Nina Simone", "Pastel Blues", title, f"{n}/3"):
            problems.append(f"{name}: ID3v2 reads {seen}")
        if "APIC:cover" not in tag:
            problems.append(f"{name}: the picture is gone")
        with open(path, "rb") as f:
            data = f.read()
        v1 = ParseID3v1(data[-128:])
        if v1 is None or str(v1["TIT2"]) != title[:30] or str(v1["TRCK"]) != str(n):
            problems.append(f"{name}: ID3v1 reads {v1}")
        if audio(path)[:len(audio_bytes)] != audio_bytes:
            problems.append(f"{name}: the audio changed")
    for p in problems:
        print(f"collection: {p}")
    failures += bool(problems)

print(f"{failures} file(s) with problems")
sys.exit(1 if failures else 0)
