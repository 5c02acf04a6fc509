// The texts of the inspector's three bands for an analysed file, computed once
// here so that the window and quillon-probe show exactly the same thing.
// QtCore only: no widgets.
#pragma once

#include <QList>
#include <QLocale>
#include <QString>
#include <stdexcept>

namespace quillon {

class TID3v1;
class TID3v2;
class TMPEGaudio;

// One row of a band: its name in the window, its caption and its text.
struct DisplayRow {
    QString name;
    QString caption;
    QString text;
};

// A band's texts: the rows in the order the window fills them.
struct BandTexts {
    QString caption;
    QString versionLabel;
    bool hasTag = false;
    QList<DisplayRow> rows;
    // The text of the row with this name; empty when the band has no such row.
    QString text(const QString& rowName) const;
};

// Raised when a text cannot be made, as for a file that vanished before it
// could be shown.
class DisplayError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

QString BoolText(bool value);
// "hh:nn:ss" for whole seconds; hours run past 24 ("25:00:00") instead of failing.
QString SecondsToTimeText(qint64 seconds);
// Tag text (UTF-8) as shown, and the text typed by the user as tag text.
QString tagTextToDisplay(const std::string& text);
std::string displayTextToTag(const QString& text);

BandTexts ID3v1Texts(const TID3v1& tag);
BandTexts ID3v2Texts(const TID3v2& tag);
// Size and time are those the analysis saw as it read the file; nothing is read again.
BandTexts MpegTexts(const TMPEGaudio& audio, const QLocale& locale);
// The same for a file analysed by that name, which must still name a file: throws
// DisplayError for one that went between the analysis and the display.
BandTexts MpegTexts(const TMPEGaudio& audio, const QString& fileName, const QLocale& locale);

// Row names of each band in the order the window shows them (display/BandRows.h), composite
// members in their order inside their composite; "iMpeg_VBR" comes last when shown.
const QList<QString>& ID3v1DisplayOrder();
const QList<QString>& ID3v2DisplayOrder();
const QList<QString>& MpegDisplayOrder();

} // namespace quillon
