#include "ui/Band.h"

#include "ui/Contrast.h"

#include <QCheckBox>
#include <QEvent>
#include <QPainter>
#include <QToolButton>
#include <QVBoxLayout>

namespace quillon {

namespace {

constexpr int CaptionBarHeight = 18;
const QColor CaptionColor(0x80, 0x00, 0x80); // purple

// A boxed plus or minus, drawn so that no icon theme is needed.
QIcon expanderGlyph(bool plus, const QColor& color) {
    QPixmap pixmap(11, 11);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setPen(color);
    painter.drawRect(0, 0, 10, 10);
    painter.drawLine(2, 5, 8, 5);
    if (plus)
        painter.drawLine(5, 2, 5, 8);
    return QIcon(pixmap);
}

} // namespace

Band::Band(const QString& caption, int expandedHeight, QWidget* parent)
    : QWidget(parent), m_captionBar(new QToolButton(this)), m_layout(new QVBoxLayout(this)),
      m_expandedHeight(expandedHeight) {
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);

    m_captionBar->setText(caption);
    m_captionBar->setAutoRaise(true);
    m_captionBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_captionBar->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_captionBar->setFixedHeight(CaptionBarHeight);
    QFont bold = m_captionBar->font();
    bold.setBold(true);
    m_captionBar->setFont(bold);
    applyCaptionColor();
    m_captionBar->setAccessibleName(caption);
    m_captionBar->installEventFilter(this);
    connect(m_captionBar, &QToolButton::clicked, this, [this] { setCollapsed(!m_collapsed); });
    // Top-aligned so that a band without content still shows its bar at the top.
    m_layout->addWidget(m_captionBar, 0, Qt::AlignTop);

    setAccessibleName(caption);
    updateState();
}

QString Band::caption() const {
    return m_captionBar->text();
}

int Band::captionBarHeight() const {
    return m_captionBar->height();
}

void Band::setExpandedHeight(int height) {
    m_expandedHeight = height;
    updateState();
}

void Band::setContent(QWidget* content) {
    if (m_content) {
        m_layout->removeWidget(m_content);
        delete m_content;
    }
    m_content = content;
    if (content)
        m_layout->addWidget(content, 1);
    updateState();
}

void Band::setCaptionCheckBox(QCheckBox* box) {
    m_checkBox = box;
    if (!box)
        return;
    box->setParent(m_captionBar);
    box->setText(QString());
    box->setFocusPolicy(Qt::NoFocus);
    // Clicks go through to the caption bar; the box only shows what the program sets.
    box->setAttribute(Qt::WA_TransparentForMouseEvents);
    box->installEventFilter(this);
    // The style's own box: drawn with its outline whether checked or not.
    box->setAutoFillBackground(false);
    box->show();
    placeCheckBox();
}

void Band::setCollapsed(bool collapsed) {
    if (collapsed == m_collapsed)
        return;
    m_collapsed = collapsed;
    updateState();
    emit collapsedChanged(collapsed);
}

bool Band::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_captionBar && event->type() == QEvent::Resize)
        placeCheckBox();
    // Read-only even for input sent to the box directly.
    if (watched == m_checkBox) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
            return true;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Band::applyCaptionColor() {
    QPalette palette = this->palette();
    const QColor color = readableOn(CaptionColor, palette.color(QPalette::Button));
    palette.setColor(QPalette::ButtonText, color);
    palette.setColor(QPalette::WindowText, color);
    m_captionBar->setPalette(palette);
}

void Band::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        applyCaptionColor();
        updateState();
    }
}

void Band::updateState() {
    m_captionBar->setIcon(
        expanderGlyph(m_collapsed, m_captionBar->palette().color(QPalette::ButtonText)));
    m_captionBar->setAccessibleDescription(m_collapsed ? tr("collapsed") : tr("expanded"));
    if (m_content)
        m_content->setVisible(!m_collapsed);
    setFixedHeight(m_collapsed ? m_captionBar->height() : m_expandedHeight);
}

void Band::placeCheckBox() {
    if (!m_checkBox)
        return;
    const QSize size = m_checkBox->sizeHint();
    m_checkBox->setGeometry(m_captionBar->width() - size.width() - 2,
                            (m_captionBar->height() - size.height()) / 2, size.width(),
                            size.height());
}

} // namespace quillon
