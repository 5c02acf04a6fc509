#include "shell/ShellMime.h"

#include "shell/FileUri.h"

#include <QMimeData>

namespace quillon {

namespace ShellMime {

QByteArray uriList(const QStringList& paths) {
    QByteArray list;
    for (const QString& path : paths)
        list += fileUriOf(path) + "\r\n";
    return list;
}

QStringList pathsFromUriList(const QByteArray& list) {
    QStringList paths;
    for (const QByteArray& line : list.split('\n')) {
        const QByteArray uri = line.trimmed();
        if (uri.isEmpty() || uri.startsWith('#'))
            continue;
        if (const QString path = pathFromFileUri(uri); !path.isEmpty())
            paths << path;
    }
    return paths;
}

QMimeData* fromPaths(const QStringList& paths, bool cut) {
    QByteArray gnome = cut ? "cut" : "copy";
    for (const QString& path : paths)
        gnome += '\n' + fileUriOf(path);
    auto* data = new QMimeData;
    // The URIs are written here from the paths' bytes: QUrl would turn bytes that are not UTF-8
    // into U+FFFD.
    data->setData(QString::fromLatin1(UriListFormat), uriList(paths));
    data->setText(paths.join(QLatin1Char('\n')));
    data->setData(QString::fromLatin1(GnomeFormat), gnome);
    if (cut)
        data->setData(QString::fromLatin1(KdeCutFormat), "1");
    return data;
}

QStringList localPaths(const QMimeData* data) {
    if (!data)
        return {};
    const QString uriListFormat = QString::fromLatin1(UriListFormat);
    if (data->hasFormat(uriListFormat)) {
        const QByteArray list = data->data(uriListFormat);
        if (!list.trimmed().isEmpty())
            return pathsFromUriList(list);
    }
    if (!data->hasFormat(QString::fromLatin1(GnomeFormat)))
        return {};
    // The GNOME format: the verb on the first line, a URI on each of the others.
    const QByteArray gnome = data->data(QString::fromLatin1(GnomeFormat));
    const qsizetype verbEnd = gnome.indexOf('\n');
    return verbEnd < 0 ? QStringList() : pathsFromUriList(gnome.mid(verbEnd + 1));
}

bool isCut(const QMimeData* data) {
    if (!data)
        return false;
    if (data->data(QString::fromLatin1(KdeCutFormat)).trimmed() == "1")
        return true;
    const QByteArray gnome = data->data(QString::fromLatin1(GnomeFormat));
    return gnome.split('\n').value(0).trimmed() == "cut";
}

} // namespace ShellMime

} // namespace quillon
