#include "shell/FileName.h"

#include <QDir>
#include <cerrno>
#include <climits>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

PathInfo pathInfo(const QString& path, bool followLinks) {
    PathInfo info;
    const QByteArray bytes = fileNameBytes(path);
    struct stat st {};
    if (::lstat(bytes.constData(), &st) != 0)
        return info;
    info.exists = true;
    info.isSymLink = S_ISLNK(st.st_mode);
    if (info.isSymLink && followLinks) {
        struct stat target {};
        if (::stat(bytes.constData(), &target) == 0)
            st = target;
    }
    info.isDir = S_ISDIR(st.st_mode);
    info.isFile = S_ISREG(st.st_mode);
    info.mode = st.st_mode;
    info.size = st.st_size;
    info.modified = st.st_mtim;
    info.device = st.st_dev;
    info.inode = st.st_ino;
    info.owner = st.st_uid;
    return info;
}

bool pathExists(const QString& path) {
    return pathInfo(path, false).exists;
}

bool isDirectory(const QString& path) {
    return pathInfo(path, true).isDir;
}

QByteArray percentEncodedPath(const QString& path) {
    // What RFC 3986 lets a path segment hold as it is, as GLib's g_filename_to_uri keeps it.
    return fileNameBytes(path).toPercentEncoding("/!$&'()*+,;=:@");
}

QByteArray fileUriOf(const QString& path) {
    return "file://" + percentEncodedPath(path);
}

QString pathFromFileUri(QByteArrayView uri) {
    QByteArray rest = uri.toByteArray();
    if (!rest.toLower().startsWith("file:"))
        return {};
    rest.remove(0, 5);
    if (rest.startsWith("//")) {
        const qsizetype slash = rest.indexOf('/', 2);
        if (slash < 0)
            return {};
        const QByteArray host = rest.mid(2, slash - 2).toLower();
        if (!host.isEmpty() && host != "localhost")
            return {};
        rest.remove(0, slash);
    }
    if (!rest.startsWith('/'))
        return {};
    // A query or fragment is no part of the path; a path's own "?" and "#" come as %3F and %23.
    for (const char end : {'?', '#'})
        if (const qsizetype at = rest.indexOf(end); at >= 0)
            rest.truncate(at);
    return fileNameFromBytes(QByteArray::fromPercentEncoding(rest));
}

QString homeFolder() {
    const QByteArray home = qgetenv("HOME");
    if (!home.startsWith('/'))
        return QDir::homePath();
    return QDir::cleanPath(fileNameFromBytes(home));
}

QString absolutePath(const QString& path) {
    if (path.startsWith(QLatin1Char('/')))
        return QDir::cleanPath(path);
    char buffer[PATH_MAX];
    const QString here =
        ::getcwd(buffer, sizeof buffer) ? fileNameFromBytes(buffer) : QDir::currentPath();
    return QDir::cleanPath(childPath(here, path));
}

bool forEachEntry(const QString& folder, const std::function<bool(const DirectoryEntry&)>& visit,
                  bool foldersOnly) {
    const QByteArray bytes = fileNameBytes(folder);
    const int fd = ::open(bytes.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        const int code = errno;
        ::close(fd);
        errno = code;
        return false;
    }
    for (;;) {
        errno = 0; // readdir leaves it at 0 at the end, and sets it on an error
        const dirent* entry = ::readdir(dir);
        if (!entry)
            break;
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        if (foldersOnly && entry->d_type != DT_DIR && entry->d_type != DT_LNK &&
            entry->d_type != DT_UNKNOWN)
            continue;
        DirectoryEntry item;
        item.isSymLink = entry->d_type == DT_LNK;
        item.isDir = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
            struct stat st {};
            if (entry->d_type == DT_UNKNOWN && ::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) == 0)
                item.isSymLink = S_ISLNK(st.st_mode);
            if (::fstatat(fd, name, &st, 0) == 0)
                item.isDir = S_ISDIR(st.st_mode);
        }
        if (foldersOnly && !item.isDir)
            continue;
        item.name = fileNameFromBytes(name);
        if (!visit(item)) {
            ::closedir(dir);
            return true;
        }
    }
    const int code = errno;
    ::closedir(dir);
    errno = code;
    return code == 0;
}
