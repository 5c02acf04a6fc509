// The clipboard and drag formats of file items, as desktop file managers use them:
// text/uri-list, plus the GNOME and KDE marks that tell a cut from a copy.
#pragma once

#include <QByteArray>
#include <QStringList>

class QMimeData;

namespace quillon {

namespace ShellMime {

inline constexpr char UriListFormat[] = "text/uri-list";
inline constexpr char GnomeFormat[] = "x-special/gnome-copied-files";
inline constexpr char KdeCutFormat[] = "application/x-kde-cutselection";

// The paths as text/uri-list: a file URI per line, each byte of a name that a URI may not hold
// as it is written as %XX.
QByteArray uriList(const QStringList& paths);
// The local paths of a text/uri-list, each %XX taken back to its byte; other URIs and comments
// are left out.
QStringList pathsFromUriList(const QByteArray& list);

// Mime data offering the paths as file URLs and plain text; `cut` adds the marks
// for a cut, otherwise the GNOME format says "copy".
QMimeData* fromPaths(const QStringList& paths, bool cut);
// The local paths among the offered URLs (text/uri-list, else the GNOME format).
QStringList localPaths(const QMimeData* data);
// True when the data marks a cut (GNOME "cut" or KDE "1").
bool isCut(const QMimeData* data);

} // namespace ShellMime

} // namespace quillon
