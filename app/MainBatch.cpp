// The Tags menu's commands on the selected files: each gathers what the user wants in its
// dialog, plans the edits, and runs them as a batch on a worker thread while the status bar's
// progress bar moves and its Cancel button stops the run after the file in hand. The end shows
// what was written and what failed; Undo Last Batch puts the last batch's files back.
#include "app/Main.h"

#include "app/BatchDialogs.h"
#include "app/ErrorGuard.h"
#include "app/IniFile.h"
#include "display/BatchJob.h"
#include "display/NamePattern.h"
#include "display/TagFields.h"
#include "mpeg/MPEGaudio.h"
#include "shell/DialogService.h"
#include "shell/FileName.h"
#include "shell/PathInfo.h"
#include "tags/ID3v1.h"
#include "tags/ID3v2.h"
#include "ui/BarManager.h"
#include "ui/SegmentProgressBar.h"
#include "ui/ShellListView.h"

#include <QAction>
#include <QEventLoop>
#include <QFutureWatcher>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSet>
#include <QtConcurrent>
#include <condition_variable>
#include <mutex>

namespace quillon {

namespace {

const QString kPatternsSection = QStringLiteral("Patterns");
constexpr int kRecentPatterns = 10;

// The two pattern commands, each with its recent patterns in the settings file.
enum PatternCommand { FromNames, RenameFromTags };
const char* const kRecentKeys[] = {"FromName", "Rename"};

template <class Tag>
std::vector<DialogField> dialogFields(const std::vector<TagField<Tag>>& fields) {
    std::vector<DialogField> result;
    for (const TagField<Tag>& field : fields)
        result.push_back(
            {QString::fromUtf8(field.key.data(), qsizetype(field.key.size())),
             QString::fromUtf8(field.caption.data(), qsizetype(field.caption.size()))});
    return result;
}

template <class Tag>
FieldValues valuesOf(const Tag& tag, const std::vector<TagField<Tag>>& fields) {
    FieldValues values;
    for (const TagField<Tag>& field : fields) {
        values.insert(QString::fromUtf8(field.key.data(), qsizetype(field.key.size())),
                      tag.Exists() ? QString::fromStdString(field.get(tag)) : QString());
    }
    return values;
}

// Each file's fields of both tags, as Edit Selected Files shows them.
struct SelectionValues {
    std::vector<FieldValues> tags[2];
};

SelectionValues readSelection(const QStringList& paths) {
    SelectionValues result;
    for (const QString& path : paths) {
        const std::string file = nativePath(path);
        TID3v1 id3v1;
        TID3v2 id3v2;
        id3v1.Load(file);
        id3v2.Load(file);
        result.tags[0].push_back(valuesOf(id3v1, ID3v1Fields()));
        result.tags[1].push_back(valuesOf(id3v2, ID3v2Fields()));
    }
    return result;
}

QString fileNameIn(const QString& path) {
    return displayFileName(path.mid(path.lastIndexOf(QLatin1Char('/')) + 1));
}

} // namespace

// A batch under way and the last one done. The worker hands each file's progress to the GUI
// thread and waits until it is shown, so that Cancel acts after the file in hand.
struct TfmMain::BatchState {
    QFutureWatcher<BatchResult> watcher;
    std::atomic_bool cancel{false};
    std::mutex mutex;
    std::condition_variable shown;
    int shownDone = 0;
    bool abandoned = false; // the window is going: the worker waits for nothing any more
    bool running = false;
    bool undoing = false;
    QStringList paths; // the files of the batch under way, as they were named before it
    std::vector<FileEdit> edits;
    BatchUndo runUndo;  // filled by the batch under way
    BatchUndo lastUndo; // of the last batch that wrote something
    BatchUndo undone;   // what the undo under way puts back
    QStringList recent[2];

    ~BatchState() {
        {
            std::lock_guard lock(mutex);
            abandoned = true;
        }
        shown.notify_all();
        cancel = true;
        watcher.waitForFinished();
    }
};

void TfmMain::wireBatchCommands() {
    m_batch = std::make_shared<BatchState>();
    const std::pair<const char*, std::function<void()>> commands[] = {
        {"bbEditSelectedFiles", [this] { bbEditSelectedFilesClick(); }},
        {"bbTagsFromFileNames", [this] { patternCommand(FromNames); }},
        {"bbRenameFilesFromTags", [this] { patternCommand(RenameFromTags); }},
        {"bbNumberTracks", [this] { bbNumberTracksClick(); }},
        {"bbUndoLastBatch", [this] { bbUndoLastBatchClick(); }},
    };
    for (const auto& [name, handler] : commands)
        connect(BarManager->action(name), &QAction::triggered, this,
                [handler = handler](bool) { runGuarded(handler); });
    BarManager->action("bbUndoLastBatch")->setEnabled(false);
    connect(findChild<QPushButton*>("btGlobCancel"), &QPushButton::clicked, this,
            [state = m_batch.get()] { state->cancel = true; });
    connect(&m_batch->watcher, &QFutureWatcherBase::finished, this,
            [this] { runGuarded([this] { batchFinished(); }); });
}

void TfmMain::readBatchSettings(const IniFile& ini) {
    for (int c : {FromNames, RenameFromTags}) {
        m_batch->recent[c].clear();
        for (int i = 0; i < kRecentPatterns; ++i) {
            const QString pattern =
                ini.readString(kPatternsSection, kRecentKeys[c] + QString::number(i));
            if (!pattern.isEmpty())
                m_batch->recent[c] << pattern;
        }
    }
}

void TfmMain::writeBatchSettings(IniFile& ini) {
    for (int c : {FromNames, RenameFromTags}) {
        for (int i = 0; i < m_batch->recent[c].size(); ++i)
            ini.writeString(kPatternsSection, kRecentKeys[c] + QString::number(i),
                            m_batch->recent[c][i]);
    }
}

// The selected plain files in the list's order; nothing, with a note, when there is none or a
// batch is under way.
QStringList TfmMain::batchFiles() {
    if (m_batch->running) {
        dialogs().warning("Wait until the command under way is done, or cancel it.");
        return {};
    }
    QStringList files;
    for (const QString& path : ShellList->selectedPaths()) {
        const PathInfo info = pathInfo(path);
        if (info.exists && info.isFile)
            files << path;
    }
    if (files.isEmpty())
        dialogs().warning("Select one or more files in the list first.");
    return files;
}

void TfmMain::bbEditSelectedFilesClick() {
    const QStringList files = batchFiles();
    if (files.isEmpty())
        return;
    // Read off the GUI thread: a selection may hold thousands of files.
    QFutureWatcher<SelectionValues> reading;
    QEventLoop wait;
    connect(&reading, &QFutureWatcherBase::finished, &wait, &QEventLoop::quit);
    m_batch->running = true;
    reading.setFuture(QtConcurrent::run([files] { return readSelection(files); }));
    if (!reading.isFinished())
        wait.exec();
    m_batch->running = false;
    const SelectionValues values = reading.result();

    const std::vector<DialogField> fields[2] = {dialogFields(ID3v1Fields()),
                                                dialogFields(ID3v2Fields())};
    auto* dialog = new EditFilesDialog(this, fields, values.tags);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog, files] {
        runGuarded([&] {
            const std::optional<FieldValues> id3v1 = dialog->changes(1);
            const std::optional<FieldValues> id3v2 = dialog->changes(2);
            const bool nothing = (!id3v1 || id3v1->isEmpty()) && (!id3v2 || id3v2->isEmpty());
            if (nothing)
                return;
            BatchPlan plan = planSetFields(files, id3v1 && !id3v1->isEmpty() ? id3v1 : std::nullopt,
                                           id3v2 && !id3v2->isEmpty() ? id3v2 : std::nullopt);
            runBatch(plan);
        });
    });
    dialog->open();
}

void TfmMain::patternCommand(int command) {
    const QStringList files = batchFiles();
    if (files.isEmpty())
        return;
    const bool fromNames = command == FromNames;
    QStringList placeholders;
    for (const QString& name : NamePattern::placeholders())
        placeholders << QLatin1Char('%') + name + QLatin1Char('%');
    QStringList recent = m_batch->recent[command];
    if (recent.isEmpty())
        recent << QStringLiteral("%artist% - %title%");
    auto previewer = [files, fromNames](const QString& text, bool id3v1, bool id3v2) {
        Preview preview;
        const NamePattern pattern(text);
        if (!pattern.isValid()) {
            preview.error = pattern.error();
            return preview;
        }
        const TagChoice tags{id3v1, id3v2};
        const BatchPlan plan = fromNames ? planTagsFromNames(files, pattern, tags)
                                         : planRenameFromTags(files, pattern);
        QMap<QString, const FileEdit*> edits;
        for (const FileEdit& edit : plan.edits)
            edits.insert(edit.path, &edit);
        QMap<QString, QString> skipped;
        for (const FileFailure& failure : plan.skipped)
            skipped.insert(failure.path, failure.reason);
        const QStringList keys = pattern.fields();
        preview.headers = fromNames
                              ? QStringList{QStringLiteral("File")} + keys
                              : QStringList{QStringLiteral("Old name"), QStringLiteral("New name")};
        for (const QString& path : files) {
            PreviewRow row;
            row.cells << fileNameIn(path);
            if (const FileEdit* edit = edits.value(path)) {
                if (fromNames) {
                    const PatternValues values =
                        edit->id3v2 ? *edit->id3v2 : edit->id3v1.value_or(PatternValues());
                    for (const QString& key : keys)
                        row.cells << values.value(key);
                } else {
                    row.cells << displayFileName(
                        edit->newPath->mid(path.lastIndexOf(QLatin1Char('/')) + 1));
                }
            } else if (skipped.contains(path)) {
                row.note = skipped.value(path);
            } else {
                row.note = QStringLiteral("already so named");
            }
            preview.rows.push_back(row);
        }
        return preview;
    };
    auto* dialog = new PatternDialog(this,
                                     fromNames ? QStringLiteral("Tags From File Names")
                                               : QStringLiteral("Rename Files From Tags"),
                                     recent, placeholders, fromNames, previewer);
    dialog->setObjectName(fromNames ? "dlgTagsFromFileNames" : "dlgRenameFilesFromTags");
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog, files, command, fromNames] {
        runGuarded([&] {
            const NamePattern pattern(dialog->pattern());
            if (!pattern.isValid())
                return;
            QStringList& recent = m_batch->recent[command];
            recent.removeAll(pattern.text());
            recent.prepend(pattern.text());
            while (recent.size() > kRecentPatterns)
                recent.removeLast();
            const BatchPlan plan =
                fromNames
                    ? planTagsFromNames(files, pattern, TagChoice{dialog->id3v1(), dialog->id3v2()})
                    : planRenameFromTags(files, pattern);
            runBatch(plan);
        });
    });
    dialog->open();
}

void TfmMain::bbNumberTracksClick() {
    const QStringList files = batchFiles();
    if (files.isEmpty())
        return;
    auto* dialog = new NumberTracksDialog(this, int(files.size()));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog, files] {
        runGuarded([&] {
            if (!dialog->id3v1() && !dialog->id3v2())
                return;
            runBatch(planNumbering(files, dialog->start(), dialog->withTotal(),
                                   TagChoice{dialog->id3v1(), dialog->id3v2()}));
        });
    });
    dialog->open();
}

void TfmMain::bbUndoLastBatchClick() {
    if (m_batch->running || m_batch->lastUndo.isEmpty())
        return;
    QStringList paths;
    for (const BatchUndo::File& file : m_batch->lastUndo.files)
        paths << file.path;
    if (!prepareBatch(paths))
        return;
    m_batch->undone = std::exchange(m_batch->lastUndo, {});
    m_batch->undoing = true;
    m_batch->edits.clear();
    startBatch([state = m_batch.get()](const BatchJob::Progress& progress) {
        return BatchJob().undo(state->undone, state->cancel, progress);
    });
}

// Edits of the current file that are not saved go to it first, as a list click saves them;
// false when the user keeps them unsaved.
bool TfmMain::prepareBatch(const QStringList& paths) {
    m_batch->paths = paths;
    if (!paths.contains(CurrentFile))
        return true;
    for (TagPane& pane : m_panes) {
        const TagPane::Outcome outcome = pane.save();
        if (outcome == TagPane::Outcome::Invalid || outcome == TagPane::Outcome::KeptUnsaved)
            return false;
    }
    return true;
}

void TfmMain::runBatch(const BatchPlan& plan) {
    QStringList paths;
    for (const FileEdit& edit : plan.edits)
        paths << edit.path;
    if (!plan.skipped.empty()) {
        QStringList lines;
        for (const FileFailure& skipped : plan.skipped)
            lines << fileNameIn(skipped.path) + QStringLiteral(": ") + skipped.reason;
        if (plan.edits.empty()) {
            dialogs().warning(QStringLiteral("No file can be done:\n") + lines.join('\n'));
            return;
        }
    }
    if (plan.edits.empty() || !prepareBatch(paths))
        return;
    m_batch->undoing = false;
    m_batch->edits = plan.edits;
    m_batch->runUndo = {};
    // Groups of one file, so that Cancel acts after the file in hand.
    startBatch([state = m_batch.get()](const BatchJob::Progress& progress) {
        return BatchJob(1).run(state->edits, state->cancel, progress, &state->runUndo);
    });
}

void TfmMain::startBatch(std::function<BatchResult(const BatchJob::Progress&)> work) {
    BatchState* state = m_batch.get();
    state->running = true;
    state->cancel = false;
    state->shownDone = 0;
    ProgressBar->setRange(0, int(state->paths.size()));
    ProgressBar->setValue(0);
    ProgressBar->show();
    findChild<QPushButton*>("btGlobCancel")->show();
    BarManager->action("bbUndoLastBatch")->setEnabled(false);
    QPointer<SegmentProgressBar> bar = ProgressBar;
    // Each file's progress is shown before the worker goes on to the next.
    BatchJob::Progress progress = [state, bar](int done, int total) {
        QMetaObject::invokeMethod(
            &state->watcher,
            [state, bar, done, total] {
                if (bar) {
                    bar->setMaximum(total);
                    bar->setValue(done);
                }
                {
                    std::lock_guard lock(state->mutex);
                    state->shownDone = done;
                }
                state->shown.notify_all();
            },
            Qt::QueuedConnection);
        std::unique_lock lock(state->mutex);
        state->shown.wait(lock, [&] { return state->shownDone >= done || state->abandoned; });
    };
    state->watcher.setFuture(
        QtConcurrent::run([work = std::move(work), progress] { return work(progress); }));
}

void TfmMain::batchFinished() {
    BatchState& state = *m_batch;
    state.running = false;
    findChild<QPushButton*>("btGlobCancel")->hide();
    ProgressBar->setValue(0);
    const BatchResult result = state.watcher.result();
    if (!state.undoing && !state.runUndo.isEmpty())
        state.lastUndo = std::exchange(state.runUndo, {});
    BarManager->action("bbUndoLastBatch")->setEnabled(!state.lastUndo.isEmpty());

    // The panes show the current file again when the batch wrote it or renamed it.
    QString shown = CurrentFile;
    for (const FileEdit& edit : state.edits) {
        if (edit.path == CurrentFile && edit.newPath)
            shown = *edit.newPath;
    }
    if (state.undoing) {
        for (const BatchUndo::File& file : state.undone.files) {
            if (file.path == CurrentFile)
                shown = file.oldPath;
        }
    }
    if (!CurrentFile.isEmpty() && state.paths.contains(CurrentFile)) {
        CurrentFile = shown;
        dropBackgroundRead();
        showLoadedFile(AudioFile->Load(nativePath(CurrentFile)));
    }
    // The list reads the files again, with the same files selected under their new names.
    QStringList selected;
    for (QString path : ShellList->selectedPaths()) {
        for (const FileEdit& edit : state.edits) {
            if (edit.path == path && edit.newPath)
                path = *edit.newPath;
        }
        for (const BatchUndo::File& file :
             state.undoing ? state.undone.files : std::vector<BatchUndo::File>()) {
            if (file.path == path)
                path = file.oldPath;
        }
        selected << path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    }
    // Once: the list is read again later for other reasons, with other files selected.
    auto reselect = std::make_shared<QMetaObject::Connection>();
    *reselect = connect(ShellList, &ShellListView::listFilled, this, [this, reselect, selected] {
        QObject::disconnect(*reselect);
        ShellList->selectNames(selected);
    });
    ShellList->refresh();

    QString summary = QStringLiteral("%1 file(s) written, %2 failed.")
                          .arg(result.written)
                          .arg(result.failed.size());
    if (result.cancelled)
        summary += QStringLiteral("\nCancelled: the files after the last one done are untouched.");
    for (const FileFailure& failure : result.failed)
        summary += QLatin1Char('\n') + displayFileName(failure.path) + QStringLiteral(": ") +
                   failure.reason;
    state.paths.clear();
    state.edits.clear();
    dialogs().information(summary);
}

} // namespace quillon
