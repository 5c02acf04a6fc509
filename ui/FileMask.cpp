#include "ui/FileMask.h"

#include <vector>

namespace quillon {

namespace {

QString folded(const QString& text) {
    return text.toCaseFolded();
}

// Pattern and name already case-folded. reach[j]: the pattern read so far can cover the
// first j characters of the name.
bool foldedMatch(const QString& pattern, const QString& name) {
    const qsizetype length = name.size();
    std::vector<char> reach(size_t(length) + 1, 0);
    reach[0] = 1;
    for (qsizetype p = 0; p < pattern.size(); ++p) {
        const QChar c = pattern.at(p);
        std::vector<char> next(reach.size(), 0);
        for (qsizetype j = 0; j <= length; ++j) {
            if (!reach[size_t(j)])
                continue;
            if (c == QLatin1Char('*')) {
                for (qsizetype k = j; k <= length; ++k)
                    next[size_t(k)] = 1;
                break;
            }
            if (c == QLatin1Char('?')) {
                if (p > 0) // elsewhere than first: also nothing
                    next[size_t(j)] = 1;
                if (j < length)
                    next[size_t(j + 1)] = 1;
            } else if (j < length && name.at(j) == c) {
                next[size_t(j + 1)] = 1;
            }
        }
        reach.swap(next);
    }
    return reach[size_t(length)] != 0;
}

} // namespace

FileMask::FileMask(const QString& text) : m_text(text) {
    for (const QString& part : text.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString pattern = part.trimmed();
        if (!pattern.isEmpty())
            m_patterns << folded(pattern);
    }
}

bool FileMask::matches(const QString& fileName) const {
    if (m_patterns.isEmpty())
        return true;
    const QString name = folded(fileName);
    for (const QString& pattern : m_patterns)
        if (foldedMatch(pattern, name))
            return true;
    return false;
}

bool FileMask::patternMatches(const QString& pattern, const QString& fileName) {
    return foldedMatch(folded(pattern), folded(fileName));
}

} // namespace quillon
