#include "ui/PictureView.h"

#include <QBuffer>
#include <QDialogButtonBox>
#include <QFutureWatcher>
#include <QImageReader>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

namespace quillon {

namespace {

constexpr int kThumbnailSide = 64;
constexpr int kLargeSide = 256;

QSize pixelSizeOf(const QByteArray& data) {
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    return reader.size();
}

} // namespace

QString unreadablePictureText() {
    return QStringLiteral("unreadable picture");
}

QImage decodePicture(const QByteArray& data, const QSize& bounds) {
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    const QSize full = reader.size();
    const bool shrink = bounds.isValid() && full.isValid() &&
                        (full.width() > bounds.width() || full.height() > bounds.height());
    if (shrink)
        reader.setScaledSize(full.scaled(bounds, Qt::KeepAspectRatio));
    QImage image = reader.read();
    // Readers that cannot scale while decoding, or did not say the size first.
    if (!image.isNull() && bounds.isValid() &&
        (image.width() > bounds.width() || image.height() > bounds.height()))
        image = image.scaled(bounds, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
}

QString pictureFacts(const PictureEntry& picture) {
    QStringList facts;
    if (!picture.mime.isEmpty())
        facts << picture.mime;
    const QSize pixels = pixelSizeOf(picture.data);
    if (pixels.isValid())
        facts << QStringLiteral("%1 × %2").arg(pixels.width()).arg(pixels.height());
    facts << QStringLiteral("%1 bytes").arg(QLocale().toString(qint64(picture.data.size())));
    return facts.join(QStringLiteral(" · "));
}

PictureThumbnail::PictureThumbnail(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setLineWidth(1);
    const int side = kThumbnailSide + 2 * frameWidth();
    setFixedSize(side, side);
    setCursor(Qt::PointingHandCursor);
    setToolTip(QStringLiteral("Pictures"));
    setAccessibleName(QStringLiteral("Picture"));
}

PictureThumbnail::~PictureThumbnail() {
    dropDecoding();
}

void PictureThumbnail::setPicture(const QByteArray& data) {
    m_data = data;
    m_image = QImage();
    m_decodedRatio = 0;
    dropDecoding();
    m_state = State::Empty;
    if (!data.isEmpty())
        startDecoding();
    update();
}

// A decoding not yet begun is skipped; one under way ends on its own, its result unread.
void PictureThumbnail::dropDecoding() {
    if (!m_watcher)
        return;
    *m_dropped = true;
    m_watcher->disconnect(this);
    m_watcher->deleteLater();
    m_watcher = nullptr;
}

void PictureThumbnail::startDecoding() {
    dropDecoding();
    m_dropped = std::make_shared<std::atomic<bool>>(false);
    auto* watcher = new QFutureWatcher<QImage>(this);
    m_watcher = watcher;
    m_state = State::Decoding;
    const qreal ratio = devicePixelRatioF();
    const QSize bounds = QSize(kThumbnailSide, kThumbnailSide) * ratio;
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, ratio] {
        QImage image = watcher->result();
        m_watcher = nullptr;
        watcher->deleteLater();
        m_decodedRatio = ratio;
        if (image.isNull()) {
            m_image = QImage();
            m_state = State::Unreadable;
        } else {
            image.setDevicePixelRatio(ratio);
            m_image = image;
            m_state = State::Shown;
        }
        update();
        emit decoded();
    });
    watcher->setFuture(QtConcurrent::run([dropped = m_dropped, data = m_data, bounds]() -> QImage {
        if (*dropped)
            return {};
        return decodePicture(data, bounds);
    }));
}

void PictureThumbnail::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter painter(this);
    const QRect area = contentsRect();
    if (m_state == State::Unreadable) {
        QFont font = painter.font();
        font.setPointSizeF(font.pointSizeF() * 0.8);
        painter.setFont(font);
        painter.setPen(palette().color(QPalette::PlaceholderText));
        painter.drawText(area, Qt::AlignCenter | Qt::TextWordWrap, unreadablePictureText());
        return;
    }
    if (m_image.isNull())
        return;
    // Moved to a screen of another scale: decoded again for its pixels, drawn scaled meanwhile.
    if (!qFuzzyCompare(m_decodedRatio, devicePixelRatioF()) && !m_watcher)
        startDecoding();
    QSizeF size = m_image.deviceIndependentSize();
    size = size.scaled(QSizeF(area.size()).boundedTo(size), Qt::KeepAspectRatio);
    QRectF target(QPointF(), size);
    target.moveCenter(QRectF(area).center());
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, m_image);
}

void PictureThumbnail::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) &&
        m_state != State::Empty)
        emit clicked();
    QFrame::mouseReleaseEvent(event);
}

PictureDialog::PictureDialog(QWidget* parent) : QDialog(parent) {
    setObjectName("fmPictures");
    setWindowTitle(QStringLiteral("Pictures"));
    auto* layout = new QVBoxLayout(this);
    m_list = new QListWidget(this);
    m_list->setObjectName("PictureList");
    m_list->setIconSize(QSize(kLargeSide, kLargeSide));
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setWordWrap(true);
    m_list->setSpacing(4);
    m_empty = new QLabel(QStringLiteral("No pictures"), this);
    m_empty->setAlignment(Qt::AlignCenter);
    layout->addWidget(m_list, 1);
    layout->addWidget(m_empty, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    connect(m_list, &QListWidget::currentRowChanged, this, &PictureDialog::currentChanged);
    resize(560, 480);
}

void PictureDialog::setPictures(const QList<PictureEntry>& pictures, int current) {
    const QSignalBlocker quiet(m_list);
    m_list->clear();
    const qreal ratio = devicePixelRatioF();
    for (const PictureEntry& picture : pictures) {
        QStringList lines{picture.typeName, pictureFacts(picture)};
        if (!picture.description.isEmpty())
            lines << picture.description;
        auto* item = new QListWidgetItem(m_list);
        QImage image = decodePicture(picture.data, QSize(kLargeSide, kLargeSide) * ratio);
        if (image.isNull()) {
            lines << unreadablePictureText();
        } else {
            image.setDevicePixelRatio(ratio);
            item->setIcon(QIcon(QPixmap::fromImage(image)));
        }
        item->setText(lines.join(QLatin1Char('\n')));
        item->setToolTip(item->text());
    }
    m_list->setVisible(!pictures.isEmpty());
    m_empty->setVisible(pictures.isEmpty());
    if (current >= 0 && current < m_list->count())
        m_list->setCurrentRow(current);
}

int PictureDialog::currentIndex() const {
    return m_list->currentRow();
}

} // namespace quillon
