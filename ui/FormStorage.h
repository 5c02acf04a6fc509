// Keeps a window's placement and some of its widgets' properties in one section of a settings
// file: applied when the window is first shown, written once when the window goes.
#pragma once

#include "ui/IniSection.h"

#include <QObject>
#include <QStringList>
#include <functional>
#include <vector>

class QWidget;

namespace quillon {

class FormStorage : public QObject {
    Q_OBJECT

public:
    // How the storage reaches the settings file: the reader gives the named section (no keys
    // when it is missing), the writer stores the given keys and keeps the section's others.
    using SectionReader = std::function<IniSection(const QString& name)>;
    using SectionWriter = std::function<void(const IniSection& keys)>;

    // Watches `window` (also the parent) for its first showing.
    explicit FormStorage(QWidget* window);

    void setIniSection(const QString& name) { m_section = name; }
    QString iniSection() const { return m_section; }
    void setIniAccess(SectionReader reader, SectionWriter writer);

    // Stored properties, keyed "<component>_<property>", written in the order they are added.
    // Text is trimmed when read; enumerated values and booleans are stored by name and
    // matched without regard to case; a value that does not fit leaves the property as it is.
    void addText(const QString& key, std::function<QString()> get,
                 std::function<void(const QString&)> set);
    void addInteger(const QString& key, std::function<int()> get, std::function<void(int)> set);
    void addEnum(const QString& key, const QStringList& names, std::function<int()> get,
                 std::function<void(int)> set);
    void addBool(const QString& key, std::function<bool()> get, std::function<void(bool)> set);

    // Off: the section is neither applied nor written.
    bool isActive() const { return m_active; }
    void setActive(bool active) { m_active = active; }

    // Applies the section to the window and the properties (when active).
    void restore();
    // Writes the section unless it was written before or the storage is off. The storage
    // counts as written even when the writer throws, so a refused write is not retried.
    void save();
    bool isSaved() const { return m_saved; }

    // "(WxH)" of the screen, the suffix of the per-screen placement keys.
    static QString screenSuffix(const QWidget* window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Property {
        QString key;
        std::function<QString()> get;
        std::function<void(const QString&)> set;
    };

    void restorePlacement(const IniSection& section);

    QWidget* m_window;
    QString m_section;
    SectionReader m_reader;
    SectionWriter m_writer;
    std::vector<Property> m_properties;
    bool m_active = true;
    bool m_shown = false;
    bool m_saved = false;
};

} // namespace quillon
