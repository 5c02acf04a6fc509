#include "shell/FileName.h"

namespace quillon {

namespace {

constexpr char16_t RawByteBase = 0xDC00; // + the byte, for 0x80..0xFF

bool isRawByte(char16_t unit) {
    return unit >= 0xDC80 && unit <= 0xDCFF;
}

// The length of the valid UTF-8 sequence at `at` (1 to 4), with its code point; 0 when the
// bytes there are not one (overlong forms, surrogates and values past U+10FFFF included).
int utf8SequenceAt(QByteArrayView bytes, qsizetype at, char32_t* codePoint) {
    const auto byte = [&](qsizetype i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = byte(at);
    int length = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        *codePoint = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (at + length > bytes.size())
        return 0;
    for (int i = 1; i < length; ++i) {
        const unsigned char next = byte(at + i);
        if ((next & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (next & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    *codePoint = value;
    return length;
}

int hexValue(QChar c) {
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

} // namespace

QString fileNameFromBytes(QByteArrayView bytes) {
    QString text;
    text.reserve(bytes.size());
    for (qsizetype at = 0; at < bytes.size();) {
        char32_t codePoint = 0;
        const int length = utf8SequenceAt(bytes, at, &codePoint);
        if (length == 0) {
            text.append(QChar(char16_t(RawByteBase + static_cast<unsigned char>(bytes[at]))));
            ++at;
            continue;
        }
        if (codePoint < 0x10000) {
            text.append(QChar(char16_t(codePoint)));
        } else {
            text.append(QChar(QChar::highSurrogate(codePoint)));
            text.append(QChar(QChar::lowSurrogate(codePoint)));
        }
        at += length;
    }
    return text;
}

QByteArray fileNameBytes(const QString& name) {
    QByteArray bytes;
    bytes.reserve(name.size());
    const auto appendUtf8 = [&](char32_t c) {
        if (c < 0x80) {
            bytes.append(char(c));
        } else if (c < 0x800) {
            bytes.append(char(0xC0 | (c >> 6)));
            bytes.append(char(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            bytes.append(char(0xE0 | (c >> 12)));
            bytes.append(char(0x80 | ((c >> 6) & 0x3F)));
            bytes.append(char(0x80 | (c & 0x3F)));
        } else {
            bytes.append(char(0xF0 | (c >> 18)));
            bytes.append(char(0x80 | ((c >> 12) & 0x3F)));
            bytes.append(char(0x80 | ((c >> 6) & 0x3F)));
            bytes.append(char(0x80 | (c & 0x3F)));
        }
    };
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t unit = name[i].unicode();
        if (isRawByte(unit)) {
            bytes.append(char(unit - RawByteBase));
        } else if (QChar::isHighSurrogate(unit) && i + 1 < name.size() &&
                   QChar::isLowSurrogate(name[i + 1].unicode())) {
            appendUtf8(QChar::surrogateToUcs4(unit, name[i + 1].unicode()));
            ++i;
        } else if (QChar::isSurrogate(unit)) {
            appendUtf8(0xFFFD); // a lone surrogate no byte stands for
        } else {
            appendUtf8(unit);
        }
    }
    return bytes;
}

std::string nativePath(const QString& path) {
    return fileNameBytes(path).toStdString();
}

QString pathFromNative(const std::string& path) {
    return fileNameFromBytes(QByteArrayView(path.data(), qsizetype(path.size())));
}

bool hasRawBytes(const QString& name) {
    for (const QChar c : name) {
        if (isRawByte(c.unicode()))
            return true;
    }
    return false;
}

QString displayFileName(const QString& name) {
    if (!hasRawBytes(name))
        return name;
    QString shown;
    shown.reserve(name.size() + 8);
    for (const QChar c : name) {
        if (isRawByte(c.unicode()))
            shown +=
                QStringLiteral("\\x") + QString::number(c.unicode() - RawByteBase, 16).toUpper();
        else
            shown += c;
    }
    return shown;
}

QString fileNameFromDisplay(const QString& typed, const QString& original) {
    if (!hasRawBytes(original))
        return typed;
    if (typed == displayFileName(original))
        return original;
    QString name;
    name.reserve(typed.size());
    for (qsizetype i = 0; i < typed.size(); ++i) {
        if (typed[i] == QLatin1Char('\\') && i + 3 < typed.size() &&
            typed[i + 1] == QLatin1Char('x')) {
            const int high = hexValue(typed[i + 2]);
            const int low = hexValue(typed[i + 3]);
            if (high >= 8 && low >= 0) {
                name += QChar(char16_t(RawByteBase + high * 16 + low));
                i += 3;
                continue;
            }
        }
        name += typed[i];
    }
    // Bytes typed back may now form valid UTF-8 with their neighbours: read them as the file
    // system will.
    return fileNameFromBytes(fileNameBytes(name));
}

QString fileNameOf(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? path : path.mid(slash + 1);
}

QString folderOf(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return QStringLiteral(".");
    return slash == 0 ? QStringLiteral("/") : path.left(slash);
}

QString childPath(const QString& folder, const QString& name) {
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

} // namespace quillon
