// The verbs the file list and the folder tree share, under the same names, so that a command
// acts on whichever of them has the focus, and what both do alike with drags, drops and a
// refused rename.
#pragma once

#include <QRect>
#include <QStringList>
#include <optional>

class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QPixmap;
class QWidget;

namespace quillon {

class ShellView {
public:
    virtual ~ShellView() = default;

    // To the trash, or for good.
    virtual void deleteSelected(bool permanent) = 0;
    virtual void cutSelected() = 0;
    virtual void copySelected() = 0;
    // The clipboard's items into the view's folder: the listed one, or the selected one.
    virtual void paste() = 0;
    virtual void propertiesOfSelection() = 0;
    virtual void renameSelected() = 0;
    // Reads the view's folders again: the listed one, or the selected branch.
    virtual void refresh() = 0;
    virtual bool isEditing() const = 0;
};

// Drags `paths` out of `source` as a file manager does: copied, or moved with Shift.
void startItemsDrag(QWidget* source, const QStringList& paths, const QPixmap& pixmap);
// Takes a drag that carries files, with the action its modifiers ask for.
void answerDragEnter(QDragEnterEvent* event);
// Takes a drag over `folder`, the folder a drop there would go to (empty: none); `area` is the
// part of the view the answer holds for.
void answerDragOver(QDragMoveEvent* event, const QString& folder,
                    std::optional<QRect> area = std::nullopt);
// Copies or moves the dropped items into `folder` (empty: none takes them); true when
// something was done.
bool dropIntoFolder(QDropEvent* event, const QString& folder);
// The error box of a rename the file system or the name refused.
void reportRefusedRename(const QString& oldName, const QString& typed);

} // namespace quillon
