#include "app/Main.h"

#include "app/About.h"
#include "app/AppDef.h"
#include "app/BandGrid.h"
#include "app/ErrorGuard.h"
#include "app/WindowFonts.h"
#include "display/BandRows.h"
#include "display/DisplayTexts.h"
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
#include "ui/PictureView.h"
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

namespace quillon {

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

TfmMain::TfmMain(QWidget* parent) : QMainWindow(parent), m_panes{{{1, *this}, {2, *this}}} {
    setObjectName("fmMain");
    setWindowTitle("Quillon");
    setFont(windowFont());
    resize(800, 600);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    createPanes();
    createInspector();
    createStatusBar();
    createBars();
    wireHandlers();
    FormStorage = named(new quillon::FormStorage(this), "FormStorage");
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
    auto* driveBar = named(new QWidget(pnTree), "ShellDriveSpeedBar");
    driveBar->setFixedHeight(kDriveBarHeight);
    auto* driveLayout = new QHBoxLayout(driveBar);
    driveLayout->setContentsMargins(0, 1, 0, 1);
    ShellCombo = named(new ShellComboBox(driveBar), "ShellCombo");
    ShellCombo->setAccessibleName("Drive and folder");
    driveLayout->addWidget(ShellCombo);
    ShellTree = named(new ShellTreeView(pnTree), "ShellTree");
    ShellTree->setAccessibleName("Folder tree");
    treeLayout->addWidget(driveBar);
    treeLayout->addWidget(ShellTree);

    auto* pnList = named(new QWidget(Splitter), "pnList");
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
    named(Splitter->handle(1), "LeftSplitter");
    named(Splitter->handle(2), "RightSplitter");
    setCentralWidget(Splitter);
}

void TfmMain::createInspector() {
    auto* layout = new QVBoxLayout(pnInspector);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* bands = named(new BandContainer(pnInspector), "smMPEG");
    layout->addWidget(bands);
    createPictureThumbnail();
    for (TagPane& pane : m_panes) {
        pane.createSpeedBar();
        pane.createGrid();
        pane.createBand(bands, &pane == &m_panes[1] ? imID3v2Picture : nullptr);
    }
    // The MPEG band's rows are read-only; Enter and Tab stay in the row.
    const BandLayout& mpeg = MpegBand();
    iMpeg = createBandGrid(mpeg);
    iMpeg->setMovesOnEnterAndTab(false);
    for (InspectorRow* row : iMpeg->rows())
        row->setReadOnly(true);
    named(bands->addBand(QString::fromUtf8(mpeg.caption.data(), qsizetype(mpeg.caption.size())),
                         mpeg.height, iMpeg),
          "smbMPEG");
    for (TagPane& pane : m_panes)
        pane.createDropTarget();
}

void TfmMain::createStatusBar() {
    auto* bar = named(new StatusBar(this), "StatusBar");
    bar->setFont(statusFont());
    bar->setFixedHeight(kStatusBarHeight);
    setStatusBar(bar);
    const QIcon glyph = style()->standardIcon(QStyle::SP_FileDialogContentsView);
    spObjects = named(bar->addPane("Objects:", 92), "spObjects");
    spSelected = named(bar->addPane("Selected:", 90), "spSelected");
    for (TagPane& pane : m_panes)
        pane.createModifiedPane(bar, glyph);
    ProgressBar = named(bar->addProgressBar(185), "ProgressBar");
    // Hidden but while a batch of the Tags menu runs.
    QPushButton* cancel = named(bar->addFlatButton("Cancel", 50), "btGlobCancel");
    connect(cancel, &QPushButton::clicked, this, [] { AppDef::GlobCancel = true; });
    spFileNote = named(bar->addStretchingPane(), "spFileNote");
}

void TfmMain::createBars() {
    BarManager = named(new quillon::BarManager(this), "BarManager");
    for (const char* category :
         {"Default", "Menus", "File", "View", "Edit", "Tags", "Help", "Confirmations"})
        BarManager->addCategory(category);

    QStyle* st = style();
    auto command = [&](const char* name, const char* caption, const char* hint,
                       const char* category, QIcon icon = {}, QKeySequence shortcut = {}) {
        quillon::BarManager::Command c;
        c.name = name;
        c.caption = caption;
        c.hint = hint;
        c.category = category;
        c.icon = icon;
        c.shortcut = shortcut;
        return c;
    };
    auto add = [&](quillon::BarManager::Command c) { return BarManager->addCommand(c); };

    QMenu* bbFile = BarManager->addSubmenu("bbFile", "&File", "Menus");
    QMenu* bbEdit = BarManager->addSubmenu("bbEdit", "&Edit", "Menus");
    // Commands that act on the tags of the file under edit or of the selected files.
    BarManager->addSubmenu("bbTags", "&Tags", "Menus");
    QMenu* bbView = BarManager->addSubmenu("bbView", "&View", "Menus");
    QMenu* bbHelp = BarManager->addSubmenu("bbHelp", "&Help", "Menus");
    QMenu* bbConfirmations = BarManager->addSubmenu("bbConfirmations", "Confirmations", "Menus");

    add(command("bbUpFolder", "Up Folder", "Up Folder", "File",
                st->standardIcon(QStyle::SP_FileDialogToParent)));
    add(command("bbNewFolder", "New Folder", "New Folder", "File",
                st->standardIcon(QStyle::SP_FileDialogNewFolder)));
    add(command("bbDelete", "&Delete", "Delete", "File", st->standardIcon(QStyle::SP_TrashIcon)));
    add(command("bbProperties", "Properties", "Properties", "File",
                st->standardIcon(QStyle::SP_FileDialogInfoView)));
    auto report = command("bbReport", "&Report", "Report", "File");
    report.neverShown = true;
    add(report);
    QAction* bbClose = add(
        command("bbClose", "Close", "Close", "File", QIcon(), QKeySequence(Qt::CTRL | Qt::Key_Q)));
    auto open = command("bbOpenDataFile", "&Open...", "Open", "File");
    open.neverShown = true;
    add(open);

    auto view = [&](const char* name, const char* caption, QStyle::StandardPixmap icon, int tag) {
        auto c = command(name, caption, caption, "View", st->standardIcon(icon));
        c.tag = tag;
        return add(c);
    };
    view("bbIcon", "Icon View", QStyle::SP_FileDialogContentsView, 0);
    view("bbSmallIconView", "Small Icon View", QStyle::SP_FileDialogListView, 1);
    view("bbListView", "List View", QStyle::SP_FileDialogListView, 2);
    view("bbReportView", "Report View", QStyle::SP_FileDialogDetailedView, 3);
    bcFileMask = BarManager->addCombo("bcFileMask", "File Mask", "File Mask", "View", 80);
    bcFileMask->setItems({"*.mp?", "*.*"});
    bcFileMask->setEditText("*.mp?");
    add(command("bbRefresh", "Refresh", "Refresh", "View",
                st->standardIcon(QStyle::SP_BrowserReload)));

    QAction* bbCut = add(command("bbCut", "C&ut", "Cut", "Edit",
                                 QIcon::fromTheme("edit-cut", glyphIcon(QString(QChar(0x2702)))),
                                 QKeySequence::Cut));
    QAction* bbCopy = add(command("bbCopy", "&Copy", "Copy", "Edit",
                                  QIcon::fromTheme("edit-copy", glyphIcon(QString(QChar(0x2750)))),
                                  QKeySequence::Copy));
    QAction* bbPaste = add(command(
        "bbPaste", "&Paste", "Paste", "Edit",
        QIcon::fromTheme("edit-paste", glyphIcon(QString(QChar(0x25A4)))), QKeySequence::Paste));
    QAction* bbSelectAll =
        add(command("bbSelectAll", "Select &All", "Select All", "Edit",
                    QIcon::fromTheme("edit-select-all", glyphIcon(QString(QChar(0x25A3)))),
                    QKeySequence("Ctrl+A")));
    QAction* bbInvertSelection =
        add(command("bbInvertSelection", "Invert Selection", "Invert Selection", "Edit",
                    QIcon::fromTheme("edit-select-invert", glyphIcon(QString(QChar(0x25E9)))),
                    QKeySequence(Qt::KeypadModifier | Qt::Key_Asterisk)));
    // The list handles Ctrl+A and keypad * itself, the list and the tree Ctrl+X, Ctrl+C and
    // Ctrl+V on files, the grids and editors the same keys on text, and the window Ctrl+Q; the
    // menus still show them.
    for (QAction* action : {bbSelectAll, bbInvertSelection, bbCut, bbCopy, bbPaste, bbClose})
        action->setShortcutContext(Qt::WidgetShortcut);

    add(command("bbAbout", "&About...", "About", "Help"));

    auto confirmation = [&](const char* name, const char* caption, bool on) {
        auto c = command(name, caption, caption, "Confirmations");
        c.checkable = true;
        c.checked = on;
        return add(c);
    };
    confirmation("bbConfSaveTag", "Save Tag", true);
    confirmation("bbConfRemoveTag", "Remove Tag", true);
    confirmation("bbConfUndoTag", "Undo Tag", true);
    confirmation("bbConfClearTag", "Clear Tag", true);
    confirmation("bbConfRenameFile", "Rename File", true);
    confirmation("bbConfFillTagFromFile", "Fill Tag From File", true);
    confirmation("bbConfQuit", "Quit", false);

    QMenuBar* mainMenu = BarManager->addMainMenu("Main Menu");
    for (const char* submenu : {"bbFile", "bbEdit", "bbTags", "bbView", "bbHelp"})
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
    createTagsMenu();

    QToolBar* tbFile = BarManager->addToolBar("tbFile", "File", 1, 0);
    const std::pair<const char*, bool> fileBar[] = {{"bbUpFolder", false},
                                                    {"bbProperties", false},
                                                    {"bbNewFolder", true},
                                                    {"bcFileMask", true},
                                                    {"bbRefresh", true}};
    for (const auto& [item, group] : fileBar)
        BarManager->addLink(tbFile, item, group);
    QToolBar* tbEdit = BarManager->addToolBar("tbEdit", "Edit", 1, 203);
    const std::pair<const char*, bool> editBar[] = {
        {"bbSelectAll", false}, {"bbInvertSelection", false}, {"bbCut", true},
        {"bbCopy", false},      {"bbPaste", false},           {"bbDelete", false}};
    for (const auto& [item, group] : editBar)
        BarManager->addLink(tbEdit, item, group);
    QToolBar* tbView = BarManager->addToolBar("tbView", "View", 1, 360);
    for (const char* item : {"bbIcon", "bbSmallIconView", "bbListView", "bbReportView"})
        BarManager->addLink(tbView, item);
    BarManager->setQuickCustomizing(tbFile, false);
    BarManager->setQuickCustomizing(tbView, false);
    BarManager->setQuickCustomizing(tbEdit, true);
    createPictureCommands();
    createWholeTagCommands();
}

namespace {

// A slot that runs the handler under the top-level guard, so that an error is shown
// in the error box without unwinding through Qt's signal delivery.
template <typename Handler> auto guarded(Handler handler) {
    return [handler](auto&&... args) { runGuarded([&] { handler(args...); }); };
}

} // namespace

void TfmMain::wireHandlers() {
    for (TagPane& pane : m_panes) {
        const TagPane::Widgets& w = pane.widgets();
        const std::pair<QAbstractButton*, TagPane::Outcome (TagPane::*)()> commands[] = {
            {w.save, &TagPane::save},
            {w.remove, &TagPane::remove},
            {w.undo, &TagPane::undo},
            {w.clear, &TagPane::clearRows}};
        for (const auto& [button, paneCommandOf] : commands) {
            connect(button, &QAbstractButton::clicked, this,
                    guarded([this, &pane, c = paneCommandOf](bool) { paneCommand(pane, c); }));
        }
        connect(w.grid, &InspectorGrid::editChanged, this,
                guarded([&pane](InspectorRow*) { pane.setModified(true); }));
        // Files dropped from elsewhere fill the pane from CurrentFile's name; pictures dropped
        // on the ID3v2 pane are added to its tag.
        connect(w.dropTarget, &DropFilesTarget::dropped, this,
                guarded([this, &pane](const QStringList& paths, const QPoint&) {
                    if (&pane == &m_panes[1] && addPictureFiles(paths, false))
                        return;
                    if (!readingInBackground())
                        pane.fillFromFileName(CurrentFile);
                }));
    }
    // Ctrl+S: the Save of the focused tag pane, or of each modified one.
    auto* save = new QShortcut(QKeySequence::Save, this);
    connect(save, &QShortcut::activated, this, [this] { runGuarded([this] { saveShortcut(); }); });
    // Ctrl+Q: Close, through the quit question, wherever the File menu's bar is.
    auto* quit = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), this);
    connect(quit, &QShortcut::activated, BarManager->action("bbClose"), &QAction::trigger);
    setUpDragAndDrop();
    wireTagsMenu();

    connect(ShellTree, &ShellTreeView::folderSelected, this,
            guarded([this](const ShellItem&) { ShellTreeFolderSelected(); }));
    connect(ShellList, &ShellListView::clicked, this, guarded([this] { ShellListClick(); }));
    connect(ShellList, &ShellListView::listFilled, this, guarded([this] { UpdateCounts(); }));
    connect(ShellList, &ShellListView::shellChanged, this,
            guarded([this] { ShellListShellChangeNotify(); }));
    // Saves killed midway (on FAT) left their new content in the folder, hidden.
    connect(ShellList, &ShellListView::folderChanged, this,
            [](const QString& folder) { removeDeadLeftovers(nativePath(folder)); });
    ShellList->installEventFilter(this);
    ShellTree->installEventFilter(this);

    // bbReport and bbOpenDataFile are never shown and do nothing.
    const std::pair<const char*, std::function<void()>> commands[] = {
        {"bbUpFolder", [this] { bbUpFolderClick(); }},
        {"bbNewFolder", [this] { bbNewFolderClick(); }},
        {"bbDelete", [this] { bbDeleteClick(); }},
        {"bbProperties", [this] { bbPropertiesClick(); }},
        {"bbClose", [this] { close(); }},
        {"bbCut", [this] { bbCutClick(); }},
        {"bbCopy", [this] { bbCopyClick(); }},
        {"bbPaste", [this] { bbPasteClick(); }},
        {"bbSelectAll", [this] { bbSelectAllClick(); }},
        {"bbInvertSelection", [this] { bbInvertSelectionClick(); }},
        {"bbRefresh", [this] { bbRefreshClick(); }},
        {"bbAbout", [] { TfmAbout::execute(); }},
    };
    for (const auto& [name, handler] : commands)
        connect(BarManager->action(name), &QAction::triggered, this,
                guarded([handler = handler](bool) { handler(); }));
    // The view commands share one handler, which reads the style from the item's tag.
    for (const char* view : {"bbIcon", "bbSmallIconView", "bbListView", "bbReportView"})
        connect(BarManager->action(view), &QAction::triggered, this, &TfmMain::bbIconClick);
    connect(bcFileMask, &BarCombo::editTextChanged, this,
            guarded([this](const QString&) { bcFileMaskChange(); }));
}

// Display of the analysed file.

void TfmMain::ShowFileInfo() {
    // What the analysis saw as it read the file: the file is not asked again.
    m_loadedFile.remember(AudioFile->fileStamp());
    spFileNote->setText(QString());
    for (TagPane& pane : m_panes)
        pane.setEditable(true);
    for (TagPane& pane : m_panes)
        showPane(pane);
    ShowMpegInfo();
}

void TfmMain::ShowMpegInfo() {
    const BandTexts band = MpegTexts(*AudioFile, QLocale::system());
    for (const DisplayRow& text : band.rows) {
        if (InspectorRow* row = iMpeg->row(text.name))
            row->setText(text.text);
    }
    iMpeg->row("iMpeg_VBR")->setVisible(AudioFile->VBRData().Found);
}

void TfmMain::ClearFileInfo(bool makeReadOnly) {
    dropBackgroundRead();
    spFileNote->setText(QString());
    for (TagPane& pane : m_panes)
        pane.clear();
    updateWholeTagCommands();
    ClearInspector(iMpeg);
    if (makeReadOnly) {
        for (TagPane& pane : m_panes)
            pane.setEditable(false);
    }
    clearPictures();
}

void TfmMain::ClearInspector(InspectorGrid* grid) {
    if (TagPane* pane = paneOfGrid(grid)) {
        pane->clear();
        return;
    }
    for (InspectorRow* row : grid->rows())
        row->setText(row->kind() == InspectorRow::Kind::Check ? row->uncheckedValue() : QString());
}

} // namespace quillon
