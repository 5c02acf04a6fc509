// How file names and tag text meet: the base name a tag is filled from, and the name a file is
// renamed to after its tag. Fill Tag From File, Rename File and the name patterns share them.
#pragma once

#include <QString>

namespace quillon {

// The name of the file without its folder and from its last "." on, at most 260 characters.
QString baseNameOf(const QString& path);
// The extension of the file's name, its "." included; empty when the name has no ".".
QString extensionOf(const QString& path);

// A name as tag text. A name that is not UTF-8 comes from media written under Windows: its
// bytes are read in that code page, Windows-1252.
QString tagTextOfName(const QString& name);

// Tag text as one part of a new name of `oldName`: "\xE9" stands for the byte again where the
// old name held raw bytes, and a "/", which a name cannot hold, becomes "-".
QString namePartOfTagText(const QString& text, const QString& oldName);

// `path` renamed to `baseName` (tag text), in the same folder, with the same extension.
QString renamedPath(const QString& path, const QString& baseName);

// Why `name` (one part of a path) cannot name a file of its own, or empty when it can: an empty
// name, one of only dots (the folder or its parent), a NUL, more than 255 bytes.
QString whyNotAName(const QString& name);

} // namespace quillon
