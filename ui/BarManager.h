// Menus and toolbars of a main window, built from named items: command items, submenus and
// combo items, grouped in categories and placed on bars and in submenus through item links.
// ui/BarLayoutSections keeps the layout in the settings file.
#pragma once

#include <QIcon>
#include <QKeySequence>
#include <QList>
#include <QObject>
#include <QRect>
#include <QStringList>
#include <memory>
#include <vector>

class QAction;
class QMainWindow;
class QMenu;
class QMenuBar;
class QToolBar;
class QToolButton;
class QWidget;

namespace quillon {

class BarCombo;

class BarManager : public QObject {
    Q_OBJECT

public:
    struct Command {
        QString name;
        QString caption;
        QString hint;
        QString category;
        QKeySequence shortcut;
        bool checkable = false;
        bool checked = false;
        QIcon icon;
        int tag = 0; // also the action's data()
        bool neverShown = false;
    };

    // Where a toolbar sits. Rows count from the window's edge; in the top dock row 0 is the
    // main menu bar's. A floating bar keeps the dock, row and left it returns to. Qt starts
    // every row at 0 and gives a bar at least the room its items need, so a left edge is kept
    // as far as that allows. Placements pass through the window's saved state, which is only
    // understood for a window without dock widgets.
    struct Placement {
        Qt::ToolBarArea area = Qt::TopToolBarArea;
        int row = 1;
        int left = 0;
        bool floating = false;
        QRect floatRect;
        bool visible = true;
        bool operator==(const Placement&) const = default;
    };

    // Bits of an item link's user overrides.
    enum UserDefine { UserCaption = 1, UserGlyph = 2, UserPaintStyle = 4, UserWidth = 8 };

    struct LinkState {
        QString itemName;
        bool beginGroup = false;
        bool visible = true;
        int userDefine = 0;
        QString userCaption;
        int userPaintStyle = 0;
        int userWidth = 0;
    };

    explicit BarManager(QMainWindow* window);
    ~BarManager() override;

    QMainWindow* window() const { return m_window; }

    void addCategory(const QString& name);
    QStringList categories() const { return m_categories; }
    QStringList itemNames(const QString& category) const;

    // Items. Command items' actions are also added to the window, so their shortcuts work
    // without a visible place.
    QAction* addCommand(const Command& command);
    QMenu* addSubmenu(const QString& name, const QString& caption, const QString& category);
    BarCombo* addCombo(const QString& name, const QString& caption, const QString& hint,
                       const QString& category, int width);
    // The item's own action: the command, the submenu's menu action, or the combo.
    QAction* action(const QString& name) const;
    QMenu* submenu(const QString& name) const;
    // Submenu items in the order they were added.
    QStringList submenuNames() const;
    BarCombo* combo(const QString& name) const;

    // Bars. The main menu bar is the window's menu bar and always bar 0; toolbars follow in
    // the order they are added and start docked at the top at the given row and left edge.
    QMenuBar* addMainMenu(const QString& caption);
    QToolBar* addToolBar(const QString& name, const QString& caption, int row, int left);
    QList<QWidget*> bars() const;
    QToolBar* toolBar(const QString& name) const;
    QString barCaption(const QWidget* bar) const;
    bool oneOnRow(const QWidget* bar) const;
    void setOneOnRow(QWidget* bar, bool on);
    // Whether the user wants the bar shown; a bar whose links are all hidden is hidden itself
    // and shows again as this says once a link shows.
    bool barVisible(const QWidget* bar) const;
    void setBarVisible(QWidget* bar, bool visible);

    // Quick customising: a small menu button at the bar's end to show or hide each item.
    void setQuickCustomizing(QToolBar* bar, bool on);
    bool quickCustomizing(QToolBar* bar) const;
    QToolButton* quickCustomizeButton(QToolBar* bar) const;

    // Item links in a bar (menu bar or toolbar) or a submenu's menu. False for an unknown
    // container or item.
    bool addLink(QWidget* container, const QString& itemName, bool beginGroup = false);
    int linkCount(QWidget* container) const;
    LinkState link(QWidget* container, int index) const;
    // The action standing for the link in the container: its own one on bars, so that a link
    // can be hidden there alone; the item's action in submenus.
    QAction* linkAction(QWidget* container, int index) const;
    void setLinkVisible(QWidget* container, int index, bool visible);
    void setLinkBeginGroup(QWidget* container, int index, bool beginGroup);
    // Replaces the container's links; links to unknown items, or to a submenu from its own
    // menu, are left out.
    void setLinks(QWidget* container, const QList<LinkState>& links);

    Placement placement(QToolBar* bar) const;
    void setPlacement(QToolBar* bar, const Placement& placement);
    // The toolbars' placements in the order the bars were added.
    QList<Placement> placements() const;
    void setPlacements(const QList<Placement>& placements);

    bool showShortcutInHint() const { return m_showShortcutInHint; }
    void setShowShortcutInHint(bool on);
    // Options the settings file keeps: large icons (32 pixels instead of 16 on toolbars), and
    // the menus' animation and whether hints show, kept but not used.
    bool largeIcons() const { return m_largeIcons; }
    void setLargeIcons(bool on);
    int menuAnimations() const { return m_menuAnimations; }
    void setMenuAnimations(int animations) { m_menuAnimations = animations; }
    bool showHint() const { return m_showHint; }
    void setShowHint(bool on) { m_showHint = on; }

private:
    struct Item;
    struct Link;
    struct Container;
    struct Bar;

    Item* findItem(const QString& name) const;
    Container* findContainer(QWidget* widget) const;
    Bar* findBar(const QWidget* widget) const;
    Link makeLink(Container& container, Item* item, bool beginGroup);
    void dropLinks(Container& container);
    void rebuild(Container& container);
    void updateBarVisibility(Bar& bar);
    void updateHint(Item* item);
    void refreshItem(Item* item);
    void syncLinkAction(const Item* item, const Link& link) const;
    void fillQuickCustomizeMenu(Bar* bar);
    QString hintText(const Item* item) const;
    int toolBarIndex(const QToolBar* toolBar) const;

    QMainWindow* m_window;
    QStringList m_categories;
    std::vector<std::unique_ptr<Item>> m_items;
    std::vector<std::unique_ptr<Bar>> m_bars;
    bool m_showShortcutInHint = true;
    bool m_showHint = true;
    bool m_largeIcons = false;
    int m_menuAnimations = 0;
};

} // namespace quillon
