// File names and paths as the file system holds them: bytes, not always valid UTF-8. A QString
// carries them with each byte that is not part of a valid UTF-8 sequence kept as a lone
// surrogate U+DC80..U+DCFF (as Python's surrogateescape does), so that a path goes through the
// widgets' QString interfaces and comes back byte for byte. Qt's own file classes would turn
// those bytes into U+FFFD: every call that reaches the file system goes through the bytes.
#pragma once

#include <QByteArray>
#include <QString>
#include <string>

namespace quillon {

// Bytes to text and back; fileNameBytes(fileNameFromBytes(b)) == b for every b.
QString fileNameFromBytes(QByteArrayView bytes);
QByteArray fileNameBytes(const QString& name);
// For the core's functions, which take paths as std::string bytes.
std::string nativePath(const QString& path);
QString pathFromNative(const std::string& path);

// True when the name holds bytes that are not UTF-8.
bool hasRawBytes(const QString& name);
// What the user sees: each byte that is not UTF-8 as "\xE9".
QString displayFileName(const QString& name);
// The name a user typed over `original`'s shown name: where the original holds raw bytes,
// "\xHH" (80 to FF) in the typed text stands for the byte again.
QString fileNameFromDisplay(const QString& typed, const QString& original);

// The last part of a path, and the path without it ("/" for a top-level entry).
QString fileNameOf(const QString& path);
QString folderOf(const QString& path);
// `folder` + "/" + `name`, without doubling the "/" of the root.
QString childPath(const QString& folder, const QString& name);

} // namespace quillon
