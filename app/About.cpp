#include "app/About.h"
#include "app/WindowFonts.h"

#include "shell/ShellServices.h"
#include "ui/LinkLabel.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <qdrawutil.h>

namespace quillon {

namespace {

const QColor Navy(0, 0, 128);
const QColor LinkBlue(0, 0, 255);

// Metric-compatible stand-ins where the designed fonts are not installed.
QFont designFont(const char* family, int pixelHeight, bool bold = false) {
    static const bool substituted = [] {
        registerWindowFaces();
        QFont::insertSubstitutions("Times New Roman", {"Liberation Serif", "DejaVu Serif"});
        QFont::insertSubstitutions("Arial", {"Liberation Sans", "DejaVu Sans"});
        return true;
    }();
    Q_UNUSED(substituted);
    QFont font(QString::fromLatin1(family));
    font.setPixelSize(pixelHeight);
    font.setBold(bold);
    return font;
}

// A label whose text stands out of the background: a highlight up and left of the text and,
// unless light, a shadow down and right. Transparent over what lies beneath.
template <typename Base> class Raised : public Base {
public:
    using Base::Base;
    bool light = true;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setFont(this->font());
        const QRect box = this->contentsRect();
        const int flags = int(this->alignment()) | (this->wordWrap() ? Qt::TextWordWrap : 0);
        const QString text = this->text();
        painter.setPen(Qt::white);
        painter.drawText(box.translated(-1, -1), flags, text);
        if (!light) {
            painter.setPen(QColor(128, 128, 128));
            painter.drawText(box.translated(1, 1), flags, text);
        }
        painter.setPen(this->palette().color(QPalette::WindowText));
        painter.drawText(box, flags, text);
    }
};

QLabel* plainLabel(QWidget* parent, const char* name, const QString& text, const QRect& geometry,
                   const QFont& font, const QColor& color, bool light = true) {
    auto* label = new Raised<QLabel>(text, parent);
    label->light = light;
    label->setObjectName(name);
    label->setGeometry(geometry);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    label->setAttribute(Qt::WA_TranslucentBackground);
    return label;
}

LinkLabel* linkLabel(QWidget* parent, const char* name, const QString& caption,
                     const QString& address, const QRect& geometry, bool hint) {
    auto* label = new Raised<LinkLabel>(caption, address, parent);
    label->setObjectName(name);
    QFont font = designFont("Arial", 13);
    font.setUnderline(true);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, LinkBlue);
    label->setPalette(palette);
    label->setAlignment(Qt::AlignCenter);
    label->setAttribute(Qt::WA_TranslucentBackground);
    // A caption wider than its box grows about the box's centre rather than being clipped.
    QRect box = geometry;
    const int needed = label->fontMetrics().horizontalAdvance(caption) + 4;
    if (needed > box.width())
        box = QRect(box.center().x() - needed / 2, box.y(), needed, box.height());
    label->setGeometry(box);
    if (hint)
        label->setToolTip(address);
    label->setLinkOpener([](const QString& target) { shellServices().open(target); });
    return label;
}

// The client area: the paper texture tiled from the top-left corner and two etched lines.
class PaperBackground : public QWidget {
public:
    explicit PaperBackground(QWidget* parent) : QWidget(parent) {
        setObjectName("ClientArea");
        m_texture = TfmAbout::backgroundTexture();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        if (!m_texture.isNull())
            painter.drawTiledPixmap(rect(), m_texture);
        for (const int y : {115, 186}) {
            painter.setPen(QColor(128, 128, 128));
            painter.drawLine(93, y, 93 + 247, y);
            painter.setPen(Qt::white);
            painter.drawLine(93, y + 1, 93 + 247, y + 1);
        }
    }

private:
    QPixmap m_texture;
};

} // namespace

QIcon TfmAbout::applicationIcon() {
    // The drawn 32-pixel icon, with the other sizes for scaled screens and the task switcher.
    QIcon icon(QStringLiteral(":/quillon/quillon.png"));
    for (const int size : {16, 22, 24, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/quillon/icons/quillon-%1.png").arg(size), QSize(size, size));
    return icon;
}

QPixmap TfmAbout::backgroundTexture() {
    return QPixmap(QStringLiteral(":/quillon/about-paper.png"));
}

TfmAbout::TfmAbout(QWidget* parent) : QDialog(parent) {
    setObjectName("fmAbout");
    setWindowTitle("About Quillon");
    // No title bar and no system menu; the thin dialog frame is drawn by the box itself, so
    // it looks the same under every window manager.
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setModal(true);
    setWindowIcon(applicationIcon());
    setFixedSize(ClientWidth + 2 * FrameWidth, ClientHeight + 2 * FrameWidth);
    setContentsMargins(FrameWidth, FrameWidth, FrameWidth, FrameWidth);

    ClientArea = new PaperBackground(this);
    ClientArea->setGeometry(FrameWidth, FrameWidth, ClientWidth, ClientHeight);

    imLogo = new QLabel(ClientArea);
    imLogo->setObjectName("imLogo");
    imLogo->setGeometry(19, 20, 32, 32);
    imLogo->setPixmap(applicationIcon().pixmap(32, 32));
    imLogo->setAttribute(Qt::WA_TranslucentBackground);

    laProductName = plainLabel(ClientArea, "laProductName", "Quillon", {104, 20, 228, 84},
                               designFont("Times New Roman", 37, true), Navy, false);
    laProductName->setAlignment(Qt::AlignCenter);
    laProductName->setWordWrap(true);
    laTM = plainLabel(ClientArea, "laTM", "TM", {194, 20, 27, 19},
                      designFont("Times New Roman", 16, true), Navy);
    laTM->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    AppURL = linkLabel(ClientArea, "AppURL", "https://quillon.example.org",
                       "https://quillon.example.org", {99, 118, 229, 16}, true);
    const QColor text = palette().color(QPalette::WindowText);
    laVersion = plainLabel(ClientArea, "laVersion", "Version 1.0", {162, 137, 108, 24},
                           designFont("Arial", 21), text);
    laBasedOn = plainLabel(ClientArea, "laBasedOn", "Based on", {122, 167, 59, 16},
                           designFont("MS Sans Serif", 13), text);
    laBasedOn->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    EngineURL = linkLabel(ClientArea, "EngineURL", "the Qt toolkit", "https://www.qt.io",
                          {184, 167, 112, 16}, true);
    EngineURL->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    laCopyright = plainLabel(ClientArea, "laCopyright", "Copyright (C) The Quillon authors",
                             {100, 201, 235, 16}, designFont("MS Sans Serif", 13), text);
    laCopyright->setAlignment(Qt::AlignCenter);
    CorvelHomePage = linkLabel(ClientArea, "CorvelHomePage", "https://www.example.org",
                               "https://www.example.org", {130, 218, 175, 16}, true);
    AuthorEMail =
        linkLabel(ClientArea, "AuthorEMail", "quillon@example.org",
                  "mailto:quillon@example.org?subject=Quillon", {182, 235, 72, 16}, false);

    // Keys reach the box before any of its controls.
    for (QWidget* child : ClientArea->findChildren<QWidget*>())
        child->installEventFilter(this);

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TfmAbout::execute() {
    TfmAbout about;
    about.exec();
}

bool TfmAbout::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        FormKeyDown();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TfmAbout::keyPressEvent(QKeyEvent* event) {
    event->accept();
    FormKeyDown();
}

void TfmAbout::mousePressEvent(QMouseEvent* event) {
    FormMouseDown(event->position().toPoint());
}

void TfmAbout::FormKeyDown() {
    accept();
}

void TfmAbout::FormMouseDown(const QPoint& pos) {
    // Presses on the links come here too, since labels pass them on; the links open on
    // release and leave the box open.
    for (QWidget* widget = childAt(pos); widget; widget = widget->parentWidget()) {
        if (qobject_cast<LinkLabel*>(widget))
            return;
    }
    accept();
}

void TfmAbout::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    qDrawWinPanel(&painter, rect(), palette(), false);
}

} // namespace quillon
