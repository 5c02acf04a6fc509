// One row of an InspectorGrid: a caption and a text value, shown as plain text, a pick list, a
// link or a check box; a composite row shows its member rows side by side on one line.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <Qt>

namespace quillon {

class InspectorCell;
class InspectorGrid;

class InspectorRow {
public:
    enum class Kind { Text, Pick, Hyperlink, Check, Composite };

    // A member of a composite row. A width of 0 takes what the line leaves over.
    struct Member {
        InspectorRow* row;
        int width;
        int minWidth;
        QString fitText; // a text the member's cell always shows whole, in the grid's font
    };

    InspectorRow(const InspectorRow&) = delete;
    InspectorRow& operator=(const InspectorRow&) = delete;
    ~InspectorRow();

    InspectorGrid* grid() const { return m_grid; }
    const QString& name() const { return m_name; }
    Kind kind() const { return m_kind; }
    // Position in the grid's declared collection, independent of the display order.
    int index() const { return m_index; }

    const QString& caption() const { return m_caption; }
    void setCaption(const QString& caption);

    // While the row is edited this is the typed text.
    const QString& text() const { return m_text; }
    void setText(const QString& text);

    bool isReadOnly() const { return m_readOnly; }
    void setReadOnly(bool readOnly);

    // Edited in a dialog of the window's own instead of in place: starting an edit asks the
    // grid's dialogEditRequested.
    bool editsInDialog() const { return m_editsInDialog; }
    void setEditsInDialog(bool on) { m_editsInDialog = on; }

    Qt::Alignment alignment() const { return m_alignment; }
    void setAlignment(Qt::Alignment alignment);

    // Shown as a line of its own or, for a member, as part of a shown composite. Making a row
    // visible adds it after the last shown line; members cannot be shown on their own.
    bool isVisible() const;
    void setVisible(bool visible);

    // Check rows: the text that checks the box and the one that clears it; any other text
    // shows the third, greyed state.
    const QString& checkedValue() const { return m_checkedValue; }
    const QString& uncheckedValue() const { return m_uncheckedValue; }
    void setCheckValues(const QString& checked, const QString& unchecked);
    Qt::CheckState checkState() const;

    // Pick rows: the drop-down shows these sorted alphabetically; free text is allowed too.
    const QStringList& pickItems() const { return m_pickItems; }
    void setPickItems(const QStringList& items);

    // Composite rows.
    void addMember(InspectorRow* member, int width, int minWidth = 0,
                   const QString& fitText = QString());
    const QList<Member>& members() const { return m_members; }
    // The composite this row is a member of, or nullptr.
    InspectorRow* composite() const { return m_composite; }

private:
    friend class InspectorGrid;
    InspectorRow(InspectorGrid* grid, const QString& name, const QString& caption, Kind kind,
                 int index);

    InspectorGrid* m_grid;
    QString m_name;
    QString m_caption;
    Kind m_kind;
    int m_index;
    QString m_text;
    bool m_readOnly = false;
    bool m_editsInDialog = false;
    Qt::Alignment m_alignment = Qt::AlignLeft;
    QString m_checkedValue = QStringLiteral("True");
    QString m_uncheckedValue = QStringLiteral("False");
    QStringList m_pickItems;
    QList<Member> m_members;
    InspectorRow* m_composite = nullptr;
    InspectorCell* m_cell = nullptr;
};

} // namespace quillon
