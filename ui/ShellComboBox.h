// The drive and folder combo: the Desktop, its children, and the chain of folders down to the
// folder a bound file list shows, each indented under its parent. Choosing an entry lists it.
#pragma once

#include "shell/ShellItem.h"

#include <QComboBox>
#include <QPointer>

namespace quillon {

class ShellListView;

class ShellComboBox : public QComboBox {
    Q_OBJECT

public:
    enum Role { PathRole = Qt::UserRole, IndentRole };

    explicit ShellComboBox(QWidget* parent = nullptr);

    void setList(ShellListView* list);
    ShellListView* list() const { return m_list; }

    // Rebuilds the entries around a folder and makes it the current entry.
    void showFolder(const QString& parsingPath);
    QString entryPath(int index) const;
    int entryIndent(int index) const;

    void dropDownAndFocus();

private:
    void entryChosen(int index);

    QPointer<ShellListView> m_list;
    bool m_filling = false;
};

} // namespace quillon
