// The settings file: an INI file read whole when opened and written whole by save(), with the
// rules Quillon's settings keep (case-insensitive names, 8-bit text kept as it is, values cut
// at 2047 characters when read, booleans and integers in decimal).
#pragma once

#include "ui/IniSection.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <memory>
#include <stdexcept>

namespace quillon {

// A write the system refused; what() is "Unable to write to <file>", then the reason on a line
// of its own.
class IniWriteError : public std::runtime_error {
public:
    IniWriteError(const QString& fileName, const QString& reason);
};

class IniFile {
public:
    // Longest value a read returns, in bytes.
    static constexpr int MaxValueLength = 2047;

    // Reads the file; a missing or unreadable file reads as empty.
    explicit IniFile(const QString& fileName);
    ~IniFile();
    IniFile(const IniFile&) = delete;
    IniFile& operator=(const IniFile&) = delete;

    QString fileName() const { return m_fileName; }

    bool hasKey(const QString& section, const QString& key) const;
    // The value's bytes, cut to MaxValueLength; `fallback` when the key is missing.
    QByteArray readBytes(const QString& section, const QString& key,
                         const QByteArray& fallback = {}) const;
    // Text in the system's 8-bit encoding (UTF-8).
    QString readString(const QString& section, const QString& key,
                       const QString& fallback = {}) const;
    // By IniSection::parseInt; `fallback` when missing or not an integer.
    int readInt(const QString& section, const QString& key, int fallback) const;
    // An integer as above; nonzero is true.
    bool readBool(const QString& section, const QString& key, bool fallback) const;

    // A path as the bytes of its name (see shell/FileName.h), so that no name is changed.
    QString readPath(const QString& section, const QString& key,
                     const QString& fallback = {}) const;

    void writeBytes(const QString& section, const QString& key, const QByteArray& value);
    void writePath(const QString& section, const QString& key, const QString& path);
    void writeString(const QString& section, const QString& key, const QString& value);
    void writeInt(const QString& section, const QString& key, int value);
    void writeBool(const QString& section, const QString& key, bool value);

    // Section names in file order.
    QStringList sectionNames() const;
    // The named section with its keys in file order (no keys when it is missing).
    IniSection section(const QString& name) const;
    // Every section whose name starts with `prefix` (without regard to case), with its keys in
    // file order and its values read as text.
    QList<IniSection> sectionsWithPrefix(const QString& prefix) const;
    void eraseSectionsWithPrefix(const QString& prefix);
    // Writes the sections' keys, adding sections and keys that are missing.
    void writeSections(const QList<IniSection>& sections);

    // Writes the whole file to a temporary file in its folder and renames it over the old
    // one, so that an interrupted write never leaves half a file. Throws IniWriteError.
    void save() const;

private:
    struct Data;
    QString m_fileName;
    std::unique_ptr<Data> m_data;
};

} // namespace quillon
