// A status bar pane of fixed width, widened where its text and glyph need more: a sunken
// panel with a text and, optionally, a glyph before it. Its accessible name follows the text.
#pragma once

#include <QFrame>
#include <QIcon>

namespace quillon {

class StatusPane : public QFrame {
    Q_OBJECT

public:
    // The width of a pane that is as wide as the layout makes it, not widened by its text.
    static constexpr int Stretching = -1;

    explicit StatusPane(const QString& text = QString(), int width = 90, QWidget* parent = nullptr);

    QString text() const { return m_text; }
    void setText(const QString& text);

    Qt::Alignment alignment() const { return m_alignment; }
    void setAlignment(Qt::Alignment alignment);

    // Drawn before the text, and only while there is text.
    void setGlyph(const QIcon& glyph);

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void fitWidth();

    int m_width;
    QString m_text;
    Qt::Alignment m_alignment = Qt::AlignLeft;
    QIcon m_glyph;
};

} // namespace quillon
