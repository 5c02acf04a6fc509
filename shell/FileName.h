// File names and paths as the file system holds them: bytes, not always valid UTF-8. A QString
// carries them with each byte that is not part of a valid UTF-8 sequence kept as a lone
// surrogate U+DC80..U+DCFF (as Python's surrogateescape does), so that a path goes through the
// widgets' QString interfaces and comes back byte for byte. Qt's own file classes would turn
// those bytes into U+FFFD: every call that reaches the file system goes through the bytes.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <sys/types.h>

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

// What lstat or stat says of a path.
struct PathInfo {
    bool exists = false;
    bool isDir = false;     // after following links when asked to
    bool isFile = false;    // a regular file, after following links when asked to
    bool isSymLink = false; // the path itself
    mode_t mode = 0;
    std::int64_t size = 0;
    timespec modified{};
    dev_t device = 0;
    ino_t inode = 0;
    uid_t owner = 0;
};
PathInfo pathInfo(const QString& path, bool followLinks = true);
bool pathExists(const QString& path);  // without following a final link
bool isDirectory(const QString& path); // following links

// A path as a file URI, each byte a URI path may not hold as it is written as %XX (as
// text/uri-list and the GNOME clipboard carry it), and the path part alone, for the trash.
QByteArray percentEncodedPath(const QString& path);
QByteArray fileUriOf(const QString& path);
// The path of a local file URI ("file:///...", "file://localhost/...", "file:/...") with its
// %XX decoded to bytes; a null string for any other URI.
QString pathFromFileUri(QByteArrayView uri);

// The user's home folder as $HOME holds it, else as Qt finds it.
QString homeFolder();
// The path made absolute against the current folder and cleaned of "." and "..".
QString absolutePath(const QString& path);

// One entry of a folder as readdir gives it.
struct DirectoryEntry {
    QString name;
    bool isDir = false; // after following a link
    bool isSymLink = false;
};
// Calls `visit` with each entry of `folder` but "." and "..", until it returns false. The kind
// comes from readdir's d_type, so only links and entries of unknown type cost an fstatat.
// False when the folder cannot be read (errno says why). With `foldersOnly`, other entries are
// skipped before their names are decoded: a folder of 100,000 files costs little more than
// its readdir.
bool forEachEntry(const QString& folder, const std::function<bool(const DirectoryEntry&)>& visit,
                  bool foldersOnly = false);
