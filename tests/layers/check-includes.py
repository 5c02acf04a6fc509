#!/usr/bin/env python3
"""Fails when a source of ours includes against the layers: each folder may include only the
folders below it (CONTRIBUTING.md, "Where things go").

usage: check-includes.py SOURCE_ROOT QT_HEADERS_DIR"""
import pathlib
import re
import sys

CORE = {"tags", "mpeg"}
# What each folder's files may include of ours, by the include's first folder.
ALLOWED = {
    "tags": CORE,
    "mpeg": CORE,
    "shell": {"shell"},
    "ui": {"ui", "shell"},
    "display": {"display", "shell"} | CORE,
    "app": {"app", "display", "ui", "shell"} | CORE,
    "tools": {"tools", "display", "shell"} | CORE,
}
# Executables tie every layer together.
EXECUTABLE_MAY_INCLUDE = {"app", "ui"}
# Of the shell, the display texts and the tools' libraries may use only the QtCore part: names,
# paths and folders.
QTCORE_SHELL_HEADERS = {"FileName.h", "PathInfo.h", "FileUri.h", "HomeFolder.h", "FolderEntries.h"}
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.MULTILINE)
# The core takes the standard library and POSIX only: <string>, <cstdint>, <sys/stat.h>...
CORE_SYSTEM = re.compile(r"^[a-z_0-9]+$|^[a-z_0-9/]+\.h$")
NOT_SYSTEM = re.compile(r"^(gtest|gmock|benchmark|nlohmann)/")


def problems(root, qt_headers, scanned):
    gui_dirs = [qt_headers / "QtGui", qt_headers / "QtWidgets"]
    for top, allowed in ALLOWED.items():
        for path in sorted((root / top).rglob("*")):
            if path.suffix not in (".cpp", ".h"):
                continue
            name = path.relative_to(root)
            scanned.append(name)
            executable = path.name == "main.cpp"
            text = path.read_text(encoding="utf-8", errors="replace")
            for kind, header in INCLUDE.findall(text):
                first = header.split("/")[0]
                if kind == '"':
                    if "/" not in header:
                        continue  # a file beside it
                    ok = first in allowed or (executable and first in EXECUTABLE_MAY_INCLUDE)
                    if first == "shell" and top in ("display", "tools") and not executable:
                        ok = header.split("/")[-1] in QTCORE_SHELL_HEADERS
                    if not ok:
                        yield f"{name}: includes {header}: {top}/ may not use {first}/"
                    continue
                if top in CORE and (not CORE_SYSTEM.match(header) or NOT_SYSTEM.match(header)):
                    yield f"{name}: includes <{header}>: the core takes the standard library and POSIX only"
                if top == "display" and (
                    first in ("QtGui", "QtWidgets") or any((d / header).exists() for d in gui_dirs)
                ):
                    yield f"{name}: includes <{header}>: display/ takes QtCore only"


def main():
    root = pathlib.Path(sys.argv[1])
    qt_headers = pathlib.Path(sys.argv[2])
    if not (qt_headers / "QtCore").is_dir():
        print(f"no QtCore headers under {qt_headers}")
        return 2
    scanned = []
    found = list(problems(root, qt_headers, scanned))
    for line in found:
        print(line)
    print(f"{len(scanned)} files, {len(found)} includes against the layers")
    return 1 if found or not scanned else 0


if __name__ == "__main__":
    sys.exit(main())
