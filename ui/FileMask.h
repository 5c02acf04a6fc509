// The file list's mask: patterns separated by ";" tested against a file name without regard
// to case. "*" matches any run, "?" exactly one character as a pattern's first character and
// at most one elsewhere (so "*.mp?" takes "song.mp" but not "song.mpeg"); everything else
// matches itself. QRegularExpression's wildcards know no "at most one", hence our own matcher.
#pragma once

#include <QString>
#include <QStringList>

namespace quillon {

class FileMask {
public:
    FileMask() = default;
    explicit FileMask(const QString& text);

    QString text() const { return m_text; }
    // No pattern at all: every name passes.
    bool isEmpty() const { return m_patterns.isEmpty(); }
    bool matches(const QString& fileName) const;

    // One pattern against the whole name.
    static bool patternMatches(const QString& pattern, const QString& fileName);

private:
    QString m_text;
    QStringList m_patterns; // case-folded
};

} // namespace quillon
