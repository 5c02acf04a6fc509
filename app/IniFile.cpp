#include "app/IniFile.h"

#include "app/FailureText.h"
#include "shell/FileName.h"

// Bytes in, bytes out, and the templates built here rather than taken from the library.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include <QFile>
#include <QSaveFile>
#include <QStringList>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <list>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon {

namespace {

std::string bytesOf(const QString& name) {
    return name.toStdString();
}

QString textOf(const char* bytes) {
    return QString::fromLocal8Bit(bytes);
}

bool hasPrefix(const char* name, const std::string& prefix) {
    return qstrnicmp(name, prefix.c_str(), prefix.size()) == 0;
}

QByteArray cut(const char* value) {
    const qsizetype length = qsizetype(std::strlen(value));
    return QByteArray(value, std::min<qsizetype>(length, IniFile::MaxValueLength));
}

} // namespace

struct IniFile::Data {
    CSimpleIniA ini{false, false, false};

    // Entries sorted in the order they stand in the file.
    std::list<CSimpleIniA::Entry> sectionsInOrder() const {
        CSimpleIniA::TNamesDepend sections;
        ini.GetAllSections(sections);
        sections.sort(CSimpleIniA::Entry::LoadOrder());
        return {sections.begin(), sections.end()};
    }
};

IniWriteError::IniWriteError(const QString& fileName, const QString& reason)
    : std::runtime_error(
          withReason(QStringLiteral("Unable to write to %1").arg(displayFileName(fileName)), reason)
              .toStdString()) {}

IniFile::IniFile(const QString& fileName) : m_fileName(fileName), m_data(std::make_unique<Data>()) {
    m_data->ini.SetSpaces(false);
    // Opened without blocking and checked before reading: a FIFO or a device in the file's
    // place would stall start-up, so anything but a regular file reads as unreadable.
    const int fd =
        ::open(fileNameBytes(fileName).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return;
    struct stat info {};
    QFile file;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return;
    }
    const QByteArray bytes = file.readAll();
    m_data->ini.LoadData(bytes.constData(), size_t(bytes.size()));
}

IniFile::~IniFile() = default;

bool IniFile::hasKey(const QString& section, const QString& key) const {
    return m_data->ini.GetValue(bytesOf(section).c_str(), bytesOf(key).c_str(), nullptr) != nullptr;
}

QByteArray IniFile::readBytes(const QString& section, const QString& key,
                              const QByteArray& fallback) const {
    const char* value = m_data->ini.GetValue(bytesOf(section).c_str(), bytesOf(key).c_str());
    return value ? cut(value) : fallback;
}

QString IniFile::readString(const QString& section, const QString& key,
                            const QString& fallback) const {
    if (!hasKey(section, key))
        return fallback;
    return QString::fromLocal8Bit(readBytes(section, key));
}

QString IniFile::readPath(const QString& section, const QString& key,
                          const QString& fallback) const {
    return hasKey(section, key) ? fileNameFromBytes(readBytes(section, key)) : fallback;
}

int IniFile::readInt(const QString& section, const QString& key, int fallback) const {
    int value = 0;
    return hasKey(section, key) && IniSection::parseInt(readBytes(section, key), &value) ? value
                                                                                         : fallback;
}

bool IniFile::readBool(const QString& section, const QString& key, bool fallback) const {
    return readInt(section, key, fallback ? 1 : 0) != 0;
}

void IniFile::writeBytes(const QString& section, const QString& key, const QByteArray& value) {
    m_data->ini.SetValue(bytesOf(section).c_str(), bytesOf(key).c_str(),
                         value.toStdString().c_str());
}

void IniFile::writeString(const QString& section, const QString& key, const QString& value) {
    writeBytes(section, key, value.toLocal8Bit());
}

void IniFile::writePath(const QString& section, const QString& key, const QString& path) {
    writeBytes(section, key, fileNameBytes(path));
}

void IniFile::writeInt(const QString& section, const QString& key, int value) {
    writeBytes(section, key, QByteArray::number(value));
}

void IniFile::writeBool(const QString& section, const QString& key, bool value) {
    writeBytes(section, key, value ? "1" : "0");
}

QStringList IniFile::sectionNames() const {
    QStringList names;
    for (const auto& entry : m_data->sectionsInOrder())
        names.append(textOf(entry.pItem));
    return names;
}

IniSection IniFile::section(const QString& name) const {
    for (const IniSection& section : sectionsWithPrefix(name)) {
        if (section.name.compare(name, Qt::CaseInsensitive) == 0)
            return section;
    }
    return {name, {}};
}

QList<IniSection> IniFile::sectionsWithPrefix(const QString& prefix) const {
    QList<IniSection> result;
    const std::string bytePrefix = bytesOf(prefix);
    for (const auto& entry : m_data->sectionsInOrder()) {
        if (!hasPrefix(entry.pItem, bytePrefix))
            continue;
        IniSection section{textOf(entry.pItem), {}};
        CSimpleIniA::TNamesDepend keys;
        m_data->ini.GetAllKeys(entry.pItem, keys);
        keys.sort(CSimpleIniA::Entry::LoadOrder());
        for (const auto& key : keys)
            section.add(textOf(key.pItem),
                        QString::fromLocal8Bit(cut(m_data->ini.GetValue(entry.pItem, key.pItem))));
        result.append(section);
    }
    return result;
}

void IniFile::eraseSectionsWithPrefix(const QString& prefix) {
    const std::string bytePrefix = bytesOf(prefix);
    std::list<std::string> doomed;
    for (const auto& entry : m_data->sectionsInOrder()) {
        if (hasPrefix(entry.pItem, bytePrefix))
            doomed.emplace_back(entry.pItem);
    }
    for (const std::string& name : doomed)
        m_data->ini.Delete(name.c_str(), nullptr, true);
}

void IniFile::writeSections(const QList<IniSection>& sections) {
    for (const IniSection& section : sections) {
        // An empty section is still written, so that its name stays in the file.
        m_data->ini.SetValue(bytesOf(section.name).c_str(), nullptr, nullptr);
        for (const auto& [key, value] : section.keys)
            writeString(section.name, key, value);
    }
}

void IniFile::save() const {
    std::string text;
    if (m_data->ini.Save(text) < 0)
        throw IniWriteError(m_fileName, qt_error_string(ENOMEM));
    // Renaming over a FIFO, a device or a folder would replace it: such a place is refused.
    struct stat info {};
    if (::stat(fileNameBytes(m_fileName).constData(), &info) == 0 && !S_ISREG(info.st_mode))
        throw IniWriteError(m_fileName, S_ISDIR(info.st_mode)
                                            ? qt_error_string(EISDIR)
                                            : QStringLiteral("Not a regular file"));
    // Unbuffered, so that a short write (a full disk) is seen here: a buffered one can go
    // unreported and leave half a file in place.
    QSaveFile file(m_fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        throw IniWriteError(m_fileName, file.errorString());
    for (qint64 done = 0; done < qint64(text.size());) {
        const qint64 written = file.write(text.data() + done, qint64(text.size()) - done);
        if (written <= 0)
            throw IniWriteError(m_fileName, file.errorString());
        done += written;
    }
    if (!file.commit())
        throw IniWriteError(m_fileName, file.errorString());
}

} // namespace quillon
