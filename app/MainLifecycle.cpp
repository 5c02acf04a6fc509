// Start-up, closing and shutdown of the main window, with the settings file beside the
// executable: read once at start, written once at an orderly exit.
#include "app/Main.h"

#include "app/About.h"
#include "app/AppDef.h"
#include "app/ErrorGuard.h"
#include "app/FileColumnReader.h"
#include "app/IniFile.h"
#include "mpeg/MPEGaudio.h"
#include "shell/DialogService.h"
#include "shell/FileName.h"
#include "shell/HomeFolder.h"
#include "shell/PathInfo.h"
#include "shell/ShellError.h"
#include "ui/BarCombo.h"
#include "ui/BarLayoutSections.h"
#include "ui/BarManager.h"
#include "ui/FormStorage.h"
#include "ui/InspectorGrid.h"
#include "ui/SegmentProgressBar.h"
#include "ui/ShellListView.h"
#include "ui/ShellTreeView.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QSplitter>

namespace quillon {

namespace {

const QString General = QStringLiteral("General");
const QString Confirmation = QStringLiteral("Confirmation");
const QString MainForm = QStringLiteral("main form");
const QString FileList = QStringLiteral("File list");

// The seven switches of Edit > Confirmations by their keys, in file order; each is the item
// "bb" + key.
struct Switch {
    const char* key;
    bool fallback;
};
constexpr Switch Switches[] = {
    {"ConfSaveTag", true},  {"ConfRemoveTag", true},  {"ConfUndoTag", true},
    {"ConfClearTag", true}, {"ConfRenameFile", true}, {"ConfFillTagFromFile", true},
    {"ConfQuit", false},
};

QString itemOf(const Switch& s) {
    return QStringLiteral("bb") + QLatin1String(s.key);
}

// Sets a pane's width; the middle pane takes up the difference.
void setPaneWidth(QSplitter* splitter, int pane, int width) {
    QList<int> sizes = splitter->sizes();
    if (sizes.size() != 3 || width <= 0)
        return;
    sizes[1] += sizes[pane] - width;
    sizes[pane] = width;
    splitter->setSizes(sizes);
}

} // namespace

QString TfmMain::barSectionPrefix() const {
    return objectName() + '.' + BarManager->objectName() + '.';
}

void TfmMain::connectFormStorage() {
    FormStorage->setIniSection(MainForm);
    FormStorage->setIniAccess([this](const QString&) { return m_storedForm; },
                              [this](const IniSection& keys) {
                                  // At destroy the section joins the shutdown's one write; at close
                                  // it is written at once.
                                  if (m_shutdownIni) {
                                      m_shutdownIni->writeSections({keys});
                                      return;
                                  }
                                  IniFile ini(AppDef::IniFileName);
                                  ini.writeSections({keys});
                                  saveSettingsFile(ini);
                              });
    FormStorage->addText(
        "bcFileMask_Text", [this] { return bcFileMask->editText(); },
        [this](const QString& text) { bcFileMask->setEditText(text); });
    FormStorage->addInteger(
        "pnTree_Width", [this] { return pnTree->width(); },
        [this](int width) { setPaneWidth(Splitter, 0, width); });
    FormStorage->addInteger(
        "pnInspector_Width", [this] { return pnInspector->width(); },
        [this](int width) { setPaneWidth(Splitter, 2, width); });
    FormStorage->addEnum(
        "ShellList_ViewStyle", {"vsIcon", "vsSmallIcon", "vsList", "vsReport"},
        [this] { return ShellList->viewStyle(); },
        [this](int style) { ShellList->setViewStyle(style); });
    FormStorage->addText(
        "ShellList_FileFilter", [this] { return ShellList->fileMask(); },
        [this](const QString& mask) { ShellList->setFileMask(mask); });
    FormStorage->addBool(
        "ShellList_Filtered", [this] { return ShellList->isMasked(); },
        [this](bool masked) { ShellList->setMasked(masked); });
}

void TfmMain::saveSettingsFile(const IniFile& ini) {
    try {
        ini.save();
    } catch (...) {
        m_settingsWriteRefused = true;
        throw;
    }
}

void TfmMain::FormCreate() {
    setWindowIcon(TfmAbout::applicationIcon());
    // Paths are normally set by the program entry before the window exists.
    if (AppDef::IniFileName.isEmpty())
        AppDef::initPaths(AppDef::executablePath());
    m_settingsWriteRefused = false;
    const IniFile ini(AppDef::IniFileName);

    m_storedForm = ini.section(MainForm);
    connectFormStorage();

    const QString prefix = barSectionPrefix();
    applyLayoutSections(*BarManager, ini.sectionsWithPrefix(prefix), prefix);

    CurrentFile.clear();
    m_audioFile = std::make_unique<TMPEGaudio>();
    AudioFile = m_audioFile.get();

    readSettings(ini);

    // Placement belongs to the machine the file is on; a file on a disc or on a drive that
    // cannot be told apart may travel, so it keeps none.
    FormStorage->setActive(AppDef::driveKindOf(AppDef::IniFileName) == AppDef::DriveKind::Ordinary);

    ProgressBar->setValue(0);
    SetID3v1Modified(false);
    SetID3v2Modified(false);
    QStringList genres;
    for (const std::string_view name : GenreNames)
        genres.append(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
    for (TagPane& pane : m_panes)
        pane.fieldRow("genre")->setPickItems(genres);
    ClearFileInfo(true);
}

void TfmMain::readSettings(const IniFile& ini) {
    AppDef::LastFolder = ini.readBytes(General, "LastFolder", fileNameBytes(AppDef::AppPath));
    AppDef::LastDataFile = ini.readBytes(General, "LastDataFile");
    const QString shellFolder = ini.readPath(General, "ShellFolder", homeFolder());
    // Before the first listing, so that it reads them.
    ShellList->setFileColumnReader(&readFileColumns);
    ShellList->setFileColumns(fileColumnsFromText(ini.readString(FileList, "Columns")));
    try {
        ShellTree->openFolder(shellFolder);
    } catch (const ShellError& error) {
        // Reported, and start-up goes on with the tree at its root.
        QuillonApplication::reportError(error.message());
    }
    for (const Switch& s : Switches)
        BarManager->action(itemOf(s))->setChecked(ini.readBool(Confirmation, s.key, s.fallback));
    readBatchSettings(ini);
}

void TfmMain::writeSettings(IniFile& ini) {
    ini.writeBytes(General, "LastFolder", AppDef::LastFolder);
    ini.writeBytes(General, "LastDataFile", AppDef::LastDataFile);
    const ShellItem folder = ShellTree->selectedFolder();
    if (!folder.isNull())
        ini.writePath(General, "ShellFolder", folder.parsingPath());
    // A file that never had columns chosen stays as it was.
    const QString columns = fileColumnsText(ShellList->fileColumns());
    if (!columns.isEmpty() || !ini.readString(FileList, "Columns").isEmpty())
        ini.writeString(FileList, "Columns", columns);
    for (const Switch& s : Switches)
        ini.writeBool(Confirmation, s.key, BarManager->action(itemOf(s))->isChecked());
    writeBatchSettings(ini);
    const QString prefix = barSectionPrefix();
    ini.eraseSectionsWithPrefix(prefix);
    ini.writeSections(layoutSections(*BarManager, prefix));
}

void TfmMain::FormDestroy() {
    runGuarded([this] {
        // After a refused write nothing more is tried in this shutdown.
        if (m_settingsWriteRefused)
            return;
        IniFile ini(AppDef::IniFileName);
        m_shutdownIni = &ini;
        struct Reset {
            IniFile*& pointer;
            ~Reset() { pointer = nullptr; }
        } reset{m_shutdownIni};
        FormStorage->save();
        writeSettings(ini);
        saveSettingsFile(ini);
    });
    dropBackgroundRead();
    m_audioFile.reset();
    AudioFile = nullptr;
    // The event loop has ended by now: show what went wrong at once.
    QuillonApplication::flushErrors();
}

bool TfmMain::FormCloseQuery() {
    const QAction* quit = BarManager ? BarManager->action("bbConfQuit") : nullptr;
    if (quit && quit->isChecked())
        return dialogs().confirm("Quit the program?");
    return true;
}

void TfmMain::closeEvent(QCloseEvent* event) {
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    event->accept();
    runGuarded([this] { FormStorage->save(); });
}

void TfmMain::openPaths(const QStringList& paths) {
    QString folder;
    QStringList names;
    for (const QString& path : paths) {
        const PathInfo info = pathInfo(path);
        if (!info.exists) {
            QuillonApplication::reportError(
                QStringLiteral("Cannot find \"%1\"").arg(displayFileName(path)));
            continue;
        }
        const QString itsFolder = info.isDir ? absolutePath(path) : folderOf(absolutePath(path));
        if (folder.isEmpty())
            folder = itsFolder;
        if (!info.isDir && itsFolder == folder)
            names.append(fileNameOf(absolutePath(path)));
    }
    if (folder.isEmpty())
        return;
    try {
        ShellTree->openFolder(folder);
    } catch (const ShellError& error) {
        QuillonApplication::reportError(error.message());
        return;
    }
    if (names.isEmpty())
        return;
    // The list reads the folder in the background: select once it is whole.
    auto select = [this, names] {
        if (ShellList->selectNames(names))
            ShellListClick();
    };
    if (ShellList->isFilled() &&
        QDir::cleanPath(ShellList->folderPath()) == QDir::cleanPath(folder)) {
        select();
        return;
    }
    auto* once = new QObject(this);
    connect(ShellList, &ShellListView::listFilled, once, [this, once, select, folder] {
        if (QDir::cleanPath(ShellList->folderPath()) != QDir::cleanPath(folder))
            return;
        once->deleteLater();
        runGuarded(select);
    });
}

} // namespace quillon
