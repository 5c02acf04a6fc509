// The main window: folder tree, file list and the inspector with the ID3v1,
// ID3v2 and MPEG bands, with the menus, toolbars and status bar, and the
// handlers that carry the workflow. Its widgets are known by their object names.
#pragma once

#include "app/LoadedFile.h"
#include "app/TagPane.h"
#include "ui/IniSection.h"

#include <QMainWindow>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>

class QAction;
class QFutureWatcherBase;
class QKeyEvent;
class QSplitter;

namespace quillon {

class BarCombo;
struct BatchPlan;
struct BatchResult;
class BarManager;
class FormStorage;
class IniFile;
class InspectorGrid;
class PictureDialog;
class PictureThumbnail;
class SegmentProgressBar;
class ShellComboBox;
class ShellListView;
class ShellTreeView;
class ShellView;
class StatusPane;
class TMPEGaudio;

class TfmMain : public QMainWindow, private TagPane::Host {
    Q_OBJECT
    // The ID3v1 and ID3v2 panes, in the order a list click saves them.
    std::array<TagPane, 2> m_panes;

public:
    explicit TfmMain(QWidget* parent = nullptr);
    ~TfmMain() override;

    // The analysed file and its name.
    TMPEGaudio* AudioFile = nullptr;
    QString CurrentFile;
    bool ID3v1Modified() const { return m_panes[0].isModified(); }
    bool ID3v2Modified() const { return m_panes[1].isModified(); }
    void SetID3v1Modified(bool value) { m_panes[0].setModified(value); }
    void SetID3v2Modified(bool value) { m_panes[1].setModified(value); }

    // Display of the analysed file.
    void ShowFileInfo();
    void ClearFileInfo(bool makeReadOnly);
    void ClearInspector(InspectorGrid* grid);

    // Shows what the command line names: a folder in the tree and the list; a file's
    // folder, with the file (and the others named there) selected and the first loaded as
    // by a click. A path that does not exist is reported.
    void openPaths(const QStringList& paths);

    // A file whose ID3v2 tag declares more bytes than this is read off the GUI thread, so that
    // a click never waits for it.
    std::int64_t BackgroundReadTagSize = 4 * 1024 * 1024;
    // While a clicked file is read off the GUI thread, the panes are empty and read-only and no
    // tag command acts: AudioFile holds nothing of the file CurrentFile names.
    bool readingInBackground() const { return m_backgroundRead != nullptr; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // The window's parts, built in this order (Main.cpp).
    void createPanes();
    void createInspector();
    void createStatusBar();
    void createBars();
    void wireHandlers();
    void ShowMpegInfo();
    void UpdateCounts();

    // The widgets the handlers act on.
    QSplitter* Splitter = nullptr;
    QWidget* pnTree = nullptr;
    QWidget* pnInspector = nullptr;
    ShellComboBox* ShellCombo = nullptr;
    ShellTreeView* ShellTree = nullptr;
    ShellListView* ShellList = nullptr;
    InspectorGrid* iMpeg = nullptr;
    StatusPane* spObjects = nullptr;
    StatusPane* spSelected = nullptr;
    // Why the selected file is not shown, while it is not (or that it is being read); else empty.
    StatusPane* spFileNote = nullptr;
    SegmentProgressBar* ProgressBar = nullptr;
    quillon::BarManager* BarManager = nullptr;
    BarCombo* bcFileMask = nullptr;
    std::shared_ptr<TMPEGaudio> m_audioFile;

    // Start-up, settings and shutdown (MainLifecycle.cpp).
    void FormCreate();
    void FormDestroy();
    bool FormCloseQuery();
    void connectFormStorage();
    void readSettings(const IniFile& ini);
    void writeSettings(IniFile& ini);
    // Saves the settings file; a refused write skips the rest of that shutdown's writes.
    void saveSettingsFile(const IniFile& ini);
    QString barSectionPrefix() const;
    // Window placement and six widget properties in section "main form".
    quillon::FormStorage* FormStorage = nullptr;
    IniSection m_storedForm;          // section "main form" as read at start
    IniFile* m_shutdownIni = nullptr; // the file being written by FormDestroy
    bool m_settingsWriteRefused = false;

    // Browsing and the file commands (MainBrowse.cpp).
    void ShellListClick();
    void ShellListKeyDown(QKeyEvent* event, bool& handled);
    void ShellListKeyUp(QKeyEvent* event);
    void ShellTreeKeyUp(QKeyEvent* event);
    void ShellListShellChangeNotify();
    void ShellTreeFolderSelected();
    void bcFileMaskChange();
    void bbUpFolderClick();
    void bbNewFolderClick();
    void bbDeleteClick();
    void bbPropertiesClick();
    void bbCutClick();
    void bbCopyClick();
    void bbPasteClick();
    void bbSelectAllClick();
    void bbInvertSelectionClick();
    void bbIconClick();
    void bbRefreshClick();
    // The list or the tree while it holds the focus; else nothing.
    ShellView* activeShellView() const;
    struct BackgroundRead;
    // Shows what Load gave for CurrentFile, or empty panes saying why.
    void showLoadedFile(bool loaded);
    void readInBackground();
    void takeBackgroundRead(const BackgroundRead& read, const QString& path);
    // Forgets the read under way, whose result then goes nowhere.
    void dropBackgroundRead();
    QFutureWatcherBase* m_backgroundRead = nullptr;

    // Tag commands (MainTags.cpp).
    // The pane with this grid, or whose image this is; nullptr for none.
    TagPane* paneOfGrid(const QObject* grid);
    const TagPane* paneOfImage(const QObject* image) const;
    // Runs a command of the pane; nothing while a file is being read.
    TagPane::Outcome paneCommand(TagPane& pane, TagPane::Outcome (TagPane::*command)());
    // Ctrl+S: saves the tag pane that holds the focus, or else each modified pane.
    void saveShortcut();
    // The pane shows the tag of AudioFile; a file our own write changed is the loaded file now.
    void showPane(TagPane& pane);
    // TagPane::Host.
    QString currentFile() const override { return CurrentFile; }
    TMPEGaudio& audioFile() override { return *AudioFile; }
    bool confirmed(TagPane::Confirmation which, const QString& question) override;
    void reloadPane(TagPane& pane) override;
    bool mayWriteLoadedFile() override { return m_loadedFile.mayWrite(CurrentFile); }

    // The file the panes were read from, which a write checks first.
    LoadedFile m_loadedFile;

    // The whole ID3v2 tag: its other frames, conversion between revisions (MainWholeTag.cpp).
    void createWholeTagCommands();
    // Enabled while a file with an ID3v2 tag is shown; a conversion only to the other revision.
    void updateWholeTagCommands();
    void bbOtherFramesClick();
    void bbConvertClick(int major);

    // Drag and drop (MainDragDrop.cpp); `source` is the object being dragged.
    void setUpDragAndDrop();
    // The drop of the other pane's image on this pane, and whether it is taken.
    bool paneDragOver(const TagPane& pane, const QObject* source) const;
    void paneDragDrop(TagPane& pane, const QObject* source);
    bool ShellListDragOver(const QObject* source) const;
    void ShellListDragDrop(const QObject* source);

    // Pictures of the ID3v2 tag (MainPictures.cpp).
    void createPictureThumbnail();
    void createPictureCommands();
    // Pictures can change while a file is shown and not being read.
    bool picturesEditable() const;
    void updatePictureCommands();
    // The thumbnail, the large view and the commands follow the ID3v2 tag's pictures.
    void showPictures();
    void clearPictures();
    void fillPictureDialog(int current);
    // The picture chosen in the large view, else the one the thumbnail shows; -1 for none.
    int currentPicture() const;
    // Adds JPEG and PNG files as pictures of the ID3v2 pane; false, adding none, when one
    // cannot be read or is neither (with `warn`, saying so).
    bool addPictureFiles(const QStringList& paths, bool warn);
    void imID3v2PictureClick();
    void bbAddPictureClick();
    void bbRemovePictureClick();
    void bbSavePictureAsClick();
    PictureThumbnail* imID3v2Picture = nullptr;
    PictureDialog* m_pictureDialog = nullptr;

    // The Tags menu: the gestures above as commands, and the commands on the selected files,
    // which run as batches off the GUI thread (MainTagsMenu.cpp, MainBatch.cpp).
    void createTagsMenu();
    void wireTagsMenu();
    void wireBatchCommands();
    void readBatchSettings(const IniFile& ini);
    void writeBatchSettings(IniFile& ini);
    QStringList batchFiles();
    void bbEditSelectedFilesClick();
    void patternCommand(int command);
    void bbNumberTracksClick();
    void bbUndoLastBatchClick();
    bool prepareBatch(const QStringList& paths);
    void runBatch(const BatchPlan& plan);
    void startBatch(std::function<BatchResult(const std::function<void(int, int)>&)> work);
    void batchFinished();
    struct BatchState;
    std::shared_ptr<BatchState> m_batch;
};

} // namespace quillon
