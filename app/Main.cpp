#include "app/Main.h"

#include "app/ErrorGuard.h"
#include "app/WindowFonts.h"
#include "display/DisplayTexts.h"
#include "display/TagFields.h"
#include "mpeg/MPEGaudio.h"
#include "shell/DialogService.h"
#include "shell/FileName.h"
#include "shell/ShellServices.h"
#include "tags/FileRebuild.h"
#include "ui/Band.h"
#include "ui/BandContainer.h"
#include "ui/BarCombo.h"
#include "ui/BarManager.h"
#include "ui/Contrast.h"
#include "ui/DragImage.h"
#include "ui/DropFilesTarget.h"
#include "ui/FormStorage.h"
#include "ui/InspectorGrid.h"
#include "ui/SegmentProgressBar.h"
#include "ui/ShellComboBox.h"
#include "ui/ShellListView.h"
#include "ui/ShellTreeView.h"
#include "ui/StatusBar.h"
#include "ui/StatusPane.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSplitter>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <functional>

namespace {

constexpr int kTreeWidth = 208;
constexpr int kInspectorWidth = 240;
constexpr int kSplitterWidth = 2;
constexpr int kDriveBarHeight = 25;
constexpr int kStatusBarHeight = 19;

// An icon drawn from a symbol of the window's font, for commands the style has no icon for;
// drawn at 16 and 32 pixels so that it stays sharp on scaled screens.
QIcon glyphIcon(const QString& symbol) {
    // Navy on the default palette; lighter where the window is dark.
    const QColor ink =
        readableOn(QColor(40, 40, 90), QApplication::palette().color(QPalette::Window));
    QIcon icon;
    for (const int size : {16, 32}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::TextAntialiasing);
        QFont font("DejaVu Sans");
        font.setPixelSize(size * 14 / 16);
        painter.setFont(font);
        painter.setPen(ink);
        painter.drawText(pixmap.rect(), Qt::AlignCenter, symbol);
        icon.addPixmap(pixmap);
    }
    return icon;
}

template <typename T> T* named(T* object, const QString& name) {
    object->setObjectName(name);
    return object;
}

} // namespace

TfmMain::TfmMain(QWidget* parent)
    : QMainWindow(parent), m_id3v1Pane(TagPane::forID3v1(*this)),
      m_id3v2Pane(TagPane::forID3v2(*this)), ID3v1Modified(m_id3v1Pane->modifiedFlag()),
      ID3v2Modified(m_id3v2Pane->modifiedFlag()) {
    setObjectName("fmMain");
    setWindowTitle("Quillon");
    setFont(windowFont());
    resize(800, 600);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    createPanes();
    createInspector();
    createStatusBar();
    takePaneWidgets();
    createBars();
    wireHandlers();
    FormStorage = new ::FormStorage(this);
    FormStorage->setObjectName("FormStorage");
    runGuarded([this] { FormCreate(); });
}

TfmMain::~TfmMain() {
    runGuarded([this] { FormDestroy(); });
}

void TfmMain::createPanes() {
    Splitter = named(new QSplitter(Qt::Horizontal, this), "Splitter");
    Splitter->setHandleWidth(kSplitterWidth);
    Splitter->setChildrenCollapsible(false);

    pnTree = named(new QWidget(Splitter), "pnTree");
    auto* treeLayout = new QVBoxLayout(pnTree);
    treeLayout->setContentsMargins(0, 0, 0, 0);
    treeLayout->setSpacing(0);
    ShellDriveSpeedBar = named(new QWidget(pnTree), "ShellDriveSpeedBar");
    ShellDriveSpeedBar->setFixedHeight(kDriveBarHeight);
    auto* driveLayout = new QHBoxLayout(ShellDriveSpeedBar);
    driveLayout->setContentsMargins(0, 1, 0, 1);
    ShellCombo = named(new ShellComboBox(ShellDriveSpeedBar), "ShellCombo");
    ShellCombo->setAccessibleName("Drive and folder");
    driveLayout->addWidget(ShellCombo);
    ShellTree = named(new ShellTreeView(pnTree), "ShellTree");
    ShellTree->setAccessibleName("Folder tree");
    treeLayout->addWidget(ShellDriveSpeedBar);
    treeLayout->addWidget(ShellTree);

    pnList = named(new QWidget(Splitter), "pnList");
    auto* listLayout = new QVBoxLayout(pnList);
    listLayout->setContentsMargins(0, 0, 0, 0);
    ShellList = named(new ShellListView(pnList), "ShellList");
    ShellList->setAccessibleName("File list");
    listLayout->addWidget(ShellList);
    ShellList->setTree(ShellTree);
    ShellCombo->setList(ShellList);
    ShellList->setViewStyle(3);
    ShellList->setFileMask("*.mp?");
    ShellList->setMasked(true);

    pnInspector = named(new QWidget(Splitter), "pnInspector");
    Splitter->addWidget(pnTree);
    Splitter->addWidget(pnList);
    Splitter->addWidget(pnInspector);
    Splitter->setStretchFactor(0, 0);
    Splitter->setStretchFactor(1, 1);
    Splitter->setStretchFactor(2, 0);
    Splitter->setSizes(
        {kTreeWidth, 800 - kTreeWidth - kInspectorWidth - 2 * kSplitterWidth, kInspectorWidth});
    LeftSplitter = named(Splitter->handle(1), "LeftSplitter");
    RightSplitter = named(Splitter->handle(2), "RightSplitter");
    setCentralWidget(Splitter);
}

void TfmMain::createInspector() {
    auto* layout = new QVBoxLayout(pnInspector);
    layout->setContentsMargins(0, 0, 0, 0);
    smMPEG = named(new BandContainer(pnInspector), "smMPEG");
    layout->addWidget(smMPEG);

    SpeedBar_ID3v1 = m_id3v1Pane->createSpeedBar();
    createID3v1Grid();
    smbID3v1 = m_id3v1Pane->createBand(smMPEG);
    SpeedBar_ID3v2 = m_id3v2Pane->createSpeedBar();
    createID3v2Grid();
    smbID3v2 = m_id3v2Pane->createBand(smMPEG);

    createMpegGrid();
    smbMPEG = named(smMPEG->addBand("MPEG Info", 246, iMpeg), "smbMPEG");

    for (TagPane* pane : tagPanes())
        pane->createDropTarget();
}

void TfmMain::createID3v1Grid() {
    iID3v1 = m_id3v1Pane->createGrid();
}

void TfmMain::createID3v2Grid() {
    iID3v2 = m_id3v2Pane->createGrid();
}

void TfmMain::createMpegGrid() {
    iMpeg = named(new InspectorGrid, "iMpeg");
    iMpeg->setAccessibleName("MPEG Info");
    iMpeg->setDividerPosition(96);
    iMpeg->setMovesOnEnterAndTab(false);
    using Kind = InspectorRow::Kind;
    iMpeg_Size = iMpeg->addRow("iMpeg_Size", "File Size");
    iMpeg_Version = iMpeg->addRow("iMpeg_Version", "Version");
    iMpeg_SampleRate = iMpeg->addRow("iMpeg_SampleRate", "Sample Rate");
    iMpeg_BitRate = iMpeg->addRow("iMpeg_BitRate", "Bit Rate");
    iMpeg_ChannelMode = iMpeg->addRow("iMpeg_ChannelMode", "Channel Mode");
    iMpeg_CRC = iMpeg->addRow("iMpeg_CRC", "CRC", Kind::Check);
    iMpeg_Original = iMpeg->addRow("iMpeg_Original", "Orig", Kind::Check);
    iMpeg_Copyrighted = iMpeg->addRow("iMpeg_Copyrighted", "( c )", Kind::Check);
    iMpeg_Duration = iMpeg->addRow("iMpeg_Duration", "Duration");
    iMpeg_HeaderOffset = iMpeg->addRow("iMpeg_HeaderOffset", "Header Offset");
    iMpeg_Modified = iMpeg->addRow("iMpeg_Modified", "Modified");
    iMpeg_Encoder = iMpeg->addRow("iMpeg_Encoder", "Encoder");
    iMpeg_Emphasis = iMpeg->addRow("iMpeg_Emphasis", "Emphasis");
    iMpeg_Frames = iMpeg->addRow("iMpeg_Frames", "Frames");
    iMpeg_VBR = iMpeg->addRow("iMpeg_VBR", "VBR ... ID:Scale");
    iMpeg_irBool = iMpeg->addRow("iMpeg_irBool", QString(), Kind::Composite);
    for (InspectorRow* check : {iMpeg_CRC, iMpeg_Original, iMpeg_Copyrighted})
        check->setCheckValues("True", "False");
    iMpeg_irBool->addMember(iMpeg_Copyrighted, 0);
    iMpeg_irBool->addMember(iMpeg_Original, 0);
    iMpeg_irBool->addMember(iMpeg_CRC, 0);
    iMpeg->setShownOrder({iMpeg_Size, iMpeg_Modified, iMpeg_Version, iMpeg_Duration, iMpeg_BitRate,
                          iMpeg_SampleRate, iMpeg_ChannelMode, iMpeg_Frames, iMpeg_HeaderOffset,
                          iMpeg_Emphasis, iMpeg_Encoder, iMpeg_irBool});
    for (InspectorRow* r : iMpeg->rows())
        r->setReadOnly(true);
}

void TfmMain::createStatusBar() {
    StatusBar = named(new ::StatusBar(this), "StatusBar");
    StatusBar->setFont(statusFont());
    StatusBar->setFixedHeight(kStatusBarHeight);
    setStatusBar(StatusBar);
    const QIcon glyph = style()->standardIcon(QStyle::SP_FileDialogContentsView);
    spObjects = named(StatusBar->addPane("Objects:", 92), "spObjects");
    spSelected = named(StatusBar->addPane("Selected:", 90), "spSelected");
    for (TagPane* pane : tagPanes())
        pane->createModifiedPane(StatusBar, glyph);
    ProgressBar = named(StatusBar->addProgressBar(185), "ProgressBar");
    btGlobCancel = named(StatusBar->addFlatButton("Cancel", 50), "btGlobCancel");
    spFileNote = named(StatusBar->addStretchingPane(), "spFileNote");
}

void TfmMain::createBars() {
    BarManager = new ::BarManager(this);
    BarManager->setObjectName("BarManager");
    for (const char* category :
         {"Default", "Menus", "File", "View", "Edit", "Help", "Confirmations"})
        BarManager->addCategory(category);

    QStyle* st = style();
    auto command = [&](const char* name, const char* caption, const char* hint,
                       const char* category, QIcon icon = {}, QKeySequence shortcut = {}) {
        ::BarManager::Command c;
        c.name = name;
        c.caption = caption;
        c.hint = hint;
        c.category = category;
        c.icon = icon;
        c.shortcut = shortcut;
        return c;
    };
    auto add = [&](::BarManager::Command c) { return BarManager->addCommand(c); };

    bbFile = BarManager->addSubmenu("bbFile", "&File", "Menus");
    bbEdit = BarManager->addSubmenu("bbEdit", "&Edit", "Menus");
    bbView = BarManager->addSubmenu("bbView", "&View", "Menus");
    bbHelp = BarManager->addSubmenu("bbHelp", "&Help", "Menus");
    bbConfirmations = BarManager->addSubmenu("bbConfirmations", "Confirmations", "Menus");

    bbUpFolder = add(command("bbUpFolder", "Up Folder", "Up Folder", "File",
                             st->standardIcon(QStyle::SP_FileDialogToParent)));
    bbNewFolder = add(command("bbNewFolder", "New Folder", "New Folder", "File",
                              st->standardIcon(QStyle::SP_FileDialogNewFolder)));
    bbDelete = add(
        command("bbDelete", "&Delete", "Delete", "File", st->standardIcon(QStyle::SP_TrashIcon)));
    bbProperties = add(command("bbProperties", "Properties", "Properties", "File",
                               st->standardIcon(QStyle::SP_FileDialogInfoView)));
    auto report = command("bbReport", "&Report", "Report", "File");
    report.neverShown = true;
    bbReport = add(report);
    bbClose = add(
        command("bbClose", "Close", "Close", "File", QIcon(), QKeySequence(Qt::CTRL | Qt::Key_Q)));
    auto open = command("bbOpenDataFile", "&Open...", "Open", "File");
    open.neverShown = true;
    bbOpenDataFile = add(open);

    auto view = [&](const char* name, const char* caption, QStyle::StandardPixmap icon, int tag) {
        auto c = command(name, caption, caption, "View", st->standardIcon(icon));
        c.tag = tag;
        return add(c);
    };
    bbIcon = view("bbIcon", "Icon View", QStyle::SP_FileDialogContentsView, 0);
    bbSmallIconView = view("bbSmallIconView", "Small Icon View", QStyle::SP_FileDialogListView, 1);
    bbListView = view("bbListView", "List View", QStyle::SP_FileDialogListView, 2);
    bbReportView = view("bbReportView", "Report View", QStyle::SP_FileDialogDetailedView, 3);
    bcFileMask = BarManager->addCombo("bcFileMask", "File Mask", "File Mask", "View", 80);
    bcFileMask->setItems({"*.mp?", "*.*"});
    bcFileMask->setEditText("*.mp?");
    bbRefresh = add(command("bbRefresh", "Refresh", "Refresh", "View",
                            st->standardIcon(QStyle::SP_BrowserReload)));

    bbCut = add(command("bbCut", "C&ut", "Cut", "Edit",
                        QIcon::fromTheme("edit-cut", glyphIcon(QString(QChar(0x2702)))),
                        QKeySequence::Cut));
    bbCopy = add(command("bbCopy", "&Copy", "Copy", "Edit",
                         QIcon::fromTheme("edit-copy", glyphIcon(QString(QChar(0x2750)))),
                         QKeySequence::Copy));
    bbPaste = add(command("bbPaste", "&Paste", "Paste", "Edit",
                          QIcon::fromTheme("edit-paste", glyphIcon(QString(QChar(0x25A4)))),
                          QKeySequence::Paste));
    bbSelectAll =
        add(command("bbSelectAll", "Select &All", "Select All", "Edit",
                    QIcon::fromTheme("edit-select-all", glyphIcon(QString(QChar(0x25A3)))),
                    QKeySequence("Ctrl+A")));
    bbInvertSelection =
        add(command("bbInvertSelection", "Invert Selection", "Invert Selection", "Edit",
                    QIcon::fromTheme("edit-select-invert", glyphIcon(QString(QChar(0x25E9)))),
                    QKeySequence(Qt::KeypadModifier | Qt::Key_Asterisk)));
    // The list handles Ctrl+A and keypad * itself, the list and the tree Ctrl+X, Ctrl+C and
    // Ctrl+V on files, the grids and editors the same keys on text, and the window Ctrl+Q; the
    // menus still show them.
    for (QAction* action : {bbSelectAll, bbInvertSelection, bbCut, bbCopy, bbPaste, bbClose})
        action->setShortcutContext(Qt::WidgetShortcut);

    bbAbout = add(command("bbAbout", "&About...", "About", "Help"));

    auto confirmation = [&](const char* name, const char* caption, bool on) {
        auto c = command(name, caption, caption, "Confirmations");
        c.checkable = true;
        c.checked = on;
        return add(c);
    };
    bbConfSaveTag = confirmation("bbConfSaveTag", "Save Tag", true);
    bbConfRemoveTag = confirmation("bbConfRemoveTag", "Remove Tag", true);
    bbConfUndoTag = confirmation("bbConfUndoTag", "Undo Tag", true);
    bbConfClearTag = confirmation("bbConfClearTag", "Clear Tag", true);
    bbConfRenameFile = confirmation("bbConfRenameFile", "Rename File", true);
    bbConfFillTagFromFile = confirmation("bbConfFillTagFromFile", "Fill Tag From File", true);
    bbConfQuit = confirmation("bbConfQuit", "Quit", false);

    QMenuBar* mainMenu = BarManager->addMainMenu("Main Menu");
    for (const char* submenu : {"bbFile", "bbEdit", "bbView", "bbHelp"})
        BarManager->addLink(mainMenu, submenu);
    const std::pair<const char*, bool> fileLinks[] = {
        {"bbUpFolder", false},   {"bbNewFolder", true}, {"bbDelete", false},
        {"bbProperties", false}, {"bbReport", true},    {"bbClose", true}};
    for (const auto& [item, group] : fileLinks)
        BarManager->addLink(bbFile, item, group);
    const std::pair<const char*, bool> editLinks[] = {{"bbCut", false},
                                                      {"bbCopy", false},
                                                      {"bbPaste", false},
                                                      {"bbSelectAll", true},
                                                      {"bbInvertSelection", false},
                                                      {"bbConfirmations", true}};
    for (const auto& [item, group] : editLinks)
        BarManager->addLink(bbEdit, item, group);
    const std::pair<const char*, bool> confirmationLinks[] = {
        {"bbConfSaveTag", false},  {"bbConfRemoveTag", false}, {"bbConfUndoTag", false},
        {"bbConfClearTag", false}, {"bbConfRenameFile", true}, {"bbConfFillTagFromFile", false},
        {"bbConfQuit", true}};
    for (const auto& [item, group] : confirmationLinks)
        BarManager->addLink(bbConfirmations, item, group);
    const std::pair<const char*, bool> viewLinks[] = {
        {"bbIcon", false},       {"bbSmallIconView", false}, {"bbListView", false},
        {"bbReportView", false}, {"bcFileMask", true},       {"bbRefresh", false}};
    for (const auto& [item, group] : viewLinks)
        BarManager->addLink(bbView, item, group);
    BarManager->addLink(bbHelp, "bbAbout");

    tbFile = BarManager->addToolBar("tbFile", "File", 1, 0);
    const std::pair<const char*, bool> fileBar[] = {{"bbUpFolder", false},
                                                    {"bbProperties", false},
                                                    {"bbNewFolder", true},
                                                    {"bcFileMask", true},
                                                    {"bbRefresh", true}};
    for (const auto& [item, group] : fileBar)
        BarManager->addLink(tbFile, item, group);
    tbEdit = BarManager->addToolBar("tbEdit", "Edit", 1, 203);
    const std::pair<const char*, bool> editBar[] = {
        {"bbSelectAll", false}, {"bbInvertSelection", false}, {"bbCut", true},
        {"bbCopy", false},      {"bbPaste", false},           {"bbDelete", false}};
    for (const auto& [item, group] : editBar)
        BarManager->addLink(tbEdit, item, group);
    tbView = BarManager->addToolBar("tbView", "View", 1, 360);
    for (const char* item : {"bbIcon", "bbSmallIconView", "bbListView", "bbReportView"})
        BarManager->addLink(tbView, item);
    BarManager->setQuickCustomizing(tbFile, false);
    BarManager->setQuickCustomizing(tbView, false);
    BarManager->setQuickCustomizing(tbEdit, true);
}

namespace {

// A slot that runs the handler under the top-level guard, so that an error is shown
// in the error box without unwinding through Qt's signal delivery.
template <typename Handler> auto guarded(Handler handler) {
    return [handler](auto&&... args) { runGuarded([&] { handler(args...); }); };
}

} // namespace

void TfmMain::wireHandlers() {
    const auto onClick = [this](QAbstractButton* button, std::function<void()> handler) {
        connect(button, &QAbstractButton::clicked, this,
                guarded([handler = std::move(handler)](bool) { handler(); }));
    };
    onClick(btID3v1_Save, [this] { btID3v1_SaveClick(); });
    onClick(btID3v2_Save, [this] { btID3v2_SaveClick(); });
    onClick(btID3v1_Remove, [this] { btID3v1_RemoveClick(); });
    onClick(btID3v2_Remove, [this] { btID3v2_RemoveClick(); });
    onClick(btID3v1_Undo, [this] { btID3v1_UndoClick(); });
    onClick(btID3v2_Undo, [this] { btID3v2_UndoClick(); });
    onClick(btClearID3v1, [this] { btClearID3v1Click(); });
    onClick(btClearID3v2, [this] { btClearID3v2Click(); });
    // Ctrl+S: the Save of the focused tag pane, or of each modified one.
    auto* save = new QShortcut(QKeySequence::Save, this);
    connect(save, &QShortcut::activated, this, [this] { runGuarded([this] { saveShortcut(); }); });
    // Ctrl+Q: Close, through the quit question, wherever the File menu's bar is.
    auto* quit = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), this);
    connect(quit, &QShortcut::activated, bbClose, &QAction::trigger);
    onClick(btGlobCancel, [this] { btGlobCancelClick(); });
    connect(iID3v1, &InspectorGrid::editChanged, this,
            guarded([this](InspectorRow*) { iID3v1EditChange(); }));
    connect(iID3v2, &InspectorGrid::editChanged, this,
            guarded([this](InspectorRow*) { iID3v2EditChange(); }));
    connect(dfID3v1, &DropFilesTarget::dropped, this,
            guarded([this](const QStringList& files, const QPoint& point) {
                dfID3v1DropFiles(files, point);
            }));
    connect(dfID3v2, &DropFilesTarget::dropped, this,
            guarded([this](const QStringList& files, const QPoint& point) {
                dfID3v2DropFiles(files, point);
            }));
    setUpDragAndDrop();

    connect(ShellTree, &ShellTreeView::folderSelected, this,
            guarded([this](const ShellItem&) { ShellTreeFolderSelected(); }));
    connect(ShellList, &ShellListView::clicked, this, guarded([this] { ShellListClick(); }));
    connect(ShellList, &ShellListView::listFilled, this,
            guarded([this] { ShellListListFilled(); }));
    connect(ShellList, &ShellListView::shellChanged, this,
            guarded([this] { ShellListShellChangeNotify(); }));
    // Saves killed midway (on FAT) left their new content in the folder, hidden.
    connect(ShellList, &ShellListView::folderChanged, this,
            [](const QString& folder) { removeDeadLeftovers(nativePath(folder)); });
    ShellList->installEventFilter(this);
    ShellTree->installEventFilter(this);

    const std::pair<QAction*, std::function<void()>> commands[] = {
        {bbUpFolder, [this] { bbUpFolderClick(); }},
        {bbNewFolder, [this] { bbNewFolderClick(); }},
        {bbDelete, [this] { bbDeleteClick(); }},
        {bbProperties, [this] { bbPropertiesClick(); }},
        {bbReport, [this] { bbReportClick(); }},
        {bbClose, [this] { bbCloseClick(); }},
        {bbOpenDataFile, [this] { bbOpenDataFileClick(); }},
        {bbCut, [this] { bbCutClick(); }},
        {bbCopy, [this] { bbCopyClick(); }},
        {bbPaste, [this] { bbPasteClick(); }},
        {bbSelectAll, [this] { bbSelectAllClick(); }},
        {bbInvertSelection, [this] { bbInvertSelectionClick(); }},
        {bbRefresh, [this] { bbRefreshClick(); }},
        {bbAbout, [this] { bbAboutClick(); }},
    };
    for (const auto& [action, handler] : commands)
        connect(action, &QAction::triggered, this,
                guarded([handler = handler](bool) { handler(); }));
    // The view commands share one handler, which reads the style from the item's tag.
    for (QAction* view : {bbIcon, bbSmallIconView, bbListView, bbReportView})
        connect(view, &QAction::triggered, this, &TfmMain::bbIconClick);
    connect(bcFileMask, &BarCombo::editTextChanged, this,
            guarded([this](const QString&) { bcFileMaskChange(); }));
}

// Display of the analysed file.

void TfmMain::ShowFileInfo() {
    rememberLoadedFile();
    spFileNote->setText(QString());
    for (TagPane* pane : tagPanes())
        pane->setEditable(true);
    ShowID3v1();
    ShowID3v2();
    ShowMpegInfo();
}

void TfmMain::ShowID3v1() {
    showPane(*m_id3v1Pane);
}

void TfmMain::ShowID3v2() {
    showPane(*m_id3v2Pane);
}

void TfmMain::ShowMpegInfo() {
    const BandTexts band = MpegTexts(*AudioFile, QLocale::system());
    for (const DisplayRow& text : band.rows) {
        if (InspectorRow* row = iMpeg->row(text.name))
            row->setText(text.text);
    }
    iMpeg_VBR->setVisible(AudioFile->VBRData().Found);
}

void TfmMain::ClearFileInfo(bool makeReadOnly) {
    dropBackgroundRead();
    spFileNote->setText(QString());
    for (TagPane* pane : tagPanes())
        pane->clear();
    ClearInspector(iMpeg);
    if (makeReadOnly) {
        for (TagPane* pane : tagPanes())
            pane->setEditable(false);
    }
}

void TfmMain::ClearInspector(InspectorGrid* grid) {
    if (TagPane* pane = paneOfGrid(grid)) {
        pane->clear();
        return;
    }
    for (InspectorRow* row : grid->rows())
        row->setText(row->kind() == InspectorRow::Kind::Check ? row->uncheckedValue() : QString());
}

void TfmMain::SetInspectorEditable(InspectorGrid* grid, bool editable) {
    for (InspectorRow* row : grid->rows())
        row->setReadOnly(!editable);
}

void TfmMain::SetID3v1Modified(bool value) {
    m_id3v1Pane->setModified(value);
}

void TfmMain::SetID3v2Modified(bool value) {
    m_id3v2Pane->setModified(value);
}

void TfmMain::UpdateModifiedPanes() {
    for (TagPane* pane : tagPanes())
        pane->updateModifiedPane();
}

void TfmMain::iID3v1EditChange() {
    SetID3v1Modified(true);
}

void TfmMain::iID3v2EditChange() {
    SetID3v2Modified(true);
}
