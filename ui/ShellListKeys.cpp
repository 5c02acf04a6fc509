// The file list's keys: first offered to the filters installed on the list (the window's),
// then the list's own, then the inner view's.
#include "ui/ShellListPane.h"
#include "ui/ShellTreeView.h"

#include <QCoreApplication>

namespace quillon {

namespace {

// Keys that move through the list: Page Up to the arrows, and the keypad digits 1 to 9 (keypad
// 0 is not among them).
bool movesThroughList(const QKeyEvent* event) {
    const int key = event->key();
    switch (key) {
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_End:
    case Qt::Key_Home:
    case Qt::Key_Left:
    case Qt::Key_Up:
    case Qt::Key_Right:
    case Qt::Key_Down:
        return true;
    default:
        return key >= Qt::Key_1 && key <= Qt::Key_9 &&
               event->modifiers().testFlag(Qt::KeypadModifier);
    }
}

} // namespace

bool ShellListView::ownKey(QKeyEvent* event) {
    if (isEditing())
        return false;
    if (event->type() == QEvent::KeyPress) {
        // The item views would copy an item's name as text.
        if (event->matches(QKeySequence::Copy))
            copySelected();
        else if (event->matches(QKeySequence::Cut))
            cutSelected();
        else if (event->matches(QKeySequence::Paste))
            paste();
        else
            return false;
        return true;
    }
    // Commands act when their key goes up, once for a held key.
    if (event->isAutoRepeat())
        return false;
    switch (event->key()) {
    case Qt::Key_Backspace:
        upOneLevel();
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter: {
        const ShellItem item = currentItem();
        if (!item.isNull() && item.isFileSystem() && item.isFolder())
            setFolder(item.parsingPath());
        break;
    }
    case Qt::Key_Delete:
        deleteSelected(event->modifiers().testFlag(Qt::ShiftModifier));
        break;
    case Qt::Key_F2:
        renameSelected();
        break;
    case Qt::Key_F5:
        refresh();
        if (m_tree)
            m_tree->refresh();
        break;
    default:
        break;
    }
    // Moving through the list shows the item moved to, as a click does.
    if (!isEditing() && movesThroughList(event))
        emit clicked();
    return false;
}

bool ShellListView::offerToFilters(QKeyEvent* event) {
    if (m_offering)
        return false;
    m_offering = true;
    m_offerReached = false;
    const bool accepted = event->isAccepted();
    QCoreApplication::sendEvent(this, event);
    const bool consumed = !m_offerReached;
    if (!consumed)
        event->setAccepted(accepted);
    m_offering = false;
    return consumed;
}

void ShellListView::passKeyAbove(QKeyEvent* event) {
    // The list's filters had the key already: it goes on to the widgets above, as unused keys
    // do, but past the list.
    if (QWidget* above = parentWidget()) {
        event->ignore();
        QCoreApplication::sendEvent(above, event);
    }
    event->accept(); // ends Qt's own way up, which would pass the list
}

bool ShellListView::event(QEvent* event) {
    if (m_offering && isKeyEvent(event)) {
        m_offerReached = true; // no filter took it: the inner view handles it
        event->accept();
        return true;
    }
    return QWidget::event(event);
}

} // namespace quillon
