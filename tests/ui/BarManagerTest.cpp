// The bar manager through a window built like the main one: items found by name, hints, items
// never shown, the Confirmations menu that stays open, quick customising, and the layout
// written as sections and applied to a fresh window.
#include "ui/BarManager.h"
#include "ui/BarCombo.h"
#include "ui/BarLayoutSections.h"

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace quillon;

// Readable failures for the sections.
void PrintTo(const IniSection& section, std::ostream* out) {
    *out << "[" << section.name.toStdString() << "]";
    for (const auto& pair : section.keys)
        *out << " " << pair.first.toStdString() << "=" << pair.second.toStdString();
}

namespace {

const QString Prefix = QStringLiteral("fmMain.BarManager.");

struct CommandDecl {
    const char* name;
    const char* caption;
    const char* hint;
    const char* category;
    const char* shortcut;
    bool checkable;
    bool checked;
    int tag;
    bool neverShown;
};

// Every command item of the window: captions, hints, categories and tags.
constexpr CommandDecl Commands[] = {
    {"bbUpFolder", "Up Folder", "Up Folder", "File", "", false, false, 0, false},
    {"bbNewFolder", "New Folder", "New Folder", "File", "", false, false, 0, false},
    {"bbDelete", "&Delete", "Delete", "File", "", false, false, 0, false},
    {"bbProperties", "Properties", "Properties", "File", "", false, false, 0, false},
    {"bbReport", "&Report", "Report", "File", "", false, false, 0, true},
    {"bbClose", "Close", "Close", "File", "", false, false, 0, false},
    {"bbOpenDataFile", "&Open...", "Open", "File", "", false, false, 0, true},
    {"bbIcon", "Icon View", "Icon View", "View", "", false, false, 0, false},
    {"bbSmallIconView", "Small Icon View", "Small Icon View", "View", "", false, false, 1, false},
    {"bbListView", "List View", "List View", "View", "", false, false, 2, false},
    {"bbReportView", "Report View", "Report View", "View", "", false, false, 3, false},
    {"bbRefresh", "Refresh", "Refresh", "View", "", false, false, 0, false},
    {"bbCut", "C&ut", "Cut", "Edit", "", false, false, 0, false},
    {"bbCopy", "&Copy", "Copy", "Edit", "", false, false, 0, false},
    {"bbPaste", "&Paste", "Paste", "Edit", "", false, false, 0, false},
    {"bbSelectAll", "Select &All", "Select All", "Edit", "Ctrl+A", false, false, 0, false},
    {"bbInvertSelection", "Invert Selection", "Invert Selection", "Edit", "", false, false, 0,
     false},
    {"bbAbout", "&About...", "About", "Help", "", false, false, 0, false},
    {"bbConfSaveTag", "Save Tag", "Save Tag", "Confirmations", "", true, true, 0, false},
    {"bbConfRemoveTag", "Remove Tag", "Remove Tag", "Confirmations", "", true, true, 0, false},
    {"bbConfUndoTag", "Undo Tag", "Undo Tag", "Confirmations", "", true, true, 0, false},
    {"bbConfClearTag", "Clear Tag", "Clear Tag", "Confirmations", "", true, true, 0, false},
    {"bbConfRenameFile", "Rename File", "Rename File", "Confirmations", "", true, true, 0, false},
    {"bbConfFillTagFromFile", "Fill Tag From File", "Fill Tag From File", "Confirmations", "", true,
     true, 0, false},
    {"bbConfQuit", "Quit", "Quit", "Confirmations", "", true, false, 0, false},
};

// A container's links; a leading '|' begins a group.
struct LinksDecl {
    const char* container;
    std::initializer_list<const char*> links;
};

const LinksDecl Links[] = {
    {"Main Menu", {"bbFile", "bbEdit", "bbView", "bbHelp"}},
    {"bbFile", {"bbUpFolder", "|bbNewFolder", "bbDelete", "bbProperties", "|bbReport", "|bbClose"}},
    {"bbEdit",
     {"bbCut", "bbCopy", "bbPaste", "|bbSelectAll", "bbInvertSelection", "|bbConfirmations"}},
    {"bbConfirmations",
     {"bbConfSaveTag", "bbConfRemoveTag", "bbConfUndoTag", "bbConfClearTag", "|bbConfRenameFile",
      "bbConfFillTagFromFile", "|bbConfQuit"}},
    {"bbView",
     {"bbIcon", "bbSmallIconView", "bbListView", "bbReportView", "|bcFileMask", "bbRefresh"}},
    {"bbHelp", {"bbAbout"}},
    {"tbFile", {"bbUpFolder", "bbProperties", "|bbNewFolder", "|bcFileMask", "|bbRefresh"}},
    {"tbEdit", {"bbSelectAll", "bbInvertSelection", "|bbCut", "bbCopy", "bbPaste", "bbDelete"}},
    {"tbView", {"bbIcon", "bbSmallIconView", "bbListView", "bbReportView"}},
};

QIcon glyph(int index) {
    QPixmap pixmap(16, 16);
    pixmap.fill(QColor::fromHsv((index * 37) % 360, 200, 200));
    return QIcon(pixmap);
}

// The main window's bars, built the way the window builds them.
struct BarWindow {
    QMainWindow window;
    BarManager* bars;

    BarWindow() : bars(new BarManager(&window)) {
        bars->setObjectName(QStringLiteral("BarManager"));
        for (const char* category :
             {"Default", "Menus", "File", "View", "Edit", "Help", "Confirmations"})
            bars->addCategory(QString::fromLatin1(category));
        int index = 0;
        for (const CommandDecl& decl : Commands) {
            BarManager::Command command;
            command.name = QString::fromLatin1(decl.name);
            command.caption = QString::fromLatin1(decl.caption);
            command.hint = QString::fromLatin1(decl.hint);
            command.category = QString::fromLatin1(decl.category);
            command.shortcut = QKeySequence(QString::fromLatin1(decl.shortcut));
            command.checkable = decl.checkable;
            command.checked = decl.checked;
            command.tag = decl.tag;
            command.neverShown = decl.neverShown;
            command.icon = glyph(index++);
            bars->addCommand(command);
        }
        const char* submenus[][2] = {{"bbFile", "&File"},
                                     {"bbEdit", "&Edit"},
                                     {"bbView", "&View"},
                                     {"bbHelp", "&Help"},
                                     {"bbConfirmations", "Confirmations"}};
        for (const auto& submenu : submenus)
            bars->addSubmenu(QString::fromLatin1(submenu[0]), QString::fromLatin1(submenu[1]),
                             QStringLiteral("Menus"));
        BarCombo* mask = bars->addCombo(QStringLiteral("bcFileMask"), QStringLiteral("File Mask"),
                                        QStringLiteral("File Mask"), QStringLiteral("View"), 80);
        mask->setItems({QStringLiteral("*.mp?"), QStringLiteral("*.*")});
        mask->setEditText(QStringLiteral("*.mp?"));

        bars->addMainMenu(QStringLiteral("Main Menu"));
        bars->addToolBar(QStringLiteral("tbFile"), QStringLiteral("File"), 1, 0);
        bars->addToolBar(QStringLiteral("tbEdit"), QStringLiteral("Edit"), 1, 203);
        bars->addToolBar(QStringLiteral("tbView"), QStringLiteral("View"), 1, 360);
        for (const LinksDecl& decl : Links) {
            QWidget* container = container_(QString::fromLatin1(decl.container));
            for (const char* link : decl.links) {
                const QString name = QString::fromLatin1(link);
                const bool group = name.startsWith(QLatin1Char('|'));
                bars->addLink(container, group ? name.mid(1) : name, group);
            }
        }
        bars->setQuickCustomizing(toolBar("tbEdit"), true);
        window.resize(800, 600);
    }

    QWidget* container_(const QString& name) const {
        if (name == QLatin1String("Main Menu"))
            return window.menuBar();
        if (QToolBar* bar = bars->toolBar(name))
            return bar;
        return bars->submenu(name);
    }
    QToolBar* toolBar(const char* name) const { return bars->toolBar(QString::fromLatin1(name)); }
    QAction* action(const char* name) const { return bars->action(QString::fromLatin1(name)); }
    QMenu* menu(const char* name) const { return bars->submenu(QString::fromLatin1(name)); }
    // The action a bar shows for an item.
    QAction* linkOf(QWidget* container, const char* itemName) const {
        for (int i = 0; i < bars->linkCount(container); ++i) {
            if (bars->link(container, i).itemName == QLatin1String(itemName))
                return bars->linkAction(container, i);
        }
        return nullptr;
    }
    int linkIndex(QWidget* container, const char* itemName) const {
        for (int i = 0; i < bars->linkCount(container); ++i) {
            if (bars->link(container, i).itemName == QLatin1String(itemName))
                return i;
        }
        return -1;
    }

    void show() {
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        QCoreApplication::processEvents();
    }
};

const IniSection* sectionNamed(const QList<IniSection>& sections, const QString& name) {
    for (const IniSection& section : sections) {
        if (section.name == Prefix + name)
            return &section;
    }
    return nullptr;
}

void setKey(QList<IniSection>& sections, const QString& name, const QString& key,
            const QString& value) {
    for (IniSection& section : sections) {
        if (section.name != Prefix + name)
            continue;
        for (auto& pair : section.keys) {
            if (pair.first == key)
                pair.second = value;
        }
    }
}

void removeKey(QList<IniSection>& sections, const QString& name, const QString& key) {
    for (IniSection& section : sections) {
        if (section.name == Prefix + name)
            section.keys.removeIf([&](const auto& pair) { return pair.first == key; });
    }
}

// The sections of an INI file in file order, each with its keys in file order.
QList<IniSection> sectionsOf(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QList<IniSection> sections;
    for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']')))
            sections.append({line.mid(1, line.size() - 2), {}});
        else if (const qsizetype equals = line.indexOf(QLatin1Char('='));
                 equals > 0 && !sections.isEmpty())
            sections.last().add(line.left(equals), line.mid(equals + 1));
    }
    return sections;
}

bool popUp(QMenu* menu) {
    menu->popup(QPoint(100, 100));
    return QTest::qWaitFor([menu] { return menu->isVisible(); }, 5000);
}

TEST(BarManagerTest, ItemsAreFoundByNameInTheirCategories) {
    BarWindow w;
    for (const CommandDecl& decl : Commands) {
        SCOPED_TRACE(decl.name);
        auto* action = w.window.findChild<QAction*>(QString::fromLatin1(decl.name));
        ASSERT_NE(action, nullptr);
        EXPECT_EQ(action->text(), QString::fromLatin1(decl.caption));
        EXPECT_EQ(action->data().toInt(), decl.tag);
        EXPECT_EQ(action->isChecked(), decl.checked);
        EXPECT_TRUE(w.bars->itemNames(QString::fromLatin1(decl.category))
                        .contains(QString::fromLatin1(decl.name)));
    }
    EXPECT_EQ(w.bars->categories(),
              QStringList({"Default", "Menus", "File", "View", "Edit", "Help", "Confirmations"}));
    EXPECT_EQ(w.bars->itemNames(QStringLiteral("Menus")),
              QStringList({"bbFile", "bbEdit", "bbView", "bbHelp", "bbConfirmations"}));
    EXPECT_EQ(w.bars->itemNames(QStringLiteral("View")),
              QStringList({"bbIcon", "bbSmallIconView", "bbListView", "bbReportView", "bbRefresh",
                           "bcFileMask"}));
    EXPECT_TRUE(w.bars->itemNames(QStringLiteral("Default")).isEmpty());
    for (const char* name : {"bbFile", "bbEdit", "bbView", "bbHelp", "bbConfirmations"}) {
        SCOPED_TRACE(name);
        EXPECT_NE(w.window.findChild<QMenu*>(QString::fromLatin1(name)), nullptr);
    }
    EXPECT_EQ(w.window.findChild<QAction*>(QStringLiteral("bcFileMask")),
              w.bars->combo(QStringLiteral("bcFileMask")));
}

TEST(BarManagerTest, BarsSitOnTheSecondRowAtTheirLeftEdges) {
    BarWindow w;
    w.show();
    QMenuBar* menuBar = w.window.menuBar();
    EXPECT_EQ(menuBar->geometry(), QRect(0, 0, 800, menuBar->height()));
    const struct {
        const char* bar;
        const char* caption;
        int left;
    } cases[] = {{"tbFile", "File", 0}, {"tbEdit", "Edit", 203}, {"tbView", "View", 360}};
    // Each bar starts at its left edge unless the bar before it needs more room: a bar is
    // never squeezed so far that items drop into its overflow menu.
    int previousEnd = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bar);
        QToolBar* bar = w.toolBar(c.bar);
        const int left = std::max(c.left, previousEnd);
        previousEnd = left + bar->sizeHint().width();
        for (int i = 0; i < w.bars->linkCount(bar); ++i) {
            QWidget* shown = bar->widgetForAction(w.bars->linkAction(bar, i));
            ASSERT_NE(shown, nullptr);
            EXPECT_TRUE(shown->isVisible()) << i;
        }
        EXPECT_TRUE(bar->isVisible());
        EXPECT_EQ(bar->windowTitle(), QString::fromLatin1(c.caption));
        EXPECT_EQ(bar->accessibleName(), QString::fromLatin1(c.caption));
        EXPECT_EQ(w.window.toolBarArea(bar), Qt::TopToolBarArea);
        EXPECT_EQ(bar->y(), menuBar->height());
        EXPECT_EQ(bar->x(), left);
        const BarManager::Placement placement = w.bars->placement(bar);
        EXPECT_EQ(placement.row, 1);
        EXPECT_EQ(placement.left, left);
    }
    EXPECT_EQ(menuBar->accessibleName(), QStringLiteral("Main Menu"));
    EXPECT_EQ(w.menu("bbFile")->accessibleName(), QStringLiteral("File"));
}

TEST(BarManagerTest, HintsShowTheShortcutAndButtonsTheirNames) {
    BarWindow w;
    w.show();
    QToolBar* edit = w.toolBar("tbEdit");
    const struct {
        const char* item;
        const char* hint;
        const char* accessibleName;
    } cases[] = {{"bbSelectAll", "Select All (Ctrl+A)", "Select All"},
                 {"bbCut", "Cut", "Cut"},
                 {"bbDelete", "Delete", "Delete"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.item);
        EXPECT_EQ(w.action(c.item)->toolTip(), QString::fromLatin1(c.hint));
        QAction* onBar = w.linkOf(edit, c.item);
        ASSERT_NE(onBar, nullptr);
        EXPECT_EQ(onBar->toolTip(), QString::fromLatin1(c.hint));
        QWidget* button = edit->widgetForAction(onBar);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->accessibleName(), QString::fromLatin1(c.accessibleName));
    }
    w.bars->setShowShortcutInHint(false);
    EXPECT_EQ(w.linkOf(edit, "bbSelectAll")->toolTip(), QStringLiteral("Select All"));
    // The shortcut still works from the window.
    w.window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w.window));
    int selected = 0;
    QObject::connect(w.action("bbSelectAll"), &QAction::triggered, [&] { ++selected; });
    QTest::keyClick(&w.window, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(selected, 1);
}

TEST(BarManagerTest, ItemsNeverShownAppearNowhere) {
    BarWindow w;
    w.show();
    QList<QWidget*> containers = w.bars->bars();
    for (const char* menu : {"bbFile", "bbEdit", "bbView", "bbHelp", "bbConfirmations"})
        containers.append(w.menu(menu));
    ASSERT_TRUE(popUp(w.menu("bbFile")));
    for (QWidget* container : containers) {
        SCOPED_TRACE(container->objectName().toStdString());
        for (QAction* action : container->actions()) {
            const bool neverShown = action->text() == QLatin1String("&Report") ||
                                    action->text() == QLatin1String("&Open...");
            EXPECT_FALSE(neverShown && action->isVisible()) << action->text().toStdString();
        }
    }
    // An open File menu has no room for it, and one separator between Properties and Close.
    QMenu* file = w.menu("bbFile");
    EXPECT_TRUE(file->actionGeometry(w.action("bbReport")).isEmpty());
    EXPECT_FALSE(file->actionGeometry(w.action("bbClose")).isEmpty());
    file->hide();
    for (const char* name : {"bbReport", "bbOpenDataFile"})
        EXPECT_TRUE(w.bars->itemNames(QStringLiteral("File")).contains(QString::fromLatin1(name)));
}

TEST(BarManagerTest, ConfirmationsMenuStaysOpenWhileItemsAreToggled) {
    BarWindow w;
    w.show();
    QMenu* confirmations = w.menu("bbConfirmations");
    ASSERT_TRUE(popUp(confirmations));
    const struct {
        const char* item;
        bool byKeyboard;
        bool checkedAfter;
    } cases[] = {{"bbConfSaveTag", false, false},
                 {"bbConfQuit", false, true},
                 {"bbConfRemoveTag", true, false},
                 {"bbConfQuit", true, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.item) + (c.byKeyboard ? " by keyboard" : " by mouse"));
        QAction* action = w.action(c.item);
        if (c.byKeyboard) {
            confirmations->setActiveAction(action);
            QTest::keyClick(confirmations, Qt::Key_Return);
        } else {
            QTest::mouseClick(confirmations, Qt::LeftButton, {},
                              confirmations->actionGeometry(action).center());
        }
        EXPECT_EQ(action->isChecked(), c.checkedAfter);
        QCoreApplication::processEvents();
        EXPECT_TRUE(confirmations->isVisible());
    }
    // Other items close their menu as usual.
    QMenu* file = w.menu("bbFile");
    confirmations->hide();
    ASSERT_TRUE(popUp(file));
    int closed = 0;
    QObject::connect(w.action("bbClose"), &QAction::triggered, [&] { ++closed; });
    QTest::mouseClick(file, Qt::LeftButton, {}, file->actionGeometry(w.action("bbClose")).center());
    EXPECT_EQ(closed, 1);
    EXPECT_TRUE(QTest::qWaitFor([file] { return !file->isVisible(); }, 5000));
}

TEST(BarManagerTest, OnlyTheEditBarOffersQuickCustomising) {
    BarWindow w;
    w.show();
    for (const char* name : {"tbFile", "tbEdit", "tbView"}) {
        SCOPED_TRACE(name);
        QToolBar* bar = w.toolBar(name);
        const bool offered = QLatin1String(name) == QLatin1String("tbEdit");
        EXPECT_EQ(w.bars->quickCustomizing(bar), offered);
        QToolButton* button = w.bars->quickCustomizeButton(bar);
        EXPECT_EQ(button != nullptr, offered);
        EXPECT_EQ(bar->findChild<QToolButton*>(QString::fromLatin1(name) + "Customize") != nullptr,
                  offered);
    }

    QToolBar* edit = w.toolBar("tbEdit");
    QToolButton* button = w.bars->quickCustomizeButton(edit);
    ASSERT_TRUE(button->isVisible());
    // It sits at the bar's end.
    for (QAction* action : edit->actions()) {
        if (QWidget* widget = edit->widgetForAction(action); widget && widget != button) {
            EXPECT_LT(widget->x(), button->x());
        }
    }
    QMenu* menu = button->menu();
    ASSERT_TRUE(popUp(menu));
    QStringList entries;
    for (QAction* entry : menu->actions()) {
        entries.append(entry->text());
        EXPECT_TRUE(entry->isChecked());
    }
    EXPECT_EQ(entries, QStringList({"Select &All", "Invert Selection", "C&ut", "&Copy", "&Paste",
                                    "&Delete"}));
    QAction* copyEntry = menu->actions().at(3);
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(copyEntry).center());
    EXPECT_TRUE(menu->isVisible());
    QAction* copyOnBar = w.linkOf(edit, "bbCopy");
    EXPECT_FALSE(copyOnBar->isVisible());
    QWidget* copyButton = edit->widgetForAction(copyOnBar);
    EXPECT_TRUE(QTest::qWaitFor([copyButton] { return !copyButton->isVisible(); }, 5000));
    EXPECT_FALSE(w.bars->link(edit, w.linkIndex(edit, "bbCopy")).visible);
    // Only this bar's link is hidden: the Edit menu still has the item.
    EXPECT_TRUE(w.action("bbCopy")->isVisible());
    EXPECT_TRUE(w.menu("bbEdit")->actions().contains(w.action("bbCopy")));
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(copyEntry).center());
    EXPECT_TRUE(copyOnBar->isVisible());
    menu->hide();
}

TEST(BarManagerTest, LinksOnBarsFollowTheirItemsAndEmptyBarsHide) {
    BarWindow w;
    w.show();
    QToolBar* view = w.toolBar("tbView");
    // A click on the bar runs the item.
    int icons = 0;
    QObject::connect(w.action("bbIcon"), &QAction::triggered, [&] { ++icons; });
    QTest::mouseClick(view->widgetForAction(w.linkOf(view, "bbIcon")), Qt::LeftButton);
    EXPECT_EQ(icons, 1);
    w.action("bbListView")->setEnabled(false);
    EXPECT_FALSE(w.linkOf(view, "bbListView")->isEnabled());

    for (int i = 0; i < w.bars->linkCount(view); ++i)
        w.bars->setLinkVisible(view, i, false);
    EXPECT_TRUE(view->isHidden());
    w.bars->setLinkVisible(view, 2, true);
    EXPECT_TRUE(QTest::qWaitFor([view] { return view->isVisible(); }, 5000));

    // The combo shows one text wherever it is; typing in one reaches the others.
    BarCombo* mask = w.bars->combo(QStringLiteral("bcFileMask"));
    QSignalSpy changes(mask, &BarCombo::editTextChanged);
    ASSERT_TRUE(popUp(w.menu("bbView")));
    const QList<QComboBox*> combos = mask->comboBoxes();
    ASSERT_EQ(combos.size(), 2);
    for (QComboBox* combo : combos) {
        EXPECT_EQ(combo->width(), 80);
        EXPECT_TRUE(combo->isEditable());
        EXPECT_EQ(combo->currentText(), QStringLiteral("*.mp?"));
        EXPECT_EQ(combo->accessibleName(), QStringLiteral("File Mask"));
    }
    combos.at(0)->lineEdit()->selectAll();
    QTest::keyClicks(combos.at(0)->lineEdit(), QStringLiteral("*.mp3"));
    EXPECT_EQ(combos.at(1)->currentText(), QStringLiteral("*.mp3"));
    EXPECT_EQ(mask->editText(), QStringLiteral("*.mp3"));
    EXPECT_EQ(changes.size(), 5);
    w.menu("bbView")->hide();
}

// A settings file as an earlier run left it restores that layout, and is written back as it was:
// every key is read, and written under its name in its place.
TEST(BarManagerTest, AStoredSettingsFileRestoresItsLayout) {
    const QList<IniSection> stored = sectionsOf(QUILLON_UI_FIXTURES "/bar-layout.ini");
    ASSERT_EQ(stored.size(), 54);
    BarWindow w;
    ASSERT_TRUE(applyLayoutSections(*w.bars, stored, Prefix));
    w.show();
    QToolBar* file = w.toolBar("tbFile");
    QToolBar* edit = w.toolBar("tbEdit");
    QToolBar* view = w.toolBar("tbView");
    EXPECT_EQ(w.window.toolBarArea(edit), Qt::TopToolBarArea);
    EXPECT_EQ(edit->x(), 0);
    EXPECT_EQ(edit->y(), file->y() + file->height());
    EXPECT_EQ(w.window.toolBarArea(view), Qt::RightToolBarArea);
    EXPECT_TRUE(view->isVisible());
    EXPECT_EQ(w.linkOf(edit, "bbCut")->text(), QStringLiteral("Snip"));
    EXPECT_FALSE(w.linkOf(edit, "bbCopy")->isVisible());
    EXPECT_TRUE(w.linkOf(edit, "bbPaste")->isVisible());
    EXPECT_EQ(w.bars->linkCount(file), 4);
    EXPECT_EQ(w.linkOf(file, "bbRefresh"), nullptr);
    EXPECT_EQ(w.action("bbSelectAll")->toolTip(), QStringLiteral("Select All"));
    EXPECT_EQ(w.bars->menuAnimations(), 2);
    EXPECT_EQ(layoutSections(*w.bars, Prefix), stored);
}

TEST(BarManagerTest, LayoutSurvivesSavingAndApplyingToAFreshWindow) {
    QList<IniSection> sections;
    const QRect floatRect(300, 200, 260, 40);
    {
        BarWindow w;
        w.show();
        QToolBar* file = w.toolBar("tbFile");
        QToolBar* edit = w.toolBar("tbEdit");
        QToolBar* view = w.toolBar("tbView");
        // The Edit bar moves along its row; the View bar goes to the bottom, then floats.
        BarManager::Placement placement = w.bars->placement(edit);
        placement.left = 260;
        w.bars->setPlacement(edit, placement);
        w.window.addToolBar(Qt::BottomToolBarArea, view);
        placement = w.bars->placement(view);
        EXPECT_EQ(placement.area, Qt::BottomToolBarArea);
        EXPECT_EQ(placement.row, 0);
        placement.floating = true;
        placement.floatRect = floatRect;
        w.bars->setPlacement(view, placement);
        EXPECT_TRUE(QTest::qWaitFor([view] { return view->isFloating(); }, 5000));
        // Cut hidden through quick customising, then the whole Edit bar through its toggle.
        QMenu* menu = w.bars->quickCustomizeButton(edit)->menu();
        ASSERT_TRUE(popUp(menu));
        QTest::mouseClick(menu, Qt::LeftButton, {},
                          menu->actionGeometry(menu->actions().at(2)).center());
        menu->hide();
        edit->toggleViewAction()->trigger();
        EXPECT_TRUE(edit->isHidden());
        // One group less on the File bar.
        w.bars->setLinkBeginGroup(file, 2, false);
        sections = layoutSections(*w.bars, Prefix);
    }
    const struct {
        const char* section;
        const char* key;
        const char* value;
    } expected[] = {
        {"Bar2", "DockedLeft", "260"},
        {"Bar2", "Row", "1"},
        {"Bar2", "Visible", "0"},
        {"Bar2.ItemLink2", "Visible", "0"},
        {"Bar3", "DockingStyle", "0"},
        {"Bar3", "DockedDockingStyle", "4"},
        {"Bar3", "Row", "0"},
        {"Bar3", "FloatLeft", "300"},
        {"Bar3", "FloatClientWidth", "260"},
        {"Bar3", "FloatClientHeight", "40"},
        {"Bar1.ItemLink2", "BeginGroup", "0"},
        {"Bar1.ItemLink3", "BeginGroup", "1"},
    };
    for (const auto& c : expected) {
        SCOPED_TRACE(std::string(c.section) + "/" + c.key);
        const IniSection* section = sectionNamed(sections, QString::fromLatin1(c.section));
        ASSERT_NE(section, nullptr);
        ASSERT_NE(section->value(QString::fromLatin1(c.key)), nullptr);
        EXPECT_EQ(*section->value(QString::fromLatin1(c.key)), QString::fromLatin1(c.value));
    }

    BarWindow fresh;
    ASSERT_TRUE(applyLayoutSections(*fresh.bars, sections, Prefix));
    fresh.show();
    EXPECT_EQ(layoutSections(*fresh.bars, Prefix), sections);
    QToolBar* file = fresh.toolBar("tbFile");
    QToolBar* edit = fresh.toolBar("tbEdit");
    QToolBar* view = fresh.toolBar("tbView");
    EXPECT_TRUE(edit->isHidden());
    EXPECT_FALSE(fresh.linkOf(edit, "bbCut")->isVisible());
    EXPECT_TRUE(fresh.linkOf(edit, "bbCopy")->isVisible());
    EXPECT_TRUE(view->isFloating());
    EXPECT_EQ(view->geometry(), floatRect);
    EXPECT_TRUE(file->isVisible());
    EXPECT_EQ(fresh.window.toolBarArea(file), Qt::TopToolBarArea);
    EXPECT_EQ(fresh.bars->placement(view).area, Qt::BottomToolBarArea);
    // Separators on the File bar: before the combo and before Refresh only.
    int separators = 0;
    for (QAction* action : file->actions())
        separators += action->isSeparator() && action->isVisible();
    EXPECT_EQ(separators, 2);
    // Shown again, the Edit bar returns to its place on the row.
    edit->show();
    EXPECT_TRUE(QTest::qWaitFor([&] { return edit->isVisible() && edit->x() == 260; }, 5000))
        << edit->x();
}

TEST(BarManagerTest, IncompleteSectionsKeepTheBuiltInLayout) {
    QList<IniSection> moved;
    {
        BarWindow w;
        w.window.addToolBar(Qt::BottomToolBarArea, w.toolBar("tbView"));
        w.toolBar("tbEdit")->hide();
        moved = layoutSections(*w.bars, Prefix);
    }
    const QList<IniSection> builtIn = layoutSections(*BarWindow().bars, Prefix);
    ASSERT_NE(moved, builtIn);

    QList<IniSection> noMain = moved;
    noMain.removeFirst();
    QList<IniSection> negativeCount = moved;
    setKey(negativeCount, QStringLiteral("Main"), QStringLiteral("BarCount"), QStringLiteral("-1"));
    QList<IniSection> badCount = moved;
    setKey(badCount, QStringLiteral("Main"), QStringLiteral("BarCount"), QStringLiteral("many"));
    const struct {
        const char* what;
        QList<IniSection> sections;
    } refused[] = {
        {"no Main", noMain}, {"BarCount -1", negativeCount}, {"BarCount many", badCount}};
    for (const auto& c : refused) {
        SCOPED_TRACE(c.what);
        BarWindow w;
        EXPECT_FALSE(applyLayoutSections(*w.bars, c.sections, Prefix));
        EXPECT_EQ(layoutSections(*w.bars, Prefix), builtIn);
    }

    // Without Row the View bar keeps its place; the Edit bar's section still applies.
    QList<IniSection> noRow = moved;
    removeKey(noRow, QStringLiteral("Bar3"), QStringLiteral("Row"));
    BarWindow w;
    EXPECT_TRUE(applyLayoutSections(*w.bars, noRow, Prefix));
    const QList<IniSection> applied = layoutSections(*w.bars, Prefix);
    for (const char* key : {"DockingStyle", "DockedDockingStyle", "Row", "Visible"}) {
        SCOPED_TRACE(key);
        EXPECT_EQ(*sectionNamed(applied, QStringLiteral("Bar3"))->value(QString::fromLatin1(key)),
                  *sectionNamed(builtIn, QStringLiteral("Bar3"))->value(QString::fromLatin1(key)));
    }
    EXPECT_EQ(*sectionNamed(applied, QStringLiteral("Bar2")),
              *sectionNamed(moved, QStringLiteral("Bar2")));
    EXPECT_EQ(w.window.toolBarArea(w.toolBar("tbView")), Qt::TopToolBarArea);
    EXPECT_TRUE(w.toolBar("tbEdit")->isHidden());
}

} // namespace
