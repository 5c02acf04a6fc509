// The Tags menu's commands on the selected files, through the real list, dialogs, progress bar
// and Cancel button, on real files: Edit Selected Files, the two pattern commands with their
// preview, Number Tracks cancelled midway, and Undo Last Batch.
#include "app/Main.h"
#include "support/FakeDialogs.h"
#include "tags/ID3v2.h"
#include "tests/support/MainWindowDriver.h"
#include "tests/support/TagBytes.h"
#include "tests/support/TestFiles.h"
#include "ui/SegmentProgressBar.h"
#include "ui/ShellListView.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <cstring>
#include <map>
#include <optional>

using namespace quillon;

static void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace {

using Kind = DialogService::Kind;

constexpr int Patience = 20000; // ms; CI machines are slow, sanitizers slower
constexpr std::size_t kAudioSize = 20000;

// The frames of the ID3v2 tag at the start of a file, by id, with their data.
std::map<std::string, std::string> framesOf(const Bytes& file) {
    std::map<std::string, std::string> frames;
    if (file.size() < 10 || std::memcmp(file.data(), "ID3", 3) != 0)
        return frames;
    const std::size_t extent = 10 + (std::size_t(file[6]) << 21 | std::size_t(file[7]) << 14 |
                                     std::size_t(file[8]) << 7 | std::size_t(file[9]));
    const bool syncsafe = file[3] == 4;
    std::size_t pos = 10;
    while (pos + 10 <= extent && file[pos] != 0) {
        const std::size_t length =
            syncsafe ? (std::size_t(file[pos + 4]) << 21 | std::size_t(file[pos + 5]) << 14 |
                        std::size_t(file[pos + 6]) << 7 | std::size_t(file[pos + 7]))
                     : (std::size_t(file[pos + 4]) << 24 | std::size_t(file[pos + 5]) << 16 |
                        std::size_t(file[pos + 6]) << 8 | std::size_t(file[pos + 7]));
        frames[std::string(file.begin() + std::ptrdiff_t(pos),
                           file.begin() + std::ptrdiff_t(pos + 4))] =
            std::string(file.begin() + std::ptrdiff_t(pos + 10),
                        file.begin() + std::ptrdiff_t(pos + 10 + length));
        pos += 10 + length;
    }
    return frames;
}

// Text frame data as written for plain text: encoding byte 0, then the text.
std::string latin(const std::string& text) {
    return std::string(1, '\0') + text;
}

Bytes lastBlock(const Bytes& file) {
    return Bytes(file.end() - 128, file.end());
}

// The audio between the tags.
Bytes audioOf(const Bytes& file, std::size_t id3v1Size = 128) {
    return Bytes(file.end() - std::ptrdiff_t(kAudioSize + id3v1Size),
                 file.end() - std::ptrdiff_t(id3v1Size));
}

class BatchCommandsTest : public ::testing::Test {
protected:
    FakeDialogs dialogs;
    TestDir dir;
    TfmMain window;
    MainWindowDriver ui{window};

    void SetUp() override {
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    QString path(const std::string& name) const { return QString::fromStdString(dir.file(name)); }
    // A file with an ID3v2.3 tag of these text frames and a private frame, and an ID3v1 tag.
    std::string mp3(const std::string& name,
                    std::initializer_list<std::pair<const char*, std::string>> frames,
                    const ID3v1Values& id3v1 = {"v1 title", "v1 artist"}) {
        Bytes body;
        for (const auto& [id, text] : frames)
            append(body, id3v2TextFrame(3, id, text));
        append(body, id3v2Frame(3, "PRIV", std::string("owner\0data", 10)));
        return dir.createFile(name,
                              concat({id3v2Tag(3, body), cbrFrames(kAudioSize), id3v1Tag(id3v1)}));
    }
    // Selects the files in the list, the first in the list's order loaded as by a click.
    void select(const QStringList& names) {
        QStringList paths;
        for (const QString& name : names)
            paths << path(name.toStdString());
        window.openPaths(paths);
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                return ui.find<ShellListView>("ShellList")->selectedCount() == names.size() &&
                       paths.contains(window.CurrentFile);
            },
            Patience));
    }
    template <class T = QDialog> T* dialog(const QString& name) {
        T* found = nullptr;
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return (found = window.findChild<T*>(name)) && found->isVisible(); }, Patience))
            << name.toStdString();
        return found;
    }
    void ok(QDialog* dialog) {
        QPushButton* button =
            dialog->findChild<QDialogButtonBox*>("buttons")->button(QDialogButtonBox::Ok);
        ASSERT_TRUE(button->isEnabled());
        QTest::mouseClick(button, Qt::LeftButton);
    }
    // The summary at the end of the batch, once the list has read the files again.
    QString summary() {
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return dialogs.count(Kind::Information) > 0; }, Patience));
        EXPECT_TRUE(QTest::qWaitFor([&] { return ui.find<ShellListView>("ShellList")->isFilled(); },
                                    Patience));
        const QStringList texts = dialogs.texts(Kind::Information);
        dialogs.boxes.clear();
        return texts.isEmpty() ? QString() : texts.back();
    }
    void typeInto(QLineEdit* edit, const QString& text) {
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }
    QStringList previewRow(QTableWidget* table, int row) {
        QStringList cells;
        for (int c = 0; c < table->columnCount(); ++c)
            cells << (table->item(row, c) ? table->item(row, c)->text() : QString());
        return cells;
    }
};

TEST_F(BatchCommandsTest, EditSelectedFilesWritesOnlyTheTypedFieldAndKeepsTheRest) {
    const std::string names[] = {"a.mp3", "b.mp3", "c.mp3"};
    std::vector<Bytes> before;
    for (int i = 0; i < 3; ++i) {
        const std::string n = std::to_string(i);
        before.push_back(readFile(mp3(names[i], {{"TIT2", "Title " + n},
                                                 {"TPE1", "Artist"},
                                                 {"TALB", "Old album"},
                                                 {"TCOM", "Composer " + n}})));
    }
    select({"a.mp3", "b.mp3", "c.mp3"});
    ui.action("bbEditSelectedFiles")->trigger();
    QDialog* edit = dialog("dlgEditSelectedFiles");
    ASSERT_TRUE(edit);
    const auto field = [&](const char* name) { return edit->findChild<QLineEdit*>(name); };
    // Shared values are shown; the others stand empty under the placeholder.
    EXPECT_EQ(field("edID3v2_artist")->text(), "Artist");
    EXPECT_EQ(field("edID3v2_album")->text(), "Old album");
    EXPECT_EQ(field("edID3v2_title")->text(), "");
    EXPECT_EQ(field("edID3v2_title")->placeholderText(), "(different values)");
    EXPECT_EQ(field("edID3v2_composer")->placeholderText(), "(different values)");
    EXPECT_EQ(field("edID3v1_title")->text(), "v1 title");
    // Changed only in the dialog, then put back: not a change.
    typeInto(field("edID3v2_artist"), "Other");
    typeInto(field("edID3v2_artist"), "Artist");
    typeInto(field("edID3v2_album"), "New album");
    typeInto(field("edID3v1_album"), "v1 album");
    edit->findChild<QCheckBox*>("chID3v1")->setChecked(false); // ID3v1 is not written
    ok(edit);
    EXPECT_EQ(summary(), "3 file(s) written, 0 failed.");

    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(names[i]);
        const Bytes after = readFile(dir.file(names[i]));
        auto frames = framesOf(after);
        EXPECT_EQ(frames["TALB"], latin("New album"));
        EXPECT_EQ(frames["TIT2"], latin("Title " + std::to_string(i)));
        EXPECT_EQ(frames["TCOM"], latin("Composer " + std::to_string(i)));
        EXPECT_EQ(frames["TPE1"], latin("Artist"));
        EXPECT_EQ(frames["PRIV"], std::string("owner\0data", 10));
        EXPECT_EQ(frames.size(), 5u);
        EXPECT_EQ(lastBlock(after), lastBlock(before[std::size_t(i)]));
        EXPECT_EQ(audioOf(after), audioOf(before[std::size_t(i)]));
    }
    // The panes show the current file as it now is, unmodified.
    EXPECT_EQ(ui.row("iID3v2_Album")->text(), "New album");
    EXPECT_FALSE(window.ID3v2Modified());
}

// Edits of the file in the panes go to it before the batch, and afterwards the panes hold the
// file as the batch left it: a later save neither asks about a changed file nor undoes the batch.
TEST_F(BatchCommandsTest, PendingEditsAreSavedFirstAndThePanesFollowTheBatch) {
    mp3("a.mp3", {{"TIT2", "Old"}, {"TALB", "Old album"}});
    mp3("b.mp3", {{"TIT2", "Other"}});
    select({"a.mp3", "b.mp3"});
    ui.row("iID3v2_Title")->setText("Typed");
    window.SetID3v2Modified(true);
    ui.action("bbEditSelectedFiles")->trigger();
    QDialog* edit = dialog("dlgEditSelectedFiles");
    ASSERT_TRUE(edit);
    typeInto(edit->findChild<QLineEdit*>("edID3v2_album"), "Both");
    ok(edit);
    EXPECT_EQ(dialogs.count(Kind::Confirm), 1) << "the save's question";
    EXPECT_EQ(summary(), "2 file(s) written, 0 failed.");
    auto frames = framesOf(readFile(dir.file("a.mp3")));
    EXPECT_EQ(frames["TIT2"], latin("Typed"));
    EXPECT_EQ(frames["TALB"], latin("Both"));
    EXPECT_EQ(ui.row("iID3v2_Title")->text(), "Typed");
    EXPECT_EQ(ui.row("iID3v2_Album")->text(), "Both");
    EXPECT_FALSE(window.ID3v2Modified());

    ui.row("iID3v2_Comment")->setText("Later");
    window.SetID3v2Modified(true);
    QTest::mouseClick(ui.find<QAbstractButton>("btID3v2_Save"), Qt::LeftButton);
    EXPECT_EQ(dialogs.count(Kind::ConfirmDefaultNo), 0);
    frames = framesOf(readFile(dir.file("a.mp3")));
    EXPECT_EQ(frames["TALB"], latin("Both"));
    EXPECT_EQ(frames["TIT2"], latin("Typed"));
    EXPECT_FALSE(window.ID3v2Modified());
}

TEST_F(BatchCommandsTest, TagsFromFileNamesPreviewsEachFileAndSkipsTheOnesThatDoNotMatch) {
    mp3("Nina - Song.mp3", {{"TIT2", "old"}, {"TALB", "Kept"}});
    const Bytes plain = readFile(mp3("plain.mp3", {{"TIT2", "old"}}));
    mp3("Nick - Other - Tune.mp3", {});
    select({"Nina - Song.mp3", "Nick - Other - Tune.mp3", "plain.mp3"});
    ui.action("bbTagsFromFileNames")->trigger();
    QDialog* patternDialog = dialog("dlgTagsFromFileNames");
    ASSERT_TRUE(patternDialog);
    auto* pattern = patternDialog->findChild<QComboBox*>("bcPattern");
    auto* preview = patternDialog->findChild<QTableWidget*>("tvPreview");
    pattern->setEditText("%artist% - %title%");
    // In the list's order.
    ASSERT_EQ(preview->rowCount(), 3);
    const struct {
        QStringList cells; // file, artist, title
        bool skipped;
    } rows[] = {
        {{"Nick - Other - Tune.mp3", "Nick", "Other - Tune"}, false},
        {{"Nina - Song.mp3", "Nina", "Song"}, false},
        {{"plain.mp3", "", ""}, true},
    };
    for (int r = 0; r < 3; ++r) {
        SCOPED_TRACE(r);
        const QStringList cells = previewRow(preview, r);
        EXPECT_EQ(cells.mid(0, 3), rows[r].cells);
        EXPECT_EQ(cells.value(3).isEmpty(), !rows[r].skipped) << cells.value(3).toStdString();
    }
    // A pattern that cannot be used stops the command.
    pattern->setEditText("%artist%%title%");
    EXPECT_FALSE(patternDialog->findChild<QDialogButtonBox*>("buttons")
                     ->button(QDialogButtonBox::Ok)
                     ->isEnabled());
    pattern->setEditText("%artist% - %title%");
    ok(patternDialog);
    EXPECT_EQ(summary(), "2 file(s) written, 0 failed.");

    TID3v2 tag;
    ASSERT_TRUE(tag.Load(dir.file("Nina - Song.mp3")));
    EXPECT_EQ(tag.Artist(), "Nina");
    EXPECT_EQ(tag.Title(), "Song");
    EXPECT_EQ(tag.Album(), "Kept");
    ASSERT_TRUE(tag.Load(dir.file("Nick - Other - Tune.mp3")));
    EXPECT_EQ(tag.Title(), "Other - Tune");
    EXPECT_EQ(readFile(dir.file("plain.mp3")), plain);

    // The pattern comes first among the recent ones next time.
    select({"plain.mp3"});
    ui.action("bbTagsFromFileNames")->trigger();
    QDialog* again = dialog("dlgTagsFromFileNames");
    ASSERT_TRUE(again);
    EXPECT_EQ(again->findChild<QComboBox*>("bcPattern")->itemText(0), "%artist% - %title%");
    again->reject();
}

TEST_F(BatchCommandsTest, RenameFilesFromTagsFlagsCollisionsBeforeRenamingAny) {
    const Bytes one = readFile(mp3("1.mp3", {{"TPE1", "Band"}, {"TIT2", "Same"}}));
    const Bytes two = readFile(mp3("2.mp3", {{"TPE1", "Band"}, {"TIT2", "Same"}}));
    const Bytes three = readFile(mp3("3.mp3", {{"TPE1", "AC/DC"}, {"TIT2", "Live"}}));
    select({"1.mp3", "2.mp3", "3.mp3"});
    ui.action("bbRenameFilesFromTags")->trigger();
    QDialog* renameDialog = dialog("dlgRenameFilesFromTags");
    ASSERT_TRUE(renameDialog);
    auto* preview = renameDialog->findChild<QTableWidget*>("tvPreview");
    renameDialog->findChild<QComboBox*>("bcPattern")->setEditText("%artist% - %title%");
    ASSERT_EQ(preview->rowCount(), 3);
    // Both files that would get one name are flagged; the third gets its name, "/" replaced.
    EXPECT_FALSE(previewRow(preview, 0).value(2).isEmpty());
    EXPECT_FALSE(previewRow(preview, 1).value(2).isEmpty());
    EXPECT_EQ(previewRow(preview, 2), (QStringList{"3.mp3", "AC-DC - Live.mp3", ""}));
    ok(renameDialog);
    EXPECT_EQ(summary(), "1 file(s) written, 0 failed.");
    EXPECT_EQ(readFile(dir.file("1.mp3")), one);
    EXPECT_EQ(readFile(dir.file("2.mp3")), two);
    EXPECT_EQ(readFile(dir.file("AC-DC - Live.mp3")), three);
    EXPECT_FALSE(fileExists(dir.file("3.mp3")));
}

TEST_F(BatchCommandsTest, CancelStopsAfterTheFileInHandAndLeavesTheRestUntouched) {
    std::vector<Bytes> before;
    for (const char* name : {"1.mp3", "2.mp3", "3.mp3", "4.mp3"})
        before.push_back(readFile(mp3(name, {{"TIT2", name}})));
    select({"1.mp3", "2.mp3", "3.mp3", "4.mp3"});
    ui.action("bbNumberTracks")->trigger();
    QDialog* number = dialog("dlgNumberTracks");
    ASSERT_TRUE(number);
    number->findChild<QSpinBox*>("sbStart")->setValue(5);
    number->findChild<QCheckBox*>("chTotal")->setChecked(true);
    number->findChild<QCheckBox*>("chID3v1")->setChecked(false);
    auto* cancel = ui.find<QPushButton>("btGlobCancel");
    auto* bar = ui.find<SegmentProgressBar>("ProgressBar");
    // Cancel as the first file's progress shows.
    QObject::connect(bar, &QProgressBar::valueChanged, cancel, [cancel](int value) {
        if (value == 1) {
            EXPECT_TRUE(cancel->isVisible());
            QTest::mouseClick(cancel, Qt::LeftButton);
        }
    });
    ok(number);
    const QString text = summary();
    EXPECT_TRUE(text.startsWith("1 file(s) written, 0 failed.\nCancelled")) << text.toStdString();
    EXPECT_FALSE(cancel->isVisible());

    auto frames = framesOf(readFile(dir.file("1.mp3")));
    EXPECT_EQ(frames["TRCK"], latin("5/8"));
    EXPECT_EQ(frames["TIT2"], latin("1.mp3"));
    for (int i = 1; i < 4; ++i)
        EXPECT_EQ(readFile(dir.file(std::to_string(i + 1) + ".mp3")), before[std::size_t(i)]) << i;
}

TEST_F(BatchCommandsTest, UndoLastBatchRestoresTheFilesAndListsTheOnesChangedSince) {
    std::vector<Bytes> before;
    for (const char* name : {"1.mp3", "2.mp3", "3.mp3"})
        before.push_back(readFile(mp3(name, {{"TIT2", name}, {"TALB", "Album"}})));
    EXPECT_FALSE(ui.action("bbUndoLastBatch")->isEnabled());
    select({"1.mp3", "2.mp3", "3.mp3"});
    ui.action("bbEditSelectedFiles")->trigger();
    QDialog* edit = dialog("dlgEditSelectedFiles");
    ASSERT_TRUE(edit);
    typeInto(edit->findChild<QLineEdit*>("edID3v2_album"), "A much longer album name");
    typeInto(edit->findChild<QLineEdit*>("edID3v1_year"), "1999");
    ok(edit);
    EXPECT_EQ(summary(), "3 file(s) written, 0 failed.");
    ASSERT_NE(readFile(dir.file("1.mp3")), before[0]);
    EXPECT_EQ(ui.row("iID3v2_Album")->text(), "A much longer album name");

    // Someone else writes the third file since.
    Bytes changed = readFile(dir.file("3.mp3"));
    changed[changed.size() - 128 + 3] = 'X';
    dir.createFile("3.mp3", changed);

    ASSERT_TRUE(ui.action("bbUndoLastBatch")->isEnabled());
    ui.action("bbUndoLastBatch")->trigger();
    const QString text = summary();
    EXPECT_TRUE(text.startsWith("2 file(s) written, 1 failed.\n" + path("3.mp3") + ": "))
        << text.toStdString();
    EXPECT_EQ(readFile(dir.file("1.mp3")), before[0]);
    EXPECT_EQ(readFile(dir.file("2.mp3")), before[1]);
    EXPECT_EQ(readFile(dir.file("3.mp3")), changed);
    EXPECT_FALSE(ui.action("bbUndoLastBatch")->isEnabled());
    // The panes follow the file put back.
    EXPECT_EQ(ui.row("iID3v2_Album")->text(), "Album");
}

} // namespace
