// What the properties dialog shows for one or several file-system items, gathered
// apart from the dialog so it can be checked on its own.
#pragma once

#include <QDateTime>
#include <QFileDevice>
#include <QString>
#include <QStringList>

namespace quillon {

struct ItemProperties {
    // The items asked about, by kind (a link counts as a file).
    int fileCount = 0;
    int folderCount = 0;
    // Everything inside the folders among them, at any depth.
    int containedFiles = 0;
    int containedFolders = 0;
    // Files among the items plus the contents of the folders, in bytes.
    qint64 totalSize = 0;

    // For a single item only; the name and location as the user sees them (displayFileName).
    QString name;
    QString location; // the folder holding it
    QString type;
    QDateTime modified;
    QDateTime accessed;
    QString permissions; // "rwxr-xr-x"
    QString owner;
    QString group;

    int itemCount() const { return fileCount + folderCount; }
};

// Reads the items from the file system; entries that do not exist are left out.
// Symbolic links inside folders are counted, never followed.
ItemProperties collectProperties(const QStringList& paths);

// "rwxr-x---" for the owner, group and other bits.
QString permissionText(QFileDevice::Permissions permissions);

} // namespace quillon
