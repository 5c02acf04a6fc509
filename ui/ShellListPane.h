// The file list's inner views (a list for the icon styles, a tree for the report): each hands
// clicks, keys, drags and the context menu to the list that owns it. For ShellListView's own
// sources only.
#pragma once

#include "ui/ShellListView.h"

#include <QAbstractItemView>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QKeyEvent>
#include <QMouseEvent>

namespace quillon {

inline bool isKeyEvent(const QEvent* event) {
    return event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease;
}

// An inner view: hands clicks, keys, drags and the context menu to the list.
template <class Base> class ShellListView::Pane : public Base {
public:
    explicit Pane(ShellListView* owner) : Base(owner), m_owner(owner) {
        this->setSelectionMode(QAbstractItemView::ExtendedSelection);
        this->setSelectionBehavior(QAbstractItemView::SelectRows);
        this->setEditTriggers(QAbstractItemView::NoEditTriggers); // F2 belongs to the window
        this->setDragEnabled(true);
        this->setAcceptDrops(true);
        this->viewport()->setAcceptDrops(true);
        this->setDragDropMode(QAbstractItemView::DragDrop);
        this->setDropIndicatorShown(true);
        // The selection stays visible when the list loses the focus.
        QPalette palette = this->palette();
        for (const QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
            palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
        this->setPalette(palette);
    }

    bool editing() const { return this->state() == QAbstractItemView::EditingState; }

    void cancelEdit(const QModelIndex& index) {
        if (QWidget* editor = this->indexWidget(index))
            this->closeEditor(editor, QAbstractItemDelegate::RevertModelCache);
    }

protected:
    bool event(QEvent* event) override {
        if (!isKeyEvent(event))
            return Base::event(event);
        if (m_owner->offerToFilters(static_cast<QKeyEvent*>(event)))
            return true;
        if (m_owner->ownKey(static_cast<QKeyEvent*>(event)))
            return true;
        Base::event(event);
        if (!event->isAccepted())
            m_owner->passKeyAbove(static_cast<QKeyEvent*>(event));
        return true;
    }

    void mousePressEvent(QMouseEvent* event) override {
        Base::mousePressEvent(event);
        const QModelIndex index = this->indexAt(event->position().toPoint());
        if (index.isValid())
            m_owner->itemPressed(index);
    }

    void mouseReleaseEvent(QMouseEvent* event) override {
        Base::mouseReleaseEvent(event);
        emit m_owner->clicked();
    }

    void mouseDoubleClickEvent(QMouseEvent* event) override {
        const QModelIndex index = this->indexAt(event->position().toPoint());
        if (index.isValid())
            m_owner->itemDoubleClicked(index);
    }

    void keyPressEvent(QKeyEvent* event) override {
        const QModelIndex before = this->currentIndex();
        Base::keyPressEvent(event);
        const QModelIndex after = this->currentIndex();
        if (after.isValid() && after != before)
            m_owner->itemMovedTo(after);
    }

    void startDrag(Qt::DropActions) override { m_owner->startItemDrag(); }

    void dragEnterEvent(QDragEnterEvent* event) override { answerDragEnter(event); }

    void dragMoveEvent(QDragMoveEvent* event) override {
        m_owner->dragMovedOver(event, this->indexAt(event->position().toPoint()));
    }

    void dropEvent(QDropEvent* event) override {
        m_owner->droppedOn(event, this->indexAt(event->position().toPoint()));
    }

    void contextMenuEvent(QContextMenuEvent* event) override {
        m_owner->showContextMenu(this->indexAt(event->pos()), event->globalPos());
    }

private:
    ShellListView* m_owner;
};

} // namespace quillon
