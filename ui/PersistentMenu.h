// A menu that stays open while its check items are toggled, by mouse or by keyboard, so the
// user can flip several switches in one go. Other items close it as usual.
#pragma once

#include <QMenu>

namespace quillon {

class PersistentMenu : public QMenu {
    Q_OBJECT

public:
    explicit PersistentMenu(const QString& title, QWidget* parent = nullptr);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    static bool togglesInPlace(const QAction* action);

    // A release only toggles after a press in this menu, as a plain menu only triggers then.
    bool m_pressedHere = false;
};

} // namespace quillon
