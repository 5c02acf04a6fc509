#include "display/TerminalText.h"

#include "tags/TagText.h"

namespace quillon {

namespace {
constexpr char kHex[] = "0123456789abcdef";
}

std::string displayPath(const std::string& path) {
    std::string out;
    std::size_t pos = 0;
    while (pos < path.size()) {
        const std::size_t start = pos;
        if (decodeUtf8At(path, pos)) {
            out.append(path, start, pos - start);
        } else {
            const auto byte = static_cast<unsigned char>(path[start]);
            out += "\\udc";
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        }
    }
    return out;
}

std::string terminalText(std::string_view text) {
    std::string out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t start = pos;
        const auto cp = decodeUtf8At(text, pos);
        if (cp && (*cp < 0x20 || *cp == 0x7F)) {
            out += "\\x";
            out += kHex[*cp >> 4];
            out += kHex[*cp & 0xF];
        } else if (cp && *cp >= 0x80 && *cp < 0xA0) {
            out += "\\u00";
            out += kHex[*cp >> 4];
            out += kHex[*cp & 0xF];
        } else {
            out.append(text.substr(start, pos - start));
        }
    }
    return out;
}

std::string shownName(const std::string& name) {
    return terminalText(displayPath(name));
}

} // namespace quillon
