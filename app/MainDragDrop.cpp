// Drag and drop of tags and file names: a tag pane's image dropped on the other pane copies or
// merges its rows, dropped on the file list renames CurrentFile after the pane's Artist and
// Title; files dropped from elsewhere on a pane fill its Artist and Title from CurrentFile's name.
#include "app/Main.h"

#include "mpeg/MPEGaudio.h"

#include "app/ErrorGuard.h"
#include "app/FailureText.h"
#include "shell/DialogService.h"
#include "shell/FileName.h"
#include "shell/FileOperations.h"
#include "shell/ShellServices.h"
#include "ui/DragImage.h"
#include "ui/InspectorGrid.h"
#include "ui/ShellListView.h"

#include <QAction>
#include <QDropEvent>
#include <algorithm>
#include <cerrno>
#include <stdexcept>

namespace {

const QString kRenameQuestion = QStringLiteral("Rename file \"%1\" to \"%2\"?");
const QString kRenameError = QStringLiteral("Cannto rename file \"%1\" to \"%2\"");
const QString kSeparator = QStringLiteral(" - ");

// A switched-off confirmation goes ahead as if Yes had been answered.
bool confirmedBy(const QAction* confirmation, const QString& question) {
    return !confirmation->isChecked() || dialogs().confirm(question);
}

// The folder part runs up to the last "/", the extension from the last "." after it. A "/" in
// the tag's text becomes "-", so the new name stays one name in the file's own folder.
QString renamedPath(const QString& path, const QString& baseName) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    const QString extension = dot > slash ? path.mid(dot) : QString();
    // "\xE9" in the tag's text stands for the byte again where the old name held raw bytes.
    QString name = fileNameFromDisplay(baseName, fileNameOf(path));
    name.replace(QLatin1Char('/'), QLatin1Char('-'));
    return path.left(slash + 1) + name + extension;
}

bool isOnlyDots(const QString& path) {
    const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    return std::all_of(name.begin(), name.end(), [](QChar c) { return c == QLatin1Char('.'); });
}

// Hands the drags of the tag images to the window's handlers. Other drags (files, list items)
// go on to the targets' own handling.
class DragDropRouter : public QObject {
public:
    explicit DragDropRouter(TfmMain* window) : QObject(window), m_window(window) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
            return false;
        auto* drag = static_cast<QDropEvent*>(event);
        const QObject* source = DragImage::draggedFrom(drag->mimeData());
        const Target target = targetOf(watched);
        if (!source || !target.widget)
            return false;
        if (type == QEvent::Drop) {
            // An error must not unwind through Qt's drag machinery, which would stay half done.
            TfmMain* window = m_window;
            runGuarded([window, target, source] { drop(window, target, source); });
        } else if (!accepts(target, source)) {
            drag->ignore(); // the no-drop cursor
            return true;
        }
        drag->setDropAction(Qt::CopyAction);
        drag->accept();
        return true;
    }

private:
    // A drop target of the window, with the handlers of its drags.
    struct Target {
        const QWidget* widget = nullptr;
        bool (TfmMain::*over)(const QObject*) const = nullptr;
        void (TfmMain::*drop)(const QObject*) = nullptr;
    };

    Target targetOf(const QObject* watched) const {
        const Target targets[] = {
            {m_window->ShellList, &TfmMain::ShellListDragOver, &TfmMain::ShellListDragDrop},
            {m_window->iID3v1->viewport(), &TfmMain::iID3v1DragOver, &TfmMain::iID3v1DragDrop},
            {m_window->iID3v2->viewport(), &TfmMain::iID3v2DragOver, &TfmMain::iID3v2DragDrop},
        };
        for (const Target& target : targets) {
            if (watched == target.widget)
                return target;
        }
        return {};
    }

    bool accepts(const Target& target, const QObject* source) const {
        return (m_window->*target.over)(source);
    }

    static void drop(TfmMain* window, const Target& target, const QObject* source) {
        (window->*target.drop)(source);
    }

    TfmMain* m_window;
};

} // namespace

void TfmMain::setUpDragAndDrop() {
    auto* router = new DragDropRouter(this);
    // The list takes the drags its item views leave alone; a grid's drags arrive at its viewport.
    for (QWidget* target :
         {static_cast<QWidget*>(ShellList), iID3v1->viewport(), iID3v2->viewport()}) {
        target->setAcceptDrops(true);
        target->installEventFilter(router);
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

bool TfmMain::iID3v1DragOver(const QObject* source) const {
    return paneDragOver(*m_id3v1Pane, source);
}

void TfmMain::iID3v1DragDrop(const QObject* source) {
    paneDragDrop(*m_id3v1Pane, source);
}

bool TfmMain::iID3v2DragOver(const QObject* source) const {
    return paneDragOver(*m_id3v2Pane, source);
}

void TfmMain::iID3v2DragDrop(const QObject* source) {
    paneDragDrop(*m_id3v2Pane, source);
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
    if (!confirmedBy(bbConfRenameFile,
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

void TfmMain::dfID3v1DropFiles(const QStringList&, const QPoint&) {
    if (!readingInBackground())
        m_id3v1Pane->fillFromFileName(CurrentFile);
}

void TfmMain::dfID3v2DropFiles(const QStringList&, const QPoint&) {
    if (!readingInBackground())
        m_id3v2Pane->fillFromFileName(CurrentFile);
}
