// Copying, moving and deleting file-system items the way a file manager does: it asks
// before replacing or deleting, shows progress for large copies and reports every
// failure in one error box. Folders are handled with their whole contents, read by the bytes
// of their names; an entry a copy could not read is named, never silently left out.
#pragma once

#include "shell/PathInfo.h"

#include <QString>
#include <QStringList>

class QWidget;

namespace quillon {

class TransferProgress;

class FileOperations {
public:
    enum class Mode { Copy, Move };

    explicit FileOperations(QWidget* parent = nullptr) : m_parent(parent) {}

    // Copies or moves the items into `folder`. A copy into an item's own folder makes
    // a duplicate "name (copy).ext"; a move there leaves the item alone. An existing
    // name is replaced only after a Yes. True when every item arrived.
    bool transfer(const QStringList& sources, const QString& folder, Mode mode);
    // Moves the items to the trash, or deletes them for good, after one confirmation
    // naming the item (or the count). True when every item went.
    bool remove(const QStringList& paths, bool permanent);

    // Copies of this many bytes or more show a progress dialog.
    void setProgressThreshold(qint64 bytes) { m_progressThreshold = bytes; }

    // The single steps, without questions or boxes.
    static bool moveToTrash(const QString& path, QString* error = nullptr);
    static bool removeForGood(const QString& path, QString* error = nullptr);
    // "song (copy).mp3", then "song (copy 2).mp3"..., the first name free in `folder`.
    static QString duplicateName(const QString& folder, const QString& name);

    // For tests: every move takes the way of a move to another file system (copy, then
    // remove the original).
    static void setMovesCrossFileSystems(bool cross);

private:
    // Each adds the lines of its error box to `failures`. A copy that must arrive whole (that
    // of a move) takes no place with any entry left out.
    bool copyEntry(const QString& source, const QString& target, TransferProgress& progress,
                   QStringList* failures, bool wholeOnly);
    bool moveEntry(const QString& source, const QString& target, TransferProgress& progress,
                   QStringList* failures);

    QWidget* m_parent;
    qint64 m_progressThreshold = 16 * 1024 * 1024;
};

} // namespace quillon
