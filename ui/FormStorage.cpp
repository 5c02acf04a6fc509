#include "ui/FormStorage.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace quillon {

namespace {

// Show commands of the stored placement record.
constexpr int ShowNormal = 1;
constexpr int ShowMinimized = 2;
constexpr int ShowMaximized = 3;
constexpr int ShowMinNoActive = 6;
constexpr int ShowMinimizedNoActive = 7;
// Flag of the record: a minimised window comes back maximised.
constexpr int RestoreToMaximized = 2;

bool readRect(const QString* text, int values[4]) {
    if (!text)
        return false;
    const QStringList parts = text->split(',');
    if (parts.size() != 4)
        return false;
    for (int i = 0; i < 4; ++i) {
        if (!IniSection::parseInt(parts[i].toUtf8(), &values[i]))
            return false;
    }
    return true;
}

QString fourNumbers(int a, int b, int c, int d) {
    return QStringLiteral("%1,%2,%3,%4").arg(a).arg(b).arg(c).arg(d);
}

const QScreen* screenOf(const QWidget* window) {
    const QScreen* screen = window->screen();
    return screen ? screen : QGuiApplication::primaryScreen();
}

int pixelsPerInch(const QWidget* window) {
    const QScreen* screen = screenOf(window);
    return screen ? qRound(screen->logicalDotsPerInch()) : 96;
}

// The stored rectangle where it fits the available area of the screen it lies on, else moved
// into it and, only where it is larger than that area, made smaller: a placement stored on a
// larger screen or at a smaller scale keeps the whole window in reach.
// The frame counts, where the platform already knows it.
QRect fittedToScreen(const QRect& stored, const QWidget* window) {
    const QScreen* screen = QGuiApplication::screenAt(stored.center());
    if (!screen)
        screen = screenOf(window);
    if (!screen)
        return stored;
    const QMargins frame =
        window->windowHandle() ? window->windowHandle()->frameMargins() : QMargins();
    const QRect area = screen->availableGeometry();
    const QRect outer = stored.marginsAdded(frame);
    const QSize size = outer.size().boundedTo(area.size());
    const int left = qBound(area.left(), outer.left(), area.left() + area.width() - size.width());
    const int top = qBound(area.top(), outer.top(), area.top() + area.height() - size.height());
    const QRect fitted = QRect(QPoint(left, top), size).marginsRemoved(frame);
    return fitted.isValid() ? fitted : stored;
}

} // namespace

FormStorage::FormStorage(QWidget* window) : QObject(window), m_window(window) {
    window->installEventFilter(this);
}

void FormStorage::setIniAccess(SectionReader reader, SectionWriter writer) {
    m_reader = std::move(reader);
    m_writer = std::move(writer);
}

void FormStorage::addText(const QString& key, std::function<QString()> get,
                          std::function<void(const QString&)> set) {
    m_properties.push_back({key, std::move(get),
                            [set = std::move(set)](const QString& text) { set(text.trimmed()); }});
}

void FormStorage::addInteger(const QString& key, std::function<int()> get,
                             std::function<void(int)> set) {
    m_properties.push_back({key, [get = std::move(get)] { return QString::number(get()); },
                            [set = std::move(set)](const QString& text) {
                                int value = 0;
                                if (IniSection::parseInt(text.toUtf8(), &value))
                                    set(value);
                            }});
}

void FormStorage::addEnum(const QString& key, const QStringList& names, std::function<int()> get,
                          std::function<void(int)> set) {
    m_properties.push_back({key, [names, get = std::move(get)] { return names.value(get()); },
                            [names, set = std::move(set)](const QString& text) {
                                const QString name = text.trimmed();
                                for (int i = 0; i < names.size(); ++i) {
                                    if (names[i].compare(name, Qt::CaseInsensitive) == 0) {
                                        set(i);
                                        return;
                                    }
                                }
                            }});
}

void FormStorage::addBool(const QString& key, std::function<bool()> get,
                          std::function<void(bool)> set) {
    addEnum(
        key, {QStringLiteral("False"), QStringLiteral("True")},
        [get = std::move(get)] { return get() ? 1 : 0; },
        [set = std::move(set)](int value) { set(value != 0); });
}

QString FormStorage::screenSuffix(const QWidget* window) {
    const QScreen* screen = screenOf(window);
    const QSize size = screen ? screen->geometry().size() : QSize();
    return QStringLiteral("(%1x%2)").arg(size.width()).arg(size.height());
}

bool FormStorage::eventFilter(QObject* watched, QEvent* event) {
    // The show event comes before the window is mapped, so the placement is in place at once.
    if (watched == m_window && event->type() == QEvent::Show && !m_shown) {
        m_shown = true;
        restore();
    }
    return QObject::eventFilter(watched, event);
}

void FormStorage::restore() {
    if (!m_active || !m_reader)
        return;
    const IniSection section = m_reader(m_section);
    if (section.intValue(QStringLiteral("FormVersion"), 0) >= 0)
        restorePlacement(section);
    for (const Property& property : m_properties) {
        if (const QString* text = section.value(property.key))
            property.set(*text);
    }
}

void FormStorage::restorePlacement(const IniSection& section) {
    const QString suffix = screenSuffix(m_window);
    const auto placementValue = [&](const QString& key) {
        const QString* value = section.value(key + suffix);
        return value ? value : section.value(key);
    };
    const int ppi = section.intValue(QStringLiteral("PixelsPerInch"), pixelsPerInch(m_window));
    int rect[4] = {0, 0, 0, 0};
    if (ppi == pixelsPerInch(m_window) &&
        readRect(placementValue(QStringLiteral("NormPos")), rect) && rect[0] < rect[2])
        m_window->setGeometry(fittedToScreen(
            QRect(rect[0], rect[1], rect[2] - rect[0], rect[3] - rect[1]), m_window));

    const int flags = section.intValue(QStringLiteral("Flags"), 0);
    switch (section.intValue(QStringLiteral("ShowCmd"), ShowNormal)) {
    case ShowMaximized:
        m_window->setWindowState(Qt::WindowMaximized);
        break;
    case ShowMinimized:
    case ShowMinNoActive:
    case ShowMinimizedNoActive:
        m_window->setWindowState(flags & RestoreToMaximized
                                     ? Qt::WindowMinimized | Qt::WindowMaximized
                                     : Qt::WindowStates(Qt::WindowMinimized));
        break;
    default:
        break;
    }
}

void FormStorage::save() {
    if (!m_active || m_saved || !m_writer)
        return;
    m_saved = true;
    const Qt::WindowStates state = m_window->windowState();
    int showCmd = ShowNormal;
    int flags = 0;
    if (state & Qt::WindowMinimized) {
        showCmd = ShowMinimized;
        if (state & Qt::WindowMaximized)
            flags = RestoreToMaximized;
    } else if (state & Qt::WindowMaximized) {
        showCmd = ShowMaximized;
    }
    QRect normal = m_window->geometry();
    if (state & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)) {
        if (m_window->normalGeometry().isValid())
            normal = m_window->normalGeometry();
    }
    const QString suffix = screenSuffix(m_window);
    // The record's minimised and maximised positions have no counterpart here.
    const QString minMax = fourNumbers(-1, -1, -1, -1);
    const QString norm = fourNumbers(normal.left(), normal.top(), normal.left() + normal.width(),
                                     normal.top() + normal.height());

    IniSection section{m_section, {}};
    section.add(QStringLiteral("FormVersion"), 0);
    section.add(QStringLiteral("Flags"), flags);
    section.add(QStringLiteral("ShowCmd"), showCmd);
    section.add(QStringLiteral("PixelsPerInch"), pixelsPerInch(m_window));
    section.add(QStringLiteral("MinMaxPos"), minMax);
    section.add(QStringLiteral("MinMaxPos") + suffix, minMax);
    section.add(QStringLiteral("NormPos"), norm);
    section.add(QStringLiteral("NormPos") + suffix, norm);
    for (const Property& property : m_properties)
        section.add(property.key, property.get());
    m_writer(section);
}

} // namespace quillon
