#include "display/FrameTexts.h"

#include "tags/ID3v2.h"

#include <QLocale>
#include <QRegularExpression>
#include <QStringList>

namespace quillon {

namespace {

QString fromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

// "image/jpeg" gives "JPEG"; a type without a slash stands as it is.
QString imageFormatOf(const std::string& mime) {
    const QString type = fromUtf8(mime).trimmed();
    const qsizetype slash = type.indexOf(QLatin1Char('/'));
    return (slash >= 0 ? type.mid(slash + 1) : type).toUpper();
}

} // namespace

QString firstLineOf(const std::string& text) {
    const QString all = fromUtf8(text);
    for (const QString& line : all.split(QRegularExpression(QStringLiteral("\r\n|\r|\n")))) {
        if (!line.trimmed().isEmpty())
            return line;
    }
    return QString();
}

QString byteSizeText(std::uint64_t bytes) {
    if (bytes < 1024)
        return QStringLiteral("%1 bytes").arg(bytes);
    if (bytes < 1024 * 1024)
        return QStringLiteral("%1 KB").arg((bytes + 512) / 1024);
    return QStringLiteral("%1 MB").arg(
        QLocale::c().toString(double(bytes) / (1024 * 1024), 'f', 1));
}

OtherFrameTexts otherFrameTexts(const TOtherFrame& frame) {
    OtherFrameTexts texts;
    texts.frame = fromUtf8(frame.id);
    if (!frame.name.empty())
        texts.frame += QStringLiteral(" (%1)").arg(fromUtf8(frame.name));
    texts.description = fromUtf8(frame.description);
    switch (frame.kind) {
    case TOtherFrame::Kind::Text:
    case TOtherFrame::Kind::Link:
        texts.value = fromUtf8(frame.text);
        break;
    case TOtherFrame::Kind::Lyrics:
        texts.value = firstLineOf(frame.text);
        break;
    case TOtherFrame::Kind::Picture: {
        QStringList parts{QStringLiteral("picture")};
        if (frame.pixels.width > 0 && frame.pixels.height > 0)
            parts << QStringLiteral("%1×%2").arg(frame.pixels.width).arg(frame.pixels.height);
        if (const QString format = imageFormatOf(frame.mime); !format.isEmpty())
            parts << format;
        parts << byteSizeText(frame.size);
        texts.value = parts.join(QLatin1Char(' '));
        break;
    }
    case TOtherFrame::Kind::Binary:
        texts.value = QStringLiteral("binary ") + byteSizeText(frame.size);
        break;
    }
    return texts;
}

QString conversionQuestion(int major, const QString& file, const std::vector<std::string>& losses) {
    QString text = QStringLiteral("Do you want to convert the ID3v2 tag of \"%1\" to ID3v2.%2?")
                       .arg(file)
                       .arg(major);
    if (!losses.empty()) {
        text +=
            QStringLiteral("\nID3v2.%1 cannot hold these frames; they will be dropped:").arg(major);
        for (const std::string& loss : losses)
            text += QStringLiteral("\n") + fromUtf8(loss);
    }
    return text;
}

} // namespace quillon
