#include "shell/ShellServices.h"

#include "shell/FileName.h"
#include "shell/FileOperations.h"
#include "shell/FileUri.h"
#include "shell/FolderEntries.h"
#include "shell/HomeFolder.h"
#include "shell/ItemProperties.h"
#include "shell/PathInfo.h"
#include "shell/PropertiesDialog.h"
#include "shell/ShellMime.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMimeData>
#include <QRegularExpression>
#include <QStorageInfo>
#include <algorithm>
#include <sys/stat.h>

namespace quillon {

namespace {

ShellServices* g_services = nullptr;

QString expandHome(const QString& path) {
    if (path == QLatin1String("~"))
        return homeFolder();
    if (path.startsWith(QLatin1String("~/")))
        return homeFolder() + path.mid(1);
    return path;
}

// Volumes a user would browse: block devices and network shares, not the kernel's
// pseudo file systems, snaps or single files bound into containers.
bool isBrowsableVolume(const QStorageInfo& volume) {
    if (!volume.isValid() || !volume.isReady() || volume.isRoot())
        return false;
    const QString root = volume.rootPath();
    if (!QFileInfo(root).isDir())
        return false;
    for (const char* hidden : {"/proc", "/sys", "/dev", "/run", "/snap", "/boot", "/var/lib"}) {
        const QString prefix = QString::fromLatin1(hidden);
        if (root == prefix || root.startsWith(prefix + QLatin1Char('/')))
            if (!root.startsWith(QLatin1String("/run/media/")))
                return false;
    }
    const QByteArray type = volume.fileSystemType();
    static const QList<QByteArray> networkTypes = {"nfs",   "nfs4",       "cifs", "smb3",
                                                   "smbfs", "fuse.sshfs", "9p"};
    return volume.device().startsWith("/dev/") || networkTypes.contains(type);
}

// A file URL from the path's bytes: QUrl::fromLocalFile would turn bytes that are not UTF-8
// into U+FFFD.
QUrl fileUrl(const QString& path) {
    return QUrl::fromEncoded(fileUriOf(path));
}

// The path names an entry, links followed.
bool reachable(const QString& path) {
    struct stat info {};
    return ::stat(fileNameBytes(path).constData(), &info) == 0;
}

QWidget* dialogParent() {
    return QApplication::activeWindow();
}

} // namespace

ShellServices::ShellServices()
    : m_opener([](const QUrl& url) { return QDesktopServices::openUrl(url); }) {}

QList<ShellItem> ShellServices::desktopChildren() const {
    QList<ShellItem> items;
    items << ShellItem::fromPath(homeFolder(), QStringLiteral("Home"));
    const QString desktopFolder = childPath(homeFolder(), QStringLiteral("Desktop"));
    if (isDirectory(desktopFolder))
        items << ShellItem::fromPath(desktopFolder, QStringLiteral("Desktop"));
    items << ShellItem::fromPath(QDir::rootPath(), QStringLiteral("File System"));
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes())
        if (isBrowsableVolume(volume))
            items << ShellItem::fromPath(volume.rootPath(), volume.displayName());
    return items;
}

QList<ShellItem> ShellServices::children(const ShellItem& folder, bool foldersOnly) const {
    if (folder.isDesktop())
        return desktopChildren();
    if (!folder.isFolder())
        return {};
    // Read by bytes: Qt's readers skip names that are not UTF-8.
    QList<DirectoryEntry> entries;
    const QString path = folder.parsingPath();
    forEachEntry(
        path,
        [&](const DirectoryEntry& entry) {
            entries << entry;
            return true;
        },
        foldersOnly);
    // Folders first, then by name without regard to case, as QDir sorts them.
    std::sort(entries.begin(), entries.end(), [](const DirectoryEntry& a, const DirectoryEntry& b) {
        if (a.isDir != b.isDir)
            return a.isDir;
        const int order = a.name.compare(b.name, Qt::CaseInsensitive);
        return order != 0 ? order < 0 : a.name < b.name;
    });
    QList<ShellItem> items;
    items.reserve(entries.size());
    for (const DirectoryEntry& entry : entries)
        items << ShellItem::fromPath(childPath(path, entry.name));
    return items;
}

ShellItem ShellServices::parent(const ShellItem& item) const {
    if (item.isNull() || item.isDesktop())
        return {};
    const QString path = absolutePath(item.parsingPath());
    if (path == QLatin1String("/"))
        return desktop();
    return ShellItem::fromPath(folderOf(path));
}

ShellItem ShellServices::resolve(const QString& parsingName) const {
    const QString name = parsingName.trimmed();
    if (name.compare(ShellItem::DesktopParsingName, Qt::CaseInsensitive) == 0)
        return desktop();
    QString path = name;
    if (name.startsWith(QLatin1String("file:"), Qt::CaseInsensitive))
        path = pathFromFileUri(fileNameBytes(name));
    path = expandHome(path);
    if (!path.startsWith(QLatin1Char('/')) || !reachable(path))
        return {};
    return ShellItem::fromPath(absolutePath(path));
}

void ShellServices::cut(const QStringList& paths) {
    QGuiApplication::clipboard()->setMimeData(ShellMime::fromPaths(paths, true));
}

void ShellServices::copy(const QStringList& paths) {
    QGuiApplication::clipboard()->setMimeData(ShellMime::fromPaths(paths, false));
}

bool ShellServices::clipboardHasFiles() const {
    return !ShellMime::localPaths(QGuiApplication::clipboard()->mimeData()).isEmpty();
}

bool ShellServices::paste(const QString& folder) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    // Read it all first: the clipboard may change while the copy runs.
    const QStringList paths = ShellMime::localPaths(clipboard->mimeData());
    const bool cut = ShellMime::isCut(clipboard->mimeData());
    if (paths.isEmpty())
        return false;
    FileOperations operations(dialogParent());
    const bool done = operations.transfer(
        paths, folder, cut ? FileOperations::Mode::Move : FileOperations::Mode::Copy);
    if (cut && done)
        clipboard->clear(); // the cut items have left their place
    return done;
}

bool ShellServices::deleteItems(const QStringList& paths, bool permanent) {
    return FileOperations(dialogParent()).remove(paths, permanent);
}

PropertiesDialog* ShellServices::showProperties(const QStringList& paths) {
    const ItemProperties properties = collectProperties(paths);
    if (properties.itemCount() == 0)
        return nullptr;
    auto* dialog = new PropertiesDialog(properties, dialogParent());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
    return dialog;
}

bool ShellServices::open(const QString& target) {
    const QUrl url = urlForTarget(target);
    return url.isValid() && m_opener && m_opener(url);
}

QUrl ShellServices::urlForTarget(const QString& target) {
    const QString text = target.trimmed();
    if (text.isEmpty())
        return {};
    if (text.startsWith(QLatin1Char('/')) || text.startsWith(QLatin1Char('~')))
        return fileUrl(QDir::cleanPath(expandHome(text)));
    if (text.startsWith(QLatin1String("www."), Qt::CaseInsensitive))
        return QUrl(QStringLiteral("http://") + text);
    // Two letters at least, so that nothing like a drive letter passes for a scheme.
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:"));
    if (scheme.match(text).hasMatch())
        return QUrl(text);
    static const QRegularExpression mail(QStringLiteral("^[^\\s@]+@[^\\s@]+$"));
    if (mail.match(text).hasMatch())
        return QUrl(QStringLiteral("mailto:") + text);
    if (reachable(text))
        return fileUrl(absolutePath(text));
    return {};
}

QStringList ShellServices::droppedPaths(const QMimeData* data) const {
    return ShellMime::localPaths(data);
}

Qt::KeyboardModifiers ShellServices::keyboardModifiers() const {
    return QGuiApplication::queryKeyboardModifiers();
}

Qt::DropAction ShellServices::dropAction(Qt::KeyboardModifiers modifiers) {
    return modifiers.testFlag(Qt::ShiftModifier) ? Qt::MoveAction : Qt::CopyAction;
}

QMimeData* ShellServices::dragData(const QStringList& paths) const {
    auto* data = new QMimeData;
    data->setData(QString::fromLatin1(ShellMime::UriListFormat), ShellMime::uriList(paths));
    data->setText(paths.join(QLatin1Char('\n')));
    return data;
}

Qt::DropAction ShellServices::dropOnFolder(const QMimeData* data, const QString& folder,
                                           Qt::KeyboardModifiers modifiers) {
    const QStringList paths = droppedPaths(data);
    if (paths.isEmpty() || !isDirectory(folder))
        return Qt::IgnoreAction;
    const Qt::DropAction action = dropAction(modifiers);
    FileOperations operations(dialogParent());
    const bool done = operations.transfer(paths, folder,
                                          action == Qt::MoveAction ? FileOperations::Mode::Move
                                                                   : FileOperations::Mode::Copy);
    return done ? action : Qt::IgnoreAction;
}

ShellServices& shellServices() {
    static ShellServices desktopShell;
    return g_services ? *g_services : desktopShell;
}

void setShellServices(ShellServices* services) {
    g_services = services;
}

} // namespace quillon
