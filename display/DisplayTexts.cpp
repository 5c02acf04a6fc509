#include "display/DisplayTexts.h"

#include "display/BandRows.h"
#include "display/FrameTexts.h"
#include "display/TagFields.h"

#include "mpeg/MPEGaudio.h"
#include "shell/FileName.h"
#include "shell/PathInfo.h"
#include "tags/ID3v2.h"
#include "tags/TagText.h"

#include <QDateTime>
#include <cmath>

namespace quillon {

namespace {

QString groupedInteger(const QLocale& locale, qint64 value) {
    QLocale grouped = locale;
    grouped.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    return grouped.toString(value);
}

// Pattern ",0.##": thousands separators, at most two decimals, no trailing zeros.
QString upToTwoDecimals(const QLocale& locale, double value) {
    QLocale grouped = locale;
    grouped.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    QString text = grouped.toString(value, 'f', 2);
    const QString point = grouped.decimalPoint();
    if (text.endsWith(point + "00"))
        text.chop(point.size() + 2);
    else if (text.endsWith('0') && text.contains(point))
        text.chop(1);
    return text;
}

QString fileSizeText(const QLocale& locale, qint64 size) {
    return groupedInteger(locale, size) + " (" +
           upToTwoDecimals(locale, static_cast<double>(size) / 1024 / 1024) + " M)";
}

// Local last-write time rounded down to an even second, as "dd.mm.yyyy hh:nn:ss".
QString modifiedText(const FileStamp& stamp) {
    qint64 seconds = stamp.modifiedSeconds;
    const QDateTime local = QDateTime::fromSecsSinceEpoch(seconds, Qt::LocalTime);
    seconds -= local.time().second() % 2;
    return QDateTime::fromSecsSinceEpoch(seconds, Qt::LocalTime).toString("dd.MM.yyyy HH:mm:ss");
}

QString fromView(std::string_view text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

// A row of the MPEG band with its caption.
DisplayRow row(const char* name, const QString& text) {
    return {QString::fromLatin1(name), fromView(findRow(MpegBand(), name)->caption), text};
}

QList<QString> namesInDisplayOrder(const BandLayout& band) {
    QList<QString> order;
    for (const BandRow* row : displayOrder(band))
        order.append(fromView(row->name));
    return order;
}

} // namespace

QString BandTexts::text(const QString& rowName) const {
    for (const DisplayRow& r : rows) {
        if (r.name == rowName)
            return r.text;
    }
    return QString();
}

QString BoolText(bool value) {
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

QString SecondsToTimeText(qint64 seconds) {
    const qint64 hours = seconds / 3600;
    const qint64 minutes = (seconds - hours * 3600) / 60;
    const qint64 rest = (seconds - hours * 3600) % 60;
    return QStringLiteral("%1:%2:%3")
        .arg(hours, 2, 10, QLatin1Char('0'))
        .arg(minutes, 2, 10, QLatin1Char('0'))
        .arg(rest, 2, 10, QLatin1Char('0'));
}

QString tagTextToDisplay(const std::string& text) {
    return QString::fromStdString(text);
}

std::string displayTextToTag(const QString& text) {
    return text.toStdString();
}

namespace {

template <class Tag>
QList<DisplayRow> fieldRows(const std::vector<TagField<Tag>>& fields, const Tag& tag) {
    QList<DisplayRow> rows;
    for (const TagField<Tag>& field : fields) {
        rows.append(
            {fromView(field.row), fromView(field.caption), tagTextToDisplay(field.get(tag))});
    }
    return rows;
}

} // namespace

BandTexts ID3v1Texts(const TID3v1& tag) {
    BandTexts band;
    band.caption = fromView(ID3v1Band().caption);
    if (!tag.Exists())
        return band;
    band.hasTag = true;
    band.rows = fieldRows(ID3v1Fields(), tag);
    band.versionLabel = tag.VersionId() == 1 ? QStringLiteral("v 1.0") : QStringLiteral("v 1.1");
    return band;
}

BandTexts ID3v2Texts(const TID3v2& tag) {
    BandTexts band;
    band.caption = fromView(ID3v2Band().caption);
    if (!tag.Exists())
        return band;
    band.hasTag = true;
    band.rows = fieldRows(ID3v2Fields(), tag);
    // The lyrics are edited whole in a dialog; the row shows their first line.
    const BandRow* lyrics = findRow(ID3v2Band(), "iID3v2_Lyrics");
    band.rows.append(
        {fromView(lyrics->name), fromView(lyrics->caption), firstLineOf(tag.Lyrics().text)});
    band.versionLabel = QStringLiteral("v 2.") + QString::number(tag.VersionId());
    return band;
}

BandTexts MpegTexts(const TMPEGaudio& audio, const QString& fileName, const QLocale& locale) {
    // By the name's bytes: Qt's file classes cannot reach a name that is not UTF-8.
    if (!pathInfo(fileName).exists)
        throw DisplayError("Cannot find " + displayFileName(fileName).toStdString());
    return MpegTexts(audio, locale);
}

BandTexts MpegTexts(const TMPEGaudio& audio, const QLocale& locale) {
    BandTexts band;
    band.caption = fromView(MpegBand().caption);
    const FrameData& frame = audio.FrameData();
    const VBRData& vbr = audio.VBRData();
    const auto seconds = static_cast<qint64>(std::trunc(audio.Duration()));

    band.rows.append(row("iMpeg_Size", fileSizeText(locale, audio.FileSize())));
    band.rows.append(row("iMpeg_Modified", modifiedText(audio.fileStamp())));
    band.rows.append(row("iMpeg_Version",
                         QString::fromStdString(audio.VersionText() + " " + audio.LayerText())));
    band.rows.append(row("iMpeg_Duration",
                         SecondsToTimeText(seconds) + " (" + QString::number(seconds) + " sec)"));
    band.rows.append(row("iMpeg_BitRate", QString::number(audio.BitRate()) +
                                              (vbr.Found ? " kbps  (VBR)" : " kbps  (CBR)")));
    if (vbr.Found) {
        band.rows.append(
            row("iMpeg_VBR", tagTextToDisplay(std::string(vbr.ID.data(), vbr.ID.size())) + " : " +
                                 QString::number(vbr.Scale)));
    }
    band.rows.append(row("iMpeg_SampleRate", QString::number(audio.SampleRate()) + " Hz"));
    band.rows.append(row("iMpeg_ChannelMode", QString::fromStdString(audio.ChannelModeText())));
    band.rows.append(row("iMpeg_Frames", groupedInteger(locale, audio.FrameCount()) + " / " +
                                             groupedInteger(locale, frame.Size) + " bytes"));
    band.rows.append(row("iMpeg_Copyrighted", BoolText(frame.Copyrighted)));
    band.rows.append(row("iMpeg_Original", BoolText(frame.Original)));
    band.rows.append(row("iMpeg_CRC", BoolText(frame.CrcProtected)));
    band.rows.append(row("iMpeg_HeaderOffset", groupedInteger(locale, frame.Position) + " bytes"));
    band.rows.append(row("iMpeg_Emphasis", QString::fromStdString(audio.EmphasisText())));
    band.rows.append(row("iMpeg_Encoder", QString::fromStdString(audio.EncoderText())));
    band.hasTag = true;
    return band;
}

const QList<QString>& ID3v1DisplayOrder() {
    static const QList<QString> order = namesInDisplayOrder(ID3v1Band());
    return order;
}

const QList<QString>& ID3v2DisplayOrder() {
    static const QList<QString> order = namesInDisplayOrder(ID3v2Band());
    return order;
}

const QList<QString>& MpegDisplayOrder() {
    static const QList<QString> order = namesInDisplayOrder(MpegBand());
    return order;
}

} // namespace quillon
