// The texts of what the ID3v2 band shows beyond its field rows: the lyrics' first line, the
// list of the tag's other frames, and the question before a conversion to another revision.
// QtCore only: no widgets.
#pragma once

#include <QList>
#include <QString>
#include <cstdint>
#include <string>
#include <vector>

namespace quillon {

struct TOtherFrame;

// The first line of a text of several lines ("" for none).
QString firstLineOf(const std::string& text);

// "45 KB", "812 bytes", "4.2 MB".
QString byteSizeText(std::uint64_t bytes);

// One entry of the other-frames list as shown.
struct OtherFrameTexts {
    QString frame;       // "TXXX (User text)"; the id alone when it has no common name
    QString description; // "REPLAYGAIN_TRACK_GAIN", an e-mail, an owner
    QString value; // text, address, first line of lyrics, "picture 512×512 JPEG 45 KB", "binary 16
                   // bytes"
};
OtherFrameTexts otherFrameTexts(const TOtherFrame& frame);

// Before converting the tag of `file` to ID3v2.`major`: what would be lost, one line a frame.
QString conversionQuestion(int major, const QString& file, const std::vector<std::string>& losses);

} // namespace quillon
