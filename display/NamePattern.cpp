#include "display/NamePattern.h"

#include "display/NameRules.h"
#include "display/TagFields.h"
#include "shell/FileName.h"

#include <algorithm>

namespace quillon {

namespace {

const QString kDummy = QStringLiteral("dummy");

bool isPlaceholderName(const QString& name) {
    return !name.isEmpty() && std::all_of(name.begin(), name.end(), [](QChar c) {
        return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
               (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
               (c >= QLatin1Char('0') && c <= QLatin1Char('9'));
    });
}

QString fromView(std::string_view text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

} // namespace

QStringList NamePattern::placeholders() {
    static const QStringList names = [] {
        QStringList list;
        for (const auto& field : ID3v2Fields())
            list.append(fromView(field.key));
        for (const auto& field : ID3v1Fields()) {
            if (!list.contains(fromView(field.key)))
                list.append(fromView(field.key));
        }
        list.append(kDummy);
        return list;
    }();
    return names;
}

NamePattern::NamePattern(const QString& pattern) : m_text(pattern) {
    if (pattern.isEmpty()) {
        m_error = QStringLiteral("the pattern is empty");
        return;
    }
    const QStringList known = placeholders();
    bool anyField = false;
    for (const QString& levelText : pattern.split(QLatin1Char('/'))) {
        if (levelText.isEmpty()) {
            m_error = QStringLiteral("the pattern has an empty folder level");
            return;
        }
        Level level;
        QString literal;
        qsizetype i = 0;
        while (i < levelText.size()) {
            const qsizetype end = levelText.at(i) == QLatin1Char('%')
                                      ? levelText.indexOf(QLatin1Char('%'), i + 1)
                                      : -1;
            const QString name = end > i ? levelText.mid(i + 1, end - i - 1) : QString();
            if (!isPlaceholderName(name)) {
                literal += levelText.at(i++);
                continue;
            }
            const QString field = name.toLower();
            if (!known.contains(field)) {
                m_error = QStringLiteral("unknown placeholder %%1%").arg(name);
                return;
            }
            if (literal.isEmpty() && !level.empty()) {
                m_error = QStringLiteral("%%1% follows another placeholder with nothing between")
                              .arg(name);
                return;
            }
            if (!literal.isEmpty())
                level.push_back({literal, {}});
            literal.clear();
            level.push_back({{}, field});
            anyField = anyField || field != kDummy;
            i = end + 1;
        }
        if (!literal.isEmpty())
            level.push_back({literal, {}});
        m_parts.push_back(std::move(level));
    }
    if (!anyField) {
        m_error = QStringLiteral("the pattern has no placeholder");
        m_parts.clear();
        return;
    }
    m_levels = int(m_parts.size()) - 1;
}

QStringList NamePattern::fields() const {
    QStringList list;
    for (const Level& level : m_parts) {
        for (const Token& token : level) {
            if (!token.field.isEmpty() && token.field != kDummy && !list.contains(token.field))
                list.append(token.field);
        }
    }
    return list;
}

namespace {

struct Matcher {
    const std::vector<std::vector<std::pair<QString, QString>>>& levels; // literal, field
    const QStringList& texts;
    PatternValues values;

    // Shortest values first; a field named twice must be given the same text both times.
    bool matchFrom(std::size_t level, std::size_t token, qsizetype pos) {
        if (level == levels.size())
            return true;
        const auto& tokens = levels[level];
        const QString& text = texts[qsizetype(level)];
        if (token == tokens.size())
            return pos == text.size() && matchFrom(level + 1, 0, 0);
        const auto& [literal, field] = tokens[token];
        if (field.isEmpty()) {
            return QStringView(text).mid(pos).startsWith(literal) &&
                   matchFrom(level, token + 1, pos + literal.size());
        }
        const bool last = token + 1 == tokens.size();
        for (qsizetype end = last ? text.size() : pos; end <= text.size(); ++end) {
            const QString value = text.mid(pos, end - pos);
            const auto known = values.constFind(field);
            if (field != kDummy && known != values.constEnd() && *known != value)
                continue;
            const bool added = field != kDummy && known == values.constEnd();
            if (added)
                values.insert(field, value);
            if (matchFrom(level, token + 1, end))
                return true;
            if (added)
                values.remove(field);
        }
        return false;
    }
};

} // namespace

std::optional<PatternValues> NamePattern::match(const QString& path) const {
    if (!isValid())
        return std::nullopt;
    QStringList parts = path.split(QLatin1Char('/'));
    if (parts.size() < qsizetype(m_parts.size()) ||
        (parts.size() == qsizetype(m_parts.size()) && m_levels > 0 && parts.front().isEmpty()))
        return std::nullopt;
    QStringList texts;
    const qsizetype first = parts.size() - qsizetype(m_parts.size());
    for (qsizetype i = first; i < parts.size(); ++i) {
        const QString part = i + 1 == parts.size() ? baseNameOf(parts[i]) : parts[i];
        texts.append(tagTextOfName(part));
    }
    std::vector<std::vector<std::pair<QString, QString>>> levels;
    for (const Level& level : m_parts) {
        levels.emplace_back();
        for (const Token& token : level)
            levels.back().emplace_back(token.literal, token.field);
    }
    Matcher matcher{levels, texts, {}};
    if (!matcher.matchFrom(0, 0, 0))
        return std::nullopt;
    return matcher.values;
}

QString NamePattern::nameFor(const PatternValues& values, const QString& oldPath) const {
    if (!isValid())
        return {};
    const QString oldName = fileNameOf(oldPath);
    QStringList names;
    for (const Level& level : m_parts) {
        QString name;
        for (const Token& token : level) {
            if (token.field.isEmpty())
                name += token.literal;
            else if (token.field != kDummy)
                name += namePartOfTagText(values.value(token.field), oldName);
        }
        names.append(name);
    }
    // The path loses its name and one folder per level; a relative path may run out of folders
    // only at its last level.
    QString folder = oldPath;
    for (int i = 0; i <= m_levels; ++i) {
        const qsizetype slash = folder.lastIndexOf(QLatin1Char('/'));
        if (slash < 0 && i < m_levels)
            return {};
        folder.truncate(std::max<qsizetype>(slash, 0));
    }
    const QString name = names.join(QLatin1Char('/')) + extensionOf(oldPath);
    if (folder.isEmpty())
        return oldPath.startsWith(QLatin1Char('/')) ? QLatin1Char('/') + name : name;
    return folder + QLatin1Char('/') + name;
}

} // namespace quillon
