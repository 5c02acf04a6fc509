"""quillon-tag edits as another ID3 reader (mutagen) sees them: the edited
frames change, every other frame and the audio stay as they were.

usage: tag-seen-by-mutagen.py QUILLON_TAG FIXTURES_FOLDER
Exits 77 (skipped) when mutagen cannot be imported."""
import os
import shutil
import subprocess
import sys
import tempfile

try:
    from mutagen.id3 import ID3
except ImportError:
    print("mutagen is missing: skipped")
    sys.exit(77)

tool, fixtures = sys.argv[1], sys.argv[2]
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

print(f"{failures} file(s) with problems")
sys.exit(1 if failures else 0)
