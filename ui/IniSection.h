// One section of an INI-style settings file: its name and its keys in the order they are
// written. Shared by the writers of layout state and the settings file itself.
#pragma once

#include <QList>
#include <QPair>
#include <QString>

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
    void add(const QString& key, const QString& text) { keys.append({key, text}); }
    void add(const QString& key, int number) { keys.append({key, QString::number(number)}); }
    void add(const QString& key, bool flag) {
        keys.append({key, flag ? QStringLiteral("1") : QStringLiteral("0")});
    }

    bool operator==(const IniSection&) const = default;
};
