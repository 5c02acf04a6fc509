#include "app/TagPane.h"

#include "app/BandGrid.h"
#include "app/ErrorGuard.h"
#include "app/FailureText.h"
#include "app/TagDialogs.h"
#include "display/BandRows.h"
#include "display/DisplayTexts.h"
#include "display/NameRules.h"
#include "display/TagFields.h"
#include "mpeg/MPEGaudio.h"
#include "shell/DialogService.h"
#include "shell/FileName.h"
#include "shell/ShellServices.h"
#include "tags/ID3v2.h"
#include "tags/TagText.h"
#include "ui/Band.h"
#include "ui/BandContainer.h"
#include "ui/DragImage.h"
#include "ui/DropFilesTarget.h"
#include "ui/InspectorGrid.h"
#include "ui/StatusBar.h"
#include "ui/StatusPane.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <optional>
#include <type_traits>
#include <utility>
#include <vector>

namespace quillon {

namespace {

const QString kWriteQuestion = QStringLiteral("Do you want to write ID3 v.%1 tag to \"%2\"?");
const QString kRemoveQuestion = QStringLiteral("Do you want to remove ID3 tag from \"%1\"?");
const QString kUndoQuestion = QStringLiteral("Do you want to undo changes in ID3 tag?");
const QString kClearQuestion = QStringLiteral("Do you want to clear tag?");
const QString kWriteWarning = QStringLiteral("Error writing ID3 tag to \"%1\"");
const QString kRemoveWarning = QStringLiteral("Error removing ID3 tag from \"%1\"");
const QString kFillQuestion = QStringLiteral("Fill tag from file \"%1\"?");
const QString kSeparator = QStringLiteral(" - ");
const QString kStoredHead =
    QStringLiteral("The ID3 v.%1 tag cannot hold these fields as typed. It will store:");
const QString kStoredLine = QStringLiteral("%1: \"%2\"");
const QString kStoredTail = QStringLiteral("Save the tag?");

constexpr int kSpeedBarHeight = 21;
constexpr int kMaxTitle = 255;

QString fromView(std::string_view text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

QToolButton* speedButton(QWidget* parent, const QString& name, const QString& hint,
                         QStyle::StandardPixmap glyph, int left) {
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setAutoRaise(true);
    button->setIcon(parent->style()->standardIcon(glyph));
    button->setIconSize(QSize(14, 14));
    button->setToolTip(hint);
    button->setAccessibleName(hint);
    button->setGeometry(left, 2, 20, 17);
    return button;
}

} // namespace

struct TagPane::Field {
    std::string_view key;
    std::string_view row;
    std::string_view caption;
    FieldKind kind;
};

// What differs between the tag types, reached through the tag's field list: the one place
// that knows the tag object behind a pane.
class TagPane::Access {
public:
    virtual ~Access() = default;
    virtual const std::vector<Field>& fields() const = 0;
    virtual bool exists(TMPEGaudio& audio) const = 0;
    virtual BandTexts texts(TMPEGaudio& audio) const = 0;
    // Every field's row into the tag, in the field list's order, as the Save takes it; false
    // at a number the tag cannot hold, with the fields before it set.
    virtual bool takeRows(TMPEGaudio& audio, const InspectorGrid& grid) const = 0;
    // The fields whose rows the tag would store otherwise than typed, each caption with what
    // the tag will hold; none when a row would be refused, which the save reports instead.
    virtual QList<std::pair<QString, QString>> storedOtherwise(TMPEGaudio& audio,
                                                               const InspectorGrid& grid) const = 0;
    virtual bool save(TMPEGaudio& audio, const std::string& fileName) const = 0;
    virtual bool strip(TMPEGaudio& audio, const std::string& fileName) const = 0;
};

namespace {

template <class Tag> class TagAccess final : public TagPane::Access {
public:
    using TagOf = Tag& (*)(TMPEGaudio& audio);
    using TextsOf = BandTexts (*)(const Tag& tag);

    TagAccess(TagOf tagOf, const std::vector<TagField<Tag>>& fields, TextsOf textsOf)
        : m_tagOf(tagOf), m_fields(fields), m_textsOf(textsOf) {
        for (const TagField<Tag>& field : fields)
            m_paneFields.push_back({field.key, field.row, field.caption, field.kind});
    }

    const std::vector<TagPane::Field>& fields() const override { return m_paneFields; }
    bool exists(TMPEGaudio& audio) const override { return m_tagOf(audio).Exists(); }
    BandTexts texts(TMPEGaudio& audio) const override { return m_textsOf(m_tagOf(audio)); }

    bool takeRows(TMPEGaudio& audio, const InspectorGrid& grid) const override {
        return takeRows(m_tagOf(audio), grid);
    }

    QList<std::pair<QString, QString>> storedOtherwise(TMPEGaudio& audio,
                                                       const InspectorGrid& grid) const override {
        QList<std::pair<QString, QString>> fields;
        // ID3v2 holds any text; ID3v1 has 30 characters of Windows-1252 and no track total.
        if constexpr (std::is_same_v<Tag, TID3v1>) {
            Tag saved = m_tagOf(audio);
            if (!takeRows(saved, grid))
                return fields;
            for (const TagField<Tag>& field : m_fields) {
                if (const auto stored = id3v1StoredAs(field, typed(grid, field), saved.Track()))
                    fields.append({fromView(field.caption), QString::fromStdString(*stored)});
            }
        }
        return fields;
    }

    bool save(TMPEGaudio& audio, const std::string& fileName) const override {
        return m_tagOf(audio).Save(fileName);
    }
    bool strip(TMPEGaudio& audio, const std::string& fileName) const override {
        return m_tagOf(audio).Strip(fileName);
    }

private:
    static std::string typed(const InspectorGrid& grid, const TagField<Tag>& field) {
        return displayTextToTag(grid.row(fromView(field.row))->text());
    }
    // Every field's row into `tag`, in the field list's order; false at a row it refuses.
    bool takeRows(Tag& tag, const InspectorGrid& grid) const {
        for (const TagField<Tag>& field : m_fields) {
            if (!field.set(tag, typed(grid, field)))
                return false;
        }
        return true;
    }

    TagOf m_tagOf;
    const std::vector<TagField<Tag>>& m_fields;
    TextsOf m_textsOf;
    std::vector<TagPane::Field> m_paneFields;
};

} // namespace

namespace {

std::unique_ptr<TagPane::Access> accessOf(int version) {
    if (version == 1) {
        return std::make_unique<TagAccess<TID3v1>>(
            [](TMPEGaudio& audio) -> TID3v1& { return audio.ID3v1Tag(); }, ID3v1Fields(),
            ID3v1Texts);
    }
    return std::make_unique<TagAccess<TID3v2>>(
        [](TMPEGaudio& audio) -> TID3v2& { return audio.ID3v2Tag(); }, ID3v2Fields(), ID3v2Texts);
}

} // namespace

TagPane::TagPane(int version, Host& host)
    : m_version(version), m_access(accessOf(version)),
      m_band(version == 1 ? ID3v1Band() : ID3v2Band()), m_host(host) {}

TagPane::~TagPane() = default;

// "btID3v1_Save" from "bt%1_Save".
QString TagPane::name(const char* part) const {
    return QString::fromLatin1(part).arg(QStringLiteral("ID3v%1").arg(m_version));
}

QWidget* TagPane::createSpeedBar() {
    auto* bar = new QFrame;
    bar->setObjectName(name("SpeedBar_%1"));
    bar->setFrameStyle(QFrame::Panel | QFrame::Raised);
    bar->setFixedHeight(kSpeedBarHeight);
    Widgets& w = m_widgets;
    w.speedBar = bar;
    w.save = speedButton(bar, name("bt%1_Save"), "Save", QStyle::SP_DialogSaveButton, 2);
    w.remove = speedButton(bar, name("bt%1_Remove"), "Remove", QStyle::SP_DialogDiscardButton, 23);
    w.undo = speedButton(bar, name("bt%1_Undo"), "Undo", QStyle::SP_ArrowBack, 43);
    w.clear = speedButton(bar, name("btClear%1"), "Clear", QStyle::SP_DialogResetButton, 64);

    auto* right = new QHBoxLayout(bar);
    right->setContentsMargins(86, 0, 2, 0);
    right->setSpacing(4);
    w.versionLabel = new QLabel(bar);
    w.versionLabel->setObjectName(name("la%1Ver"));
    w.versionLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    w.versionLabel->setText(QStringLiteral("v %1.0").arg(m_version));
    // Room for "v 2.3" and no more, so the bar never grows past the pane and the
    // drag image at its right end stays in view.
    w.versionLabel->setFixedWidth(40);
    w.image = new DragImage(bar);
    w.image->setObjectName(name("im%1"));
    w.image->setPixmap(
        bar->style()->standardIcon(QStyle::SP_FileDialogDetailedView).pixmap(16, 16));
    w.image->setFixedSize(16, 16);
    w.image->setToolTip("Copy / Merge");
    w.image->setAccessibleName("Copy / Merge");
    w.image->setCursor(Qt::OpenHandCursor);
    right->addStretch(1);
    right->addWidget(w.versionLabel);
    right->addWidget(w.image);
    return bar;
}

InspectorGrid* TagPane::createGrid() {
    InspectorGrid* grid = createBandGrid(m_band);
    m_widgets.grid = grid;
    grid->setTag(m_version);
    grid->setLinkOpener([](const QString& address) { shellServices().open(address); });
    QObject::connect(grid, &InspectorGrid::dialogEditRequested, grid,
                     [this](InspectorRow*) { editLyrics(); });
    return grid;
}

Band* TagPane::createBand(BandContainer* container, QWidget* besideRows) {
    auto* content = new QWidget;
    auto* box = new QVBoxLayout(content);
    box->setContentsMargins(0, 0, 0, 0);
    box->setSpacing(0);
    box->addWidget(m_widgets.speedBar);
    if (besideRows) {
        auto* line = new QHBoxLayout;
        line->setContentsMargins(0, 0, 0, 0);
        line->setSpacing(2);
        line->addWidget(m_widgets.grid, 1);
        line->addWidget(besideRows, 0, Qt::AlignTop);
        box->addLayout(line, 1);
    } else {
        box->addWidget(m_widgets.grid, 1);
    }
    m_widgets.band = container->addBand(fromView(m_band.caption), m_band.height, content);
    m_widgets.band->setObjectName(name("smb%1"));
    m_widgets.exists = new QCheckBox;
    m_widgets.exists->setObjectName(name("chExists%1"));
    m_widgets.exists->setAccessibleName(name("%1 tag present"));
    m_widgets.band->setCaptionCheckBox(m_widgets.exists);
    return m_widgets.band;
}

DropFilesTarget* TagPane::createDropTarget() {
    m_widgets.dropTarget = new DropFilesTarget(m_widgets.grid);
    m_widgets.dropTarget->setObjectName(name("df%1"));
    return m_widgets.dropTarget;
}

StatusPane* TagPane::createModifiedPane(StatusBar* bar, const QIcon& glyph) {
    m_widgets.modifiedPane = bar->addPane(name("%1 Modified"), 90, Qt::AlignCenter, glyph);
    m_widgets.modifiedPane->setObjectName(name("sp%1Modified"));
    return m_widgets.modifiedPane;
}

void TagPane::setModified(bool value) {
    m_modified = value;
    updateModifiedPane();
}

void TagPane::updateModifiedPane() {
    m_widgets.modifiedPane->setText(m_modified ? name("%1 Modified") : QString());
}

void TagPane::show(TMPEGaudio& audio) {
    m_editedLyrics.reset();
    const BandTexts band = m_access->texts(audio);
    if (!band.hasTag) {
        clear();
        return;
    }
    m_widgets.exists->setChecked(true);
    for (const DisplayRow& text : band.rows) {
        if (InspectorRow* row = m_widgets.grid->row(text.name))
            row->setText(text.text);
    }
    m_widgets.versionLabel->setText(band.versionLabel);
}

void TagPane::clear() {
    m_editedLyrics.reset();
    for (InspectorRow* row : m_widgets.grid->rows())
        row->setText(row->kind() == InspectorRow::Kind::Check ? row->uncheckedValue() : QString());
    m_widgets.exists->setChecked(false);
    setModified(false);
    m_widgets.versionLabel->clear();
}

void TagPane::setEditable(bool editable) {
    for (InspectorRow* row : m_widgets.grid->rows())
        row->setReadOnly(!editable);
}

TagPane::Outcome TagPane::save() {
    if (!m_modified)
        return Outcome::Unchanged;
    if (!m_host.mayWriteLoadedFile())
        return Outcome::KeptUnsaved;
    const QString file = m_host.currentFile();
    if (!m_host.confirmed(Confirmation::SaveTag,
                          kWriteQuestion.arg(QString::number(m_version), displayFileName(file))))
        return undo();
    m_widgets.grid->endEdit(true);
    TMPEGaudio& audio = m_host.audioFile();
    if (!acceptsWhatIsStored(audio))
        return Outcome::KeptUnsaved;
    if (!m_access->takeRows(audio, *m_widgets.grid)) {
        QuillonApplication::reportError(QString::fromLatin1(kRangeCheckError));
        return Outcome::Invalid;
    }
    if (m_editedLyrics)
        audio.ID3v2Tag().SetLyrics(*m_editedLyrics);
    if (!m_access->save(audio, nativePath(file))) {
        dialogs().warning(withTagWriteReason(kWriteWarning.arg(displayFileName(file))));
        return Outcome::Failed;
    }
    m_host.reloadPane(*this);
    return Outcome::Written;
}

// Asked whatever the switches say: otherwise the user would learn what was lost only from the
// pane shown again after the write.
bool TagPane::acceptsWhatIsStored(TMPEGaudio& audio) const {
    const QList<std::pair<QString, QString>> fields =
        m_access->storedOtherwise(audio, *m_widgets.grid);
    if (fields.isEmpty())
        return true;
    QStringList lines{kStoredHead.arg(m_version)};
    for (const auto& [caption, stored] : fields)
        lines.append(kStoredLine.arg(caption, stored));
    lines.append(kStoredTail);
    return dialogs().confirm(lines.join(QLatin1Char('\n')));
}

TagPane::Outcome TagPane::remove() {
    TMPEGaudio& audio = m_host.audioFile();
    if (!m_access->exists(audio) || !m_host.mayWriteLoadedFile())
        return Outcome::Unchanged;
    const QString file = m_host.currentFile();
    if (!m_host.confirmed(Confirmation::RemoveTag, kRemoveQuestion.arg(displayFileName(file))))
        return Outcome::Unchanged;
    if (!m_access->strip(audio, nativePath(file))) {
        dialogs().warning(withTagWriteReason(kRemoveWarning.arg(displayFileName(file))));
        return Outcome::Failed;
    }
    m_host.reloadPane(*this);
    return Outcome::Written;
}

TagPane::Outcome TagPane::undo() {
    if (!m_modified)
        return Outcome::Unchanged;
    if (!m_host.confirmed(Confirmation::UndoTag, kUndoQuestion))
        return Outcome::KeptUnsaved;
    m_widgets.grid->endEdit(false);
    m_host.reloadPane(*this);
    return Outcome::Reverted;
}

TagPane::Outcome TagPane::clearRows() {
    InspectorGrid* grid = m_widgets.grid;
    // With no file shown the pane is read-only: a cleared, modified pane would
    // make the next list click write an empty tag into the last file loaded,
    // which may not even be an audio file.
    if (grid->row(0)->isReadOnly())
        return Outcome::Unchanged;
    if (!m_host.confirmed(Confirmation::ClearTag, kClearQuestion))
        return Outcome::Unchanged;
    for (int i = 0; i < grid->rowCount(); ++i)
        grid->row(i)->setText(QString());
    if (m_version == 2) {
        // Empty lyrics remove their frame.
        TLyrics cleared = m_editedLyrics ? *m_editedLyrics : m_host.audioFile().ID3v2Tag().Lyrics();
        cleared.text.clear();
        m_editedLyrics = std::make_unique<TLyrics>(std::move(cleared));
    }
    setModified(true);
    return Outcome::Edited;
}

void TagPane::editLyrics() {
    InspectorRow* row = m_widgets.grid->row(QStringLiteral("iID3v2_Lyrics"));
    if (m_version != 2 || !row || row->isReadOnly())
        return;
    const TLyrics shown = m_editedLyrics ? *m_editedLyrics : m_host.audioFile().ID3v2Tag().Lyrics();
    auto* dialog = new LyricsDialog(shown, m_widgets.grid->window());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(dialog, &QDialog::accepted, m_widgets.grid, [this, dialog, row] {
        TLyrics edited = dialog->lyrics();
        if (!m_editedLyrics && edited == m_host.audioFile().ID3v2Tag().Lyrics())
            return;
        row->setText(firstLineOf(edited.text));
        m_editedLyrics = std::make_unique<TLyrics>(std::move(edited));
        setModified(true);
    });
    dialog->open();
}

InspectorRow* TagPane::fieldRow(std::string_view key) const {
    for (const Field& field : m_access->fields()) {
        if (field.key == key)
            return m_widgets.grid->row(fromView(field.row));
    }
    return nullptr;
}

// Texts move as they stand; conversions to the tag's limits wait for the pane's Save.
void TagPane::copyFrom(const TagPane& other, bool merge) {
    for (const Field& field : m_access->fields()) {
        // The ID3v1 genre is a name from the genre table: a copy from the other pane leaves it.
        if (field.kind == FieldKind::Genre && m_version == 1)
            continue;
        const InspectorRow* from = other.fieldRow(field.key);
        if (!from)
            continue;
        InspectorRow* to = m_widgets.grid->row(fromView(field.row));
        if (!merge || to->text().isEmpty())
            to->setText(from->text());
    }
    setModified(true);
}

// The name is split at its first " - ", untrimmed; a name without one asks nothing.
void TagPane::fillFromFileName(const QString& file) {
    const QString name = baseNameOf(tagTextOfName(fileNameOf(file)));
    const qsizetype separator = name.indexOf(kSeparator);
    if (separator < 0 ||
        !m_host.confirmed(Confirmation::FillTagFromFile, kFillQuestion.arg(displayFileName(file))))
        return;
    fieldRow("artist")->setText(name.left(separator));
    fieldRow("title")->setText(name.mid(separator + kSeparator.size(), kMaxTitle));
    setModified(true);
}

} // namespace quillon
