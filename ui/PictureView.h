// Pictures as the window shows them: a thumbnail that decodes its picture off the GUI thread,
// and a view of several pictures at full size with what is known of each.
#pragma once

#include <QByteArray>
#include <QDialog>
#include <QFrame>
#include <QImage>
#include <QList>
#include <QSize>
#include <QString>
#include <atomic>
#include <memory>

class QLabel;
class QListWidget;

namespace quillon {

// One picture: the bytes of an image file and what its holder says of it.
struct PictureEntry {
    QString typeName; // "Front cover"
    QString mime;     // "image/jpeg"
    QString description;
    QByteArray data;
};

// The text shown for a picture that none of Qt's image readers can decode.
QString unreadablePictureText();

// The picture decoded, scaled down to fit `bounds` (aspect kept) when they are given; decoded
// at that size where the format allows it (JPEG), so a large picture costs little. A null
// image when no reader takes the bytes.
QImage decodePicture(const QByteArray& data, const QSize& bounds = {});

// "image/jpeg · 500 × 400 · 45,312 bytes": the MIME type, the pixel size read from the image's
// header (left out when unknown) and the byte size.
QString pictureFacts(const PictureEntry& picture);

// A small view of one picture, scaled to the screen's pixels. Decoding runs on a thread of its
// own; a picture set before the last one was decoded replaces it, and the older one's result
// is dropped. A click asks for the large view.
class PictureThumbnail : public QFrame {
    Q_OBJECT

public:
    enum class State { Empty, Decoding, Shown, Unreadable };

    explicit PictureThumbnail(QWidget* parent = nullptr);
    ~PictureThumbnail() override;

    // An empty `data` shows nothing.
    void setPicture(const QByteArray& data);
    State state() const { return m_state; }
    // The decoded image, in device pixels; null unless shown.
    QImage image() const { return m_image; }

signals:
    void clicked();
    // Decoding ended: the picture is shown or found unreadable.
    void decoded();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void startDecoding();
    void dropDecoding();

    // The decoding under way, and the flag that tells its thread it is no longer wanted.
    QObject* m_watcher = nullptr;
    std::shared_ptr<std::atomic<bool>> m_dropped;
    QByteArray m_data;
    QImage m_image;
    qreal m_decodedRatio = 0;
    State m_state = State::Empty;
};

// The pictures large, one under another, each with its type, facts and description.
class PictureDialog : public QDialog {
    Q_OBJECT

public:
    explicit PictureDialog(QWidget* parent = nullptr);

    void setPictures(const QList<PictureEntry>& pictures, int current);
    int currentIndex() const;
    QListWidget* list() const { return m_list; }

signals:
    void currentChanged(int index);

private:
    QListWidget* m_list;
    QLabel* m_empty;
};

} // namespace quillon
