#include "ui/FolderModel.h"

#include "shell/FileName.h"
#include "shell/FileOperations.h"
#include "shell/FolderEntries.h"
#include "shell/FolderWatch.h"
#include "shell/PathInfo.h"

#include <QCollator>
#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFileIconProvider>
#include <QLocale>
#include <QMimeDatabase>
#include <QPointer>
#include <QSet>
#include <QThreadPool>
#include <algorithm>
#include <sys/stat.h>
#include <thread>

namespace quillon {

namespace {

// The rows handed to the views in the first turn of the event loop; each later turn hands as
// many as fit in StepBudgetNs by the time the last step took, within MinStepRows and
// MaxStepRows. A view lays out all its rows after each step (about 7 ms for 100,000 rows), in
// the same turn at worst: budget and layout stay within one frame at 60 Hz. Fewer, larger steps
// would mean fewer layouts but longer pauses.
constexpr size_t FirstStepRows = 2000;
constexpr size_t MinStepRows = 256;
constexpr size_t MaxStepRows = 16384;
constexpr qint64 StepBudgetNs = 6'000'000;
constexpr int ChangeSettleMs = 100; // a burst of changes on disk is followed once

// Shared by the worker and the GUI thread; each has its own instances.
struct Describer {
    QCollator collator;
    QMimeDatabase mimes;
    QHash<QString, QString> typeBySuffix;

    Describer() {
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        collator.setNumericMode(true);
    }

    // The suffix as the desktop reads it: what follows the last dot.
    static QString suffixOf(const QString& name) {
        const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
        return dot < 0 ? QString() : name.mid(dot + 1).toLower();
    }

    void describe(ListedEntry& entry) {
        entry.shownName = displayFileName(entry.name);
        entry.key = std::make_shared<const QCollatorSortKey>(collator.sortKey(entry.shownName));
        entry.suffix = entry.isFolder() ? QString() : suffixOf(entry.shownName);
        switch (entry.kind) {
        case ListedEntry::Folder:
            entry.type = QStringLiteral("Folder");
            return;
        case ListedEntry::Drive:
            entry.type = QStringLiteral("Drive");
            return;
        default:
            break;
        }
        auto found = typeBySuffix.constFind(entry.suffix);
        if (found == typeBySuffix.constEnd()) {
            // By the name alone: reading every file's content would cost a read per file.
            const QMimeType mime =
                mimes.mimeTypeForFile(entry.shownName, QMimeDatabase::MatchExtension);
            QString type = mime.isDefault() ? QString() : mime.comment();
            if (type.isEmpty())
                type = entry.suffix.isEmpty() ? QStringLiteral("File")
                                              : entry.suffix.toUpper() + QStringLiteral(" File");
            found = typeBySuffix.insert(entry.suffix, type);
        }
        entry.type = *found;
    }
};

// What stat says of one entry: links are followed, a broken one is shown as itself. False when
// the entry is gone.
bool statEntry(const QString& path, dev_t folderDevice, ListedEntry& entry) {
    const PathInfo info = pathInfo(path);
    if (!info.exists)
        return false;
    if (info.isDir)
        entry.kind = info.device != folderDevice ? ListedEntry::Drive : ListedEntry::Folder;
    else if (info.isFile)
        entry.kind = ListedEntry::File;
    else
        entry.kind = ListedEntry::Other;
    entry.size = info.isDir ? 0 : qint64(info.size);
    entry.modifiedMs = qint64(info.modified.tv_sec) * 1000 + info.modified.tv_nsec / 1000000;
    return true;
}

// Every entry of the folder but "." and "..", hidden ones included; `complete` is false when
// the folder could not be read to its end. The names come first; stating and describing them,
// the costly part, is shared by two threads.
std::vector<ListedEntry> readEntries(const QString& folder, bool* complete,
                                     const FileColumnReader& reader, FileColumnSet wanted) {
    std::vector<ListedEntry> entries;
    const PathInfo self = pathInfo(folder);
    *complete = forEachEntry(folder, [&entries](const DirectoryEntry& found) {
        entries.emplace_back().name = found.name;
        return true;
    });
    std::vector<char> present(entries.size(), 0);
    const auto describeRange = [&](size_t from, size_t to) {
        Describer describer;
        for (size_t i = from; i < to; ++i) {
            ListedEntry& entry = entries[i];
            if (!statEntry(childPath(folder, entry.name), self.device, entry))
                continue; // gone since the folder was read
            describer.describe(entry);
            if (wanted && reader && entry.kind == ListedEntry::File)
                entry.values = std::make_shared<const FileColumnValues>(
                    reader(childPath(folder, entry.name), wanted));
            present[i] = 1;
        }
    };
    const size_t half = entries.size() / 2;
    if (entries.size() >= 2000) {
        std::thread helper(describeRange, half, entries.size());
        describeRange(0, half);
        helper.join();
    } else {
        describeRange(0, entries.size());
    }
    size_t kept = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (present[i])
            entries[kept++] = std::move(entries[i]);
    }
    entries.resize(kept);
    return entries;
}

int compareNumbers(qint64 a, qint64 b) {
    return a < b ? -1 : a > b ? 1 : 0;
}

// Entries without values (folders, files not read) sort as files without the field.
int compareFileColumn(const ListedEntry& a, const ListedEntry& b, int index) {
    static const FileColumnValues none;
    const FileColumnValues& x = a.values ? *a.values : none;
    const FileColumnValues& y = b.values ? *b.values : none;
    if (FileColumns[size_t(index)].numeric)
        return compareNumbers(x.number[size_t(index)], y.number[size_t(index)]);
    return x.text[size_t(index)].compare(y.text[size_t(index)], Qt::CaseInsensitive);
}

// Folders first, whatever the order; then by the column, then by name.
bool entryLess(const ListedEntry& a, const ListedEntry& b, int column, Qt::SortOrder order) {
    if (a.isFolder() != b.isFolder())
        return a.isFolder();
    const int byName = a.key->compare(*b.key);
    int by = 0;
    if (column >= FolderModel::FirstFileColumn)
        by = compareFileColumn(a, b, column - FolderModel::FirstFileColumn);
    switch (column) {
    case FolderModel::SizeColumn:
        by = compareNumbers(a.size, b.size);
        break;
    case FolderModel::TypeColumn:
        by = a.type.compare(b.type, Qt::CaseInsensitive);
        break;
    case FolderModel::DateColumn:
        by = compareNumbers(a.modifiedMs, b.modifiedMs);
        break;
    default:
        break;
    }
    if (by == 0)
        by = byName != 0 ? byName : a.name.compare(b.name); // same key: the bytes decide
    return order == Qt::AscendingOrder ? by < 0 : by > 0;
}

} // namespace

FolderModel::FolderModel(const QString& folder, QObject* parent, FileColumnReader reader,
                         FileColumnSet wanted)
    : QAbstractTableModel(parent), m_folder(folder), m_reader(std::move(reader)), m_wanted(wanted),
      m_alive(std::make_shared<bool>(true)),
      m_watch(new FolderWatch(FolderWatch::Watch::NamesAndContents, this)) {
    m_changeTimer.setSingleShot(true);
    m_changeTimer.setInterval(ChangeSettleMs);
    connect(&m_changeTimer, &QTimer::timeout, this, &FolderModel::reread);
    connect(m_watch, &FolderWatch::directoryChanged, this, [this] {
        // Not restarted by each change: a file written for minutes still shows its growth.
        if (!m_changeTimer.isActive())
            m_changeTimer.start();
    });
    m_watch->addPath(m_folder);
    startReading();
}

FolderModel::~FolderModel() {
    *m_alive = false;
}

void FolderModel::reread() {
    if (m_reading || !m_filled) {
        m_rereadWanted = true;
        return;
    }
    startReading();
}

void FolderModel::setWantedColumns(FileColumnSet wanted) {
    const bool unread = (wanted & ~m_readColumns) != 0;
    m_wanted = wanted;
    if (unread && m_reader)
        reread();
}

void FolderModel::startReading() {
    m_reading = true;
    m_rereadWanted = false;
    m_readColumns = m_wanted;
    const QString folder = m_folder;
    const std::shared_ptr<bool> alive = m_alive;
    const QPointer<FolderModel> self(this);
    const int column = m_sortColumn;
    const Qt::SortOrder order = m_sortOrder;
    const FileColumnReader reader = m_reader;
    const FileColumnSet wanted = m_wanted;
    QThreadPool::globalInstance()->start([folder, alive, self, column, order, reader, wanted] {
        if (!*alive)
            return;
        // An unreadable folder lists as empty, as it looks to the user.
        bool complete = false;
        auto entries = std::make_shared<std::vector<ListedEntry>>(
            readEntries(folder, &complete, reader, wanted));
        // Sorted here, off the GUI thread, by the order asked for when the reading began.
        std::sort(entries->begin(), entries->end(),
                  [&](const ListedEntry& a, const ListedEntry& b) {
                      return entryLess(a, b, column, order);
                  });
        QMetaObject::invokeMethod(
            qApp,
            [self, entries, complete, column, order] {
                if (self)
                    self->takeListing(std::move(*entries), complete, column, order);
            },
            Qt::QueuedConnection);
    });
}

void FolderModel::takeListing(std::vector<ListedEntry> entries, bool complete, int column,
                              Qt::SortOrder order) {
    m_reading = false;
    if (!complete && m_filled && !entries.empty()) {
        // A reading cut short by an error would drop the rows of entries still there: the rows
        // shown stay until the next change reads the folder again.
        if (m_rereadWanted)
            startReading();
        return;
    }
    if (column != m_sortColumn || order != m_sortOrder) // the order changed while the worker read
        std::sort(entries.begin(), entries.end(),
                  [this](const ListedEntry& a, const ListedEntry& b) { return lessThan(a, b); });
    if (!m_filled) {
        m_pending = std::move(entries);
        m_pendingAt = 0;
        m_step = FirstStepRows;
        insertNextStep();
        return;
    }
    mergeListing(std::move(entries));
    if (m_rereadWanted)
        startReading();
}

void FolderModel::insertNextStep() {
    const size_t count = std::min(m_pending.size() - m_pendingAt, m_step);
    if (count > 0) {
        QElapsedTimer clock;
        clock.start();
        if (m_rows.empty())
            m_rows.reserve(m_pending.size());
        const int first = int(m_rows.size());
        beginInsertRows({}, first, first + int(count) - 1);
        std::move(m_pending.begin() + qsizetype(m_pendingAt),
                  m_pending.begin() + qsizetype(m_pendingAt + count), std::back_inserter(m_rows));
        m_pendingAt += count;
        endInsertRows();
        const qint64 perRow = std::max<qint64>(1, clock.nsecsElapsed() / qint64(count));
        m_step = std::clamp(size_t(StepBudgetNs / perRow), MinStepRows, MaxStepRows);
    }
    if (m_pendingAt < m_pending.size()) {
        QTimer::singleShot(0, this, &FolderModel::insertNextStep);
        return;
    }
    m_pending.clear();
    m_pending.shrink_to_fit();
    if (m_filled)
        return;
    m_filled = true;
    emit filled();
    if (m_rereadWanted)
        startReading();
}

void FolderModel::flushPending() {
    if (m_filled)
        return;
    // Rows made by the user go to their sorted place: everything read goes in first.
    while (!m_filled && !m_pending.empty())
        insertNextStep();
    if (!m_filled && !m_reading) {
        m_filled = true;
        emit filled();
    }
}

void FolderModel::mergeListing(std::vector<ListedEntry> fresh) {
    QHash<QString, int> freshRow;
    freshRow.reserve(qsizetype(fresh.size()));
    for (size_t i = 0; i < fresh.size(); ++i)
        freshRow.insert(fresh[i].name, int(i));

    // Entries gone, in runs from the end so that the rows before stay where they are.
    for (int row = int(m_rows.size()) - 1; row >= 0;) {
        if (freshRow.contains(m_rows[size_t(row)].name)) {
            --row;
            continue;
        }
        int first = row;
        while (first > 0 && !freshRow.contains(m_rows[size_t(first - 1)].name))
            --first;
        beginRemoveRows({}, first, row);
        m_rows.erase(m_rows.begin() + first, m_rows.begin() + row + 1);
        endRemoveRows();
        row = first - 1;
    }

    // Entries that changed: new contents, or a file that became a folder.
    QSet<QString> known;
    known.reserve(qsizetype(m_rows.size()));
    for (int row = 0; row < int(m_rows.size()); ++row) {
        ListedEntry& current = m_rows[size_t(row)];
        known.insert(current.name);
        const ListedEntry& now = fresh[size_t(freshRow.value(current.name))];
        const bool sameValues = now.values == current.values ||
                                (now.values && current.values && *now.values == *current.values);
        if (now.size == current.size && now.modifiedMs == current.modifiedMs &&
            now.kind == current.kind && sameValues)
            continue;
        current = now;
        emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
        placeRow(row);
    }

    // New entries, each at its sorted place.
    for (ListedEntry& entry : fresh) {
        if (known.contains(entry.name))
            continue;
        const int row = insertionRow(entry);
        beginInsertRows({}, row, row);
        m_rows.insert(m_rows.begin() + row, std::move(entry));
        endInsertRows();
    }
}

bool FolderModel::lessThan(const ListedEntry& a, const ListedEntry& b) const {
    return entryLess(a, b, m_sortColumn, m_sortOrder);
}

int FolderModel::insertionRow(const ListedEntry& entry) const {
    const auto at = std::lower_bound(
        m_rows.begin(), m_rows.end(), entry,
        [this](const ListedEntry& a, const ListedEntry& b) { return lessThan(a, b); });
    return int(at - m_rows.begin());
}

void FolderModel::placeRow(int row) {
    const auto less = [this](const ListedEntry& a, const ListedEntry& b) { return lessThan(a, b); };
    const auto at = m_rows.begin() + row;
    // The other rows are in order: the row's place lies among those before it or after it.
    const auto before = std::lower_bound(m_rows.begin(), at, *at, less);
    const auto after = std::lower_bound(at + 1, m_rows.end(), *at, less);
    if (before != at) {
        if (!beginMoveRows({}, row, row, {}, int(before - m_rows.begin())))
            return;
        std::rotate(before, at, at + 1);
    } else if (after != at + 1) {
        if (!beginMoveRows({}, row, row, {}, int(after - m_rows.begin())))
            return;
        std::rotate(at, at + 1, after);
    } else {
        return;
    }
    endMoveRows();
}

QString FolderModel::path(int row) const {
    if (row < 0 || row >= int(m_rows.size()))
        return {};
    return childPath(m_folder, m_rows[size_t(row)].name);
}

int FolderModel::rowOfName(const QString& name) const {
    for (size_t row = 0; row < m_rows.size(); ++row) {
        if (m_rows[row].name == name)
            return int(row);
    }
    return -1;
}

void FolderModel::describe(ListedEntry& entry) const {
    Describer describer;
    describer.describe(entry);
}

int FolderModel::makeFolder(const QString& name) {
    flushPending();
    const QString path = childPath(m_folder, name);
    if (::mkdir(fileNameBytes(path).constData(), 0777) != 0)
        return -1;
    ListedEntry entry;
    entry.name = name;
    statEntry(path, pathInfo(m_folder).device, entry);
    entry.kind = ListedEntry::Folder;
    describe(entry);
    const int existing = rowOfName(name);
    if (existing >= 0)
        return existing;
    const int row = insertionRow(entry);
    beginInsertRows({}, row, row);
    m_rows.insert(m_rows.begin() + row, std::move(entry));
    endInsertRows();
    return row;
}

int FolderModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

int FolderModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QIcon FolderModel::iconOf(const ListedEntry& entry) const {
    // One icon per kind and per suffix, looked up when a row is first drawn.
    const QString key = entry.kind == ListedEntry::Folder  ? QStringLiteral("/folder")
                        : entry.kind == ListedEntry::Drive ? QStringLiteral("/drive")
                                                           : entry.suffix;
    auto found = m_iconBySuffix.constFind(key);
    if (found != m_iconBySuffix.constEnd())
        return *found;
    static const QFileIconProvider provider;
    QIcon icon;
    if (entry.kind == ListedEntry::Folder) {
        icon = provider.icon(QAbstractFileIconProvider::Folder);
    } else if (entry.kind == ListedEntry::Drive) {
        icon = provider.icon(QAbstractFileIconProvider::Drive);
    } else {
        const QMimeType mime =
            QMimeDatabase().mimeTypeForFile(entry.shownName, QMimeDatabase::MatchExtension);
        icon = QIcon::fromTheme(mime.iconName(), QIcon::fromTheme(mime.genericIconName()));
        if (icon.isNull())
            icon = provider.icon(QAbstractFileIconProvider::File);
    }
    m_iconBySuffix.insert(key, icon);
    return icon;
}

QVariant FolderModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= int(m_rows.size()))
        return {};
    const ListedEntry& entry = m_rows[size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case NameColumn:
            return entry.shownName;
        case SizeColumn:
            return entry.isFolder() ? QString() : QLocale().formattedDataSize(entry.size);
        case TypeColumn:
            return entry.type;
        case DateColumn:
            return QLocale().toString(QDateTime::fromMSecsSinceEpoch(entry.modifiedMs),
                                      QLocale::ShortFormat);
        default:
            return entry.values ? entry.values->text[size_t(index.column() - FirstFileColumn)]
                                : QString();
        }
    case Qt::EditRole:
        return index.column() == NameColumn ? QVariant(entry.shownName) : QVariant();
    case Qt::DecorationRole:
        return index.column() == NameColumn ? QVariant(iconOf(entry)) : QVariant();
    case Qt::TextAlignmentRole: {
        const bool numeric = index.column() == SizeColumn ||
                             (index.column() >= FirstFileColumn &&
                              FileColumns[size_t(index.column() - FirstFileColumn)].numeric);
        return numeric ? QVariant(int(Qt::AlignRight | Qt::AlignVCenter)) : QVariant();
    }
    default:
        return {};
    }
}

QVariant FolderModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case NameColumn:
        return QStringLiteral("Name");
    case SizeColumn:
        return QStringLiteral("Size");
    case TypeColumn:
        return QStringLiteral("Type");
    case DateColumn:
        return QStringLiteral("Date Modified");
    default: {
        if (section < FirstFileColumn || section >= ColumnCount)
            return {};
        const std::string_view caption = FileColumns[size_t(section - FirstFileColumn)].caption;
        return QString::fromLatin1(caption.data(), qsizetype(caption.size()));
    }
    }
}

Qt::ItemFlags FolderModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    Qt::ItemFlags flags =
        Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsDragEnabled | Qt::ItemNeverHasChildren;
    if (index.column() == NameColumn)
        flags |= Qt::ItemIsEditable;
    if (m_rows[size_t(index.row())].isFolder())
        flags |= Qt::ItemIsDropEnabled;
    return flags;
}

bool FolderModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !index.isValid() || index.column() != NameColumn)
        return false;
    flushPending();
    const int row = index.row();
    const QString oldName = m_rows[size_t(row)].name;
    const QString newName = fileNameFromDisplay(value.toString(), oldName);
    if (newName == oldName)
        return true;
    if (newName.isEmpty() || newName.contains(QLatin1Char('/')) || newName == QLatin1String(".") ||
        newName == QLatin1String(".."))
        return false;
    const QByteArray from = fileNameBytes(childPath(m_folder, oldName));
    const QByteArray to = fileNameBytes(childPath(m_folder, newName));
    // Never over another entry: a rename that would replace one is refused.
    if (moveWithoutReplacing(childPath(m_folder, oldName), childPath(m_folder, newName)) != 0)
        return false;
    ListedEntry& entry = m_rows[size_t(row)];
    entry.name = newName;
    describe(entry);
    emit dataChanged(this->index(row, 0), this->index(row, ColumnCount - 1));
    placeRow(row);
    return true;
}

void FolderModel::sort(int column, Qt::SortOrder order) {
    if (column < 0 || column >= ColumnCount)
        return;
    if (column == m_sortColumn && order == m_sortOrder)
        return;
    m_sortColumn = column;
    m_sortOrder = order;
    flushPending();
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<QString> names;
    names.reserve(size_t(before.size()));
    for (const QModelIndex& index : before)
        names.push_back(m_rows[size_t(index.row())].name);
    std::stable_sort(m_rows.begin(), m_rows.end(),
                     [this](const ListedEntry& a, const ListedEntry& b) { return lessThan(a, b); });
    QHash<QString, int> rowOf;
    rowOf.reserve(qsizetype(m_rows.size()));
    for (size_t row = 0; row < m_rows.size(); ++row)
        rowOf.insert(m_rows[row].name, int(row));
    QModelIndexList after;
    after.reserve(before.size());
    for (qsizetype i = 0; i < before.size(); ++i)
        after.append(index(rowOf.value(names[size_t(i)]), before[i].column()));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

} // namespace quillon
