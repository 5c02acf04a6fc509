#include "display/NameRules.h"

#include "shell/FileName.h"
#include "tags/TagText.h"

#include <algorithm>

namespace quillon {

namespace {

constexpr int kMaxBaseName = 260;
constexpr int kMaxNameBytes = 255;

} // namespace

QString baseNameOf(const QString& path) {
    QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1).left(kMaxBaseName);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0)
        name.truncate(dot);
    return name;
}

QString extensionOf(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    return dot > slash ? path.mid(dot) : QString();
}

QString tagTextOfName(const QString& name) {
    if (!hasRawBytes(name))
        return name;
    return QString::fromStdString(windows1252ToUtf8(fileNameBytes(name).toStdString()));
}

QString namePartOfTagText(const QString& text, const QString& oldName) {
    QString name = fileNameFromDisplay(text, oldName);
    name.replace(QLatin1Char('/'), QLatin1Char('-'));
    return name;
}

// The folder part runs up to the last "/", the extension from the last "." after it.
QString renamedPath(const QString& path, const QString& baseName) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return path.left(slash + 1) + namePartOfTagText(baseName, fileNameOf(path)) + extensionOf(path);
}

QString whyNotAName(const QString& name) {
    if (name.isEmpty())
        return QStringLiteral("the name would be empty");
    if (std::all_of(name.begin(), name.end(), [](QChar c) { return c == QLatin1Char('.'); }))
        return QStringLiteral("\"%1\" names a folder, not a file").arg(name);
    if (name.contains(QChar(0)))
        return QStringLiteral("a name cannot hold a NUL character");
    if (fileNameBytes(name).size() > kMaxNameBytes)
        return QStringLiteral("the name would be longer than %1 bytes").arg(kMaxNameBytes);
    return {};
}

} // namespace quillon
