// The desktop shell as the widgets and the window see it: the namespace under the
// "Desktop" root, cut, copy and paste of items, deleting, properties, opening files
// and addresses, and the drag and drop of file items. Every call runs on the GUI
// thread and returns when its work is done.
#pragma once

#include "shell/ShellItem.h"

#include <QList>
#include <QStringList>
#include <QUrl>
#include <functional>

class QMimeData;

namespace quillon {

class PropertiesDialog;

class ShellServices {
public:
    // Hands a URL to the desktop's default handler; true when one took it.
    using UrlOpener = std::function<bool(const QUrl&)>;

    ShellServices();
    virtual ~ShellServices() = default;

    // Namespace. The Desktop's children: the home folder, ~/Desktop when it exists,
    // "/" and the mounted volumes.
    virtual ShellItem desktop() const { return ShellItem::desktop(); }
    virtual QList<ShellItem> desktopChildren() const;
    // Entries of a folder, folders first, hidden ones included.
    virtual QList<ShellItem> children(const ShellItem& folder, bool foldersOnly = false) const;
    // The folder holding the item; "/" lies under the Desktop, the Desktop under nothing.
    virtual ShellItem parent(const ShellItem& item) const;
    // An absolute path, a file URL, "~/..." or the Desktop's parsing name, to an
    // existing item; a null item when it does not resolve.
    virtual ShellItem resolve(const QString& parsingName) const;

    // Clipboard. The items go as file URLs with the GNOME and KDE marks of a cut.
    virtual void cut(const QStringList& paths);
    virtual void copy(const QStringList& paths);
    // True when the clipboard holds file URLs that could be pasted.
    virtual bool clipboardHasFiles() const;
    // Copies the clipboard's items into the folder, or moves them after a cut (and
    // then empties the clipboard). True when every item arrived.
    virtual bool paste(const QString& folder);

    // To the trash, or for good, after this layer's own confirmation.
    virtual bool deleteItems(const QStringList& paths, bool permanent);
    // Shows one modeless properties window for the items (deleted on close), or
    // nothing when none of them exists.
    virtual PropertiesDialog* showProperties(const QStringList& paths);

    // Opens a file, folder, web or mail address with the desktop's default handler.
    virtual bool open(const QString& target);
    // What open() hands over: a path gives a file URL, a text with a scheme stays,
    // "www." gets "http://", an address with "@" gets "mailto:"; else an invalid URL.
    static QUrl urlForTarget(const QString& target);
    // Replaces QDesktopServices, so that tests never start a program.
    void setUrlOpener(UrlOpener opener) { m_opener = std::move(opener); }

    // Drops and drags.
    virtual QStringList droppedPaths(const QMimeData* data) const;
    virtual Qt::KeyboardModifiers keyboardModifiers() const;
    // Shift moves, anything else copies, as in file managers.
    static Qt::DropAction dropAction(Qt::KeyboardModifiers modifiers);
    // Mime data of dragged items (caller owns it), offered as file URLs.
    virtual QMimeData* dragData(const QStringList& paths) const;
    // Copies the dropped files into the folder, or moves them with Shift; returns
    // the action done, or IgnoreAction when nothing could be dropped there.
    virtual Qt::DropAction dropOnFolder(const QMimeData* data, const QString& folder,
                                        Qt::KeyboardModifiers modifiers);

private:
    UrlOpener m_opener;
};

// The services in use: the one set last, else the real desktop.
ShellServices& shellServices();
// Swaps in other services (not owned); nullptr goes back to the real desktop.
void setShellServices(ShellServices* services);

} // namespace quillon
