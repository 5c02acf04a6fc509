#include "shell/ShellMime.h"

#include <QList>
#include <QMimeData>
#include <QUrl>

namespace ShellMime {

QMimeData* fromPaths(const QStringList& paths, bool cut) {
    QList<QUrl> urls;
    QByteArray gnome = cut ? "cut" : "copy";
    for (const QString& path : paths) {
        const QUrl url = QUrl::fromLocalFile(path);
        urls << url;
        gnome += '\n' + url.toEncoded();
    }
    auto* data = new QMimeData;
    data->setUrls(urls);
    data->setText(paths.join(QLatin1Char('\n')));
    data->setData(QString::fromLatin1(GnomeFormat), gnome);
    if (cut)
        data->setData(QString::fromLatin1(KdeCutFormat), "1");
    return data;
}

QStringList localPaths(const QMimeData* data) {
    if (!data)
        return {};
    QList<QUrl> urls = data->urls();
    if (urls.isEmpty() && data->hasFormat(QString::fromLatin1(GnomeFormat))) {
        const QList<QByteArray> lines = data->data(QString::fromLatin1(GnomeFormat)).split('\n');
        for (qsizetype i = 1; i < lines.size(); ++i)
            if (!lines[i].trimmed().isEmpty())
                urls << QUrl::fromEncoded(lines[i].trimmed());
    }
    QStringList paths;
    for (const QUrl& url : urls)
        if (url.isLocalFile())
            paths << url.toLocalFile();
    return paths;
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
