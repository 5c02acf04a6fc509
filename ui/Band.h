// One collapsible band of a BandContainer: a flat caption bar (plus or minus glyph, bold
// purple caption) over a content widget; a click on the bar collapses or expands it.
#pragma once

#include <QWidget>

class QCheckBox;
class QToolButton;
class QVBoxLayout;

namespace quillon {

class Band : public QWidget {
    Q_OBJECT

public:
    Band(const QString& caption, int expandedHeight, QWidget* parent = nullptr);

    QString caption() const;
    QToolButton* captionBar() const { return m_captionBar; }
    int captionBarHeight() const;

    // Height of the whole band, caption bar included, while expanded.
    int expandedHeight() const { return m_expandedHeight; }
    void setExpandedHeight(int height);

    // The band takes ownership; the content fills the space below the caption bar.
    void setContent(QWidget* content);
    QWidget* content() const { return m_content; }

    // Anchors the box at the right end of the caption bar, borderless and read-only: only
    // the program sets it.
    void setCaptionCheckBox(QCheckBox* box);
    QCheckBox* captionCheckBox() const { return m_checkBox; }

    bool isCollapsed() const { return m_collapsed; }
    void setCollapsed(bool collapsed);

signals:
    void collapsedChanged(bool collapsed);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void updateState();
    // The caption's purple, made readable on the palette's button colour.
    void applyCaptionColor();
    void placeCheckBox();

    QToolButton* m_captionBar;
    QVBoxLayout* m_layout;
    QWidget* m_content = nullptr;
    QCheckBox* m_checkBox = nullptr;
    int m_expandedHeight;
    bool m_collapsed = false;
};

} // namespace quillon
