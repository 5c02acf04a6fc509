// One section of an INI-style settings file: its name and its keys in the order they are
// written. Shared by the writers of layout state and the settings file itself, which also
// share one rule for reading an integer.
#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

namespace quillon {

struct IniSection {
    QString name;
    QList<QPair<QString, QString>> keys;

    // Keys are compared without regard to case, as in INI files; nullptr when absent.
    const QString* value(const QString& key) const {
        for (const auto& pair : keys) {
            if (pair.first.compare(key, Qt::CaseInsensitive) == 0)
                return &pair.second;
        }
        return nullptr;
    }
    // The key's integer by parseInt; false, leaving `number` as it is, when the key is missing
    // or its value is not an integer.
    bool intValue(const QString& key, int* number) const;
    int intValue(const QString& key, int fallback) const;
    // An integer as above; nonzero is true.
    bool boolValue(const QString& key, bool fallback) const;

    void add(const QString& key, const QString& text) { keys.append({key, text}); }
    void add(const QString& key, int number) { keys.append({key, QString::number(number)}); }
    void add(const QString& key, bool flag) {
        keys.append({key, flag ? QStringLiteral("1") : QStringLiteral("0")});
    }

    // The settings file's integer rule: ASCII blanks around; decimal with an optional sign and
    // within int's range, or "0x"/"0X" and hex digits without a sign within 32 bits, taken as
    // an int's bits (0xFFFFFFFF is -1). Anything else is not an integer.
    static bool parseInt(const QByteArray& text, int* number);

    bool operator==(const IniSection&) const = default;
};

} // namespace quillon
