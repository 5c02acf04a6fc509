#include "ui/ShellComboBox.h"

#include "shell/ShellChain.h"
#include "shell/ShellServices.h"
#include "ui/ShellListView.h"

#include <QStyledItemDelegate>

namespace quillon {

namespace {

constexpr int IndentStep = 10;

// Indents each entry of the drop-down by its depth in the namespace.
class IndentDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem indented(option);
        indented.rect.adjust(index.data(ShellComboBox::IndentRole).toInt() * IndentStep, 0, 0, 0);
        QStyledItemDelegate::paint(painter, indented, index);
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.rwidth() += index.data(ShellComboBox::IndentRole).toInt() * IndentStep;
        return size;
    }
};

} // namespace

ShellComboBox::ShellComboBox(QWidget* parent) : QComboBox(parent) {
    setAccessibleName(QStringLiteral("Drive and folder"));
    setItemDelegate(new IndentDelegate(this));
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    setMinimumContentsLength(8);
    connect(this, &QComboBox::activated, this, &ShellComboBox::entryChosen);
    showFolder(ShellItem::DesktopParsingName);
}

void ShellComboBox::setList(ShellListView* list) {
    if (m_list)
        disconnect(m_list, nullptr, this, nullptr);
    m_list = list;
    if (!list)
        return;
    connect(list, &ShellListView::folderChanged, this, &ShellComboBox::showFolder);
    if (!list->folder().isNull())
        showFolder(list->folderPath());
}

void ShellComboBox::showFolder(const QString& parsingPath) {
    const ShellItem target = shellServices().resolve(parsingPath);
    const QList<ShellItem> chain = shellChainTo(target);
    m_filling = true;
    clear();
    const ShellItem desktop = ShellItem::desktop();
    addItem(desktop.icon(), desktop.displayName(), desktop.parsingPath());
    setItemData(0, 0, IndentRole);
    int current = 0;
    for (const ShellItem& child : shellServices().desktopChildren()) {
        addItem(child.icon(), child.displayName(), child.parsingPath());
        setItemData(count() - 1, 1, IndentRole);
        if (!chain.isEmpty() && chain.first().parsingPath() == child.parsingPath()) {
            current = count() - 1;
            for (int depth = 1; depth < chain.size(); ++depth) {
                const ShellItem& step = chain[depth];
                addItem(step.icon(), step.displayName(), step.parsingPath());
                setItemData(count() - 1, depth + 1, IndentRole);
                current = count() - 1;
            }
        }
    }
    setCurrentIndex(current);
    m_filling = false;
}

QString ShellComboBox::entryPath(int index) const {
    return itemData(index, PathRole).toString();
}

int ShellComboBox::entryIndent(int index) const {
    return itemData(index, IndentRole).toInt();
}

void ShellComboBox::dropDownAndFocus() {
    setFocus(Qt::OtherFocusReason);
    showPopup();
}

void ShellComboBox::entryChosen(int index) {
    if (m_filling || !m_list)
        return;
    const QString path = entryPath(index);
    if (path == m_list->folderPath())
        return;
    m_list->setFolder(path);
}

} // namespace quillon
