#include "ui/BarManager.h"

#include "ui/BarCombo.h"
#include "ui/PersistentMenu.h"

#include <QDataStream>
#include <QIODevice>
#include <QMainWindow>
#include <QMenuBar>
#include <QToolBar>
#include <QToolButton>
#include <QWidgetAction>
#include <algorithm>
#include <map>

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

// QMainWindow's saved state numbers its docks left, right, top, bottom.
constexpr Qt::ToolBarArea kStateDocks[] = {Qt::LeftToolBarArea, Qt::RightToolBarArea,
                                           Qt::TopToolBarArea, Qt::BottomToolBarArea};
constexpr int kStateVersion = 0;
constexpr int kVersionMarker = 0xff;
constexpr uchar kDockWidgetMarker = 0xfd;
constexpr uchar kToolBarMarker = 0xfc;

int dockIndex(Qt::ToolBarArea area) {
    for (int i = 0; i < 4; ++i) {
        if (kStateDocks[i] == area)
            return i;
    }
    return 2;
}

// A floating bar's rectangle travels in two words of the saved state.
void packRect(const QRect& rect, uint* geom0, uint* geom1) {
    *geom0 = ((uint(rect.width()) << 16) | (uint(rect.x() + 0x7fff) & 0xffff)) << 1 | 1;
    *geom1 = (uint(rect.height()) << 16) | (uint(rect.y() + 0x7fff) & 0xffff);
}

QRect unpackRect(uint geom0, uint geom1) {
    geom0 >>= 1;
    return QRect(int(geom0 & 0xffff) - 0x7fff, int(geom1 & 0xffff) - 0x7fff,
                 int(geom0 >> 16) & 0xffff, int(geom1 >> 16) & 0xffff);
}

struct StateItem {
    QString name;
    uchar shown = 1;
    int pos = 0;
    int size = -1;
    uint geom0 = 0;
    uint geom1 = 0;
};

struct StateLine {
    int dock = 2;
    QList<StateItem> items;
};

// Splits QMainWindow::saveState into the part before the toolbars and the toolbar lines.
// Only a window without dock widgets is understood; false otherwise.
bool parseWindowState(const QByteArray& state, QByteArray* head, QList<StateLine>* lines) {
    QDataStream in(state);
    in.setVersion(QDataStream::Qt_5_0);
    int marker = 0;
    int version = 0;
    in >> marker >> version;
    if (marker != kVersionMarker)
        return false;
    qint64 headEnd = in.device()->pos();
    while (!in.atEnd()) {
        uchar section = 0;
        in >> section;
        if (section == kDockWidgetMarker) {
            int docks = 0;
            in >> docks;
            if (docks != 0)
                return false;
            int width = 0;
            int height = 0;
            int corner = 0;
            in >> width >> height;
            for (int i = 0; i < 4; ++i)
                in >> corner;
            headEnd = in.device()->pos();
        } else if (section == kToolBarMarker) {
            int count = 0;
            in >> count;
            for (int i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
                StateLine line;
                int items = 0;
                in >> line.dock >> items;
                for (int k = 0; k < items && in.status() == QDataStream::Ok; ++k) {
                    StateItem item;
                    in >> item.name >> item.shown >> item.pos >> item.size >> item.geom0 >>
                        item.geom1;
                    line.items.append(item);
                }
                lines->append(line);
            }
        } else {
            return false;
        }
    }
    *head = state.left(headEnd);
    return in.status() == QDataStream::Ok;
}

bool readInt(const QString* text, int* value) {
    if (!text)
        return false;
    const QString trimmed = text->trimmed();
    bool ok = false;
    const int number =
        trimmed.size() > 2 && trimmed.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)
            ? trimmed.mid(2).toInt(&ok, 16)
            : trimmed.toInt(&ok, 10);
    if (ok)
        *value = number;
    return ok;
}

void readBool(const IniSection& section, const QString& key, bool* flag) {
    int number = 0;
    if (readInt(section.value(key), &number))
        *flag = number != 0;
}

void readNumber(const IniSection& section, const QString& key, int* number) {
    readInt(section.value(key), number);
}

QString plainCaption(const QString& caption) {
    QString text = caption;
    return text.remove(QLatin1Char('&'));
}

const IniSection* findSection(const QList<IniSection>& sections, const QString& name) {
    for (const IniSection& section : sections) {
        if (section.name.compare(name, Qt::CaseInsensitive) == 0)
            return &section;
    }
    return nullptr;
}

} // namespace

struct BarManager::Link {
    Item* item = nullptr;
    QAction* action = nullptr;    // what the container shows
    QAction* separator = nullptr; // before it, for a link that begins a group
    bool ownsAction = false;
    LinkState state;
};

struct BarManager::Container {
    QWidget* widget = nullptr;
    bool isBar = false;
    QList<Link> links;
};

struct BarManager::Item {
    QString name;
    QString category;
    QString hint;
    QAction* action = nullptr;
    QMenu* menu = nullptr;
    BarCombo* combo = nullptr;
    std::unique_ptr<Container> submenuLinks;
};

struct BarManager::Bar {
    QString caption;
    QMenuBar* menuBar = nullptr;
    QToolBar* toolBar = nullptr;
    Container container;
    bool emptyHidden = false;
    bool visibleIntent = true; // what the user wants while the bar is hidden for being empty
    bool oneOnRow = false;
    Placement last; // the placement last set, for a window state we cannot read
    QWidgetAction* customizeAction = nullptr;
    QToolButton* customizeButton = nullptr;
    PersistentMenu* customizeMenu = nullptr;

    QWidget* widget() const {
        return toolBar ? static_cast<QWidget*>(toolBar) : static_cast<QWidget*>(menuBar);
    }
    bool visible() const { return emptyHidden ? visibleIntent : !widget()->isHidden(); }
};

BarManager::BarManager(QMainWindow* window) : QObject(window), m_window(window) {}

BarManager::~BarManager() = default;

void BarManager::addCategory(const QString& name) {
    if (!m_categories.contains(name))
        m_categories.append(name);
}

QStringList BarManager::itemNames(const QString& category) const {
    QStringList names;
    for (const auto& item : m_items) {
        if (item->category == category)
            names.append(item->name);
    }
    return names;
}

BarManager::Item* BarManager::findItem(const QString& name) const {
    for (const auto& item : m_items) {
        if (item->name.compare(name, Qt::CaseInsensitive) == 0)
            return item.get();
    }
    return nullptr;
}

QAction* BarManager::addCommand(const Command& command) {
    auto item = std::make_unique<Item>();
    item->name = command.name;
    item->category = command.category;
    item->hint = command.hint;
    auto* action = new QAction(command.caption, this);
    action->setObjectName(command.name);
    action->setShortcut(command.shortcut);
    action->setCheckable(command.checkable);
    action->setChecked(command.checked);
    action->setIcon(command.icon);
    action->setData(command.tag);
    action->setVisible(!command.neverShown);
    m_window->addAction(action);
    item->action = action;
    Item* raw = item.get();
    m_items.push_back(std::move(item));
    updateHint(raw);
    connect(action, &QAction::changed, this, [this, raw] { refreshItem(raw); });
    return action;
}

QMenu* BarManager::addSubmenu(const QString& name, const QString& caption,
                              const QString& category) {
    auto item = std::make_unique<Item>();
    item->name = name;
    item->category = category;
    auto* menu = new PersistentMenu(caption, m_window);
    menu->setObjectName(name);
    menu->setAccessibleName(plainCaption(caption));
    // Kept here: a bar's link makes its own action the menu's menuAction().
    item->action = menu->menuAction();
    item->action->setObjectName(name);
    item->menu = menu;
    item->submenuLinks = std::make_unique<Container>();
    item->submenuLinks->widget = menu;
    Item* raw = item.get();
    m_items.push_back(std::move(item));
    connect(raw->action, &QAction::changed, this, [this, raw] { refreshItem(raw); });
    return menu;
}

BarCombo* BarManager::addCombo(const QString& name, const QString& caption, const QString& hint,
                               const QString& category, int width) {
    auto item = std::make_unique<Item>();
    item->name = name;
    item->category = category;
    item->hint = hint;
    auto* combo = new BarCombo(name, caption, width, this);
    item->action = combo;
    item->combo = combo;
    Item* raw = item.get();
    m_items.push_back(std::move(item));
    updateHint(raw);
    connect(combo, &QAction::changed, this, [this, raw] { refreshItem(raw); });
    return combo;
}

QAction* BarManager::action(const QString& name) const {
    const Item* item = findItem(name);
    return item ? item->action : nullptr;
}

QMenu* BarManager::submenu(const QString& name) const {
    const Item* item = findItem(name);
    return item ? item->menu : nullptr;
}

BarCombo* BarManager::combo(const QString& name) const {
    const Item* item = findItem(name);
    return item ? item->combo : nullptr;
}

QMenuBar* BarManager::addMainMenu(const QString& caption) {
    auto bar = std::make_unique<Bar>();
    bar->caption = caption;
    bar->menuBar = m_window->menuBar();
    bar->menuBar->setAccessibleName(caption);
    bar->oneOnRow = true;
    bar->last.row = 0;
    bar->container.widget = bar->menuBar;
    bar->container.isBar = true;
    QMenuBar* menuBar = bar->menuBar;
    m_bars.insert(m_bars.begin(), std::move(bar));
    return menuBar;
}

QToolBar* BarManager::addToolBar(const QString& name, const QString& caption, int row, int left) {
    auto bar = std::make_unique<Bar>();
    bar->caption = caption;
    bar->toolBar = new QToolBar(caption, m_window);
    bar->toolBar->setObjectName(name);
    bar->toolBar->setAccessibleName(caption);
    // Small glyphs, as the bars were drawn for; the style's default makes them much wider.
    bar->toolBar->setIconSize(QSize(16, 16));
    bar->container.widget = bar->toolBar;
    bar->container.isBar = true;
    QToolBar* toolBar = bar->toolBar;
    m_window->addToolBar(Qt::TopToolBarArea, toolBar);
    m_bars.push_back(std::move(bar));
    Placement placement;
    placement.row = row;
    placement.left = left;
    setPlacement(toolBar, placement);
    return toolBar;
}

QList<QWidget*> BarManager::bars() const {
    QList<QWidget*> widgets;
    for (const auto& bar : m_bars)
        widgets.append(bar->widget());
    return widgets;
}

QToolBar* BarManager::toolBar(const QString& name) const {
    for (const auto& bar : m_bars) {
        if (bar->toolBar && bar->toolBar->objectName() == name)
            return bar->toolBar;
    }
    return nullptr;
}

BarManager::Bar* BarManager::findBar(const QWidget* widget) const {
    for (const auto& bar : m_bars) {
        if (widget && bar->widget() == widget)
            return bar.get();
    }
    return nullptr;
}

BarManager::Container* BarManager::findContainer(QWidget* widget) const {
    if (Bar* bar = findBar(widget))
        return &bar->container;
    for (const auto& item : m_items) {
        if (widget && item->submenuLinks && item->submenuLinks->widget == widget)
            return item->submenuLinks.get();
    }
    return nullptr;
}

void BarManager::setQuickCustomizing(QToolBar* toolBar, bool on) {
    Bar* bar = findBar(toolBar);
    if (!bar || on == (bar->customizeAction != nullptr))
        return;
    if (on) {
        bar->customizeButton = new QToolButton;
        bar->customizeButton->setObjectName(toolBar->objectName() + QStringLiteral("Customize"));
        bar->customizeButton->setAutoRaise(true);
        bar->customizeButton->setPopupMode(QToolButton::InstantPopup);
        bar->customizeButton->setArrowType(Qt::DownArrow);
        const QString text = tr("Add or Remove Buttons");
        bar->customizeButton->setToolTip(text);
        bar->customizeButton->setAccessibleName(text);
        bar->customizeMenu = new PersistentMenu(text, bar->customizeButton);
        bar->customizeMenu->setAccessibleName(text);
        bar->customizeButton->setMenu(bar->customizeMenu);
        connect(bar->customizeMenu, &QMenu::aboutToShow, this,
                [this, bar] { fillQuickCustomizeMenu(bar); });
        bar->customizeAction = new QWidgetAction(toolBar);
        bar->customizeAction->setDefaultWidget(bar->customizeButton);
    } else {
        delete bar->customizeAction; // and with it the button and its menu
        bar->customizeAction = nullptr;
        bar->customizeButton = nullptr;
        bar->customizeMenu = nullptr;
    }
    rebuild(bar->container);
}

bool BarManager::quickCustomizing(QToolBar* toolBar) const {
    const Bar* bar = findBar(toolBar);
    return bar && bar->customizeAction;
}

QToolButton* BarManager::quickCustomizeButton(QToolBar* toolBar) const {
    const Bar* bar = findBar(toolBar);
    return bar ? bar->customizeButton : nullptr;
}

void BarManager::fillQuickCustomizeMenu(Bar* bar) {
    bar->customizeMenu->clear();
    for (int i = 0; i < bar->container.links.size(); ++i) {
        const Link& link = bar->container.links.at(i);
        if (!link.item->action->isVisible())
            continue; // an item never shown cannot be switched on here
        QAction* entry = bar->customizeMenu->addAction(link.item->action->text());
        entry->setIcon(link.item->action->icon());
        entry->setCheckable(true);
        entry->setChecked(link.state.visible);
        QWidget* widget = bar->widget();
        connect(entry, &QAction::toggled, this,
                [this, widget, i](bool checked) { setLinkVisible(widget, i, checked); });
    }
}

BarManager::Link BarManager::makeLink(Container& container, Item* item, bool beginGroup) {
    Link link;
    link.item = item;
    link.state.itemName = item->name;
    link.state.beginGroup = beginGroup;
    if (!container.isBar) {
        link.action = item->action;
        return link;
    }
    link.ownsAction = true;
    if (item->combo) {
        link.action = item->combo->createLink(container.widget);
    } else {
        QAction* proxy = new QAction(container.widget);
        if (item->menu)
            proxy->setMenu(item->menu);
        QAction* target = item->action;
        connect(proxy, &QAction::triggered, target, [target] { target->trigger(); });
        link.action = proxy;
    }
    return link;
}

void BarManager::dropLinks(Container& container) {
    for (Link& link : container.links) {
        delete link.separator;
        if (link.ownsAction)
            delete link.action;
    }
    container.links.clear();
}

bool BarManager::addLink(QWidget* widget, const QString& itemName, bool beginGroup) {
    Container* container = findContainer(widget);
    Item* item = findItem(itemName);
    if (!container || !item || container->widget == item->menu)
        return false;
    container->links.append(makeLink(*container, item, beginGroup));
    rebuild(*container);
    return true;
}

int BarManager::linkCount(QWidget* widget) const {
    const Container* container = findContainer(widget);
    return container ? int(container->links.size()) : 0;
}

BarManager::LinkState BarManager::link(QWidget* widget, int index) const {
    const Container* container = findContainer(widget);
    if (!container || index < 0 || index >= container->links.size())
        return {};
    return container->links.at(index).state;
}

QAction* BarManager::linkAction(QWidget* widget, int index) const {
    const Container* container = findContainer(widget);
    if (!container || index < 0 || index >= container->links.size())
        return nullptr;
    return container->links.at(index).action;
}

void BarManager::setLinkVisible(QWidget* widget, int index, bool visible) {
    Container* container = findContainer(widget);
    // Links in submenus show the item's own action: they have no visibility of their own.
    if (!container || !container->isBar || index < 0 || index >= container->links.size())
        return;
    Link& link = container->links[index];
    if (link.state.visible == visible)
        return;
    link.state.visible = visible;
    syncLinkAction(link.item, link);
    if (Bar* bar = findBar(widget))
        updateBarVisibility(*bar);
}

void BarManager::setLinkBeginGroup(QWidget* widget, int index, bool beginGroup) {
    Container* container = findContainer(widget);
    if (!container || index < 0 || index >= container->links.size())
        return;
    container->links[index].state.beginGroup = beginGroup;
    rebuild(*container);
}

void BarManager::rebuild(Container& container) {
    QWidget* widget = container.widget;
    Bar* bar = findBar(widget);
    // The quick customising button stays at the end, in place.
    QAction* tail = bar ? bar->customizeAction : nullptr;
    for (QAction* action : widget->actions()) {
        if (action != tail)
            widget->removeAction(action);
    }
    if (tail && !widget->actions().contains(tail))
        widget->addAction(tail);
    for (Link& link : container.links) {
        if (link.state.beginGroup) {
            if (!link.separator) {
                link.separator = new QAction(widget);
                link.separator->setSeparator(true);
            }
            widget->insertAction(tail, link.separator);
        } else {
            delete link.separator;
            link.separator = nullptr;
        }
        widget->insertAction(tail, link.action);
        syncLinkAction(link.item, link);
    }
    if (bar) {
        updateBarVisibility(*bar);
        // A bar that has grown must not be squeezed by the size its row gave it before.
        if (bar->toolBar)
            writePlacements(readPlacements());
    }
}

void BarManager::syncLinkAction(const Item* item, const Link& link) const {
    const QAction* source = item->action;
    const bool visible = source->isVisible() && link.state.visible;
    if (link.ownsAction) {
        QAction* action = link.action;
        if (!item->combo) {
            const bool ownCaption = link.state.userDefine & UserCaption;
            action->setText(ownCaption ? link.state.userCaption : source->text());
            action->setIcon(source->icon());
            action->setCheckable(source->isCheckable());
            action->setChecked(source->isChecked());
            action->setEnabled(source->isEnabled());
        }
        action->setToolTip(source->toolTip());
        action->setVisible(visible);
        if (auto* toolBar = qobject_cast<QToolBar*>(action->parent())) {
            if (QWidget* button = toolBar->widgetForAction(action); button && !item->combo)
                button->setAccessibleName(plainCaption(action->text()));
        }
    }
    if (link.separator)
        link.separator->setVisible(visible);
}

void BarManager::refreshItem(Item* item) {
    updateHint(item);
    for (const auto& bar : m_bars) {
        bool changed = false;
        for (const Link& link : bar->container.links) {
            if (link.item == item) {
                syncLinkAction(item, link);
                changed = true;
            }
        }
        if (changed)
            updateBarVisibility(*bar);
    }
    for (const auto& owner : m_items) {
        if (!owner->submenuLinks)
            continue;
        for (const Link& link : owner->submenuLinks->links) {
            if (link.item == item)
                syncLinkAction(item, link);
        }
    }
}

void BarManager::updateBarVisibility(Bar& bar) {
    bool empty = true;
    for (const Link& link : bar.container.links)
        empty = empty && !link.action->isVisible();
    QWidget* widget = bar.widget();
    if (empty && !bar.emptyHidden) {
        bar.visibleIntent = !widget->isHidden();
        bar.emptyHidden = true;
        widget->hide();
    } else if (!empty && bar.emptyHidden) {
        bar.emptyHidden = false;
        widget->setVisible(bar.visibleIntent);
    }
}

QString BarManager::hintText(const Item* item) const {
    const QKeySequence shortcut = item->action->shortcut();
    if (!m_showShortcutInHint || shortcut.isEmpty())
        return item->hint;
    return QStringLiteral("%1 (%2)").arg(item->hint, shortcut.toString(QKeySequence::NativeText));
}

void BarManager::updateHint(Item* item) {
    if (item->menu)
        return;
    const QString hint = hintText(item);
    if (item->action->toolTip() != hint)
        item->action->setToolTip(hint);
}

void BarManager::setShowShortcutInHint(bool on) {
    m_showShortcutInHint = on;
    for (const auto& item : m_items)
        updateHint(item.get());
}

BarManager::Placement BarManager::placement(QToolBar* toolBar) const {
    const QList<Placement> placements = readPlacements();
    int index = 0;
    for (const auto& bar : m_bars) {
        if (!bar->toolBar)
            continue;
        if (bar->toolBar == toolBar)
            return placements.value(index);
        ++index;
    }
    return {};
}

void BarManager::setPlacement(QToolBar* toolBar, const Placement& placement) {
    QList<Placement> placements = readPlacements();
    int index = 0;
    for (const auto& bar : m_bars) {
        if (!bar->toolBar)
            continue;
        if (bar->toolBar == toolBar)
            placements[index] = placement;
        ++index;
    }
    writePlacements(placements);
}

QList<BarManager::Placement> BarManager::readPlacements() const {
    QList<Bar*> toolBars;
    QList<Placement> placements;
    for (const auto& bar : m_bars) {
        if (bar->toolBar) {
            toolBars.append(bar.get());
            placements.append(bar->last);
        }
    }
    QByteArray head;
    QList<StateLine> lines;
    if (!parseWindowState(m_window->saveState(kStateVersion), &head, &lines))
        return placements;
    int linesInDock[4] = {0, 0, 0, 0};
    for (const StateLine& line : lines) {
        if (line.dock < 0 || line.dock > 3)
            continue;
        const Qt::ToolBarArea area = kStateDocks[line.dock];
        const int row = linesInDock[line.dock]++ + (area == Qt::TopToolBarArea ? 1 : 0);
        // Qt lays a row out from the bars' preferred sizes, the last one taking the rest.
        int left = 0;
        for (const StateItem& item : line.items) {
            const auto found = std::find_if(toolBars.begin(), toolBars.end(), [&](Bar* bar) {
                return bar->toolBar->objectName() == item.name;
            });
            if (found == toolBars.end())
                continue;
            Bar* bar = *found;
            Placement& placement = placements[found - toolBars.begin()];
            placement.area = area;
            placement.row = row;
            placement.left = left;
            placement.floating = item.geom0 & 1;
            placement.floatRect =
                placement.floating ? unpackRect(item.geom0, item.geom1) : bar->last.floatRect;
            placement.visible = bar->emptyHidden ? bar->visibleIntent : (item.shown & 1) != 0;
            if ((item.shown & 1) && !placement.floating) {
                const QSize hint = bar->toolBar->sizeHint();
                left +=
                    item.size > 0 ? item.size : (horizontal(area) ? hint.width() : hint.height());
            }
        }
    }
    return placements;
}

void BarManager::writePlacements(const QList<Placement>& placements) {
    QList<Bar*> toolBars;
    for (const auto& bar : m_bars) {
        if (bar->toolBar)
            toolBars.append(bar.get());
    }
    QByteArray head;
    QList<StateLine> current;
    if (!parseWindowState(m_window->saveState(kStateVersion), &head, &current))
        return;

    struct Entry {
        Bar* bar;
        Placement placement;
    };
    QList<StateLine> lines;
    for (int dock = 0; dock < 4; ++dock) {
        QList<Entry> entries;
        for (int i = 0; i < toolBars.size() && i < placements.size(); ++i) {
            if (dockIndex(placements.at(i).area) == dock)
                entries.append({toolBars.at(i), placements.at(i)});
        }
        std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
            return a.placement.row != b.placement.row ? a.placement.row < b.placement.row
                                                      : a.placement.left < b.placement.left;
        });
        for (int i = 0; i < entries.size();) {
            StateLine line;
            line.dock = dock;
            int end = i;
            while (end < entries.size() &&
                   entries.at(end).placement.row == entries.at(i).placement.row)
                ++end;
            for (int k = i; k < end; ++k) {
                const Entry& entry = entries.at(k);
                StateItem item;
                item.name = entry.bar->toolBar->objectName();
                item.shown = entry.placement.visible && !entry.bar->emptyHidden ? 1 : 0;
                item.pos = entry.placement.left;
                // The gap to the next bar on the row becomes this bar's preferred size, but a
                // bar never shrinks below what its items need.
                for (int next = k + 1; next < end; ++next) {
                    const int gap = entries.at(next).placement.left - entry.placement.left;
                    if (gap > 0) {
                        const QSize hint = entry.bar->toolBar->sizeHint();
                        item.size = std::max(gap, horizontal(entry.placement.area) ? hint.width()
                                                                                   : hint.height());
                        break;
                    }
                }
                if (entry.placement.floating)
                    packRect(entry.placement.floatRect, &item.geom0, &item.geom1);
                line.items.append(item);
                entry.bar->visibleIntent = entry.placement.visible;
                entry.bar->last = entry.placement;
                if (entry.placement.floatRect.isValid())
                    entry.bar->last.floatRect = entry.placement.floatRect;
            }
            lines.append(line);
            i = end;
        }
    }

    QByteArray state = head;
    QDataStream out(&state, QIODevice::WriteOnly | QIODevice::Append);
    out.setVersion(QDataStream::Qt_5_0);
    out << kToolBarMarker << int(lines.size());
    for (const StateLine& line : lines) {
        out << line.dock << int(line.items.size());
        for (const StateItem& item : line.items)
            out << item.name << item.shown << item.pos << item.size << item.geom0 << item.geom1;
    }
    m_window->restoreState(state, kStateVersion);
}

void BarManager::appendLinkSections(QList<IniSection>& sections, const QString& name,
                                    const Container& container) const {
    for (int i = 0; i < container.links.size(); ++i) {
        const LinkState& state = container.links.at(i).state;
        IniSection section{name + QStringLiteral(".ItemLink") + QString::number(i), {}};
        section.add(QStringLiteral("ItemName"), state.itemName);
        section.add(QStringLiteral("BeginGroup"), state.beginGroup);
        section.add(QStringLiteral("UserDefine"), state.userDefine);
        if (state.userDefine & UserCaption)
            section.add(QStringLiteral("UserCaption"), state.userCaption);
        if (state.userDefine & UserPaintStyle)
            section.add(QStringLiteral("UserPaintStyle"), state.userPaintStyle);
        if (state.userDefine & UserWidth)
            section.add(QStringLiteral("UserWidth"), state.userWidth);
        if (container.isBar)
            section.add(QStringLiteral("Visible"), state.visible);
        sections.append(section);
    }
}

QList<IniSection> BarManager::layoutSections(const QString& prefix) const {
    QList<IniSection> sections;
    IniSection main{prefix + QStringLiteral("Main"), {}};
    main.add(QStringLiteral("LargeIcons"), m_largeIcons);
    main.add(QStringLiteral("MenuAnimations"), m_menuAnimations);
    main.add(QStringLiteral("ShowHint"), m_showHint);
    main.add(QStringLiteral("ShowShortCutInHint"), m_showShortcutInHint);
    main.add(QStringLiteral("BarCount"), int(m_bars.size()));
    sections.append(main);

    const QList<Placement> placements = readPlacements();
    int toolBarIndex = 0;
    for (int n = 0; n < int(m_bars.size()); ++n) {
        const Bar& bar = *m_bars[n];
        Placement placement;
        placement.row = 0;
        if (bar.toolBar)
            placement = placements.value(toolBarIndex++);
        else
            placement.visible = bar.visible();
        const bool across = horizontal(placement.area);
        const QString name = prefix + QStringLiteral("Bar") + QString::number(n);
        IniSection section{name, {}};
        section.add(QStringLiteral("Caption"), bar.caption);
        section.add(QStringLiteral("DockedDockingStyle"), styleOf(placement.area));
        section.add(QStringLiteral("DockedLeft"), across ? placement.left : 0);
        section.add(QStringLiteral("DockedTop"), across ? 0 : placement.left);
        section.add(QStringLiteral("OneOnRow"), bar.oneOnRow);
        section.add(QStringLiteral("Row"), placement.row);
        section.add(QStringLiteral("FloatLeft"), placement.floatRect.x());
        section.add(QStringLiteral("FloatTop"), placement.floatRect.y());
        section.add(QStringLiteral("FloatClientWidth"), placement.floatRect.width());
        section.add(QStringLiteral("FloatClientHeight"), placement.floatRect.height());
        section.add(QStringLiteral("DockingStyle"),
                    placement.floating ? int(StyleNone) : styleOf(placement.area));
        section.add(QStringLiteral("Visible"), placement.visible);
        section.add(QStringLiteral("ItemLinkCount"), int(bar.container.links.size()));
        sections.append(section);
        appendLinkSections(sections, name, bar.container);
    }

    for (const auto& item : m_items) {
        if (!item->submenuLinks)
            continue;
        const QString name = prefix + QStringLiteral("SubItem_") + item->name;
        IniSection section{name, {}};
        section.add(QStringLiteral("ItemLinkCount"), int(item->submenuLinks->links.size()));
        sections.append(section);
        appendLinkSections(sections, name, *item->submenuLinks);
    }
    return sections;
}

void BarManager::applyLinkSections(const QList<IniSection>& sections, const QString& name,
                                   Container& container) {
    const IniSection* section = findSection(sections, name);
    int count = 0;
    if (!section || !readInt(section->value(QStringLiteral("ItemLinkCount")), &count) || count < 0)
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
    QList<LinkState> states;
    for (const auto& [index, linkSection] : linkSections) {
        const QString* itemName = linkSection->value(QStringLiteral("ItemName"));
        Item* item = itemName ? findItem(*itemName) : nullptr;
        if (!item || item->menu == container.widget)
            continue;
        LinkState state;
        state.itemName = item->name;
        readBool(*linkSection, QStringLiteral("BeginGroup"), &state.beginGroup);
        readNumber(*linkSection, QStringLiteral("UserDefine"), &state.userDefine);
        if (const QString* caption = linkSection->value(QStringLiteral("UserCaption")))
            state.userCaption = *caption;
        readNumber(*linkSection, QStringLiteral("UserPaintStyle"), &state.userPaintStyle);
        readNumber(*linkSection, QStringLiteral("UserWidth"), &state.userWidth);
        if (container.isBar)
            readBool(*linkSection, QStringLiteral("Visible"), &state.visible);
        states.append(state);
    }
    dropLinks(container);
    for (const LinkState& state : states) {
        Link link = makeLink(container, findItem(state.itemName), state.beginGroup);
        link.state = state;
        container.links.append(link);
    }
    rebuild(container);
}

bool BarManager::applyLayoutSections(const QList<IniSection>& sections, const QString& prefix) {
    const IniSection* main = findSection(sections, prefix + QStringLiteral("Main"));
    int barCount = -1;
    if (!main || !readInt(main->value(QStringLiteral("BarCount")), &barCount) || barCount < 0)
        return false;
    readBool(*main, QStringLiteral("LargeIcons"), &m_largeIcons);
    for (const auto& bar : m_bars) {
        if (bar->toolBar)
            bar->toolBar->setIconSize(m_largeIcons ? QSize(32, 32) : QSize(16, 16));
    }
    readNumber(*main, QStringLiteral("MenuAnimations"), &m_menuAnimations);
    readBool(*main, QStringLiteral("ShowHint"), &m_showHint);
    bool shortcutInHint = m_showShortcutInHint;
    readBool(*main, QStringLiteral("ShowShortCutInHint"), &shortcutInHint);
    setShowShortcutInHint(shortcutInHint);

    QList<Placement> placements = readPlacements();
    int toolBarIndex = -1;
    for (int n = 0; n < int(m_bars.size()); ++n) {
        Bar& bar = *m_bars[n];
        if (bar.toolBar)
            ++toolBarIndex;
        const QString name = prefix + QStringLiteral("Bar") + QString::number(n);
        const IniSection* section = n < barCount ? findSection(sections, name) : nullptr;
        int row = 0;
        if (!section || !readInt(section->value(QStringLiteral("Row")), &row))
            continue;
        readBool(*section, QStringLiteral("OneOnRow"), &bar.oneOnRow);
        applyLinkSections(sections, name, bar.container);
        if (!bar.toolBar) {
            bool visible = bar.visible();
            readBool(*section, QStringLiteral("Visible"), &visible);
            if (bar.emptyHidden)
                bar.visibleIntent = visible;
            else
                bar.menuBar->setVisible(visible);
            continue;
        }
        Placement& placement = placements[toolBarIndex];
        int docking = styleOf(placement.area);
        int docked = docking;
        readNumber(*section, QStringLiteral("DockingStyle"), &docking);
        readNumber(*section, QStringLiteral("DockedDockingStyle"), &docked);
        placement.floating = docking == StyleNone;
        if (!areaOf(placement.floating ? docked : docking, &placement.area))
            placement.area = Qt::TopToolBarArea;
        placement.row = row;
        int left = 0;
        int top = 0;
        readNumber(*section, QStringLiteral("DockedLeft"), &left);
        readNumber(*section, QStringLiteral("DockedTop"), &top);
        placement.left = horizontal(placement.area) ? left : top;
        int x = placement.floatRect.x();
        int y = placement.floatRect.y();
        int width = placement.floatRect.width();
        int height = placement.floatRect.height();
        readNumber(*section, QStringLiteral("FloatLeft"), &x);
        readNumber(*section, QStringLiteral("FloatTop"), &y);
        readNumber(*section, QStringLiteral("FloatClientWidth"), &width);
        readNumber(*section, QStringLiteral("FloatClientHeight"), &height);
        placement.floatRect = QRect(x, y, width, height);
        readBool(*section, QStringLiteral("Visible"), &placement.visible);
    }
    writePlacements(placements);

    for (const auto& item : m_items) {
        if (item->submenuLinks)
            applyLinkSections(sections, prefix + QStringLiteral("SubItem_") + item->name,
                              *item->submenuLinks);
    }
    return true;
}
