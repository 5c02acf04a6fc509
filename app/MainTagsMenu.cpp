// The Tags menu: the commands on the selected files, and for each tag pane its part of the menu
// with the gestures of its image (Copy / Merge onto the other pane, Rename File after it) and
// Fill Tag From File into it, each with a key. A click on a pane's image opens its part.
#include "app/Main.h"

#include "app/ErrorGuard.h"
#include "ui/BarManager.h"
#include "ui/DragImage.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <functional>

namespace quillon {

namespace {

// What a pane's part of the menu holds; %1 is the pane's tag, %2 the other one's.
struct PaneCommand {
    const char* name; // after "bb", with the pane's tag after it
    const char* caption;
    const char* keys[2]; // of the ID3v1 and the ID3v2 pane
    bool beginGroup;
};

constexpr PaneCommand kPaneCommands[] = {
    {"Copy", "&Copy %1 Tag to %2", {"Ctrl+1", "Ctrl+2"}, false},
    {"Merge", "&Merge %1 Tag into %2", {"Ctrl+Alt+1", "Ctrl+Alt+2"}, false},
    {"FillFromFile", "&Fill %1 Tag From File Name", {"Ctrl+F", "Ctrl+Shift+F"}, true},
    {"RenameFile", "&Rename File From %1 Tag", {"Ctrl+R", "Ctrl+Shift+R"}, false},
};

QString tagName(int version) {
    return QStringLiteral("ID3v%1").arg(version);
}

QString paneCommandName(const PaneCommand& command, int version) {
    return QStringLiteral("bb%1%2").arg(QLatin1String(command.name), tagName(version));
}

// The pane's part of the menu.
QString paneMenuName(int version) {
    return QStringLiteral("bbTags%1").arg(tagName(version));
}

} // namespace

void TfmMain::createTagsMenu() {
    QMenu* bbTags = BarManager->submenu("bbTags");
    auto add = [this](const char* name, const char* caption, QKeySequence shortcut = {}) {
        quillon::BarManager::Command c;
        c.name = name;
        c.caption = caption;
        c.hint = QString(caption).remove(QLatin1Char('&')).remove(QStringLiteral("..."));
        c.category = QStringLiteral("Tags");
        c.shortcut = shortcut;
        BarManager->addCommand(c);
    };
    add("bbEditSelectedFiles", "&Edit Selected Files...", QKeySequence(Qt::CTRL | Qt::Key_E));
    add("bbTagsFromFileNames", "&Tags From File Names...");
    add("bbRenameFilesFromTags", "Re&name Files From Tags...");
    add("bbNumberTracks", "N&umber Tracks...");
    add("bbUndoLastBatch", "&Undo Last Batch");

    for (const int version : {1, 2}) {
        QMenu* menu = BarManager->addSubmenu(paneMenuName(version),
                                             QStringLiteral("%1 Tag").arg(tagName(version)),
                                             QStringLiteral("Menus"));
        for (const PaneCommand& command : kPaneCommands) {
            const QString caption = QString::fromLatin1(command.caption)
                                        .replace(QLatin1String("%1"), tagName(version))
                                        .replace(QLatin1String("%2"), tagName(3 - version));
            quillon::BarManager::Command c;
            c.name = paneCommandName(command, version);
            c.caption = caption;
            c.hint = QString(caption).remove(QLatin1Char('&'));
            c.category = QStringLiteral("Tags");
            c.shortcut = QKeySequence(QString::fromLatin1(command.keys[version - 1]));
            BarManager->addCommand(c);
            BarManager->addLink(menu, c.name, command.beginGroup);
        }
    }

    const std::pair<const char*, bool> tagsLinks[] = {{"bbEditSelectedFiles", false},
                                                      {"bbTagsFromFileNames", false},
                                                      {"bbRenameFilesFromTags", false},
                                                      {"bbNumberTracks", false},
                                                      {"bbUndoLastBatch", true},
                                                      {"bbTagsID3v1", true},
                                                      {"bbTagsID3v2", false}};
    for (const auto& [item, group] : tagsLinks)
        BarManager->addLink(bbTags, item, group);
}

void TfmMain::wireTagsMenu() {
    wireBatchCommands();
    for (TagPane& pane : m_panes) {
        const int version = &pane == &m_panes[0] ? 1 : 2;
        TagPane& other = m_panes[2 - version];
        const QObject* image = pane.widgets().image;
        // As the drags do: nothing while a file is being read.
        const std::function<void()> handlers[] = {
            [this, &pane, &other] {
                if (!readingInBackground())
                    other.copyFrom(pane, false);
            },
            [this, &pane, &other] {
                if (!readingInBackground())
                    other.copyFrom(pane, true);
            },
            [this, &pane] {
                if (!readingInBackground())
                    pane.fillFromFileName(CurrentFile);
            },
            [this, image] { ShellListDragDrop(image); },
        };
        for (std::size_t i = 0; i < std::size(kPaneCommands); ++i) {
            connect(BarManager->action(paneCommandName(kPaneCommands[i], version)),
                    &QAction::triggered, this,
                    [handler = handlers[i]](bool) { runGuarded(handler); });
        }
        if (auto* dragImage = qobject_cast<DragImage*>(pane.widgets().image)) {
            connect(dragImage, &DragImage::clicked, this, [this, dragImage, version] {
                BarManager->submenu(paneMenuName(version))
                    ->popup(dragImage->mapToGlobal(QPoint(0, dragImage->height())));
            });
        }
    }
}

} // namespace quillon
