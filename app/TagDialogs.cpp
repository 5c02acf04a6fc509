#include "app/TagDialogs.h"

#include "tags/ID3v2.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTableWidget>
#include <QVBoxLayout>

namespace quillon {

namespace {

QString fromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

} // namespace

LyricsDialog::LyricsDialog(const TLyrics& lyrics, QWidget* parent)
    : QDialog(parent), m_language(new QLineEdit(fromUtf8(lyrics.language))),
      m_description(new QLineEdit(fromUtf8(lyrics.description))),
      m_text(new QPlainTextEdit(fromUtf8(lyrics.text))) {
    setObjectName("LyricsDialog");
    setWindowTitle("Lyrics");
    m_language->setObjectName("edLyricsLanguage");
    m_description->setObjectName("edLyricsDescription");
    m_text->setObjectName("edLyricsText");
    // The frame holds a three-letter ISO 639-2 code.
    m_language->setMaxLength(3);
    m_language->setValidator(
        new QRegularExpressionValidator(QRegularExpression("[A-Za-z]{0,3}"), m_language));
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);

    auto* form = new QFormLayout;
    form->addRow("&Language:", m_language);
    form->addRow("&Description:", m_description);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_language, &QLineEdit::textChanged, this, &LyricsDialog::updateOk);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_text, 1);
    layout->addWidget(buttons);
    resize(420, 420);
    updateOk();
    m_text->setFocus();
}

void LyricsDialog::updateOk() {
    m_ok->setEnabled(m_language->text().size() == 3);
}

TLyrics LyricsDialog::lyrics() const {
    TLyrics lyrics;
    lyrics.language = m_language->text().toLower().toStdString();
    lyrics.description = m_description->text().toStdString();
    lyrics.text = m_text->toPlainText().toStdString();
    return lyrics;
}

OtherFramesDialog::OtherFramesDialog(const QString& file, const QList<OtherFrameTexts>& frames,
                                     QWidget* parent)
    : QDialog(parent) {
    setObjectName("OtherFramesDialog");
    setWindowTitle("Other Frames");
    auto* caption =
        new QLabel(frames.isEmpty() ? QStringLiteral("The ID3v2 tag of \"%1\" has no other frames.")
                                    : QStringLiteral("Frames the ID3v2 tag of \"%1\" keeps:"));
    caption->setText(caption->text().arg(file));
    caption->setWordWrap(true);
    auto* table = new QTableWidget(int(frames.size()), 3);
    table->setObjectName("tvOtherFrames");
    table->setHorizontalHeaderLabels({"Frame", "Description", "Value"});
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    for (int i = 0; i < frames.size(); ++i) {
        const OtherFrameTexts& frame = frames[i];
        const QString cells[] = {frame.frame, frame.description, frame.value};
        for (int column = 0; column < 3; ++column) {
            auto* item = new QTableWidgetItem(cells[column]);
            item->setToolTip(cells[column]);
            table->setItem(i, column, item);
        }
    }
    table->resizeColumnsToContents();
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(caption);
    layout->addWidget(table, 1);
    layout->addWidget(buttons);
    resize(560, 360);
}

} // namespace quillon
