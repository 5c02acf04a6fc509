// The entries of one folder on disk as the file list shows them: Name, Size, Type and Date
// Modified, folders first. A worker thread reads the folder by its bytes (every name, valid
// UTF-8 or not), stats and sorts the entries there, and the rows reach the views in bounded
// steps, so that a folder of 100,000 files never blocks the window. The folder is watched
// (FolderWatch) and re-read after a burst of changes; the rows are then merged, so that selection
// and current item stay where they were.
#pragma once

#include "ui/FileColumns.h"

#include <QAbstractTableModel>
#include <QCollatorSortKey>
#include <QHash>
#include <QIcon>
#include <QTimer>
#include <memory>
#include <vector>

namespace quillon {

class FolderWatch;

// One entry of the folder as the list shows it.
struct ListedEntry {
    enum Kind : quint8 { File, Folder, Drive, Other };

    QString name;      // the exact bytes, as FileName.h carries them
    QString shownName; // what the user sees
    QString type;
    QString suffix; // lower case; the key of the file's icon
    // Of the shown name; shared, since the key itself has no cheap move.
    std::shared_ptr<const QCollatorSortKey> key;
    qint64 size = 0;
    qint64 modifiedMs = 0;
    // Of a file, when columns from inside the files are shown; shared, as the key.
    std::shared_ptr<const FileColumnValues> values;
    Kind kind = File;

    bool isFolder() const { return kind == Folder || kind == Drive; }
};

class FolderModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column {
        NameColumn,
        SizeColumn,
        TypeColumn,
        DateColumn,
        FirstFileColumn, // then the FileColumns, in their order
        ColumnCount = FirstFileColumn + FileColumnCount
    };

    // `reader` reads the `wanted` file columns of each file on the worker threads.
    explicit FolderModel(const QString& folder, QObject* parent = nullptr,
                         FileColumnReader reader = {}, FileColumnSet wanted = 0);
    ~FolderModel() override;

    QString folder() const { return m_folder; }
    // True once the first reading has reached the views whole.
    bool isFilled() const { return m_filled; }
    // Reads the folder again now (the watch does so by itself after changes).
    void reread();
    // Columns wanted from inside the files; those not read yet are read by a new reading.
    void setWantedColumns(FileColumnSet wanted);

    const ListedEntry& entry(int row) const { return m_rows[size_t(row)]; }
    QString path(int row) const;
    // The row of an entry by its exact name; -1 when there is none.
    int rowOfName(const QString& name) const;
    // Makes a folder in this one and shows it at once; its row, or -1 (errno set).
    int makeFolder(const QString& name);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Renames the entry on disk (never over another one); false when the file system refuses.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

signals:
    // The first reading is shown whole.
    void filled();

private:
    void startReading();
    // `entries` are sorted by `column` and `order`.
    void takeListing(std::vector<ListedEntry> entries, bool complete, int column,
                     Qt::SortOrder order);
    void insertNextStep();
    void mergeListing(std::vector<ListedEntry> fresh);
    bool lessThan(const ListedEntry& a, const ListedEntry& b) const;
    int insertionRow(const ListedEntry& entry) const;
    QIcon iconOf(const ListedEntry& entry) const;
    void describe(ListedEntry& entry) const;
    void placeRow(int row);
    void flushPending();

    QString m_folder;
    std::vector<ListedEntry> m_rows;
    std::vector<ListedEntry> m_pending; // read, not yet handed to the views
    size_t m_pendingAt = 0;
    size_t m_step = 0; // rows handed over in the next step
    bool m_filled = false;
    bool m_reading = false;
    bool m_rereadWanted = false;
    int m_sortColumn = NameColumn;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    FileColumnReader m_reader;
    FileColumnSet m_wanted = 0;
    FileColumnSet m_readColumns = 0; // wanted when the last reading began
    std::shared_ptr<bool> m_alive;   // cleared when the model goes; the worker checks it
    FolderWatch* m_watch;
    QTimer m_changeTimer;
    mutable QHash<QString, QIcon> m_iconBySuffix;
};

} // namespace quillon
