#include "ui/BarManager.h"

#include "ui/BarCombo.h"
#include "ui/MainWindowStateCodec.h"
#include "ui/PersistentMenu.h"

#include <QMainWindow>
#include <QMenuBar>
#include <QToolBar>
#include <QToolButton>
#include <QWidgetAction>

namespace quillon {

namespace {

// A toolbar's own extent along a line in the area: its size hint's width or height.
MainWindowStateCodec::ExtentOf extentOf(const BarManager& bars) {
    return [&bars](const QString& name, Qt::ToolBarArea area) {
        const QToolBar* bar = bars.toolBar(name);
        if (!bar)
            return -1;
        const QSize hint = bar->sizeHint();
        return area == Qt::TopToolBarArea || area == Qt::BottomToolBarArea ? hint.width()
                                                                           : hint.height();
    };
}

QString plainCaption(const QString& caption) {
    QString text = caption;
    return text.remove(QLatin1Char('&'));
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

QStringList BarManager::submenuNames() const {
    QStringList names;
    for (const auto& item : m_items) {
        if (item->menu)
            names.append(item->name);
    }
    return names;
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

QString BarManager::barCaption(const QWidget* widget) const {
    const Bar* bar = findBar(widget);
    return bar ? bar->caption : QString();
}

bool BarManager::oneOnRow(const QWidget* widget) const {
    const Bar* bar = findBar(widget);
    return bar && bar->oneOnRow;
}

void BarManager::setOneOnRow(QWidget* widget, bool on) {
    if (Bar* bar = findBar(widget))
        bar->oneOnRow = on;
}

bool BarManager::barVisible(const QWidget* widget) const {
    const Bar* bar = findBar(widget);
    return bar && bar->visible();
}

void BarManager::setBarVisible(QWidget* widget, bool visible) {
    Bar* bar = findBar(widget);
    if (!bar)
        return;
    if (bar->emptyHidden)
        bar->visibleIntent = visible;
    else
        widget->setVisible(visible);
}

void BarManager::setLargeIcons(bool on) {
    m_largeIcons = on;
    for (const auto& bar : m_bars) {
        if (bar->toolBar)
            bar->toolBar->setIconSize(on ? QSize(32, 32) : QSize(16, 16));
    }
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

void BarManager::setLinks(QWidget* widget, const QList<LinkState>& links) {
    Container* container = findContainer(widget);
    if (!container)
        return;
    dropLinks(*container);
    for (const LinkState& state : links) {
        Item* item = findItem(state.itemName);
        if (!item || container->widget == item->menu)
            continue;
        Link link = makeLink(*container, item, state.beginGroup);
        link.state = state;
        link.state.itemName = item->name;
        container->links.append(link);
    }
    rebuild(*container);
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
            setPlacements(placements());
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

int BarManager::toolBarIndex(const QToolBar* toolBar) const {
    int index = 0;
    for (const auto& bar : m_bars) {
        if (!bar->toolBar)
            continue;
        if (bar->toolBar == toolBar)
            return index;
        ++index;
    }
    return -1;
}

BarManager::Placement BarManager::placement(QToolBar* toolBar) const {
    const int index = toolBarIndex(toolBar);
    return index < 0 ? Placement() : placements().value(index);
}

void BarManager::setPlacement(QToolBar* toolBar, const Placement& placement) {
    QList<Placement> all = placements();
    if (const int index = toolBarIndex(toolBar); index >= 0 && index < all.size())
        all[index] = placement;
    setPlacements(all);
}

QList<BarManager::Placement> BarManager::placements() const {
    QList<Bar*> toolBars;
    QList<Placement> placements;
    for (const auto& bar : m_bars) {
        if (bar->toolBar) {
            toolBars.append(bar.get());
            placements.append(bar->last);
        }
    }
    MainWindowStateCodec::WindowState state;
    if (!MainWindowStateCodec::decode(m_window->saveState(MainWindowStateCodec::StateVersion),
                                      &state))
        return placements;
    for (const auto& place : MainWindowStateCodec::placesOf(state.lines, extentOf(*this))) {
        const int index = toolBarIndex(toolBar(place.name));
        const Bar* bar = toolBars.at(index);
        Placement& placement = placements[index];
        placement.area = place.area;
        // In the top dock row 0 is the menu bar's.
        placement.row = place.line + (place.area == Qt::TopToolBarArea ? 1 : 0);
        placement.left = place.left;
        placement.floating = place.floating;
        placement.floatRect = place.floating ? place.floatRect : bar->last.floatRect;
        placement.visible = bar->emptyHidden ? bar->visibleIntent : place.shown;
    }
    return placements;
}

void BarManager::setPlacements(const QList<Placement>& placements) {
    MainWindowStateCodec::WindowState state;
    if (!MainWindowStateCodec::decode(m_window->saveState(MainWindowStateCodec::StateVersion),
                                      &state))
        return;
    QList<MainWindowStateCodec::ToolBarPlace> places;
    int index = 0;
    for (const auto& bar : m_bars) {
        if (!bar->toolBar || index >= placements.size())
            continue;
        const Placement& placement = placements.at(index++);
        places.append({bar->toolBar->objectName(), placement.area, placement.row, placement.left,
                       placement.visible && !bar->emptyHidden, placement.floating,
                       placement.floatRect});
        bar->visibleIntent = placement.visible;
        bar->last = placement;
    }
    state.lines = MainWindowStateCodec::linesOf(places, extentOf(*this));
    m_window->restoreState(MainWindowStateCodec::encode(state), MainWindowStateCodec::StateVersion);
}

} // namespace quillon
