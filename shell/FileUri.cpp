#include "shell/FileUri.h"

#include "shell/FileName.h"

namespace quillon {

QByteArray percentEncodedPath(const QString& path) {
    // What RFC 3986 lets a path segment hold as it is, as GLib's g_filename_to_uri keeps it.
    return fileNameBytes(path).toPercentEncoding("/!$&'()*+,;=:@");
}

QByteArray fileUriOf(const QString& path) {
    return "file://" + percentEncodedPath(path);
}

QString pathFromFileUri(QByteArrayView uri) {
    QByteArray rest = uri.toByteArray();
    if (!rest.toLower().startsWith("file:"))
        return {};
    rest.remove(0, 5);
    if (rest.startsWith("//")) {
        const qsizetype slash = rest.indexOf('/', 2);
        if (slash < 0)
            return {};
        const QByteArray host = rest.mid(2, slash - 2).toLower();
        if (!host.isEmpty() && host != "localhost")
            return {};
        rest.remove(0, slash);
    }
    if (!rest.startsWith('/'))
        return {};
    // A query or fragment is no part of the path; a path's own "?" and "#" come as %3F and %23.
    for (const char end : {'?', '#'})
        if (const qsizetype at = rest.indexOf(end); at >= 0)
            rest.truncate(at);
    return fileNameFromBytes(QByteArray::fromPercentEncoding(rest));
}

} // namespace quillon
