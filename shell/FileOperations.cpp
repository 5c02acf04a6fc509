#include "shell/FileOperations.h"

#include "shell/DialogService.h"
#include "shell/FileName.h"
#include "shell/FolderEntries.h"
#include "shell/HomeFolder.h"
#include "shell/PathInfo.h"
#include "shell/Trash.h"

#include <QProgressDialog>
#include <QRandomGenerator>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon {

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
            m_dialog->setLabelText(QStringLiteral("Copying \"%1\"...").arg(displayFileName(name)));
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

// What a copy of a tree left undone: the entries it could not read (each as "\"path\": reason"),
// and whether it had to stop (a write failed, or the user cancelled), which spoils the copy.
struct CopyReport {
    QStringList missing;
    bool stopped = false;
    QString stopReason;

    void miss(const QString& path, int code) { missing << failureLine(path, code); }
    void stop(int code) {
        stopped = true;
        stopReason = qt_error_string(code);
    }
    static QString failureLine(const QString& path, const QString& reason) {
        return QLatin1Char('"') + displayFileName(path) + QStringLiteral("\": ") + reason;
    }
    static QString failureLine(const QString& path, int code) {
        return failureLine(path, qt_error_string(code));
    }
};

namespace {

constexpr std::size_t ChunkSize = 1024 * 1024;

QString quoted(const QString& text) {
    return QLatin1Char('"') + displayFileName(text) + QLatin1Char('"');
}

bool isEntry(const QString& path) {
    return pathExists(path);
}
// A folder itself, not a link to one.
bool isRealDir(const QString& path) {
    return pathInfo(path, false).isDir;
}

QString nameOf(const QString& path) {
    const QString name = fileNameOf(path);
    return name.isEmpty() ? path : name;
}

bool renameEntry(const QString& from, const QString& to, int* errorCode = nullptr) {
    // rename(2) replaces a file atomically, which QFile::rename refuses to do.
    const bool ok =
        std::rename(fileNameBytes(from).constData(), fileNameBytes(to).constData()) == 0;
    if (errorCode)
        *errorCode = ok ? 0 : errno;
    return ok;
}

// The names in a folder; false (errno says why) when it cannot be read.
bool namesIn(const QString& folder, QStringList* names) {
    return forEachEntry(folder, [names](const DirectoryEntry& entry) {
        *names << entry.name;
        return true;
    });
}

qint64 sizeOfTree(const QString& path) {
    const PathInfo info = pathInfo(path, false);
    if (!info.isDir)
        return info.isFile ? info.size : 0;
    qint64 total = 0;
    QStringList names;
    namesIn(path, &names);
    for (const QString& name : names)
        total += sizeOfTree(childPath(path, name));
    return total;
}

QString freeSiblingName(const QString& folder, const QString& name) {
    QString candidate;
    do {
        candidate = childPath(folder, QStringLiteral(".%1.quillon-%2")
                                          .arg(name)
                                          .arg(QRandomGenerator::global()->generate(), 0, 36));
    } while (isEntry(candidate));
    return candidate;
}

// Writes all of `size` bytes; 0, or the error number.
int writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return written < 0 ? errno : ENOSPC;
        data += written;
        size -= std::size_t(written);
    }
    return 0;
}

void copyFile(const QString& source, const QString& target, const PathInfo& info,
              TransferProgress& progress, CopyReport& report) {
    const QByteArray targetBytes = fileNameBytes(target);
    const int in = ::open(fileNameBytes(source).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (in < 0) {
        report.miss(source, errno);
        return;
    }
    // Unbuffered writes: a short write (a full disk) is seen at once with the system's reason.
    const int out =
        ::open(targetBytes.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (out < 0) {
        report.stop(errno);
        ::close(in);
        return;
    }
    std::unique_ptr<char[]> buffer(new char[ChunkSize]);
    int readFailure = 0;
    int writeFailure = 0;
    for (;;) {
        const ssize_t n = ::read(in, buffer.get(), ChunkSize);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            readFailure = n < 0 ? errno : 0;
            break;
        }
        if ((writeFailure = writeAll(out, buffer.get(), std::size_t(n))) != 0)
            break;
        if (!progress.advance(n)) {
            report.stopped = true;
            report.stopReason = QStringLiteral("Cancelled");
            break;
        }
    }
    ::close(in);
    if (!readFailure && !writeFailure && !report.stopped) {
        const timespec times[2] = {{0, UTIME_OMIT}, info.modified};
        ::futimens(out, times);
        ::fchmod(out, info.mode & 0777);
        if (::close(out) != 0)
            report.stop(errno);
        return;
    }
    ::close(out);
    ::unlink(targetBytes.constData());
    if (writeFailure)
        report.stop(writeFailure);
    else if (readFailure)
        report.miss(source, readFailure);
}

// Copies a file, a symbolic link (as a link) or a folder with its contents to a new name. An
// entry that cannot be read is left out and listed; a failed write stops the whole copy.
void copyTree(const QString& source, const QString& target, TransferProgress& progress,
              CopyReport& report) {
    if (report.stopped)
        return;
    const PathInfo info = pathInfo(source, false);
    if (!info.exists) {
        report.miss(source, ENOENT);
        return;
    }
    if (info.isSymLink) {
        QByteArray link(PATH_MAX, Qt::Uninitialized);
        const ssize_t length =
            ::readlink(fileNameBytes(source).constData(), link.data(), std::size_t(link.size()));
        if (length < 0) {
            report.miss(source, errno);
            return;
        }
        link.truncate(length);
        if (::symlink(link.constData(), fileNameBytes(target).constData()) != 0)
            report.stop(errno);
        return;
    }
    if (info.isFile) {
        copyFile(source, target, info, progress, report);
        return;
    }
    if (!info.isDir) {
        report.missing << CopyReport::failureLine(source, QStringLiteral("Not a file or folder"));
        return;
    }
    QStringList names;
    if (!namesIn(source, &names)) {
        report.miss(source, errno);
        return;
    }
    const QByteArray targetBytes = fileNameBytes(target);
    if (::mkdir(targetBytes.constData(), 0700) != 0) {
        report.stop(errno);
        return;
    }
    for (const QString& name : names)
        copyTree(childPath(source, name), childPath(target, name), progress, report);
    // Last, so that a read-only source folder still lets us fill the copy.
    ::chmod(targetBytes.constData(), info.mode & 0777);
}

// Removes an entry, a folder deepest first; what could not go is listed in `left`.
void removeTree(const QString& path, QStringList& left) {
    const QByteArray bytes = fileNameBytes(path);
    if (!isRealDir(path)) {
        if (::unlink(bytes.constData()) != 0)
            left << CopyReport::failureLine(path, errno);
        return;
    }
    const qsizetype before = left.size();
    QStringList names;
    if (!namesIn(path, &names))
        left << CopyReport::failureLine(path, errno);
    for (const QString& name : names)
        removeTree(childPath(path, name), left);
    // A folder left with contents named above is not named again.
    if (::rmdir(bytes.constData()) != 0 && left.size() == before)
        left << CopyReport::failureLine(path, errno);
}

} // namespace

namespace {

bool g_movesCrossFileSystems = false;

// Puts `replacement` (on the target's file system) in the target's place: 0, or the error
// number. A folder it replaces is first set aside, so that it comes back whenever the swap
// fails, and goes only once the swap is done.
int putInPlace(const QString& replacement, const QString& target) {
    const bool replacing = isEntry(target) && (isRealDir(target) || isRealDir(replacement));
    int code = 0;
    // rename(2) replaces a file by itself.
    if (!replacing)
        return renameEntry(replacement, target, &code) ? 0 : code;
    const QString aside = freeSiblingName(folderOf(target), fileNameOf(target));
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
                               TransferProgress& progress, QStringList* failures, bool wholeOnly) {
    // Built under a hidden name first, so a failed copy never harms what it would replace.
    const QString temporary = freeSiblingName(folderOf(target), fileNameOf(target));
    CopyReport report;
    copyTree(source, temporary, progress, report);
    const bool built = isEntry(temporary);
    const bool partial = !report.missing.isEmpty();
    // A copy with entries left out takes the place of nothing (a move must not lose them, a
    // replaced item must not give way to less), but a new copy keeps what did arrive.
    if (report.stopped || !built || (partial && (wholeOnly || isEntry(target)))) {
        if (built)
            removeForGood(temporary);
        if (report.stopped)
            *failures << CopyReport::failureLine(source, report.stopReason);
        else if (built)
            *failures << CopyReport::failureLine(
                source, QStringLiteral("Some of its contents could not be read:"));
        *failures << report.missing;
        return false;
    }
    if (const int code = putInPlace(temporary, target)) {
        *failures << CopyReport::failureLine(source, code);
        removeForGood(temporary);
        return false;
    }
    *failures << report.missing;
    return !partial;
}

bool FileOperations::moveEntry(const QString& source, const QString& target,
                               TransferProgress& progress, QStringList* failures) {
    const int code = g_movesCrossFileSystems ? EXDEV : putInPlace(source, target);
    if (code == 0)
        return true;
    if (code != EXDEV) {
        *failures << CopyReport::failureLine(source, code);
        return false;
    }
    // Another file system: a whole copy takes the target's place, then the original goes.
    if (!copyEntry(source, target, progress, failures, true))
        return false;
    QString error;
    if (removeForGood(source, &error))
        return true;
    *failures << CopyReport::failureLine(source, error);
    return false;
}

bool FileOperations::transfer(const QStringList& sources, const QString& folder, Mode mode) {
    const QString destination = absolutePath(folder);
    const bool copying = mode == Mode::Copy;
    const QString verb = copying ? QStringLiteral("copy") : QStringLiteral("move");
    if (!isDirectory(destination)) {
        dialogs().error(
            QStringLiteral("Cannot %1 into %2: not a folder").arg(verb, quoted(folder)));
        return false;
    }

    qint64 total = 0;
    if (copying)
        for (const QString& source : sources)
            total += sizeOfTree(absolutePath(source));
    TransferProgress progress(m_parent, total, m_progressThreshold);

    QStringList failures;
    bool skipped = false;
    for (const QString& path : sources) {
        const QString source = absolutePath(path);
        const QString name = nameOf(source);
        if (!isEntry(source)) {
            failures << quoted(source) + QStringLiteral(": No such file or folder");
            continue;
        }
        if (isRealDir(source) &&
            (destination == source || destination.startsWith(source + QLatin1Char('/')))) {
            failures << quoted(source) +
                            QStringLiteral(": Cannot %1 a folder into itself").arg(verb);
            continue;
        }
        QString target = childPath(destination, name);
        if (folderOf(source) == destination) {
            if (!copying)
                continue;
            target = childPath(destination, duplicateName(destination, name));
        } else if (isEntry(target)) {
            if (!dialogs().confirm(QStringLiteral("%1 already holds %2. Replace it?")
                                       .arg(quoted(destination), quoted(name)))) {
                skipped = true;
                continue;
            }
        }
        progress.setItem(name);
        // Each names what it could not do in `failures`.
        if (copying)
            copyEntry(source, target, progress, &failures, false);
        else
            moveEntry(source, target, progress, &failures);
        if (progress.cancelled())
            return false;
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
    if (!isEntry(path)) {
        if (error)
            *error = QStringLiteral("No such file or folder");
        return false;
    }
    return Trash::moveToTrash(path, error);
}

bool FileOperations::removeForGood(const QString& path, QString* error) {
    if (!isEntry(path)) {
        if (error)
            *error = QStringLiteral("No such file or folder");
        return false;
    }
    if (!isRealDir(path)) {
        if (::unlink(fileNameBytes(path).constData()) == 0)
            return true;
        if (error)
            *error = qt_error_string(errno);
        return false;
    }
    QStringList left;
    removeTree(path, left);
    if (left.isEmpty())
        return true;
    if (error)
        *error = QStringLiteral("Some of its contents could not be deleted:\n") +
                 left.join(QLatin1Char('\n'));
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
        if (!isEntry(childPath(folder, candidate)))
            return candidate;
    }
}

// Where the file system lacks RENAME_NOREPLACE: a hard link (which fails on an existing name),
// then removing the old name.

} // namespace quillon
