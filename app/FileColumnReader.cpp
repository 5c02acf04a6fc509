#include "app/FileColumnReader.h"

#include "display/DisplayTexts.h"
#include "display/TagFields.h"
#include "mpeg/MPEGaudio.h"
#include "shell/FileName.h"

#include <QStringList>
#include <cmath>

namespace quillon {

namespace {

// The tag field each tag column shows; empty for the stream's columns.
constexpr std::string_view FieldKeys[FileColumnCount] = {"artist", "title", "album", "track",
                                                         "year",   "genre", "",      ""};

// The whole number the text starts with ("2026-05-01" sorts as 2026); -1 when there is none.
qint64 leadingNumber(const QString& text) {
    qint64 number = -1;
    for (const QChar c : text) {
        if (!c.isDigit() || number > 100'000'000'000LL)
            break;
        number = (number < 0 ? 0 : number * 10) + c.digitValue();
    }
    return number;
}

template <class Tag>
QString fieldText(const std::vector<TagField<Tag>>& fields, const Tag& tag, std::string_view key) {
    const TagField<Tag>* field = findField(fields, key);
    return field ? tagTextToDisplay(field->get(tag)) : QString();
}

} // namespace

FileColumnValues readFileColumns(const QString& path, FileColumnSet wanted) {
    FileColumnValues values;
    TMPEGaudio audio; // its Load reads the tags and at most three blocks of the stream
    if (!audio.Load(fileNameBytes(path).toStdString()))
        return values;
    const TID3v2& v2 = audio.ID3v2Tag();
    const TID3v1& v1 = audio.ID3v1Tag();
    for (int column = 0; column < FileColumnCount; ++column) {
        const std::string_view key = FieldKeys[column];
        if (!(wanted & columnBit(column)) || key.empty())
            continue;
        QString text = v2.Exists() ? fieldText(ID3v2Fields(), v2, key) : QString();
        if (text.isEmpty() && v1.Exists())
            text = fieldText(ID3v1Fields(), v1, key);
        if (FileColumns[size_t(column)].numeric)
            values.number[size_t(column)] = leadingNumber(text);
        values.text[size_t(column)] = std::move(text);
    }
    if (!audio.Valid())
        return values;
    const auto bitRate = size_t(FileColumn::BitRate);
    if (wanted & columnBit(int(bitRate))) {
        values.number[bitRate] = audio.BitRate();
        values.text[bitRate] = QString::number(audio.BitRate()) + QStringLiteral(" kbps");
    }
    const auto duration = size_t(FileColumn::Duration);
    if (wanted & columnBit(int(duration))) {
        const auto seconds = static_cast<qint64>(std::trunc(audio.Duration()));
        values.number[duration] = seconds;
        values.text[duration] = SecondsToTimeText(seconds);
    }
    return values;
}

QString fileColumnsText(FileColumnSet columns) {
    QStringList names;
    for (int column = 0; column < FileColumnCount; ++column) {
        const std::string_view key = FileColumns[size_t(column)].key;
        if (columns & columnBit(column))
            names << QString::fromLatin1(key.data(), qsizetype(key.size()));
    }
    return names.join(QLatin1Char(','));
}

FileColumnSet fileColumnsFromText(const QString& text) {
    FileColumnSet columns = 0;
    for (const QString& name : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        for (int column = 0; column < FileColumnCount; ++column) {
            const std::string_view key = FileColumns[size_t(column)].key;
            if (name.trimmed().compare(QLatin1String(key.data(), qsizetype(key.size())),
                                       Qt::CaseInsensitive) == 0)
                columns |= columnBit(column);
        }
    }
    return columns;
}

} // namespace quillon
