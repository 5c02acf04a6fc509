// The main window: folder tree, file list and the inspector with the ID3v1,
// ID3v2 and MPEG bands, with the menus, toolbars and status bar, and the
// handlers that carry the workflow.
#pragma once

#include "app/TagPane.h"
#include "tags/FileAccess.h"
#include "ui/IniSection.h"

#include <QMainWindow>
#include <QString>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>

class Band;
class BarCombo;
class BandContainer;
class BarManager;
class DropFilesTarget;
class FormStorage;
class IniFile;
class InspectorGrid;
class InspectorRow;
class QAction;
class QCheckBox;
class QFutureWatcherBase;
class QLabel;
class QMenu;
class QPushButton;
class QSplitter;
class QSplitterHandle;
class QToolBar;
class QToolButton;
class SegmentProgressBar;
class ShellComboBox;
class ShellListView;
class ShellView;
class ShellTreeView;
class StatusBar;
class StatusPane;
class TMPEGaudio;

class TfmMain : public QMainWindow, private TagPane::Host {
    Q_OBJECT
    // The tag panes of ID3v1 and ID3v2; first, as the modified flags below are theirs.
    std::unique_ptr<TagPane> m_id3v1Pane;
    std::unique_ptr<TagPane> m_id3v2Pane;

public:
    explicit TfmMain(QWidget* parent = nullptr);
    ~TfmMain() override;

    // Window state.
    TMPEGaudio* AudioFile = nullptr;
    QString CurrentFile;
    // The panes' own flags.
    bool& ID3v1Modified;
    bool& ID3v2Modified;

    // Left and middle panes.
    QWidget* pnTree = nullptr;
    QWidget* ShellDriveSpeedBar = nullptr;
    ShellComboBox* ShellCombo = nullptr;
    ShellTreeView* ShellTree = nullptr;
    QSplitter* Splitter = nullptr;
    QSplitterHandle* LeftSplitter = nullptr;
    QWidget* pnList = nullptr;
    ShellListView* ShellList = nullptr;
    QSplitterHandle* RightSplitter = nullptr;
    QWidget* pnInspector = nullptr;

    // The inspector.
    BandContainer* smMPEG = nullptr;
    Band* smbID3v1 = nullptr;
    Band* smbID3v2 = nullptr;
    Band* smbMPEG = nullptr;
    QWidget* SpeedBar_ID3v1 = nullptr;
    QWidget* SpeedBar_ID3v2 = nullptr;
    QToolButton* btID3v1_Save = nullptr;
    QToolButton* btID3v1_Remove = nullptr;
    QToolButton* btID3v1_Undo = nullptr;
    QToolButton* btClearID3v1 = nullptr;
    QToolButton* btID3v2_Save = nullptr;
    QToolButton* btID3v2_Remove = nullptr;
    QToolButton* btID3v2_Undo = nullptr;
    QToolButton* btClearID3v2 = nullptr;
    QLabel* laID3v1Ver = nullptr;
    QLabel* laID3v2Ver = nullptr;
    QLabel* imID3v1 = nullptr;
    QLabel* imID3v2 = nullptr;
    QCheckBox* chExistsID3v1 = nullptr;
    QCheckBox* chExistsID3v2 = nullptr;

    InspectorGrid* iID3v1 = nullptr;
    InspectorRow* iID3v1_Title = nullptr;
    InspectorRow* iID3v1_Artist = nullptr;
    InspectorRow* iID3v1_Album = nullptr;
    InspectorRow* iID3v1_Year = nullptr;
    InspectorRow* iID3v1_Track = nullptr;
    InspectorRow* iID3v1_Comment = nullptr;
    InspectorRow* iID3v1_xYG = nullptr;
    InspectorRow* iID3v1_xCT = nullptr;
    InspectorRow* iID3v1_Genre = nullptr;

    InspectorGrid* iID3v2 = nullptr;
    InspectorRow* iID3v2_Title = nullptr;
    InspectorRow* iID3v2_Artist = nullptr;
    InspectorRow* iID3v2_Album = nullptr;
    InspectorRow* iID3v2_Year = nullptr;
    InspectorRow* iID3v2_Track = nullptr;
    InspectorRow* iID3v2_Comment = nullptr;
    InspectorRow* iID3v2_xYG = nullptr;
    InspectorRow* iID3v2_xCT = nullptr;
    InspectorRow* iID3v2_Genre = nullptr;
    InspectorRow* iID3v2_Composer = nullptr;
    InspectorRow* iID3v2_Encoder = nullptr;
    InspectorRow* iID3v2_Copyright = nullptr;
    InspectorRow* iID3v2_Language = nullptr;
    InspectorRow* iID3v2_URL = nullptr;
    InspectorRow* iID3v2_xCC = nullptr;

    InspectorGrid* iMpeg = nullptr;
    InspectorRow* iMpeg_Size = nullptr;
    InspectorRow* iMpeg_Version = nullptr;
    InspectorRow* iMpeg_SampleRate = nullptr;
    InspectorRow* iMpeg_BitRate = nullptr;
    InspectorRow* iMpeg_ChannelMode = nullptr;
    InspectorRow* iMpeg_CRC = nullptr;
    InspectorRow* iMpeg_Original = nullptr;
    InspectorRow* iMpeg_Copyrighted = nullptr;
    InspectorRow* iMpeg_Duration = nullptr;
    InspectorRow* iMpeg_HeaderOffset = nullptr;
    InspectorRow* iMpeg_Modified = nullptr;
    InspectorRow* iMpeg_Encoder = nullptr;
    InspectorRow* iMpeg_Emphasis = nullptr;
    InspectorRow* iMpeg_Frames = nullptr;
    InspectorRow* iMpeg_VBR = nullptr;
    InspectorRow* iMpeg_irBool = nullptr;

    // Status bar.
    ::StatusBar* StatusBar = nullptr;
    StatusPane* spObjects = nullptr;
    StatusPane* spSelected = nullptr;
    StatusPane* spID3v1Modified = nullptr;
    StatusPane* spID3v2Modified = nullptr;
    // Why the selected file is not shown, while it is not (or that it is being read); else empty.
    StatusPane* spFileNote = nullptr;
    SegmentProgressBar* ProgressBar = nullptr;
    QPushButton* btGlobCancel = nullptr;

    // Menus and toolbars.
    ::BarManager* BarManager = nullptr;
    QMenu* bbFile = nullptr;
    QMenu* bbEdit = nullptr;
    QMenu* bbView = nullptr;
    QMenu* bbHelp = nullptr;
    QMenu* bbConfirmations = nullptr;
    QAction* bbUpFolder = nullptr;
    QAction* bbNewFolder = nullptr;
    QAction* bbDelete = nullptr;
    QAction* bbProperties = nullptr;
    QAction* bbReport = nullptr;
    QAction* bbClose = nullptr;
    QAction* bbOpenDataFile = nullptr;
    QAction* bbCut = nullptr;
    QAction* bbCopy = nullptr;
    QAction* bbPaste = nullptr;
    QAction* bbSelectAll = nullptr;
    QAction* bbInvertSelection = nullptr;
    QAction* bbConfSaveTag = nullptr;
    QAction* bbConfRemoveTag = nullptr;
    QAction* bbConfUndoTag = nullptr;
    QAction* bbConfClearTag = nullptr;
    QAction* bbConfRenameFile = nullptr;
    QAction* bbConfFillTagFromFile = nullptr;
    QAction* bbConfQuit = nullptr;
    QAction* bbIcon = nullptr;
    QAction* bbSmallIconView = nullptr;
    QAction* bbListView = nullptr;
    QAction* bbReportView = nullptr;
    BarCombo* bcFileMask = nullptr;
    QAction* bbRefresh = nullptr;
    QAction* bbAbout = nullptr;
    QToolBar* tbFile = nullptr;
    QToolBar* tbEdit = nullptr;
    QToolBar* tbView = nullptr;

    DropFilesTarget* dfID3v1 = nullptr;
    DropFilesTarget* dfID3v2 = nullptr;

    // Display of the analysed file.
    void ShowFileInfo();
    void ShowID3v1();
    void ShowID3v2();
    void ShowMpegInfo();
    void ClearFileInfo(bool makeReadOnly);
    void ClearInspector(InspectorGrid* grid);
    void SetInspectorEditable(InspectorGrid* grid, bool editable);
    void SetID3v1Modified(bool value);
    void SetID3v2Modified(bool value);
    void UpdateModifiedPanes();
    void UpdateCounts();

    // Shows what the command line names: a folder in the tree and the list; a file's
    // folder, with the file (and the others named there) selected and the first loaded as
    // by a click. A path that does not exist is reported.
    void openPaths(const QStringList& paths);

public slots:
    // Life cycle.
    void FormCreate();
    void FormDestroy();
    void bbCloseClick();

    // File list and tree.
    void ShellListClick();
    void ShellListItemSelected();
    void ShellListListFilled();
    void ShellListShellChangeNotify();
    void ShellTreeFolderSelected();
    void bcFileMaskChange();

    // Commands.
    void bbUpFolderClick();
    void bbNewFolderClick();
    void bbDeleteClick();
    void bbPropertiesClick();
    void bbReportClick();
    void bbOpenDataFileClick();
    void bbCutClick();
    void bbCopyClick();
    void bbPasteClick();
    void bbSelectAllClick();
    void bbInvertSelectionClick();
    void bbIconClick();
    void bbRefreshClick();
    void bbAboutClick();

    // Tag panes.
    void btID3v1_SaveClick();
    void btID3v2_SaveClick();
    void btID3v1_RemoveClick();
    void btID3v2_RemoveClick();
    void btID3v1_UndoClick();
    void btID3v2_UndoClick();
    void btClearID3v1Click();
    void btClearID3v2Click();
    void btGlobCancelClick();
    void iID3v1EditChange();
    void iID3v2EditChange();
    void dfID3v1DropFiles(const QStringList& files, const QPoint& point);
    void dfID3v2DropFiles(const QStringList& files, const QPoint& point);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void createPanes();
    void createInspector();
    // The window's names for a tag pane's widgets and rows.
    void takePaneWidgets();
    void createID3v1Grid();
    void createID3v2Grid();
    void createMpegGrid();
    void createStatusBar();
    void createBars();
    void wireHandlers();
    bool FormCloseQuery();
    void ShellListKeyDown(QKeyEvent* event, bool& handled);
    void ShellListKeyUp(QKeyEvent* event);
    void ShellTreeKeyUp(QKeyEvent* event);

    std::shared_ptr<TMPEGaudio> m_audioFile;

    // Start-up, settings and shutdown (MainLifecycle.cpp).
public:
    // Window placement and six widget properties in section "main form".
    ::FormStorage* FormStorage = nullptr;

private:
    void connectFormStorage();
    void readSettings(const IniFile& ini);
    void writeSettings(IniFile& ini);
    // Saves the settings file; a refused write skips the rest of that shutdown's writes.
    void saveSettingsFile(const IniFile& ini);
    QString barSectionPrefix() const;
    // Help > About...: the modal About box.
    void showAboutBox();
    IniSection m_storedForm;          // section "main form" as read at start
    IniFile* m_shutdownIni = nullptr; // the file being written by FormDestroy
    bool m_settingsWriteRefused = false;

    // Browsing (MainBrowse.cpp).
public:
    // A file whose ID3v2 tag declares more bytes than this is read off the GUI thread, so that
    // a click never waits for it.
    std::int64_t BackgroundReadTagSize = 4 * 1024 * 1024;
    // While a clicked file is read off the GUI thread, the panes are empty and read-only and no
    // tag command acts: AudioFile holds nothing of the file CurrentFile names.
    bool readingInBackground() const { return m_backgroundRead != nullptr; }

private:
    struct BackgroundRead;
    // Shows what Load gave for CurrentFile, or empty panes saying why.
    void showLoadedFile(bool loaded);
    void readInBackground();
    void takeBackgroundRead(const BackgroundRead& read, const QString& path);
    // Forgets the read under way, whose result then goes nowhere.
    void dropBackgroundRead();
    QFutureWatcherBase* m_backgroundRead = nullptr;

    // Tag commands (MainTags.cpp).
    // The panes in the order a list click saves them.
    std::array<TagPane*, 2> tagPanes() const;
    // The pane with this grid, or whose image this is; nullptr for none.
    TagPane* paneOfGrid(const QObject* grid) const;
    TagPane* paneOfImage(const QObject* image) const;
    // CurrentFile as the tag objects take it.
    std::string currentFileName() const;
    // A command's outcome as its handler passes it on: a row the tag cannot take is an error
    // for the guard around the handler to show.
    static void passOn(TagPane::Outcome outcome);
    // Runs a command of the pane and passes its outcome on; nothing while a file is being read.
    void paneCommand(TagPane& pane, TagPane::Outcome (TagPane::*command)());
    // The pane shows the tag of AudioFile; a file our own write changed is the loaded file now.
    void showPane(TagPane& pane);
    // TagPane::Host.
    QString currentFile() const override;
    TMPEGaudio& audioFile() override;
    bool confirmed(TagPane::Confirmation which, const QString& question) override;
    const QAction* confirmationOf(TagPane::Confirmation which) const;
    void reloadPane(TagPane& pane) override;
    // Ctrl+S: saves the tag pane that holds the focus, or else each modified pane.
    void saveShortcut();
    // The list or the tree while it holds the focus; else nothing.
    ShellView* activeShellView() const;

    // The file the panes were read from (MainLoadedFile.cpp).
    // What stat said of a file; nothing for a path that names none.
    using FileIdentity = std::optional<FileStamp>;
    FileIdentity m_loadedFile;
    // CurrentFile as it was when mayWriteLoadedFile let a write go ahead; unknown otherwise.
    FileIdentity m_beforeOwnWrite;
    static FileIdentity identityOf(const QString& path);
    // Notes which file CurrentFile names now, as the panes show what was read from it.
    void rememberLoadedFile();
    // Before a tag is written into or removed from CurrentFile: true when the path still names
    // the file the panes were read from, unchanged, or when the user agrees to write anyway.
    bool mayWriteLoadedFile() override;
    // As a pane is shown again: a file that our own write changed is the loaded file now.
    void noteOwnWrite();

    // Drag and drop (MainDragDrop.cpp).
public:
    // `source` is the object being dragged: whether it may be dropped here, and the drops.
    bool iID3v1DragOver(const QObject* source) const;
    void iID3v1DragDrop(const QObject* source);
    bool iID3v2DragOver(const QObject* source) const;
    void iID3v2DragDrop(const QObject* source);
    bool ShellListDragOver(const QObject* source) const;
    void ShellListDragDrop(const QObject* source);

private:
    // Routes the drags of the tag images over the grids and the file list to the handlers.
    void setUpDragAndDrop();
    // The drop of the other pane's image on this pane, and whether it is taken.
    bool paneDragOver(const TagPane& pane, const QObject* source) const;
    void paneDragDrop(TagPane& pane, const QObject* source);
};
