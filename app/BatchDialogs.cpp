#include "app/BatchDialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

namespace quillon {

namespace {

QDialogButtonBox* okCancel(QDialog* dialog) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    buttons->setObjectName("buttons");
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

} // namespace

TagBoxes::TagBoxes(QWidget* parent, bool id3v1, bool id3v2) : m_widget(new QWidget(parent)) {
    auto* layout = new QHBoxLayout(m_widget);
    layout->setContentsMargins(0, 0, 0, 0);
    const bool on[] = {id3v1, id3v2};
    for (int v = 1; v <= 2; ++v) {
        m_boxes[v - 1] = new QCheckBox(QStringLiteral("ID3v%1").arg(v), m_widget);
        m_boxes[v - 1]->setObjectName(QStringLiteral("chID3v%1").arg(v));
        m_boxes[v - 1]->setChecked(on[v - 1]);
        layout->addWidget(m_boxes[v - 1]);
    }
    layout->addStretch();
}

bool TagBoxes::id3v1() const {
    return m_boxes[0]->isChecked();
}

bool TagBoxes::id3v2() const {
    return m_boxes[1]->isChecked();
}

const QString EditFilesDialog::DifferentValues = QStringLiteral("(different values)");

EditFilesDialog::EditFilesDialog(QWidget* parent, const std::vector<DialogField> (&fields)[2],
                                 const std::vector<FieldValues> (&values)[2])
    : QDialog(parent), m_tags(this, true, true) {
    setObjectName("dlgEditSelectedFiles");
    setWindowTitle("Edit Selected Files");
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    layout->addLayout(grid);
    // One line per field of either tag, in the order the tags list them; ID3v2 has them all.
    QStringList keys;
    QStringList captions;
    for (const auto& tagFields : fields) {
        for (const DialogField& field : tagFields) {
            if (!keys.contains(field.key)) {
                keys << field.key;
                captions << field.caption;
            }
        }
    }
    for (int v = 1; v <= 2; ++v)
        grid->addWidget(m_tags.box(v), 0, v);
    m_tags.widget()->hide(); // its boxes head the columns instead
    for (int line = 0; line < keys.size(); ++line)
        grid->addWidget(new QLabel(captions[line], this), line + 1, 0);
    for (int v = 1; v <= 2; ++v) {
        for (const DialogField& field : fields[v - 1]) {
            Entry entry{new QLineEdit(this), field.key, true, QString()};
            entry.edit->setObjectName(QStringLiteral("edID3v%1_%2").arg(v).arg(field.key));
            const std::vector<FieldValues>& files = values[v - 1];
            if (!files.empty())
                entry.value = files.front().value(field.key);
            for (const FieldValues& file : files)
                entry.shared = entry.shared && file.value(field.key) == entry.value;
            if (entry.shared)
                entry.edit->setText(entry.value);
            else
                entry.edit->setPlaceholderText(DifferentValues);
            grid->addWidget(entry.edit, int(keys.indexOf(field.key)) + 1, v);
            connect(m_tags.box(v), &QCheckBox::toggled, entry.edit, &QWidget::setEnabled);
            m_entries[v - 1].push_back(entry);
        }
    }
    layout->addWidget(okCancel(this));
}

std::optional<FieldValues> EditFilesDialog::changes(int version) const {
    if (!m_tags.box(version)->isChecked())
        return std::nullopt;
    FieldValues changed;
    for (const Entry& entry : m_entries[version - 1]) {
        // Only what the user typed counts: a field of different values left as it is keeps
        // each file's own value.
        if (!entry.edit->isModified())
            continue;
        if (!entry.shared || entry.edit->text() != entry.value)
            changed.insert(entry.key, entry.edit->text());
    }
    return changed;
}

QLineEdit* EditFilesDialog::edit(int version, const QString& key) const {
    for (const Entry& entry : m_entries[version - 1]) {
        if (entry.key == key)
            return entry.edit;
    }
    return nullptr;
}

PatternDialog::PatternDialog(QWidget* parent, const QString& title, const QStringList& recent,
                             const QStringList& placeholders, bool choosesTags, Previewer previewer)
    : QDialog(parent), m_pattern(new QComboBox(this)), m_preview(new QTableWidget(this)),
      m_status(new QLabel(this)), m_buttons(okCancel(this)), m_previewer(std::move(previewer)) {
    setWindowTitle(title);
    resize(640, 420);
    auto* layout = new QVBoxLayout(this);
    m_pattern->setObjectName("bcPattern");
    m_pattern->setEditable(true);
    m_pattern->setInsertPolicy(QComboBox::NoInsert);
    m_pattern->addItems(recent);
    auto* form = new QFormLayout;
    form->addRow("&Pattern:", m_pattern);
    auto* legend = new QLabel(placeholders.join(QLatin1Char(' ')), this);
    legend->setWordWrap(true);
    legend->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addRow("Placeholders:", legend);
    if (choosesTags) {
        m_tags.emplace(this, false, true);
        form->addRow("Tags:", m_tags->widget());
    }
    layout->addLayout(form);
    m_preview->setObjectName("tvPreview");
    m_preview->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_preview->setSelectionMode(QAbstractItemView::NoSelection);
    m_preview->verticalHeader()->hide();
    m_preview->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(m_preview, 1);
    m_status->setObjectName("laPreviewStatus");
    layout->addWidget(m_status);
    layout->addWidget(m_buttons);
    connect(m_pattern, &QComboBox::editTextChanged, this, [this] { updatePreview(); });
    if (m_tags) {
        for (int v = 1; v <= 2; ++v)
            connect(m_tags->box(v), &QCheckBox::toggled, this, [this] { updatePreview(); });
    }
    updatePreview();
}

QString PatternDialog::pattern() const {
    return m_pattern->currentText();
}

bool PatternDialog::id3v1() const {
    return m_tags && m_tags->id3v1();
}

bool PatternDialog::id3v2() const {
    return m_tags && m_tags->id3v2();
}

void PatternDialog::updatePreview() {
    const Preview preview = pattern().isEmpty() ? Preview{QStringLiteral("Type a pattern."), {}, {}}
                                                : m_previewer(pattern(), id3v1(), id3v2());
    m_preview->clear();
    m_preview->setColumnCount(int(preview.headers.size()) + 1);
    m_preview->setHorizontalHeaderLabels(preview.headers + QStringList{QStringLiteral("Note")});
    m_preview->setRowCount(int(preview.rows.size()));
    int skipped = 0;
    int blocking = 0;
    for (int r = 0; r < int(preview.rows.size()); ++r) {
        const PreviewRow& row = preview.rows[std::size_t(r)];
        for (int c = 0; c < row.cells.size(); ++c)
            m_preview->setItem(r, c, new QTableWidgetItem(row.cells[c]));
        auto* note = new QTableWidgetItem(row.note);
        if (row.blocks)
            note->setForeground(Qt::red);
        m_preview->setItem(r, int(preview.headers.size()), note);
        skipped += !row.note.isEmpty() && !row.blocks;
        blocking += row.blocks;
    }
    m_preview->resizeColumnsToContents();
    const bool noTags = m_tags && !m_tags->id3v1() && !m_tags->id3v2();
    QString status = preview.error;
    if (status.isEmpty() && blocking)
        status = QStringLiteral("%1 file(s) would collide: nothing is renamed.").arg(blocking);
    else if (status.isEmpty() && noTags)
        status = QStringLiteral("Choose a tag to fill.");
    else if (status.isEmpty() && skipped)
        status = QStringLiteral("%1 file(s) are skipped.").arg(skipped);
    m_status->setText(status);
    m_buttons->button(QDialogButtonBox::Ok)
        ->setEnabled(preview.error.isEmpty() && blocking == 0 && !noTags &&
                     int(preview.rows.size()) > skipped);
}

NumberTracksDialog::NumberTracksDialog(QWidget* parent, int files)
    : QDialog(parent), m_start(new QSpinBox(this)),
      m_total(new QCheckBox(QStringLiteral("With the &total (\"3/%1\")").arg(files), this)),
      m_tags(this, true, true) {
    setObjectName("dlgNumberTracks");
    setWindowTitle("Number Tracks");
    auto* layout = new QFormLayout(this);
    m_start->setObjectName("sbStart");
    m_start->setRange(0, 9999);
    m_start->setValue(1);
    layout->addRow("&Start at:", m_start);
    m_total->setObjectName("chTotal");
    layout->addRow(m_total);
    layout->addRow("Tags:", m_tags.widget());
    layout->addRow(new QLabel(QStringLiteral("%1 file(s), in the list's order.").arg(files), this));
    layout->addRow(okCancel(this));
}

int NumberTracksDialog::start() const {
    return m_start->value();
}

bool NumberTracksDialog::withTotal() const {
    return m_total->isChecked();
}

bool NumberTracksDialog::id3v1() const {
    return m_tags.id3v1();
}

bool NumberTracksDialog::id3v2() const {
    return m_tags.id3v2();
}

} // namespace quillon
