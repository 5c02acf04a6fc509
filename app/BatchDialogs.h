// The dialogs of the commands on the selected files: Edit Selected Files, the two pattern
// commands (tags from file names, file names from tags) with their live preview, and Number
// Tracks. They only gather what the user wants; the window plans and runs the batch.
#pragma once

#include <QDialog>
#include <QMap>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QSpinBox;
class QTableWidget;

namespace quillon {

// Field key ("title") -> text.
using FieldValues = QMap<QString, QString>;

// A field a dialog offers for one tag.
struct DialogField {
    QString key;
    QString caption;
};

// The check boxes that choose the tags a batch writes: "chID3v1", "chID3v2".
class TagBoxes {
public:
    TagBoxes(QWidget* parent, bool id3v1, bool id3v2);
    bool id3v1() const;
    bool id3v2() const;
    QWidget* widget() const { return m_widget; }
    QCheckBox* box(int version) const { return m_boxes[version - 1]; }

private:
    QWidget* m_widget;
    QCheckBox* m_boxes[2];
};

// "Edit Selected Files...": both tags' fields side by side. A field shows the value every
// file shares, or is empty with the placeholder "(different values)"; only the fields the
// user edits are written, to the tags that are checked.
class EditFilesDialog : public QDialog {
    Q_OBJECT

public:
    static const QString DifferentValues;

    // `values[v]` holds each file's fields of tag v (0: ID3v1, 1: ID3v2); a file without the
    // tag has empty fields.
    EditFilesDialog(QWidget* parent, const std::vector<DialogField> (&fields)[2],
                    const std::vector<FieldValues> (&values)[2]);

    // The fields the user changed in a checked tag; nothing for an unchecked tag.
    std::optional<FieldValues> changes(int version) const;
    // The edit of a field ("edID3v2_album").
    QLineEdit* edit(int version, const QString& key) const;

private:
    struct Entry {
        QLineEdit* edit;
        QString key;
        bool shared; // every file holds the same value, which the edit started with
        QString value;
    };
    std::vector<Entry> m_entries[2];
    TagBoxes m_tags;
};

// A preview row: the cells to show and, for a row that is skipped or blocks the run, why.
struct PreviewRow {
    QStringList cells;
    QString note;
    bool blocks = false; // a collision: nothing may run while one is shown
};

struct Preview {
    QString error; // the pattern itself is wrong
    QStringList headers;
    std::vector<PreviewRow> rows;
};

// A pattern with the recent ones to pick from ("bcPattern"), the placeholders it may hold, and
// a table ("tvPreview") that shows what the pattern would do to each file as it is typed.
class PatternDialog : public QDialog {
    Q_OBJECT

public:
    // What the pattern does with the tags chosen (ID3v1, ID3v2).
    using Previewer = std::function<Preview(const QString& pattern, bool id3v1, bool id3v2)>;

    PatternDialog(QWidget* parent, const QString& title, const QStringList& recent,
                  const QStringList& placeholders, bool choosesTags, Previewer previewer);

    QString pattern() const;
    // The tags to fill, for a dialog that fills tags.
    bool id3v1() const;
    bool id3v2() const;

private:
    void updatePreview();

    QComboBox* m_pattern;
    QTableWidget* m_preview;
    QLabel* m_status;
    QDialogButtonBox* m_buttons;
    std::optional<TagBoxes> m_tags;
    Previewer m_previewer;
};

// "Number Tracks...": the files in the list's order from a start number ("sbStart"), with or
// without "/total" ("chTotal").
class NumberTracksDialog : public QDialog {
    Q_OBJECT

public:
    NumberTracksDialog(QWidget* parent, int files);
    int start() const;
    bool withTotal() const;
    bool id3v1() const;
    bool id3v2() const;

private:
    QSpinBox* m_start;
    QCheckBox* m_total;
    TagBoxes m_tags;
};

} // namespace quillon
