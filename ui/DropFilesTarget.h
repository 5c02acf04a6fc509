// Makes a widget accept files dropped from other applications (file URLs, text/uri-list) and
// reports each drop once with the local paths and the drop point. Other drags pass through
// untouched, so the widget's own drag and drop still works.
#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QStringList>

class QMimeData;
class QWidget;

namespace quillon {

class DropFilesTarget : public QObject {
    Q_OBJECT

public:
    // Owned by the target. For a scroll area the drops arrive at its viewport.
    explicit DropFilesTarget(QWidget* target);

    QWidget* target() const { return m_target; }
    static QStringList localPaths(const QMimeData* data);

signals:
    // pos is in the target's coordinates.
    void dropped(const QStringList& localPaths, const QPoint& pos);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> m_target;
    QPointer<QWidget> m_receiver;
};

} // namespace quillon
