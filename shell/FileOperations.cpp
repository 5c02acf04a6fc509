#include "shell/FileOperations.h"

#include "shell/DialogService.h"
#include "shell/Trash.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProgressDialog>
#include <QRandomGenerator>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>

// Counts the bytes of a copy and shows a cancellable progress dialog once the whole
// transfer is large enough to be worth it.
class TransferProgress {
public:
    TransferProgress(QWidget* parent, qint64 total, qint64 threshold) : m_total(total) {
        if (total < threshold || total <= 0)
            return;
        m_dialog = std::make_unique<QProgressDialog>(QStringLiteral("Copying..."),
                                                     QStringLiteral("Cancel"), 0, 1000, parent);
        m_dialog->setWindowTitle(QStringLiteral("Quillon"));
        m_dialog->setWindowModality(Qt::WindowModal);
        m_dialog->setMinimumDuration(300);
        m_dialog->setAutoClose(false);
        m_dialog->setAutoReset(false);
        m_dialog->setValue(0);
    }

    void setItem(const QString& name) {
        if (m_dialog)
            m_dialog->setLabelText(QStringLiteral("Copying \"%1\"...").arg(name));
    }
    // False once the user has cancelled.
    bool advance(qint64 bytes) {
        m_done += bytes;
        if (m_dialog) {
            m_dialog->setValue(int(qMin<qint64>(1000, m_done * 1000 / m_total)));
            if (m_dialog->wasCanceled())
                m_cancelled = true;
        }
        return !m_cancelled;
    }
    bool cancelled() const { return m_cancelled; }

private:
    std::unique_ptr<QProgressDialog> m_dialog;
    qint64 m_total;
    qint64 m_done = 0;
    bool m_cancelled = false;
};

namespace {

constexpr qint64 ChunkSize = 1024 * 1024;

// Qt reports ReadUser/WriteUser from access(), and setPermissions() writes them to the
// owner bits: keep only the stored owner, group and other bits.
QFileDevice::Permissions storedPermissions(const QFileInfo& info) {
    return info.permissions() &
           ~(QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser);
}

QString quoted(const QString& text) {
    return QLatin1Char('"') + text + QLatin1Char('"');
}

bool isEntry(const QFileInfo& info) {
    return info.exists() || info.isSymLink();
}
bool isRealDir(const QFileInfo& info) {
    return info.isDir() && !info.isSymLink();
}

QString nameOf(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    return name.isEmpty() ? path : name;
}

bool renameEntry(const QString& from, const QString& to, int* errorCode = nullptr) {
    // rename(2) replaces a file atomically, which QFile::rename refuses to do.
    const bool ok =
        std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
    if (errorCode)
        *errorCode = ok ? 0 : errno;
    return ok;
}

qint64 sizeOfTree(const QString& path) {
    const QFileInfo info(path);
    if (info.isSymLink())
        return 0;
    if (!info.isDir())
        return info.size();
    qint64 total = 0;
    QDirIterator it(path, QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        total += it.fileInfo().size();
    }
    return total;
}

QString freeSiblingName(const QString& folder, const QString& name) {
    QString candidate;
    do {
        candidate = QStringLiteral("%1/.%2.quillon-%3")
                        .arg(folder, name)
                        .arg(QRandomGenerator::global()->generate(), 0, 36);
    } while (isEntry(QFileInfo(candidate)));
    return candidate;
}

bool copyFile(const QString& source, const QString& target, TransferProgress& progress,
              QString* error) {
    QFile in(source);
    QFile out(target);
    if (!in.open(QIODevice::ReadOnly)) {
        *error = in.errorString();
        return false;
    }
    // Unbuffered: a short write (a full disk) is seen at once with the system's reason; a
    // buffered one can end in "Unknown error" or go unnoticed.
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered)) {
        *error = out.errorString();
        return false;
    }
    QByteArray buffer;
    while (!in.atEnd()) {
        buffer = in.read(ChunkSize);
        if (buffer.isEmpty() && in.error() != QFileDevice::NoError) {
            *error = in.errorString();
            return false;
        }
        for (qint64 done = 0; done < buffer.size();) {
            const qint64 written = out.write(buffer.constData() + done, buffer.size() - done);
            if (written <= 0) {
                *error = out.errorString();
                return false;
            }
            done += written;
        }
        if (!progress.advance(buffer.size())) {
            *error = QStringLiteral("Cancelled");
            return false;
        }
    }
    out.setFileTime(QFileInfo(in).lastModified(), QFileDevice::FileModificationTime);
    out.close();
    QFile::setPermissions(target, storedPermissions(QFileInfo(source)));
    return true;
}

// Copies a file, a symbolic link (as a link) or a folder with its contents to a new name.
bool copyTree(const QString& source, const QString& target, TransferProgress& progress,
              QString* error) {
    const QFileInfo info(source);
    if (info.isSymLink()) {
        std::error_code code;
        std::filesystem::copy_symlink(QFile::encodeName(source).constData(),
                                      QFile::encodeName(target).constData(), code);
        if (code)
            *error = QString::fromLocal8Bit(code.message().c_str());
        return !code;
    }
    if (info.isFile())
        return copyFile(source, target, progress, error);
    if (!info.isDir()) {
        *error = QStringLiteral("Not a file or folder");
        return false;
    }
    if (!info.isReadable() || !info.isExecutable()) {
        *error = QStringLiteral("Cannot read folder %1").arg(quoted(source));
        return false;
    }
    if (!QDir().mkdir(target)) {
        *error = QStringLiteral("Cannot create folder %1").arg(quoted(target));
        return false;
    }
    const QStringList names = QDir(source).entryList(QDir::AllEntries | QDir::Hidden |
                                                     QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        if (!copyTree(source + QLatin1Char('/') + name, target + QLatin1Char('/') + name, progress,
                      error))
            return false;
    }
    // Last, so that a read-only source folder still lets us fill the copy.
    QFile::setPermissions(target, storedPermissions(info));
    return true;
}

} // namespace

namespace {

bool g_movesCrossFileSystems = false;

// Puts `replacement` (on the target's file system) in the target's place: 0, or the error
// number. A folder it replaces is first set aside, so that it comes back whenever the swap
// fails, and goes only once the swap is done.
int putInPlace(const QString& replacement, const QString& target) {
    const QFileInfo targetInfo(target);
    const bool replacing =
        isEntry(targetInfo) && (isRealDir(targetInfo) || isRealDir(QFileInfo(replacement)));
    int code = 0;
    // rename(2) replaces a file by itself.
    if (!replacing)
        return renameEntry(replacement, target, &code) ? 0 : code;
    const QString aside = freeSiblingName(targetInfo.absolutePath(), targetInfo.fileName());
    if (!renameEntry(target, aside, &code))
        return code;
    if (!renameEntry(replacement, target, &code)) {
        renameEntry(aside, target);
        return code;
    }
    FileOperations::removeForGood(aside);
    return 0;
}

} // namespace

void FileOperations::setMovesCrossFileSystems(bool cross) {
    g_movesCrossFileSystems = cross;
}

bool FileOperations::copyEntry(const QString& source, const QString& target,
                               TransferProgress& progress, QString* error) {
    const QFileInfo targetInfo(target);
    // Built under a hidden name first, so a failed copy never harms what it would replace.
    const QString temporary = freeSiblingName(targetInfo.absolutePath(), targetInfo.fileName());
    if (!copyTree(source, temporary, progress, error)) {
        removeForGood(temporary);
        return false;
    }
    if (const int code = putInPlace(temporary, target)) {
        *error = qt_error_string(code);
        removeForGood(temporary);
        return false;
    }
    return true;
}

bool FileOperations::moveEntry(const QString& source, const QString& target,
                               TransferProgress& progress, QString* error) {
    const int code = g_movesCrossFileSystems ? EXDEV : putInPlace(source, target);
    if (code == 0)
        return true;
    if (code != EXDEV) {
        *error = qt_error_string(code);
        return false;
    }
    // Another file system: a whole copy takes the target's place, then the original goes.
    return copyEntry(source, target, progress, error) && removeForGood(source, error);
}

bool FileOperations::transfer(const QStringList& sources, const QString& folder, Mode mode) {
    const QString destination = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    const bool copying = mode == Mode::Copy;
    const QString verb = copying ? QStringLiteral("copy") : QStringLiteral("move");
    if (!QFileInfo(destination).isDir()) {
        dialogs().error(
            QStringLiteral("Cannot %1 into %2: not a folder").arg(verb, quoted(folder)));
        return false;
    }

    qint64 total = 0;
    if (copying)
        for (const QString& source : sources)
            total += sizeOfTree(source);
    TransferProgress progress(m_parent, total, m_progressThreshold);

    QStringList failures;
    bool skipped = false;
    for (const QString& path : sources) {
        const QString source = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
        const QFileInfo info(source);
        const QString name = nameOf(source);
        if (!isEntry(info)) {
            failures << quoted(source) + QStringLiteral(": No such file or folder");
            continue;
        }
        if (isRealDir(info) &&
            (destination == source || destination.startsWith(source + QLatin1Char('/')))) {
            failures << quoted(source) +
                            QStringLiteral(": Cannot %1 a folder into itself").arg(verb);
            continue;
        }
        QString target = destination + QLatin1Char('/') + name;
        if (info.absolutePath() == destination) {
            if (!copying)
                continue;
            target = destination + QLatin1Char('/') + duplicateName(destination, name);
        } else if (isEntry(QFileInfo(target))) {
            if (!dialogs().confirm(QStringLiteral("%1 already holds %2. Replace it?")
                                       .arg(quoted(destination), quoted(name)))) {
                skipped = true;
                continue;
            }
        }
        progress.setItem(name);
        QString error;
        const bool ok = copying ? copyEntry(source, target, progress, &error)
                                : moveEntry(source, target, progress, &error);
        if (progress.cancelled())
            return false;
        if (!ok)
            failures << quoted(source) + QStringLiteral(": ") + error;
    }
    if (!failures.isEmpty()) {
        dialogs().error(QStringLiteral("Could not %1 into %2:\n%3")
                            .arg(verb, quoted(destination), failures.join(QLatin1Char('\n'))));
    }
    return failures.isEmpty() && !skipped;
}

bool FileOperations::remove(const QStringList& paths, bool permanent) {
    if (paths.isEmpty())
        return true;
    QString question;
    if (paths.size() == 1) {
        question = permanent ? QStringLiteral("Delete %1 for good?")
                             : QStringLiteral("Move %1 to the trash?");
        question = question.arg(quoted(nameOf(paths.front())));
    } else {
        question = permanent ? QStringLiteral("Delete these %1 items for good?")
                             : QStringLiteral("Move these %1 items to the trash?");
        question = question.arg(paths.size());
    }
    if (!dialogs().confirm(question))
        return false;

    QStringList failures;
    for (const QString& path : paths) {
        QString error;
        const bool ok = permanent ? removeForGood(path, &error) : moveToTrash(path, &error);
        if (!ok)
            failures << quoted(path) + QStringLiteral(": ") + error;
    }
    if (!failures.isEmpty()) {
        dialogs().error((permanent ? QStringLiteral("Could not delete:\n")
                                   : QStringLiteral("Could not move to the trash:\n")) +
                        failures.join(QLatin1Char('\n')));
    }
    return failures.isEmpty();
}

bool FileOperations::moveToTrash(const QString& path, QString* error) {
    if (!isEntry(QFileInfo(path))) {
        if (error)
            *error = QStringLiteral("No such file or folder");
        return false;
    }
    return Trash::moveToTrash(path, error);
}

bool FileOperations::removeForGood(const QString& path, QString* error) {
    const QFileInfo info(path);
    if (!isEntry(info)) {
        if (error)
            *error = QStringLiteral("No such file or folder");
        return false;
    }
    if (isRealDir(info)) {
        if (QDir(path).removeRecursively())
            return true;
        if (error)
            *error = QStringLiteral("Some of its contents could not be deleted");
        return false;
    }
    QFile file(path);
    if (file.remove())
        return true;
    if (error)
        *error = file.errorString();
    return false;
}

QString FileOperations::duplicateName(const QString& folder, const QString& name) {
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    // A leading dot belongs to the name (".hidden"), not to a suffix.
    const QString stem = dot > 0 ? name.left(dot) : name;
    const QString suffix = dot > 0 ? name.mid(dot) : QString();
    for (int n = 1;; ++n) {
        const QString candidate =
            n == 1 ? QStringLiteral("%1 (copy)%2").arg(stem, suffix)
                   : QStringLiteral("%1 (copy %2)%3").arg(stem).arg(n).arg(suffix);
        if (!isEntry(QFileInfo(folder + QLatin1Char('/') + candidate)))
            return candidate;
    }
}
