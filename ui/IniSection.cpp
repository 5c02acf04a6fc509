#include "ui/IniSection.h"

#include <algorithm>
#include <cctype>

namespace quillon {

bool IniSection::intValue(const QString& key, int* number) const {
    const QString* text = value(key);
    return text && parseInt(text->toUtf8(), number);
}

int IniSection::intValue(const QString& key, int fallback) const {
    int number = fallback;
    intValue(key, &number);
    return number;
}

bool IniSection::boolValue(const QString& key, bool fallback) const {
    return intValue(key, fallback ? 1 : 0) != 0;
}

bool IniSection::parseInt(const QByteArray& text, int* number) {
    const QByteArray trimmed = text.trimmed();
    bool ok = false;
    if (trimmed.size() > 2 && (trimmed.startsWith("0x") || trimmed.startsWith("0X"))) {
        const QByteArray digits = trimmed.mid(2);
        // Only hex digits: toUInt would also take a sign.
        if (!std::all_of(digits.begin(), digits.end(),
                         [](char c) { return std::isxdigit(uchar(c)); }))
            return false;
        const uint hex = digits.toUInt(&ok, 16);
        if (ok)
            *number = int(hex);
        return ok;
    }
    const int decimal = trimmed.toInt(&ok, 10);
    if (ok)
        *number = decimal;
    return ok;
}

} // namespace quillon
