#include "ui/BarLayoutSections.h"

#include "ui/BarManager.h"

#include <QMenu>
#include <QToolBar>
#include <map>

namespace quillon {

namespace {

// Docking styles as stored: the floating bar has none.
enum DockingStyle { StyleNone = 0, StyleLeft = 1, StyleTop = 2, StyleRight = 3, StyleBottom = 4 };

int styleOf(Qt::ToolBarArea area) {
    switch (area) {
    case Qt::LeftToolBarArea:
        return StyleLeft;
    case Qt::RightToolBarArea:
        return StyleRight;
    case Qt::BottomToolBarArea:
        return StyleBottom;
    default:
        return StyleTop;
    }
}

bool areaOf(int style, Qt::ToolBarArea* area) {
    switch (style) {
    case StyleLeft:
        *area = Qt::LeftToolBarArea;
        return true;
    case StyleTop:
        *area = Qt::TopToolBarArea;
        return true;
    case StyleRight:
        *area = Qt::RightToolBarArea;
        return true;
    case StyleBottom:
        *area = Qt::BottomToolBarArea;
        return true;
    default:
        return false;
    }
}

bool horizontal(Qt::ToolBarArea area) {
    return area == Qt::TopToolBarArea || area == Qt::BottomToolBarArea;
}

const IniSection* findSection(const QList<IniSection>& sections, const QString& name) {
    for (const IniSection& section : sections) {
        if (section.name.compare(name, Qt::CaseInsensitive) == 0)
            return &section;
    }
    return nullptr;
}

void appendLinkSections(QList<IniSection>& sections, const QString& name, const BarManager& bars,
                        QWidget* container) {
    const bool onBar = bars.bars().contains(container);
    for (int i = 0; i < bars.linkCount(container); ++i) {
        const BarManager::LinkState state = bars.link(container, i);
        IniSection section{name + QStringLiteral(".ItemLink") + QString::number(i), {}};
        section.add(QStringLiteral("ItemName"), state.itemName);
        section.add(QStringLiteral("BeginGroup"), state.beginGroup);
        section.add(QStringLiteral("UserDefine"), state.userDefine);
        if (state.userDefine & BarManager::UserCaption)
            section.add(QStringLiteral("UserCaption"), state.userCaption);
        if (state.userDefine & BarManager::UserPaintStyle)
            section.add(QStringLiteral("UserPaintStyle"), state.userPaintStyle);
        if (state.userDefine & BarManager::UserWidth)
            section.add(QStringLiteral("UserWidth"), state.userWidth);
        if (onBar)
            section.add(QStringLiteral("Visible"), state.visible);
        sections.append(section);
    }
}

// A submenu that a stored layout has no section for is newer than the layout.
bool newerThanLayout(const BarManager& bars, const QList<IniSection>& sections,
                     const QString& prefix, const QString& item) {
    return bars.submenuNames().contains(item) &&
           !findSection(sections, prefix + QStringLiteral("SubItem_") + item);
}

// The stored links, with each link of the built-in layout to a submenu newer than the stored
// layout put back after the link it followed there, so that a layout stored by an earlier
// version shows the menus added since.
QList<BarManager::LinkState> withNewerSubmenus(const BarManager& bars,
                                               const QList<IniSection>& sections,
                                               const QString& prefix,
                                               const QList<BarManager::LinkState>& builtIn,
                                               QList<BarManager::LinkState> stored) {
    const auto indexOf = [&stored](const QString& item) {
        for (int i = 0; i < stored.size(); ++i) {
            if (stored.at(i).itemName == item)
                return i;
        }
        return -1;
    };
    for (int i = 0; i < builtIn.size(); ++i) {
        const QString& item = builtIn.at(i).itemName;
        if (!newerThanLayout(bars, sections, prefix, item) || indexOf(item) >= 0)
            continue;
        int at = 0;
        for (int before = i - 1; before >= 0; --before) {
            const int found = indexOf(builtIn.at(before).itemName);
            if (found >= 0) {
                at = found + 1;
                break;
            }
        }
        stored.insert(at, builtIn.at(i));
    }
    return stored;
}

void applyLinkSections(const QList<IniSection>& sections, const QString& prefix,
                       const QString& name, BarManager& bars, QWidget* container) {
    const IniSection* section = findSection(sections, name);
    int count = 0;
    if (!section || !section->intValue(QStringLiteral("ItemLinkCount"), &count) || count < 0)
        return;
    // The count comes from the file: only the link sections present are visited, in index order.
    const QString linkPrefix = name + QStringLiteral(".ItemLink");
    std::map<int, const IniSection*> linkSections;
    for (const IniSection& candidate : sections) {
        if (!candidate.name.startsWith(linkPrefix, Qt::CaseInsensitive))
            continue;
        const QString digits = candidate.name.mid(linkPrefix.size());
        bool ok = false;
        const int m = digits.toInt(&ok, 10);
        if (ok && m >= 0 && m < count && digits == QString::number(m))
            linkSections.emplace(m, &candidate);
    }
    const bool onBar = bars.bars().contains(container);
    QList<BarManager::LinkState> states;
    for (const auto& [index, linkSection] : linkSections) {
        const QString* itemName = linkSection->value(QStringLiteral("ItemName"));
        if (!itemName)
            continue;
        BarManager::LinkState state;
        state.itemName = *itemName;
        state.beginGroup = linkSection->boolValue(QStringLiteral("BeginGroup"), false);
        linkSection->intValue(QStringLiteral("UserDefine"), &state.userDefine);
        if (const QString* caption = linkSection->value(QStringLiteral("UserCaption")))
            state.userCaption = *caption;
        linkSection->intValue(QStringLiteral("UserPaintStyle"), &state.userPaintStyle);
        linkSection->intValue(QStringLiteral("UserWidth"), &state.userWidth);
        if (onBar)
            state.visible = linkSection->boolValue(QStringLiteral("Visible"), true);
        states.append(state);
    }
    QList<BarManager::LinkState> builtIn;
    for (int i = 0; i < bars.linkCount(container); ++i)
        builtIn.append(bars.link(container, i));
    bars.setLinks(container, withNewerSubmenus(bars, sections, prefix, builtIn, states));
}

} // namespace

QList<IniSection> layoutSections(const BarManager& bars, const QString& prefix) {
    QList<IniSection> sections;
    const QList<QWidget*> widgets = bars.bars();
    IniSection main{prefix + QStringLiteral("Main"), {}};
    main.add(QStringLiteral("LargeIcons"), bars.largeIcons());
    main.add(QStringLiteral("MenuAnimations"), bars.menuAnimations());
    main.add(QStringLiteral("ShowHint"), bars.showHint());
    main.add(QStringLiteral("ShowShortCutInHint"), bars.showShortcutInHint());
    main.add(QStringLiteral("BarCount"), int(widgets.size()));
    sections.append(main);

    const QList<BarManager::Placement> placements = bars.placements();
    int toolBarIndex = 0;
    for (int n = 0; n < widgets.size(); ++n) {
        QWidget* bar = widgets.at(n);
        BarManager::Placement placement;
        placement.row = 0;
        if (qobject_cast<QToolBar*>(bar))
            placement = placements.value(toolBarIndex++);
        else
            placement.visible = bars.barVisible(bar);
        const bool across = horizontal(placement.area);
        const QString name = prefix + QStringLiteral("Bar") + QString::number(n);
        IniSection section{name, {}};
        section.add(QStringLiteral("Caption"), bars.barCaption(bar));
        section.add(QStringLiteral("DockedDockingStyle"), styleOf(placement.area));
        section.add(QStringLiteral("DockedLeft"), across ? placement.left : 0);
        section.add(QStringLiteral("DockedTop"), across ? 0 : placement.left);
        section.add(QStringLiteral("OneOnRow"), bars.oneOnRow(bar));
        section.add(QStringLiteral("Row"), placement.row);
        section.add(QStringLiteral("FloatLeft"), placement.floatRect.x());
        section.add(QStringLiteral("FloatTop"), placement.floatRect.y());
        section.add(QStringLiteral("FloatClientWidth"), placement.floatRect.width());
        section.add(QStringLiteral("FloatClientHeight"), placement.floatRect.height());
        section.add(QStringLiteral("DockingStyle"),
                    placement.floating ? int(StyleNone) : styleOf(placement.area));
        section.add(QStringLiteral("Visible"), placement.visible);
        section.add(QStringLiteral("ItemLinkCount"), bars.linkCount(bar));
        sections.append(section);
        appendLinkSections(sections, name, bars, bar);
    }

    for (const QString& submenu : bars.submenuNames()) {
        const QString name = prefix + QStringLiteral("SubItem_") + submenu;
        QMenu* menu = bars.submenu(submenu);
        IniSection section{name, {}};
        section.add(QStringLiteral("ItemLinkCount"), bars.linkCount(menu));
        sections.append(section);
        appendLinkSections(sections, name, bars, menu);
    }
    return sections;
}

bool applyLayoutSections(BarManager& bars, const QList<IniSection>& sections,
                         const QString& prefix) {
    const IniSection* main = findSection(sections, prefix + QStringLiteral("Main"));
    int barCount = -1;
    if (!main || !main->intValue(QStringLiteral("BarCount"), &barCount) || barCount < 0)
        return false;
    bars.setLargeIcons(main->boolValue(QStringLiteral("LargeIcons"), bars.largeIcons()));
    bars.setMenuAnimations(main->intValue(QStringLiteral("MenuAnimations"), bars.menuAnimations()));
    bars.setShowHint(main->boolValue(QStringLiteral("ShowHint"), bars.showHint()));
    bars.setShowShortcutInHint(
        main->boolValue(QStringLiteral("ShowShortCutInHint"), bars.showShortcutInHint()));

    const QList<QWidget*> widgets = bars.bars();
    QList<BarManager::Placement> placements = bars.placements();
    int toolBarIndex = -1;
    for (int n = 0; n < widgets.size(); ++n) {
        QWidget* bar = widgets.at(n);
        const bool isToolBar = qobject_cast<QToolBar*>(bar) != nullptr;
        if (isToolBar)
            ++toolBarIndex;
        const QString name = prefix + QStringLiteral("Bar") + QString::number(n);
        const IniSection* section = n < barCount ? findSection(sections, name) : nullptr;
        int row = 0;
        if (!section || !section->intValue(QStringLiteral("Row"), &row))
            continue;
        bars.setOneOnRow(bar, section->boolValue(QStringLiteral("OneOnRow"), bars.oneOnRow(bar)));
        applyLinkSections(sections, prefix, name, bars, bar);
        if (!isToolBar) {
            bars.setBarVisible(bar,
                               section->boolValue(QStringLiteral("Visible"), bars.barVisible(bar)));
            continue;
        }
        BarManager::Placement& placement = placements[toolBarIndex];
        const int current = styleOf(placement.area);
        const int docking = section->intValue(QStringLiteral("DockingStyle"), current);
        const int docked = section->intValue(QStringLiteral("DockedDockingStyle"), current);
        placement.floating = docking == StyleNone;
        if (!areaOf(placement.floating ? docked : docking, &placement.area))
            placement.area = Qt::TopToolBarArea;
        placement.row = row;
        const int left = section->intValue(QStringLiteral("DockedLeft"), 0);
        const int top = section->intValue(QStringLiteral("DockedTop"), 0);
        placement.left = horizontal(placement.area) ? left : top;
        placement.floatRect = QRect(
            section->intValue(QStringLiteral("FloatLeft"), placement.floatRect.x()),
            section->intValue(QStringLiteral("FloatTop"), placement.floatRect.y()),
            section->intValue(QStringLiteral("FloatClientWidth"), placement.floatRect.width()),
            section->intValue(QStringLiteral("FloatClientHeight"), placement.floatRect.height()));
        placement.visible = section->boolValue(QStringLiteral("Visible"), placement.visible);
    }
    bars.setPlacements(placements);

    for (const QString& submenu : bars.submenuNames())
        applyLinkSections(sections, prefix, prefix + QStringLiteral("SubItem_") + submenu, bars,
                          bars.submenu(submenu));
    return true;
}

} // namespace quillon
