// Drag and drop of tags and file names: a tag pane's image dropped on the other pane copies or
// merges its rows, dropped on the file list renames CurrentFile after the pane's Artist and
// Title; files dropped from elsewhere on a pane fill its Artist and Title from CurrentFile's name.
#include "app/Main.h"

#include "mpeg/MPEGaudio.h"

#include "app/ErrorGuard.h"
#include "app/FailureText.h"
#include "shell/DialogService.h"
#include "shell/FileName.h"
#include "shell/ShellServices.h"
#include "ui/DragImage.h"
#include "ui/InspectorGrid.h"
#include "ui/ShellListView.h"

#include <QAction>
#include <QDropEvent>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

namespace {

const QString kRenameQuestion = QStringLiteral("Rename file \"%1\" to \"%2\"?");
const QString kRenameError = QStringLiteral("Cannto rename file \"%1\" to \"%2\"");
const QString kFillQuestion = QStringLiteral("Fill tag from file \"%1\"?");
const QString kSeparator = QStringLiteral(" - ");

constexpr int kMaxBaseName = 260;
constexpr int kMaxTitle = 255;
// Both grids begin with the same nine rows: Title, Artist, Album, Year, Track, Comment, the two
// composites and Genre. The ID3v1 pane gives all nine; the ID3v2 pane gives seven, so that the
// ID3v1 pane keeps its Genre.
constexpr int kFromID3v1Rows = 9;
constexpr int kFromID3v2Rows = 7;

// A switched-off confirmation goes ahead as if Yes had been answered.
bool confirmed(const QAction* confirmation, const QString& question) {
    return !confirmation->isChecked() || dialogs().confirm(question);
}

// Texts move as they stand; conversions to the tag's limits wait for the pane's Save. Ctrl held
// at the drop merges: only empty rows are filled.
void copyOrMergeRows(const InspectorGrid* from, InspectorGrid* to, int rows) {
    const bool merge = shellServices().keyboardModifiers().testFlag(Qt::ControlModifier);
    for (int i = 0; i < rows; ++i) {
        InspectorRow* target = to->row(i);
        if (!merge || target->text().isEmpty())
            target->setText(from->row(i)->text());
    }
}

InspectorRow* paneRow(const InspectorGrid* pane, const char* field) {
    return pane->row(QStringLiteral("iID3v%1_%2").arg(pane->tag()).arg(QLatin1String(field)));
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

// Never replaces an existing file, as rename(2) would do silently. Where the file system lacks
// RENAME_NOREPLACE, a hard link (which fails on an existing name) then removing the old name.
// Returns 0, or the error number of the step that failed.
int moveWithoutReplacing(const QString& from, const QString& to) {
    const QByteArray source = fileNameBytes(from);
    const QByteArray target = fileNameBytes(to);
    // A NUL would cut the path short of the one the user agreed to.
    if (source.contains('\0') || target.contains('\0'))
        return EINVAL;
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) ==
        0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return errno;
    if (::link(source.constData(), target.constData()) != 0)
        return errno;
    if (::unlink(source.constData()) != 0) {
        const int code = errno;
        ::unlink(target.constData());
        return code;
    }
    return 0;
}

// The name of the file without its folder and from its last "." on.
QString baseNameOf(const QString& path) {
    QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1).left(kMaxBaseName);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0)
        name.truncate(dot);
    return name;
}

// Artist and Title from the file's base name split at its first " - ", untrimmed. False when
// the name has no separator (nothing is asked then) or the user declines.
bool fillFromFileName(const QString& file, const QAction* confirmation, InspectorRow* artist,
                      InspectorRow* title) {
    const QString name = baseNameOf(displayFileName(file));
    const qsizetype separator = name.indexOf(kSeparator);
    if (separator < 0 || !confirmed(confirmation, kFillQuestion.arg(displayFileName(file))))
        return false;
    artist->setText(name.left(separator));
    title->setText(name.mid(separator + kSeparator.size(), kMaxTitle));
    return true;
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
        if (!source || target == Target::None)
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
    enum class Target { None, List, ID3v1, ID3v2 };

    Target targetOf(const QObject* watched) const {
        if (watched == m_window->ShellList)
            return Target::List;
        if (watched == m_window->iID3v1->viewport())
            return Target::ID3v1;
        if (watched == m_window->iID3v2->viewport())
            return Target::ID3v2;
        return Target::None;
    }

    bool accepts(Target target, const QObject* source) const {
        switch (target) {
        case Target::List:
            return m_window->ShellListDragOver(source);
        case Target::ID3v1:
            return m_window->iID3v1DragOver(source);
        case Target::ID3v2:
            return m_window->iID3v2DragOver(source);
        case Target::None:
            break;
        }
        return false;
    }

    static void drop(TfmMain* window, Target target, const QObject* source) {
        switch (target) {
        case Target::List:
            window->ShellListDragDrop(source);
            break;
        case Target::ID3v1:
            window->iID3v1DragDrop(source);
            break;
        case Target::ID3v2:
            window->iID3v2DragDrop(source);
            break;
        case Target::None:
            break;
        }
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

bool TfmMain::iID3v1DragOver(const QObject* source) const {
    return source && source == imID3v2;
}

bool TfmMain::iID3v2DragOver(const QObject* source) const {
    return source && source == imID3v1;
}

// Neither direction asks, nor looks at whether the pane is editable; the pane counts as
// modified even when no text changed.
void TfmMain::iID3v1DragDrop(const QObject* source) {
    if (!iID3v1DragOver(source))
        return;
    copyOrMergeRows(iID3v2, iID3v1, kFromID3v2Rows);
    SetID3v1Modified(true);
}

void TfmMain::iID3v2DragDrop(const QObject* source) {
    if (!iID3v2DragOver(source))
        return;
    copyOrMergeRows(iID3v1, iID3v2, kFromID3v1Rows);
    SetID3v2Modified(true);
}

bool TfmMain::ShellListDragOver(const QObject* source) const {
    return source && (source == imID3v1 || source == imID3v2);
}

// Renames CurrentFile after the pane's Artist and Title as shown, unsaved edits included. The
// panes and their flags stay: the file's content is the same.
void TfmMain::ShellListDragDrop(const QObject* source) {
    if (!ShellListDragOver(source))
        return;
    const InspectorGrid* pane = source == imID3v1 ? iID3v1 : iID3v2;
    const QString artist = paneRow(pane, "Artist")->text();
    const QString title = paneRow(pane, "Title")->text();
    QString baseName;
    if (!artist.isEmpty() && !title.isEmpty())
        baseName = artist + kSeparator + title;
    else
        baseName = artist.isEmpty() ? title : artist;
    if (baseName.isEmpty())
        return;

    const QString newPath = renamedPath(CurrentFile, baseName);
    if (!confirmed(bbConfRenameFile,
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
    // Renamed, the file keeps its identity: what was loaded is still told from what changed.
    CurrentFile = newPath;
    // The MPEG band reads the file's time by its name: show it from the new one.
    if (AudioFile->Valid())
        ShowMpegInfo();
}

void TfmMain::dfID3v1DropFiles(const QStringList&, const QPoint&) {
    if (fillFromFileName(CurrentFile, bbConfFillTagFromFile, iID3v1_Artist, iID3v1_Title))
        SetID3v1Modified(true);
}

void TfmMain::dfID3v2DropFiles(const QStringList&, const QPoint&) {
    if (fillFromFileName(CurrentFile, bbConfFillTagFromFile, iID3v2_Artist, iID3v2_Title))
        SetID3v2Modified(true);
}
