#include "app/Main.h"

#include "app/ErrorGuard.h"
#include "display/DisplayTexts.h"
#include "display/TagFields.h"
#include "mpeg/MPEGaudio.h"
#include "shell/DialogService.h"
#include "shell/ShellServices.h"
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

// A tag pane's row for the field of that name, with the field's caption and kind.
template <class Tag>
InspectorRow* addFieldRow(InspectorGrid* grid, const std::vector<TagField<Tag>>& fields,
                          const char* name) {
    const TagField<Tag>* field = findField(fields, name);
    const InspectorRow::Kind kind = field->kind == FieldKind::Genre  ? InspectorRow::Kind::Pick
                                    : field->kind == FieldKind::Link ? InspectorRow::Kind::Hyperlink
                                                                     : InspectorRow::Kind::Text;
    return grid->addRow(QString::fromLatin1(name),
                        QString::fromUtf8(field->caption.data(), qsizetype(field->caption.size())),
                        kind);
}

constexpr int kTreeWidth = 208;
constexpr int kInspectorWidth = 240;
constexpr int kSplitterWidth = 2;
constexpr int kDriveBarHeight = 25;
constexpr int kSpeedBarHeight = 21;
constexpr int kStatusBarHeight = 19;

// Wine's metric-compatible versions of the window's fonts, where installed
// (Debian's fonts-wine), so that texts fit their cells as they were laid out.
void loadCompatibleFonts() {
    static const bool loaded = [] {
        for (const char* file : {"ms_sans_serif.ttf", "tahoma.ttf"}) {
            const QString path = QStringLiteral("/usr/share/wine/fonts/") + file;
            if (QFileInfo::exists(path))
                QFontDatabase::addApplicationFont(path);
        }
        return true;
    }();
    Q_UNUSED(loaded);
}

// The window's fonts, with fall-backs where the named ones are not installed.
QFont windowFont() {
    loadCompatibleFonts();
    QFont::insertSubstitutions("MS Sans Serif", {"Liberation Sans", "DejaVu Sans"});
    QFont font("MS Sans Serif");
    font.setPointSize(8);
    return font;
}

QFont statusFont() {
    QFont::insertSubstitutions("Tahoma", {"DejaVu Sans", "Liberation Sans"});
    QFont font("Tahoma");
    font.setPointSize(8);
    return font;
}

// An icon drawn from a symbol of the window's font, for commands the style has no icon for.
QIcon glyphIcon(const QString& symbol) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    QFont font("DejaVu Sans");
    font.setPixelSize(14);
    painter.setFont(font);
    // Navy on the default palette; lighter where the window is dark.
    painter.setPen(readableOn(QColor(40, 40, 90), QApplication::palette().color(QPalette::Window)));
    painter.drawText(pixmap.rect(), Qt::AlignCenter, symbol);
    return QIcon(pixmap);
}

template <typename T> T* named(T* object, const QString& name) {
    object->setObjectName(name);
    return object;
}

QToolButton* speedButton(QWidget* parent, const QString& name, const QString& hint,
                         QStyle::StandardPixmap glyph, int left) {
    auto* button = named(new QToolButton(parent), name);
    button->setAutoRaise(true);
    button->setIcon(parent->style()->standardIcon(glyph));
    button->setIconSize(QSize(14, 14));
    button->setToolTip(hint);
    button->setAccessibleName(hint);
    button->setGeometry(left, 2, 20, 17);
    return button;
}

} // namespace

TfmMain::TfmMain(QWidget* parent) : QMainWindow(parent) {
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

QWidget* TfmMain::createTagSpeedBar(int version, QToolButton*& save, QToolButton*& remove,
                                    QToolButton*& undo, QToolButton*& clear, QLabel*& versionLabel,
                                    QLabel*& image) {
    const QString v = QString::number(version);
    auto* bar = new QFrame;
    bar->setObjectName("SpeedBar_ID3v" + v);
    bar->setFrameStyle(QFrame::Panel | QFrame::Raised);
    bar->setFixedHeight(kSpeedBarHeight);
    save = speedButton(bar, "btID3v" + v + "_Save", "Save", QStyle::SP_DialogSaveButton, 2);
    remove =
        speedButton(bar, "btID3v" + v + "_Remove", "Remove", QStyle::SP_DialogDiscardButton, 23);
    undo = speedButton(bar, "btID3v" + v + "_Undo", "Undo", QStyle::SP_ArrowBack, 43);
    clear = speedButton(bar, "btClearID3v" + v, "Clear", QStyle::SP_DialogResetButton, 64);

    auto* right = new QHBoxLayout(bar);
    right->setContentsMargins(86, 0, 2, 0);
    right->setSpacing(4);
    versionLabel = named(new QLabel(bar), "laID3v" + v + "Ver");
    versionLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    versionLabel->setText(version == 1 ? "v 1.0" : "v 2.0");
    // Room for "v 2.3" and no more, so the bar never grows past the pane and the
    // drag image at its right end stays in view.
    versionLabel->setFixedWidth(40);
    image = named(new DragImage(bar), "imID3v" + v);
    image->setPixmap(bar->style()->standardIcon(QStyle::SP_FileDialogDetailedView).pixmap(16, 16));
    image->setFixedSize(16, 16);
    image->setToolTip("Copy / Merge");
    image->setAccessibleName("Copy / Merge");
    image->setCursor(Qt::OpenHandCursor);
    right->addStretch(1);
    right->addWidget(versionLabel);
    right->addWidget(image);
    return bar;
}

void TfmMain::createInspector() {
    auto* layout = new QVBoxLayout(pnInspector);
    layout->setContentsMargins(0, 0, 0, 0);
    smMPEG = named(new BandContainer(pnInspector), "smMPEG");
    layout->addWidget(smMPEG);

    auto tagBand = [](QWidget* speedBar, InspectorGrid* grid) {
        auto* content = new QWidget;
        auto* box = new QVBoxLayout(content);
        box->setContentsMargins(0, 0, 0, 0);
        box->setSpacing(0);
        box->addWidget(speedBar);
        box->addWidget(grid, 1);
        return content;
    };

    SpeedBar_ID3v1 = createTagSpeedBar(1, btID3v1_Save, btID3v1_Remove, btID3v1_Undo, btClearID3v1,
                                       laID3v1Ver, imID3v1);
    createID3v1Grid();
    smbID3v1 =
        named(smMPEG->addBand("ID3v1 Tag", 131, tagBand(SpeedBar_ID3v1, iID3v1)), "smbID3v1");
    chExistsID3v1 = named(new QCheckBox, "chExistsID3v1");
    chExistsID3v1->setAccessibleName("ID3v1 tag present");
    smbID3v1->setCaptionCheckBox(chExistsID3v1);

    SpeedBar_ID3v2 = createTagSpeedBar(2, btID3v2_Save, btID3v2_Remove, btID3v2_Undo, btClearID3v2,
                                       laID3v2Ver, imID3v2);
    createID3v2Grid();
    smbID3v2 =
        named(smMPEG->addBand("ID3v2 Tag", 199, tagBand(SpeedBar_ID3v2, iID3v2)), "smbID3v2");
    chExistsID3v2 = named(new QCheckBox, "chExistsID3v2");
    chExistsID3v2->setAccessibleName("ID3v2 tag present");
    smbID3v2->setCaptionCheckBox(chExistsID3v2);

    createMpegGrid();
    smbMPEG = named(smMPEG->addBand("MPEG Info", 246, iMpeg), "smbMPEG");

    dfID3v1 = named(new DropFilesTarget(iID3v1), "dfID3v1");
    dfID3v2 = named(new DropFilesTarget(iID3v2), "dfID3v2");
    const auto opener = [](const QString& address) { shellServices().open(address); };
    iID3v2->setLinkOpener(opener);
}

void TfmMain::createID3v1Grid() {
    iID3v1 = named(new InspectorGrid, "iID3v1");
    iID3v1->setAccessibleName("ID3v1 Tag");
    iID3v1->setTag(1);
    iID3v1->setDividerPosition(94);
    using Kind = InspectorRow::Kind;
    iID3v1_Title = addFieldRow(iID3v1, ID3v1Fields(), "iID3v1_Title");
    iID3v1_Artist = addFieldRow(iID3v1, ID3v1Fields(), "iID3v1_Artist");
    iID3v1_Album = addFieldRow(iID3v1, ID3v1Fields(), "iID3v1_Album");
    iID3v1_Year = addFieldRow(iID3v1, ID3v1Fields(), "iID3v1_Year");
    iID3v1_Year->setAlignment(Qt::AlignCenter);
    iID3v1_Track = addFieldRow(iID3v1, ID3v1Fields(), "iID3v1_Track");
    iID3v1_Track->setAlignment(Qt::AlignCenter);
    iID3v1_Comment = addFieldRow(iID3v1, ID3v1Fields(), "iID3v1_Comment");
    iID3v1_xYG = iID3v1->addRow("iID3v1_xYG", QString(), Kind::Composite);
    iID3v1_xCT = iID3v1->addRow("iID3v1_xCT", QString(), Kind::Composite);
    iID3v1_Genre = addFieldRow(iID3v1, ID3v1Fields(), "iID3v1_Genre");
    iID3v1_xYG->addMember(iID3v1_Year, 30);
    iID3v1_xYG->addMember(iID3v1_Genre, 72);
    iID3v1_xCT->addMember(iID3v1_Album, 72);
    iID3v1_xCT->addMember(iID3v1_Track, 18, 18, QStringLiteral("000"));
    iID3v1->setShownOrder({iID3v1_Title, iID3v1_Artist, iID3v1_xCT, iID3v1_xYG, iID3v1_Comment});
}

void TfmMain::createID3v2Grid() {
    iID3v2 = named(new InspectorGrid, "iID3v2");
    iID3v2->setAccessibleName("ID3v2 Tag");
    iID3v2->setTag(2);
    iID3v2->setDividerPosition(96);
    using Kind = InspectorRow::Kind;
    iID3v2_Title = addFieldRow(iID3v2, ID3v2Fields(), "iID3v2_Title");
    iID3v2_Artist = addFieldRow(iID3v2, ID3v2Fields(), "iID3v2_Artist");
    iID3v2_Album = addFieldRow(iID3v2, ID3v2Fields(), "iID3v2_Album");
    iID3v2_Year = addFieldRow(iID3v2, ID3v2Fields(), "iID3v2_Year");
    iID3v2_Year->setAlignment(Qt::AlignCenter);
    iID3v2_Track = addFieldRow(iID3v2, ID3v2Fields(), "iID3v2_Track");
    iID3v2_Comment = addFieldRow(iID3v2, ID3v2Fields(), "iID3v2_Comment");
    iID3v2_xYG = iID3v2->addRow("iID3v2_xYG", QString(), Kind::Composite);
    iID3v2_xCT = iID3v2->addRow("iID3v2_xCT", QString(), Kind::Composite);
    iID3v2_Genre = addFieldRow(iID3v2, ID3v2Fields(), "iID3v2_Genre");
    iID3v2_Composer = addFieldRow(iID3v2, ID3v2Fields(), "iID3v2_Composer");
    iID3v2_Encoder = addFieldRow(iID3v2, ID3v2Fields(), "iID3v2_Encoder");
    iID3v2_Copyright = addFieldRow(iID3v2, ID3v2Fields(), "iID3v2_Copyright");
    iID3v2_Language = addFieldRow(iID3v2, ID3v2Fields(), "iID3v2_Language");
    iID3v2_URL = addFieldRow(iID3v2, ID3v2Fields(), "iID3v2_URL");
    iID3v2_xCC = iID3v2->addRow("iID3v2_xCC", QString(), Kind::Composite);
    iID3v2_xYG->addMember(iID3v2_Year, 30);
    iID3v2_xYG->addMember(iID3v2_Genre, 72);
    iID3v2_xCT->addMember(iID3v2_Album, 72);
    iID3v2_xCT->addMember(iID3v2_Track, 20, 0, QStringLiteral("000"));
    iID3v2_xCC->addMember(iID3v2_Composer, 0);
    iID3v2_xCC->addMember(iID3v2_Copyright, 28);
    iID3v2->setShownOrder({iID3v2_Title, iID3v2_Artist, iID3v2_xCT, iID3v2_xYG, iID3v2_Comment,
                           iID3v2_xCC, iID3v2_Encoder, iID3v2_Language, iID3v2_URL});
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
    spID3v1Modified =
        named(StatusBar->addPane("ID3v1 Modified", 90, Qt::AlignCenter, glyph), "spID3v1Modified");
    spID3v2Modified =
        named(StatusBar->addPane("ID3v2 Modified", 90, Qt::AlignCenter, glyph), "spID3v2Modified");
    ProgressBar = named(StatusBar->addProgressBar(185), "ProgressBar");
    btGlobCancel = named(StatusBar->addFlatButton("Cancel", 50), "btGlobCancel");
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
    SetInspectorEditable(iID3v1, true);
    SetInspectorEditable(iID3v2, true);
    ShowID3v1();
    ShowID3v2();
    ShowMpegInfo();
}

namespace {

void fillRows(InspectorGrid* grid, const BandTexts& band) {
    for (const DisplayRow& text : band.rows) {
        if (InspectorRow* row = grid->row(text.name))
            row->setText(text.text);
    }
}

} // namespace

void TfmMain::ShowID3v1() {
    noteOwnWrite();
    const BandTexts band = ID3v1Texts(AudioFile->ID3v1Tag());
    if (!band.hasTag) {
        ClearInspector(iID3v1);
        return;
    }
    chExistsID3v1->setChecked(true);
    fillRows(iID3v1, band);
    laID3v1Ver->setText(band.versionLabel);
}

void TfmMain::ShowID3v2() {
    noteOwnWrite();
    const BandTexts band = ID3v2Texts(AudioFile->ID3v2Tag());
    if (!band.hasTag) {
        ClearInspector(iID3v2);
        return;
    }
    chExistsID3v2->setChecked(true);
    fillRows(iID3v2, band);
    laID3v2Ver->setText(band.versionLabel);
}

void TfmMain::ShowMpegInfo() {
    const BandTexts band = MpegTexts(*AudioFile, CurrentFile, QLocale::system());
    fillRows(iMpeg, band);
    iMpeg_VBR->setVisible(AudioFile->VBRData().Found);
}

void TfmMain::ClearFileInfo(bool makeReadOnly) {
    ClearInspector(iID3v1);
    ClearInspector(iID3v2);
    ClearInspector(iMpeg);
    if (makeReadOnly) {
        SetInspectorEditable(iID3v1, false);
        SetInspectorEditable(iID3v2, false);
    }
}

void TfmMain::ClearInspector(InspectorGrid* grid) {
    for (InspectorRow* row : grid->rows())
        row->setText(row->kind() == InspectorRow::Kind::Check ? row->uncheckedValue() : QString());
    if (grid == iID3v1) {
        chExistsID3v1->setChecked(false);
        SetID3v1Modified(false);
        laID3v1Ver->clear();
    } else if (grid == iID3v2) {
        chExistsID3v2->setChecked(false);
        SetID3v2Modified(false);
        laID3v2Ver->clear();
    }
}

void TfmMain::SetInspectorEditable(InspectorGrid* grid, bool editable) {
    for (InspectorRow* row : grid->rows())
        row->setReadOnly(!editable);
}

void TfmMain::SetID3v1Modified(bool value) {
    ID3v1Modified = value;
    UpdateModifiedPanes();
}

void TfmMain::SetID3v2Modified(bool value) {
    ID3v2Modified = value;
    UpdateModifiedPanes();
}

void TfmMain::UpdateModifiedPanes() {
    spID3v1Modified->setText(ID3v1Modified ? QStringLiteral("ID3v1 Modified") : QString());
    spID3v2Modified->setText(ID3v2Modified ? QStringLiteral("ID3v2 Modified") : QString());
}

void TfmMain::iID3v1EditChange() {
    SetID3v1Modified(true);
}

void TfmMain::iID3v2EditChange() {
    SetID3v2Modified(true);
}
