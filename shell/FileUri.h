// Local paths as file URIs and back, byte for byte, as drags and the clipboard carry them.
#pragma once

#include <QByteArray>
#include <QString>

namespace quillon {

// A path as a file URI, each byte a URI path may not hold as it is written as %XX (as
// text/uri-list and the GNOME clipboard carry it), and the path part alone, for the trash.
QByteArray percentEncodedPath(const QString& path);
QByteArray fileUriOf(const QString& path);
// The path of a local file URI ("file:///...", "file://localhost/...", "file:/...") with its
// %XX decoded to bytes; a null string for any other URI.
QString pathFromFileUri(QByteArrayView uri);

} // namespace quillon
