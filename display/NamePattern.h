// Patterns that tie file names to tag fields, both ways: "%artist% - %title%" takes the artist
// and the title from "Nina - Song.mp3", and names a file after its tag's artist and title.
#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace quillon {

// Placeholder name without the "%" (a field's key: "artist") -> value.
using PatternValues = QMap<QString, QString>;

// A placeholder is a field's key between "%" signs, in any letter case (%title%, %Artist%), or
// %dummy%, which takes a part of the name and keeps it nowhere. Any other "%" is a character of
// the name. A "/" reaches into folder levels: "%artist%/%album%/%track% - %title%" is matched
// against the last three parts of the path.
//
// Matching: the file's extension is left out, and a value never holds a "/". Each value ends
// at the first place where the rest of the pattern can match (the shortest value), so that
// "A - B - C" under "%artist% - %title%" gives the artist "A" and the title "B - C", as Fill Tag
// From File does; the last value of a folder level takes the rest of it. Names are compared
// character for character: nothing in a name is special to the pattern. A name that is not
// UTF-8 is read in Windows-1252, as Fill Tag From File reads it.
class NamePattern {
public:
    explicit NamePattern(const QString& pattern);

    bool isValid() const { return m_error.isEmpty(); }
    // Why the pattern cannot be used: empty, an unknown placeholder, two placeholders with
    // nothing between them, an empty folder level.
    QString error() const { return m_error; }
    const QString& text() const { return m_text; }
    // The fields the pattern names, in order, each once; %dummy% is not one.
    QStringList fields() const;
    // Folder levels above the file's name that the pattern reaches.
    int folderLevels() const { return m_levels; }

    // The values the path's end gives, or nothing when it does not match.
    std::optional<PatternValues> match(const QString& path) const;

    // The new path of `oldPath`: the values in place of the placeholders (a missing value is
    // empty, %dummy% gives nothing), the old extension added. In the file's own folder, or,
    // with folder levels, relative to the folder that many levels above it. In each value a
    // "/" becomes "-", as Rename File does; see NameRules.h.
    QString nameFor(const PatternValues& values, const QString& oldPath) const;

    // The placeholders without "%": every field of either tag, then "dummy".
    static QStringList placeholders();

private:
    struct Token {
        QString literal; // when `field` is empty
        QString field;
    };
    using Level = std::vector<Token>;

    QString m_text;
    QString m_error;
    std::vector<Level> m_parts; // one per folder level, the file's name last
    int m_levels = 0;
};

} // namespace quillon
