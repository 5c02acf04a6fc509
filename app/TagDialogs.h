// The ID3v2 band's two dialogs: the editor of the lyrics, and the read-only list of the
// frames its rows do not show.
#pragma once

#include "display/FrameTexts.h"

#include <QDialog>

class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace quillon {

struct TLyrics;

// The lyrics whole, with their language and description.
class LyricsDialog : public QDialog {
    Q_OBJECT

public:
    LyricsDialog(const TLyrics& lyrics, QWidget* parent);
    TLyrics lyrics() const;

private:
    void updateOk();

    QLineEdit* m_language;
    QLineEdit* m_description;
    QPlainTextEdit* m_text;
    QPushButton* m_ok;
};

// A table of the frames: frame with its common name, description, value.
class OtherFramesDialog : public QDialog {
    Q_OBJECT

public:
    OtherFramesDialog(const QString& file, const QList<OtherFrameTexts>& frames, QWidget* parent);
};

} // namespace quillon
