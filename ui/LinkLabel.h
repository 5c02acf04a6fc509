// A label that shows an address as a link and hands it to the opener when clicked or when
// Enter or Space is pressed on it.
#pragma once

#include "ui/LinkOpener.h"

#include <QLabel>

namespace quillon {

class LinkLabel : public QLabel {
    Q_OBJECT

public:
    // An empty address opens the shown text.
    explicit LinkLabel(const QString& text = QString(), const QString& address = QString(),
                       QWidget* parent = nullptr);

    QString address() const { return m_address; }
    void setAddress(const QString& address) { m_address = address; }
    void setLinkText(const QString& text);
    void setLinkOpener(LinkOpener opener) { m_opener = std::move(opener); }

    void activate();

signals:
    void activated(const QString& address);

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QString m_address;
    LinkOpener m_opener;
};

} // namespace quillon
