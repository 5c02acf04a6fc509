#include "tags/TagText.h"

#include <array>
#include <limits>

namespace quillon {

namespace {

// Code points of the bytes 0x80-0x9F; the rest of the code page equals Latin-1.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

constexpr char32_t kReplacement = 0xFFFD;

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Decodes one UTF-8 sequence at `pos`, advancing it; nothing for malformed input.
std::optional<char32_t> nextUtf8(std::string_view text, std::size_t& pos) {
    const auto lead = static_cast<unsigned char>(text[pos++]);
    if (lead < 0x80)
        return lead;
    int extra;
    char32_t cp;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1;
        cp = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2;
        cp = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3;
        cp = lead & 0x07;
    } else {
        return std::nullopt;
    }
    for (int i = 0; i < extra; ++i) {
        if (pos >= text.size())
            return std::nullopt;
        const auto cont = static_cast<unsigned char>(text[pos]);
        if ((cont & 0xC0) != 0x80)
            return std::nullopt;
        cp = (cp << 6) | (cont & 0x3F);
        ++pos;
    }
    constexpr char32_t kMinForLength[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMinForLength[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return std::nullopt;
    return cp;
}

bool isControlOrSpace(char c) {
    return static_cast<unsigned char>(c) <= 0x20;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

char32_t windows1252ToUnicode(std::uint8_t byte) {
    if (byte >= 0x80 && byte <= 0x9F)
        return kHighControls[byte - 0x80];
    return byte;
}

std::optional<std::uint8_t> unicodeToWindows1252(char32_t codePoint) {
    if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF))
        return static_cast<std::uint8_t>(codePoint);
    for (std::size_t i = 0; i < kHighControls.size(); ++i) {
        if (kHighControls[i] == codePoint)
            return static_cast<std::uint8_t>(0x80 + i);
    }
    return std::nullopt;
}

std::string windows1252ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (char c : bytes)
        appendUtf8(out, windows1252ToUnicode(static_cast<std::uint8_t>(c)));
    return out;
}

std::string utf8ToWindows1252(std::string_view utf8, char replacement) {
    std::string out;
    out.reserve(utf8.size());
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const auto cp = nextUtf8(utf8, pos);
        const auto byte = cp ? unicodeToWindows1252(*cp) : std::nullopt;
        out += byte ? static_cast<char>(*byte) : replacement;
    }
    return out;
}

bool isValidUtf8(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        if (!nextUtf8(text, pos))
            return false;
    }
    return true;
}

std::optional<char32_t> decodeUtf8At(std::string_view text, std::size_t& pos) {
    const std::size_t start = pos;
    const auto cp = nextUtf8(text, pos);
    if (!cp)
        pos = start + 1;
    return cp;
}

std::string sanitizedUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const std::size_t start = pos;
        if (nextUtf8(bytes, pos)) {
            out.append(bytes.substr(start, pos - start));
        } else {
            appendUtf8(out, kReplacement);
            // Resume at the next byte that can start a sequence.
            pos = start + 1;
            while (pos < bytes.size() && (static_cast<unsigned char>(bytes[pos]) & 0xC0) == 0x80)
                ++pos;
        }
    }
    return out;
}

std::string utf16ToUtf8(std::string_view bytes, bool bigEndian) {
    std::string out;
    out.reserve(bytes.size());
    const std::size_t units = bytes.size() / 2;
    auto unitAt = [&](std::size_t i) {
        const auto a = static_cast<unsigned char>(bytes[2 * i]);
        const auto b = static_cast<unsigned char>(bytes[2 * i + 1]);
        return static_cast<char32_t>(bigEndian ? (a << 8) | b : (b << 8) | a);
    };
    for (std::size_t i = 0; i < units; ++i) {
        const char32_t unit = unitAt(i);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units) {
            const char32_t low = unitAt(i + 1);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        appendUtf8(out, unit >= 0xD800 && unit <= 0xDFFF ? kReplacement : unit);
    }
    if (bytes.size() % 2 != 0)
        appendUtf8(out, kReplacement);
    return out;
}

std::string utf8ToUtf16(std::string_view utf8, bool bigEndian) {
    std::string out;
    out.reserve(utf8.size() * 2);
    auto put = [&](char32_t unit) {
        const auto high = static_cast<char>(unit >> 8);
        const auto low = static_cast<char>(unit & 0xFF);
        out += bigEndian ? high : low;
        out += bigEndian ? low : high;
    };
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const char32_t cp = nextUtf8(utf8, pos).value_or(kReplacement);
        if (cp >= 0x10000) {
            put(0xD800 + ((cp - 0x10000) >> 10));
            put(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            put(cp);
        }
    }
    return out;
}

std::string latin1ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (char c : bytes)
        appendUtf8(out, static_cast<unsigned char>(c));
    return out;
}

std::optional<std::string> latin1FromUtf8(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const auto cp = nextUtf8(utf8, pos);
        if (!cp || *cp > 0xFF)
            return std::nullopt;
        out += static_cast<char>(*cp);
    }
    return out;
}

bool fitsSingleByteTagText(std::string_view utf8) {
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const auto cp = nextUtf8(utf8, pos);
        if (!cp || *cp > 0xFF || (*cp >= 0x80 && *cp < 0xA0))
            return false;
    }
    return true;
}

std::string trimRightControls(std::string_view text) {
    std::size_t end = text.size();
    while (end > 0 && isControlOrSpace(text[end - 1]))
        --end;
    return std::string(text.substr(0, end));
}

std::string trimControls(std::string_view text) {
    std::size_t begin = 0;
    while (begin < text.size() && isControlOrSpace(text[begin]))
        ++begin;
    return trimRightControls(text.substr(begin));
}

std::optional<std::int32_t> parseWholeInt32(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    bool hex = false;
    if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' &&
               (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i == text.size())
        return std::nullopt;

    std::uint64_t value = 0;
    // Hexadecimal takes the full 32 bits (so $FFFFFFFF is -1); decimal must fit
    // the signed range.
    const std::uint64_t limit = hex ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
    for (; i < text.size(); ++i) {
        const int digit =
            hex ? hexDigit(text[i]) : (text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : -1);
        if (digit < 0)
            return std::nullopt;
        value = value * (hex ? 16 : 10) + static_cast<std::uint64_t>(digit);
        if (value > limit)
            return std::nullopt;
    }
    auto result = static_cast<std::uint32_t>(value);
    if (negative)
        result = 0u - result;
    return static_cast<std::int32_t>(result);
}

} // namespace quillon
