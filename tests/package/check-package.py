#!/usr/bin/env python3
"""Makes the Debian package from a build folder with cpack and checks what it holds.

usage: check-package.py BUILD_DIR APPSTREAM_ID CPACK

The programs in it must run and say their version; every option their --help names, every
field of quillon-tag and every JSON key of quillon-probe must be in the manual pages, and the
options and fields in the completion; the metadata must pass appstreamcli; lintian, where it
is installed, must find no error.
"""
import gzip
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time

build, appstream_id, cpack = sys.argv[1:4]
failures = []


def check(ok, message):
    if not ok:
        failures.append(message)
        print("FAIL:", message)


def run(*args, **kwargs):
    return subprocess.run(args, capture_output=True, text=True, **kwargs)


def mpeg_file():
    """A second of MPEG 1 Layer III frames with an ID3v2.3 and an ID3v1 tag, every field set."""
    frame = b"\xff\xfb\x90\x00" + bytes(413)  # 128 kbit/s at 44.1 kHz: 417 bytes
    text = lambda fid, value: fid + struct.pack(">I", len(value) + 1) + b"\0\0\0" + value
    frames = b"".join(text(fid, b"x") for fid in (b"TIT2", b"TPE1", b"TALB", b"TYER", b"TRCK",
                                                   b"TPE2", b"TPOS"))
    # A picture, lyrics, a user text and a rating, so that the keys of their objects show.
    raw = lambda fid, data: fid + struct.pack(">I", len(data)) + b"\0\0" + data
    png = b"\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x01\0\0\0\x01\x08\x06\0\0\0"
    frames += raw(b"APIC", b"\0image/png\0\x03cover\0" + png)
    frames += raw(b"USLT", b"\0engwords\0la la") + raw(b"TXXX", b"\0MOOD\0calm")
    frames += raw(b"POPM", b"me@example.org\0\x80\0\0\0\x01")
    size = len(frames)
    syncsafe = bytes([(size >> 21) & 127, (size >> 14) & 127, (size >> 7) & 127, size & 127])
    id3v2 = b"ID3\x03\x00\x00" + syncsafe + frames
    id3v1 = b"TAG" + b"t".ljust(30, b"\0") + bytes(30 + 30 + 4 + 28) + b"\0\x01\x08"
    return id3v2 + frame * 40 + id3v1


def json_keys(value):
    if isinstance(value, dict):
        for key, inner in value.items():
            yield key
            yield from json_keys(inner)


started = time.monotonic()
work = tempfile.mkdtemp(prefix="quillon-package-")
try:
    made = run(cpack, "-G", "DEB", "-B", work, "--config", os.path.join(build, "CPackConfig.cmake"))
    debs = [f for f in os.listdir(work) if f.startswith("quillon_") and f.endswith(".deb")]
    if made.returncode != 0 or len(debs) != 1:
        print(made.stdout, made.stderr)
        sys.exit("cpack made no package")
    deb = os.path.join(work, debs[0])
    print(f"package: {debs[0]} ({time.monotonic() - started:.1f} s)")

    listing = run("dpkg-deb", "--contents", deb).stdout
    paths = {line.split()[5].lstrip(".") for line in listing.splitlines()}
    expected = ["/usr/bin/quillon", "/usr/bin/quillon-probe", "/usr/bin/quillon-tag",
                "/usr/share/applications/quillon.desktop",
                f"/usr/share/metainfo/{appstream_id}.metainfo.xml",
                "/usr/share/bash-completion/completions/quillon-tag",
                "/usr/share/bash-completion/completions/quillon-probe",
                "/usr/share/zsh/vendor-completions/_quillon-tag",
                "/usr/share/zsh/vendor-completions/_quillon-probe",
                "/usr/share/doc/quillon/copyright", "/usr/share/doc/quillon/changelog.gz"]
    expected += [f"/usr/share/man/man1/{p}.1.gz" for p in ("quillon", "quillon-probe", "quillon-tag")]
    expected += [f"/usr/share/icons/hicolor/{s}x{s}/apps/quillon.png"
                 for s in (16, 22, 24, 32, 48, 64, 128, 256)]
    for path in expected:
        check(path in paths, f"the package lacks {path}")
    for path in paths:
        check(path == "/" or path.startswith("/usr/"), f"the package puts {path} outside /usr")
        check(not path.startswith(("/usr/local/", "/usr/opt/")), f"the package holds {path}")

    depends = run("dpkg-deb", "--field", deb, "Depends").stdout
    for needed in ("libqt6widgets6", "libc6", "libstdc++6", "qt6-qpa-plugins", "fonts-dejavu-core"):
        check(re.search(rf"\b{re.escape(needed)}\b", depends), f"Depends lacks {needed}: {depends}")

    root = os.path.join(work, "root")
    run("dpkg-deb", "--extract", deb, root)
    usr = os.path.join(root, "usr")
    version = run("dpkg-deb", "--field", deb, "Version").stdout.strip()
    helps = {}
    for program in ("quillon", "quillon-probe", "quillon-tag"):
        binary = os.path.join(usr, "bin", program)
        said = run(binary, "--version").stdout.strip()
        check(said == f"{program} {version}", f"{program} --version says {said!r}")
        helps[program] = run(binary, "--help").stdout

    pages = {}
    words = {}  # the page without its font changes
    for program in helps:
        with gzip.open(os.path.join(usr, "share/man/man1", f"{program}.1.gz"), "rt") as page:
            # roff escapes a hyphen as \-; the text is compared without them.
            pages[program] = page.read().replace("\\-", "-").replace("\\&", "")
        words[program] = re.sub(r"\\f[BIRP]", "", pages[program])
        check(re.search(rf'^\.TH "?{re.escape(program)}"? "?1"?', pages[program], re.M),
              f"{program}(1) has no title line")
        for section in ("NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS", "EXIT STATUS", "FILES",
                        "EXAMPLES"):
            check(re.search(rf'^\.SH "?{section}"?$', pages[program], re.M),
                  f"{program}(1) has no {section}")
        options = re.search(r'^\.SH "?OPTIONS"?$(.*?)^\.SH', pages[program], re.M | re.S)
        for option in set(re.findall(r"(?<![\w-])--?[a-z][\w-]*", helps[program])):
            check(options and f"\\fB{option}\\fR" in options.group(1),
                  f"{program}(1) does not describe {option} under OPTIONS")
        for status in re.findall(r"(\d) (?:when|on)", helps[program]):
            check(re.search(rf"^\\fB{status}\\fR", pages[program], re.M),
                  f"{program}(1) does not describe exit status {status}")

    fields_text = helps["quillon-tag"].split("FIELD:")[1].split("track:")[0]
    fields = re.findall(r"[a-z]+", fields_text.replace("both tags", "").replace("ID3v2 only", ""))
    check("title" in fields and "url" in fields, f"fields read from --help: {fields}")
    for field in fields:
        check(re.search(rf"\b{field}\b", words["quillon-tag"]), f"quillon-tag(1) lacks {field}")

    song = os.path.join(work, "song.mp3")
    with open(song, "wb") as f:
        f.write(mpeg_file())
    probed = run(os.path.join(usr, "bin", "quillon-probe"), "--json", song)
    report = json.loads(probed.stdout)
    check(report["valid"] and report["id3v1"] and report["id3v2"], f"probe: {probed.stdout}")
    for key in set(json_keys(report)):
        check(re.search(rf"\\fB{key}\\fR", pages["quillon-probe"]),
              f"quillon-probe(1) does not describe the JSON key {key}")

    completions = os.path.join(usr, "share/bash-completion/completions")
    zsh = os.path.join(usr, "share/zsh/vendor-completions")
    for program in ("quillon-probe", "quillon-tag"):
        for path in (os.path.join(completions, program), os.path.join(zsh, "_" + program)):
            with open(path) as f:
                script = f.read()
            for option in set(re.findall(r"(?<![\w-])--?[a-z][\w-]*", helps[program])):
                check(option in script, f"{path} does not complete {option}")
            if program == "quillon-tag":
                for field in fields:
                    check(re.search(rf"\b{field}\b", script), f"{path} does not complete {field}")
        syntax = run("bash", "-n", os.path.join(completions, program))
        check(syntax.returncode == 0, f"bash reads {program}'s completion: {syntax.stderr}")
        if shutil.which("zsh"):
            syntax = run("zsh", "-n", os.path.join(zsh, "_" + program))
            check(syntax.returncode == 0, f"zsh reads {program}'s completion: {syntax.stderr}")

    metainfo = os.path.join(usr, "share/metainfo", f"{appstream_id}.metainfo.xml")
    validated = run("appstreamcli", "validate", "--no-net", "--explain", metainfo)
    print(validated.stdout.strip())
    check(validated.returncode == 0, "appstreamcli does not validate the metadata")
    with open(metainfo) as f:
        xml = f.read()
    check("<launchable type=\"desktop-id\">quillon.desktop</launchable>" in xml,
          "the metadata does not launch quillon.desktop")

    if shutil.which("lintian"):
        linting = time.monotonic()
        linted = run("lintian", "--fail-on", "error", deb)
        print(linted.stdout.strip() or "lintian: no tags",
              f"({time.monotonic() - linting:.1f} s)")
        check(linted.returncode == 0, "lintian finds errors")
    else:
        print("lintian is not installed: not run")
finally:
    shutil.rmtree(work, ignore_errors=True)

sys.exit(1 if failures else 0)
