// Drag and drop of tags and file names: a tag pane's image dropped on the other pane copies or
// merges its rows, dropped on the file list renames CurrentFile after the pane's Artist and
// Title; files dropped from elsewhere on a pane fill its Artist and Title from CurrentFile's name.
#include "app/Main.h"

#include "mpeg/MPEGaudio.h"

#include "app/ErrorGuard.h"
#include "app/FailureText.h"
#include "display/NameRules.h"
#include "shell/DialogService.h"
#include "shell/FileName.h"
#include "shell/FileOperations.h"
#include "shell/ShellServices.h"
#include "ui/BarManager.h"
#include "ui/DragImage.h"
#include "ui/InspectorGrid.h"
#include "ui/ShellListView.h"

#include <QAction>
#include <QDropEvent>
#include <algorithm>
#include <cerrno>
#include <functional>
#include <stdexcept>
#include <utility>
#include <vector>

namespace quillon {

namespace {

const QString kRenameQuestion = QStringLiteral("Rename file \"%1\" to \"%2\"?");
const QString kRenameError = QStringLiteral("Cannto rename file \"%1\" to \"%2\"");
const QString kSeparator = QStringLiteral(" - ");

// A switched-off confirmation goes ahead as if Yes had been answered.
bool confirmedBy(const QAction* confirmation, const QString& question) {
    return !confirmation->isChecked() || dialogs().confirm(question);
}

bool isOnlyDots(const QString& path) {
    const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    return std::all_of(name.begin(), name.end(), [](QChar c) { return c == QLatin1Char('.'); });
}

// A drop target of the window, with the handlers of the tag images' drags over it.
struct DropTarget {
    QWidget* widget;
    std::function<bool(const QObject* source)> over;
    std::function<void(const QObject* source)> drop;
};

// Hands the drags of the tag images to the window's handlers. Other drags (files, list items)
// go on to the targets' own handling.
class DragDropRouter : public QObject {
public:
    DragDropRouter(QObject* window, std::vector<DropTarget> targets)
        : QObject(window), m_targets(std::move(targets)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
            return false;
        auto* drag = static_cast<QDropEvent*>(event);
        const QObject* source = DragImage::draggedFrom(drag->mimeData());
        const auto target = std::find_if(m_targets.begin(), m_targets.end(),
                                         [&](const DropTarget& t) { return t.widget == watched; });
        if (!source || target == m_targets.end())
            return false;
        if (type == QEvent::Drop) {
            // An error must not unwind through Qt's drag machinery, which would stay half done.
            runGuarded([&] { target->drop(source); });
        } else if (!target->over(source)) {
            drag->ignore(); // the no-drop cursor
            return true;
        }
        drag->setDropAction(Qt::CopyAction);
        drag->accept();
        return true;
    }

private:
    std::vector<DropTarget> m_targets;
};

} // namespace

void TfmMain::setUpDragAndDrop() {
    // The list takes the drags its item views leave alone; a grid's drags arrive at its viewport.
    std::vector<DropTarget> targets = {
        {ShellList, [this](const QObject* source) { return ShellListDragOver(source); },
         [this](const QObject* source) { ShellListDragDrop(source); }}};
    for (TagPane& pane : m_panes) {
        targets.push_back(
            {pane.widgets().grid->viewport(),
             [this, &pane](const QObject* source) { return paneDragOver(pane, source); },
             [this, &pane](const QObject* source) { paneDragDrop(pane, source); }});
    }
    auto* router = new DragDropRouter(this, targets);
    for (const DropTarget& target : targets) {
        target.widget->setAcceptDrops(true);
        target.widget->installEventFilter(router);
    }
}

// Nothing is taken while a file is being read: the panes show nothing of it.
bool TfmMain::paneDragOver(const TagPane& pane, const QObject* source) const {
    if (readingInBackground())
        return false;
    const TagPane* from = paneOfImage(source);
    return from && from != &pane;
}

// Neither direction asks, nor looks at whether the pane is editable; the pane counts as
// modified even when no text changed. Ctrl held at the drop merges: only empty rows are filled.
void TfmMain::paneDragDrop(TagPane& pane, const QObject* source) {
    if (!paneDragOver(pane, source))
        return;
    pane.copyFrom(*paneOfImage(source),
                  shellServices().keyboardModifiers().testFlag(Qt::ControlModifier));
}

bool TfmMain::ShellListDragOver(const QObject* source) const {
    return !readingInBackground() && paneOfImage(source) != nullptr;
}

// Renames CurrentFile after the pane's Artist and Title as shown, unsaved edits included. The
// panes and their flags stay: the file's content is the same.
void TfmMain::ShellListDragDrop(const QObject* source) {
    if (!ShellListDragOver(source))
        return;
    const TagPane* pane = paneOfImage(source);
    const QString artist = pane->fieldRow("artist")->text();
    const QString title = pane->fieldRow("title")->text();
    QString baseName;
    if (!artist.isEmpty() && !title.isEmpty())
        baseName = artist + kSeparator + title;
    else
        baseName = artist.isEmpty() ? title : artist;
    if (baseName.isEmpty())
        return;

    const QString newPath = renamedPath(CurrentFile, baseName);
    if (!confirmedBy(BarManager->action("bbConfRenameFile"),
                     kRenameQuestion.arg(displayFileName(CurrentFile), displayFileName(newPath))))
        return;
    if (ShellList->isEditing())
        ShellList->cancelEdit();
    // A name of only dots names the folder or its parent, never a file of its own.
    const int failure = isOnlyDots(newPath) ? EINVAL : moveWithoutReplacing(CurrentFile, newPath);
    if (failure != 0)
        throw std::runtime_error(
            withSystemReason(
                kRenameError.arg(displayFileName(CurrentFile), displayFileName(newPath)), failure)
                .toLocal8Bit()
                .toStdString());
    // Renamed, the file keeps its identity, size and time: what was loaded is still told from
    // what changed, and the MPEG band, which shows what the analysis saw, stays as it is.
    CurrentFile = newPath;
}

} // namespace quillon
