#include "ui/PersistentMenu.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidgetAction>

namespace quillon {

PersistentMenu::PersistentMenu(const QString& title, QWidget* parent) : QMenu(title, parent) {}

bool PersistentMenu::togglesInPlace(const QAction* action) {
    return action && action->isCheckable() && action->isEnabled() && action->isVisible() &&
           !action->isSeparator() && !action->menu() && !qobject_cast<const QWidgetAction*>(action);
}

void PersistentMenu::mousePressEvent(QMouseEvent* event) {
    m_pressedHere = rect().contains(event->position().toPoint());
    QMenu::mousePressEvent(event);
}

void PersistentMenu::mouseReleaseEvent(QMouseEvent* event) {
    QAction* action = actionAt(event->position().toPoint());
    const bool pressedHere = m_pressedHere;
    m_pressedHere = false;
    if (pressedHere && event->button() == Qt::LeftButton && togglesInPlace(action)) {
        // QMenu would trigger and then close every menu up to the menu bar.
        action->trigger();
        event->accept();
        return;
    }
    QMenu::mouseReleaseEvent(event);
}

void PersistentMenu::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if ((key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) &&
        togglesInPlace(activeAction())) {
        activeAction()->trigger();
        event->accept();
        return;
    }
    QMenu::keyPressEvent(event);
}

} // namespace quillon
