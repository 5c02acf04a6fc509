#include "shell/ItemProperties.h"

#include <QDirIterator>
#include <QFileIconProvider>
#include <QFileInfo>

namespace {

void addContents(const QString& folder, ItemProperties& properties) {
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        if (info.isDir() && !info.isSymLink()) {
            ++properties.containedFolders;
        } else {
            ++properties.containedFiles;
            if (!info.isSymLink())
                properties.totalSize += info.size();
        }
    }
}

} // namespace

QString permissionText(QFileDevice::Permissions permissions) {
    static constexpr struct {
        QFileDevice::Permission flag;
        char letter;
    } bits[] = {
        {QFileDevice::ReadOwner, 'r'}, {QFileDevice::WriteOwner, 'w'}, {QFileDevice::ExeOwner, 'x'},
        {QFileDevice::ReadGroup, 'r'}, {QFileDevice::WriteGroup, 'w'}, {QFileDevice::ExeGroup, 'x'},
        {QFileDevice::ReadOther, 'r'}, {QFileDevice::WriteOther, 'w'}, {QFileDevice::ExeOther, 'x'},
    };
    QString text;
    for (const auto& bit : bits)
        text += permissions.testFlag(bit.flag) ? QLatin1Char(bit.letter) : QLatin1Char('-');
    return text;
}

ItemProperties collectProperties(const QStringList& paths) {
    ItemProperties properties;
    QFileInfo single;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (!info.exists() && !info.isSymLink())
            continue;
        single = info;
        if (info.isDir() && !info.isSymLink()) {
            ++properties.folderCount;
            addContents(info.absoluteFilePath(), properties);
        } else {
            ++properties.fileCount;
            if (!info.isSymLink())
                properties.totalSize += info.size();
        }
    }
    if (properties.itemCount() != 1)
        return properties;

    properties.name = single.fileName().isEmpty() ? single.absoluteFilePath() : single.fileName();
    properties.location = single.isRoot() ? QString() : single.absolutePath();
    properties.type = QFileIconProvider().type(single);
    properties.modified = single.lastModified();
    properties.accessed = single.lastRead();
    properties.permissions = permissionText(single.permissions());
    properties.owner = single.owner();
    properties.group = single.group();
    return properties;
}
