#include "shell/ShellChain.h"

#include "shell/ShellServices.h"

#include <QDir>

namespace quillon {

namespace {

bool liesUnder(const QString& path, const QString& folder) {
    if (path == folder)
        return true;
    const QString prefix = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    return path.startsWith(prefix);
}

} // namespace

QList<ShellItem> shellChainTo(const ShellItem& target) {
    if (target.isNull() || target.isDesktop())
        return {};
    const QString path = QDir::cleanPath(target.parsingPath());
    ShellItem anchor;
    for (const ShellItem& child : shellServices().desktopChildren()) {
        const QString childPath = QDir::cleanPath(child.parsingPath());
        if (liesUnder(path, childPath) &&
            (anchor.isNull() || childPath.size() > anchor.parsingPath().size()))
            anchor = child;
    }
    if (anchor.isNull())
        return {};
    QList<ShellItem> chain{anchor};
    QString current = QDir::cleanPath(anchor.parsingPath());
    const QStringList below = path.mid(current.size()).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString& name : below) {
        current =
            current.endsWith(QLatin1Char('/')) ? current + name : current + QLatin1Char('/') + name;
        chain << ShellItem::fromPath(current);
    }
    return chain;
}

} // namespace quillon
