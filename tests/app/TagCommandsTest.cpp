// The Save, Remove, Undo and Clear commands of the two tag panes, driven
// through the window's grids and speed buttons on real files.
#include "app/ErrorGuard.h"
#include "app/Main.h"
#include "display/TagFields.h"
#include "mpeg/MPEGaudio.h"
#include "shell/FileName.h"
#include "support/FakeDialogs.h"
#include "tags/FileAccess.h"
#include "tests/support/MainWindowDriver.h"
#include "tests/support/TagBytes.h"
#include "tests/support/TestFiles.h"
#include "ui/InspectorGrid.h"
#include "ui/StatusPane.h"

#include <functional>
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace quillon;

// Readable failures; internal, since other test sources may have their own.
static void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace {

using Kind = DialogService::Kind;

constexpr std::size_t kAudioSize = 20000;

// Two CBR frames (MPEG 1 Layer III, 128 kbps, 44.1 kHz) followed by silence.
Bytes audio() {
    return cbrFrames(kAudioSize);
}

// A revision 2.3 tag of ISO-8859-1 text frames, without padding.
Bytes id3v23Tag(std::initializer_list<std::pair<const char*, std::string>> frames) {
    Bytes body;
    for (const auto& [id, text] : frames)
        append(body, id3v2TextFrame(3, id, text));
    return id3v2Tag(3, body);
}

std::string asText(const Bytes& bytes, std::size_t offset, std::size_t length) {
    return std::string(bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                       bytes.begin() + static_cast<std::ptrdiff_t>(offset + length));
}

// A text slot of an ID3v1 block as written: the text, then zero bytes.
std::string slot(const std::string& text, std::size_t width) {
    std::string s = text;
    s.resize(width, '\0');
    return s;
}

Bytes lastBlock(const Bytes& file) {
    return file.size() < 128 ? Bytes() : Bytes(file.end() - 128, file.end());
}

// The ID3v2 tag at the start of a file, as its extent and its frames' data.
struct Id3v2Frames {
    std::size_t extent = 0;
    std::map<std::string, std::string> frames;
};

std::optional<Id3v2Frames> readId3v2(const Bytes& file) {
    if (file.size() < 10 || std::memcmp(file.data(), "ID3", 3) != 0)
        return std::nullopt;
    Id3v2Frames tag;
    tag.extent = 10 + (std::size_t(file[6]) << 21 | std::size_t(file[7]) << 14 |
                       std::size_t(file[8]) << 7 | std::size_t(file[9]));
    std::size_t pos = 10;
    while (pos + 10 <= tag.extent && file[pos] != 0) {
        const std::size_t length = std::size_t(file[pos + 4]) << 24 |
                                   std::size_t(file[pos + 5]) << 16 |
                                   std::size_t(file[pos + 6]) << 8 | std::size_t(file[pos + 7]);
        tag.frames[asText(file, pos, 4)] = asText(file, pos + 10, length);
        pos += 10 + length;
    }
    return tag;
}

// Frame data as written: the encoding byte 0, then the text.
std::string latin(const std::string& text) {
    return std::string(1, '\0') + text;
}

class TagCommandsTest : public ::testing::Test {
protected:
    FakeDialogs dialogs;
    TfmMain window;
    MainWindowDriver ui{window};
    TestDir dir;

    void SetUp() override {
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    // The widgets of one tag version's pane, for tests that run the same steps on both.
    struct Pane {
        InspectorGrid* grid;
        InspectorRow* title;
        InspectorRow* track;
        QToolButton* save;
        QToolButton* remove;
        QToolButton* undo;
        QCheckBox* exists;
        std::function<bool()> modified;
    };
    Pane pane(int version) {
        if (version == 1)
            return {ui.grid("iID3v1"),
                    ui.row("iID3v1_Title"),
                    ui.row("iID3v1_Track"),
                    ui.find<QToolButton>("btID3v1_Save"),
                    ui.find<QToolButton>("btID3v1_Remove"),
                    ui.find<QToolButton>("btID3v1_Undo"),
                    ui.find<QCheckBox>("chExistsID3v1"),
                    [this] { return window.ID3v1Modified(); }};
        return {ui.grid("iID3v2"),
                ui.row("iID3v2_Title"),
                ui.row("iID3v2_Track"),
                ui.find<QToolButton>("btID3v2_Save"),
                ui.find<QToolButton>("btID3v2_Remove"),
                ui.find<QToolButton>("btID3v2_Undo"),
                ui.find<QCheckBox>("chExistsID3v2"),
                [this] { return window.ID3v2Modified(); }};
    }

    std::string mp3(const char* name, const Bytes& id3v2 = {}, const Bytes& id3v1 = {}) {
        return dir.createFile(name, concat({id3v2, audio(), id3v1}));
    }
    // Loads a file as a list click does, edits of the previous one dropped.
    std::string load(const std::string& path) {
        ui.grid("iID3v1")->endEdit(false);
        ui.grid("iID3v2")->endEdit(false);
        window.CurrentFile = pathFromNative(path);
        EXPECT_TRUE(window.AudioFile->Load(path));
        EXPECT_TRUE(window.AudioFile->Valid());
        window.ShowFileInfo();
        window.SetID3v1Modified(false);
        window.SetID3v2Modified(false);
        return path;
    }
    // Types into a row through its in-place editor, replacing its text; the
    // editor stays open, as when the user goes straight to a speed button.
    void type(InspectorRow* row, const QString& text) {
        InspectorGrid* grid = row->grid();
        grid->endEdit(true);
        ASSERT_TRUE(grid->beginEdit(row)) << row->name().toStdString();
        QWidget* target = grid->editor();
        if (auto* combo = qobject_cast<QComboBox*>(target))
            target = combo->lineEdit();
        if (text.isEmpty())
            QTest::keyClick(target, Qt::Key_Delete);
        for (const QChar c : text) {
            if (c.unicode() < 0x80) {
                QTest::keyClick(target, c.toLatin1());
            } else {
                QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
                QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
                QApplication::sendEvent(target, &press);
                QApplication::sendEvent(target, &release);
            }
        }
        ASSERT_EQ(text, row->text());
    }
    void click(QToolButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
    void switchesOff() {
        for (QAction* a : {ui.action("bbConfSaveTag"), ui.action("bbConfRemoveTag"),
                           ui.action("bbConfUndoTag"), ui.action("bbConfClearTag")})
            a->setChecked(false);
    }
    QString quoted(const std::string& path) { return '"' + QString::fromStdString(path) + '"'; }
    QStringList questions() const { return dialogs.texts(Kind::Confirm); }
    QStringList warnings() const { return dialogs.texts(Kind::Warning); }
    // The warnings without the reason the core gives on their second line.
    QStringList warningHeads() const {
        QStringList heads;
        for (const QString& text : warnings())
            heads << text.section(QLatin1Char('\n'), 0, 0);
        return heads;
    }
};

TEST_F(TagCommandsTest, SaveWritesThePaneIntoTheFileAndShowsItAgain) {
    const std::string path = load(mp3("both.mp3", id3v23Tag({{"TIT2", "Old"}, {"TXXX", "kept"}}),
                                      id3v1Tag({.title = "First", .track = 7})));
    type(ui.row("iID3v1_Title"), "New Title");
    type(ui.row("iID3v1_Artist"), "Someone");
    type(ui.row("iID3v1_Genre"), "Rock");
    type(ui.row("iID3v1_Comment"), "Hello");
    EXPECT_TRUE(ui.grid("iID3v1")->isEditing());
    click(ui.find<QToolButton>("btID3v1_Save"));

    EXPECT_EQ(QStringList({"Do you want to write ID3 v.1 tag to " + quoted(path) + "?"}),
              questions());
    Bytes file = readFile(path);
    ASSERT_EQ(readId3v2(file)->extent + kAudioSize + 128, file.size());
    const Bytes block = lastBlock(file);
    EXPECT_EQ("TAG", asText(block, 0, 3));
    EXPECT_EQ(slot("New Title", 30), asText(block, 3, 30));
    EXPECT_EQ(slot("Someone", 30), asText(block, 33, 30));
    EXPECT_EQ(slot("", 30), asText(block, 63, 30));
    EXPECT_EQ(slot("Hello", 28), asText(block, 97, 28));
    EXPECT_EQ(0, block[125]);
    EXPECT_EQ(7, block[126]); // the untouched track row is written back
    EXPECT_EQ(17, block[127]);
    EXPECT_FALSE(ui.grid("iID3v1")->isEditing());
    EXPECT_FALSE(window.ID3v1Modified());
    EXPECT_EQ("", ui.find<StatusPane>("spID3v1Modified")->text());
    EXPECT_EQ("Rock", ui.row("iID3v1_Genre")->text());
    EXPECT_EQ("v 1.1", ui.find<QLabel>("laID3v1Ver")->text());

    // ID3v2: texts whole and trimmed at both ends, the genre as typed; a frame
    // the pane does not show stays; the ID3v1 edit above stays saved.
    type(ui.row("iID3v2_Title"), "  Padded title  ");
    type(ui.row("iID3v2_Genre"), "rock");
    type(ui.row("iID3v2_Track"), "12");
    type(ui.row("iID3v2_Comment"), "A comment");
    type(ui.row("iID3v2_Composer"), "Composer");
    type(ui.row("iID3v2_URL"), "http://example.org/");
    click(ui.find<QToolButton>("btID3v2_Save"));

    EXPECT_EQ("Do you want to write ID3 v.2 tag to " + quoted(path) + "?", questions().value(1));
    file = readFile(path);
    const auto tag = readId3v2(file);
    ASSERT_TRUE(tag);
    const std::map<std::string, std::string> expected = {
        {"TIT2", latin("Padded title")}, {"TCON", latin("rock")},
        {"TRCK", latin("12")},           {"COMM", latin(std::string("eng\0A comment", 13))},
        {"TCOM", latin("Composer")},     {"WXXX", latin(std::string("\0http://example.org/", 20))},
        {"TXXX", latin("kept")}};
    EXPECT_EQ(expected, tag->frames);
    EXPECT_EQ(audio(),
              Bytes(file.begin() + static_cast<std::ptrdiff_t>(tag->extent), file.end() - 128));
    EXPECT_EQ(block, lastBlock(file));
    EXPECT_FALSE(window.ID3v2Modified());
    EXPECT_EQ("Padded title", ui.row("iID3v2_Title")->text());
    EXPECT_EQ("v 2.3", ui.find<QLabel>("laID3v2Ver")->text());
    EXPECT_TRUE(warnings().isEmpty());
}

// A track is typed as "n" or "n/total", decimal digits only; the ID3v2 row shows the total, so
// a bare n has none.
// Anything else stops the save with the range error before anything is written. An ID3v1 track
// is one byte and has no room for the total.
TEST_F(TagCommandsTest, TrackIsNumberOrNumberAndTotal) {
    const char* const refused = nullptr;
    struct Case {
        const char* text;
        int v1;         // -1: refused
        const char* v2; // the TRCK frame's text; "": none; refused
    };
    const Case cases[] = {
        {"7", 7, "7"},
        {"5/6", 5, "5/6"},
        {"3", 3, "3"},
        {"", 0, ""},
        {"300", -1, "300"},
        {"2147483647", -1, "2147483647"},
        {"2147483648", -1, refused},
        {"two", -1, refused},
        {"5 ", -1, refused},
        {" 5", -1, refused},
        {"-1", -1, refused},
        {"0x1f", -1, refused},
        {"5/0", -1, refused},
        {"0/5", -1, refused},
        {"5/", -1, refused},
        {"/5", -1, refused},
        {"5/6/7", -1, refused},
    };
    for (int version : {1, 2}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::to_string(version) + ": \"" + c.text + "\"");
            dialogs.boxes.clear();
            const std::string path = load(mp3("track.mp3", id3v23Tag({{"TRCK", "3/12"}}),
                                              id3v1Tag({.title = "Title", .track = 3})));
            const Bytes before = readFile(path);
            InspectorRow* row = pane(version).track;
            type(row, c.text);
            click(pane(version).save);
            QuillonApplication::flushErrors();

            if (version == 1 ? c.v1 < 0 : c.v2 == refused) {
                EXPECT_EQ(QStringList({"Range check error."}), dialogs.texts(Kind::Error));
                EXPECT_EQ(before, readFile(path));
                EXPECT_EQ(c.text, row->text());
                EXPECT_TRUE(pane(version).modified());
                continue;
            }
            EXPECT_TRUE(dialogs.texts(Kind::Error).isEmpty());
            const Bytes file = readFile(path);
            const auto tag = readId3v2(file);
            ASSERT_TRUE(tag);
            if (version == 1) {
                EXPECT_EQ(c.v1, lastBlock(file)[126]);
                EXPECT_EQ(latin("3/12"), tag->frames.at("TRCK"));
            } else {
                const auto frame = tag->frames.find("TRCK");
                if (*c.v2 == '\0')
                    EXPECT_EQ(tag->frames.end(), frame);
                else
                    EXPECT_EQ(latin(c.v2), frame->second);
                EXPECT_EQ(3, lastBlock(file)[126]);
            }
            EXPECT_FALSE(pane(version).modified());
        }
    }
}

TEST_F(TagCommandsTest, RangeErrorStopsAfterTheFieldsBeforeTrack) {
    const std::string path = load(
        mp3("range.mp3", {}, id3v1Tag({.title = "Old", .comment = "Old comment", .track = 3})));
    const Bytes before = readFile(path);
    type(ui.row("iID3v1_Title"), "Typed title");
    type(ui.row("iID3v1_Comment"), "Typed comment");
    type(ui.row("iID3v1_Track"), "256");
    click(ui.find<QToolButton>("btID3v1_Save"));
    QuillonApplication::flushErrors();

    EXPECT_EQ(QStringList({"Range check error."}), dialogs.texts(Kind::Error));
    EXPECT_EQ(before, readFile(path));
    EXPECT_EQ(path, window.CurrentFile.toStdString());
    EXPECT_TRUE(window.ID3v1Modified());
    EXPECT_EQ("Typed title", ui.row("iID3v1_Title")->text());
    EXPECT_EQ("Typed comment", ui.row("iID3v1_Comment")->text());
    EXPECT_EQ("Typed title", window.AudioFile->ID3v1Tag().Title());
    EXPECT_EQ("Old comment", window.AudioFile->ID3v1Tag().Comment());
}

TEST_F(TagCommandsTest, ID3v1TextsAreCutAndTheGenreLookedUp) {
    struct Case {
        const char* genre;
        std::uint8_t id;
        const char* shown;
    };
    // A name of the table in any letter case, or the byte as a number; "" is none.
    const Case cases[] = {{"Rock", 17, "Rock"},
                          {"rock", 17, "Rock"},
                          {"Blues", 0, "Blues"},
                          {"SYNTHPOP", 147, "Synthpop"},
                          {"Progessive Rock", 92, "Progessive Rock"},
                          {"24", 24, "Soundtrack"},
                          {"", 255, ""}};
    const QString title40 = "abcdefghijklmnopqrstuvwxyz01     789ABCD";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.genre);
        const std::string path =
            load(mp3("genre.mp3", {}, id3v1Tag({.title = "Title", .track = 0, .genre = 13})));
        type(ui.row("iID3v1_Title"), title40);
        type(ui.row("iID3v1_Year"), "20245");
        type(ui.row("iID3v1_Genre"), c.genre);
        click(ui.find<QToolButton>("btID3v1_Save"));

        const Bytes block = lastBlock(readFile(path));
        EXPECT_EQ(c.id, block[127]);
        // Trailing blanks go before the cut, so a cut inside blanks keeps them
        // on disk; reading drops them again.
        EXPECT_EQ("abcdefghijklmnopqrstuvwxyz01  ", asText(block, 3, 30));
        EXPECT_EQ("2024", asText(block, 93, 4));
        EXPECT_EQ("abcdefghijklmnopqrstuvwxyz01", ui.row("iID3v1_Title")->text());
        EXPECT_EQ(c.shown, ui.row("iID3v1_Genre")->text().toStdString());
    }

    // The cut at 255 characters comes before the setter's trimming.
    const std::string path = load(mp3("long.mp3"));
    type(ui.row("iID3v1_Artist"), QString(20, 'a') + QString(240, ' ') + "b");
    type(ui.row("iID3v1_Album"), QString(20, 'a') + QString(9, ' ') + "b");
    click(ui.find<QToolButton>("btID3v1_Save"));
    const Bytes block = lastBlock(readFile(path));
    EXPECT_EQ(slot(std::string(20, 'a'), 30), asText(block, 33, 30));
    EXPECT_EQ(std::string(20, 'a') + std::string(9, ' ') + "b", asText(block, 63, 30));
}

// A genre byte the table does not name (taggers with longer lists write 148 to 254) is kept by a
// save that leaves the genre row as shown; a name the table does not hold is refused.
TEST_F(TagCommandsTest, AnUntouchedGenreKeepsItsByte) {
    for (const std::uint8_t genre : {std::uint8_t(160), std::uint8_t(148), std::uint8_t(254),
                                     std::uint8_t(13), std::uint8_t(255)}) {
        SCOPED_TRACE(int(genre));
        const std::string path =
            load(mp3("genre.mp3", {}, id3v1Tag({.title = "Title", .track = 1, .genre = genre})));
        type(ui.row("iID3v1_Artist"), "Someone");
        click(ui.find<QToolButton>("btID3v1_Save"));
        const Bytes block = lastBlock(readFile(path));
        EXPECT_EQ(slot("Someone", 30), asText(block, 33, 30));
        EXPECT_EQ(genre, block[127]);
    }

    for (const char* name : {"Rock ", " Rock", "Progressive Rock", "256", "-1"}) {
        SCOPED_TRACE(name);
        dialogs.boxes.clear();
        const std::string path =
            load(mp3("genre.mp3", {}, id3v1Tag({.title = "Title", .track = 1, .genre = 160})));
        const Bytes before = readFile(path);
        type(ui.row("iID3v1_Genre"), name);
        click(ui.find<QToolButton>("btID3v1_Save"));
        QuillonApplication::flushErrors();
        EXPECT_EQ(QStringList({"Range check error."}), dialogs.texts(Kind::Error));
        EXPECT_EQ(before, readFile(path));
        EXPECT_TRUE(window.ID3v1Modified());
    }
}

// ID3v1 holds 30 characters of Windows-1252 and no track total. Before a save that would store a
// field otherwise, whatever the switches say, a question names each such field with what the tag
// will hold: No writes nothing and leaves the pane as it is, Yes saves.
TEST_F(TagCommandsTest, ASaveAsksFirstWhenID3v1WouldStoreAFieldOtherwise) {
    const QString question =
        "The ID3 v.1 tag cannot hold these fields as typed. It will store:\nTitle: \"????\"\n"
        "Artist: \"" +
        QString(30, 'a') + "\"\nTr.: \"5\"\nYr.: \"1988\"\nComment: \"" + QString(28, 'c') +
        "\"\nSave the tag?";
    const QString saveQuestion = "Do you want to write ID3 v.1 tag to ";
    for (const bool switchedOn : {true, false}) {
        SCOPED_TRACE(switchedOn ? "switches on" : "switches off");
        if (!switchedOn)
            switchesOff();
        const std::string path =
            load(mp3("fit.mp3", id3v23Tag({{"TIT2", "Two"}}),
                     id3v1Tag({.title = "Old", .comment = std::string(30, 'c')})));
        const Bytes before = readFile(path);
        type(ui.row("iID3v1_Title"), QString::fromUtf8("Кафе"));
        type(ui.row("iID3v1_Artist"), QString(35, 'a'));
        type(ui.row("iID3v1_Year"), "19888");
        type(ui.row("iID3v1_Track"), "5/6");
        type(ui.row("iID3v1_Album"), "Fits");

        dialogs.boxes.clear();
        dialogs.answers = {true, false};
        if (!switchedOn)
            dialogs.answers.pop_front();
        click(ui.find<QToolButton>("btID3v1_Save"));
        QStringList asked = questions();
        EXPECT_EQ(asked.size(), switchedOn ? 2 : 1);
        EXPECT_EQ(switchedOn, !asked.isEmpty() && asked.first().startsWith(saveQuestion));
        EXPECT_EQ(question, asked.value(asked.size() - 1));
        EXPECT_EQ(before, readFile(path));
        EXPECT_TRUE(window.ID3v1Modified());
        EXPECT_EQ(QString::fromUtf8("Кафе"), ui.row("iID3v1_Title")->text());
        EXPECT_EQ("19888", ui.row("iID3v1_Year")->text());
        EXPECT_EQ("5/6", ui.row("iID3v1_Track")->text());

        dialogs.boxes.clear();
        dialogs.answers = {true, true};
        click(ui.find<QToolButton>("btID3v1_Save"));
        EXPECT_EQ(question, questions().value(questions().size() - 1));
        const Bytes block = lastBlock(readFile(path));
        EXPECT_EQ(slot("????", 30), asText(block, 3, 30));
        EXPECT_EQ(std::string(30, 'a'), asText(block, 33, 30));
        EXPECT_EQ(slot("Fits", 30), asText(block, 63, 30));
        EXPECT_EQ("1988", asText(block, 93, 4));
        EXPECT_EQ(std::string(28, 'c'), asText(block, 97, 28));
        EXPECT_EQ(5, block[126]);
        EXPECT_FALSE(window.ID3v1Modified());
        EXPECT_EQ("????", ui.row("iID3v1_Title")->text());

        // What the tag holds as typed asks nothing more than the switches do.
        dialogs.boxes.clear();
        type(ui.row("iID3v1_Title"), QString::fromUtf8("Café"));
        click(ui.find<QToolButton>("btID3v1_Save"));
        EXPECT_EQ(switchedOn ? 1 : 0, questions().size());
        EXPECT_EQ(slot("Caf\xE9", 30), asText(lastBlock(readFile(path)), 3, 30));
    }
}

TEST_F(TagCommandsTest, ClearBlanksThePaneAndSaveWritesAnEmptyTag) {
    const std::string path =
        load(mp3("clear.mp3", id3v23Tag({{"TIT2", "Two"}, {"TCOM", "Comp"}}),
                 id3v1Tag({.title = "One", .comment = "Note", .track = 7, .genre = 17})));
    const Bytes before = readFile(path);

    dialogs.answers = {false};
    click(ui.find<QToolButton>("btClearID3v1"));
    EXPECT_EQ("One", ui.row("iID3v1_Title")->text());
    EXPECT_FALSE(window.ID3v1Modified());

    click(ui.find<QToolButton>("btClearID3v1"));
    click(ui.find<QToolButton>("btClearID3v2"));
    EXPECT_EQ(QStringList(3, "Do you want to clear tag?"), questions());
    for (InspectorGrid* grid : {ui.grid("iID3v1"), ui.grid("iID3v2")}) {
        for (InspectorRow* row : grid->rows())
            EXPECT_EQ("", row->text()) << row->name().toStdString();
    }
    EXPECT_TRUE(window.ID3v1Modified());
    EXPECT_TRUE(window.ID3v2Modified());
    EXPECT_EQ("ID3v1 Modified", ui.find<StatusPane>("spID3v1Modified")->text());
    EXPECT_EQ(before, readFile(path));

    click(ui.find<QToolButton>("btID3v1_Save"));
    click(ui.find<QToolButton>("btID3v2_Save"));
    // The empty tag is written in place: the old tag's room stays, as padding.
    const Bytes file = readFile(path);
    ASSERT_EQ(before.size(), file.size());
    const std::size_t room = before.size() - kAudioSize - 128;
    EXPECT_EQ(id3v2Header(3, room - 10), Bytes(file.begin(), file.begin() + 10));
    EXPECT_EQ(Bytes(room - 10, 0), Bytes(file.begin() + 10, file.begin() + room));
    EXPECT_EQ(id3v1Tag({}), lastBlock(file));
    EXPECT_FALSE(window.ID3v1Modified());
    EXPECT_FALSE(window.ID3v2Modified());
    EXPECT_TRUE(ui.find<QCheckBox>("chExistsID3v1")->isChecked());
    EXPECT_EQ("v 1.0", ui.find<QLabel>("laID3v1Ver")->text());
}

TEST_F(TagCommandsTest, ClearDoesNothingWhileNoFileIsShown) {
    const std::string path = load(mp3(
        "shown.mp3", {}, id3v1Tag({.title = "One", .comment = "Note", .track = 7, .genre = 17})));
    const Bytes before = readFile(path);
    window.ClearFileInfo(true);
    click(ui.find<QToolButton>("btClearID3v1"));
    click(ui.find<QToolButton>("btClearID3v2"));
    EXPECT_TRUE(questions().isEmpty());
    EXPECT_FALSE(window.ID3v1Modified());
    EXPECT_FALSE(window.ID3v2Modified());
    click(ui.find<QToolButton>("btID3v1_Save"));
    EXPECT_EQ(before, readFile(path));
}

TEST_F(TagCommandsTest, RemoveStripsTheTagOnlyWhenConfirmed) {
    for (int version : {1, 2}) {
        for (bool yes : {true, false}) {
            SCOPED_TRACE(std::to_string(version) + (yes ? " yes" : " no"));
            dialogs.boxes.clear();
            dialogs.answers = {yes};
            const std::string path = load(mp3("remove.mp3", id3v23Tag({{"TIT2", "Two"}}),
                                              id3v1Tag({.title = "One", .track = 1, .genre = 0})));
            const Bytes before = readFile(path);
            InspectorRow* title = pane(version).title;
            type(title, "Edited");
            click(pane(version).remove);

            EXPECT_EQ(QStringList({"Do you want to remove ID3 tag from " + quoted(path) + "?"}),
                      questions());
            const Bytes file = readFile(path);
            if (!yes) {
                EXPECT_EQ(before, file);
                EXPECT_EQ("Edited", title->text());
                continue;
            }
            if (version == 1) {
                EXPECT_EQ(Bytes(before.begin(), before.end() - 128), file);
                EXPECT_FALSE(ui.find<QCheckBox>("chExistsID3v1")->isChecked());
                EXPECT_FALSE(window.ID3v1Modified());
            } else {
                const auto extent = static_cast<std::ptrdiff_t>(readId3v2(before)->extent);
                EXPECT_EQ(Bytes(before.begin() + extent, before.end()), file);
                EXPECT_FALSE(ui.find<QCheckBox>("chExistsID3v2")->isChecked());
                EXPECT_FALSE(window.ID3v2Modified());
            }
            EXPECT_EQ("", title->text());
        }
    }

    // No tag of that version: nothing is asked or touched, edits or not.
    dialogs.boxes.clear();
    const std::string path = load(mp3("bare.mp3"));
    type(ui.row("iID3v1_Title"), "Typed");
    click(ui.find<QToolButton>("btID3v1_Remove"));
    click(ui.find<QToolButton>("btID3v2_Remove"));
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_EQ(audio(), readFile(path));
    EXPECT_TRUE(window.ID3v1Modified());
}

TEST_F(TagCommandsTest, UndoRereadsTheTagOrKeepsTheEdits) {
    const std::string path =
        load(mp3("undo.mp3", id3v23Tag({{"TIT2", "Two"}}), id3v1Tag({.title = "One", .track = 0})));
    const Bytes before = readFile(path);

    // Unmodified: nothing to undo, nothing asked.
    click(ui.find<QToolButton>("btID3v1_Undo"));
    EXPECT_TRUE(dialogs.boxes.empty());

    dialogs.answers = {false, true, false, true};
    for (int version : {1, 2}) {
        SCOPED_TRACE(version);
        InspectorGrid* grid = pane(version).grid;
        InspectorRow* title = pane(version).title;
        QToolButton* undo = pane(version).undo;
        const auto modified = pane(version).modified;
        type(title, "Typed");

        click(undo); // No
        EXPECT_EQ("Typed", title->text());
        EXPECT_TRUE(modified());

        click(undo); // Yes: the typed text goes with the editor
        EXPECT_FALSE(grid->isEditing());
        const char* const titles[] = {"One", "Two"};
        EXPECT_EQ(titles[version - 1], title->text().toStdString());
        EXPECT_FALSE(modified());
    }
    EXPECT_EQ(QStringList(4, "Do you want to undo changes in ID3 tag?"), questions());
    EXPECT_EQ("", ui.find<StatusPane>("spID3v1Modified")->text());
    EXPECT_EQ(before, readFile(path));
}

TEST_F(TagCommandsTest, DecliningTheSaveRunsUndoWithItsOwnQuestion) {
    const std::string path = load(
        mp3("decline.mp3", id3v23Tag({{"TIT2", "Two"}}), id3v1Tag({.title = "One", .track = 0})));
    const Bytes before = readFile(path);
    const QString saveV1 = "Do you want to write ID3 v.1 tag to " + quoted(path) + "?";
    const QString saveV2 = "Do you want to write ID3 v.2 tag to " + quoted(path) + "?";
    const QString undo = "Do you want to undo changes in ID3 tag?";

    // Save No, Undo Yes: the pane is read again.
    type(ui.row("iID3v1_Title"), "Typed");
    dialogs.answers = {false, true};
    click(ui.find<QToolButton>("btID3v1_Save"));
    EXPECT_EQ(QStringList({saveV1, undo}), questions());
    EXPECT_EQ("One", ui.row("iID3v1_Title")->text());
    EXPECT_FALSE(window.ID3v1Modified());

    // Save No, Undo No: the edits and the flag stay.
    dialogs.boxes.clear();
    type(ui.row("iID3v2_Title"), "Typed");
    dialogs.answers = {false, false};
    click(ui.find<QToolButton>("btID3v2_Save"));
    EXPECT_EQ(QStringList({saveV2, undo}), questions());
    EXPECT_EQ("Typed", ui.row("iID3v2_Title")->text());
    EXPECT_TRUE(window.ID3v2Modified());

    // With the undo switch off, No to the save discards at once.
    dialogs.boxes.clear();
    ui.action("bbConfUndoTag")->setChecked(false);
    dialogs.answers = {false};
    click(ui.find<QToolButton>("btID3v2_Save"));
    EXPECT_EQ(QStringList({saveV2}), questions());
    EXPECT_EQ("Two", ui.row("iID3v2_Title")->text());
    EXPECT_FALSE(window.ID3v2Modified());
    EXPECT_EQ(before, readFile(path));

    // Unmodified: Save does nothing at all.
    dialogs.boxes.clear();
    click(ui.find<QToolButton>("btID3v1_Save"));
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_EQ(before, readFile(path));
}

TEST_F(TagCommandsTest, SwitchesOffLetEveryCommandRunWithoutAQuestion) {
    switchesOff();
    dialogs.defaultAnswer = false;
    const std::string path = load(
        mp3("quiet.mp3", id3v23Tag({{"TIT2", "Two"}}), id3v1Tag({.title = "One", .track = 0})));

    type(ui.row("iID3v1_Title"), "Saved");
    click(ui.find<QToolButton>("btID3v1_Save"));
    EXPECT_EQ(slot("Saved", 30), asText(lastBlock(readFile(path)), 3, 30));

    type(ui.row("iID3v1_Title"), "Undone");
    click(ui.find<QToolButton>("btID3v1_Undo"));
    EXPECT_EQ("Saved", ui.row("iID3v1_Title")->text());

    click(ui.find<QToolButton>("btClearID3v2"));
    EXPECT_EQ("", ui.row("iID3v2_Title")->text());
    EXPECT_TRUE(window.ID3v2Modified());

    click(ui.find<QToolButton>("btID3v2_Remove"));
    EXPECT_FALSE(readId3v2(readFile(path)));
    EXPECT_FALSE(window.ID3v2Modified());
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(TagCommandsTest, AFileThatCannotBeWrittenKeepsTheEdits) {
    for (int version : {1, 2}) {
        SCOPED_TRACE(version);
        dialogs.boxes.clear();
        const std::string path = load(mp3("locked.mp3", id3v23Tag({{"TIT2", "Two"}}),
                                          id3v1Tag({.title = "One", .track = 0})));
        InspectorRow* title = pane(version).title;
        type(title, "Typed");
        // The file is replaced by a folder of its name: no write can succeed,
        // not even as root.
        std::filesystem::remove(path);
        std::filesystem::create_directory(path);

        click(pane(version).save);
        click(pane(version).remove);
        EXPECT_EQ(QStringList({"Error writing ID3 tag to " + quoted(path),
                               "Error removing ID3 tag from " + quoted(path)}),
                  warningHeads());
        EXPECT_EQ("Typed", title->text());
        EXPECT_TRUE(pane(version).modified());
        EXPECT_TRUE(pane(version).exists->isChecked());
        EXPECT_TRUE(std::filesystem::is_empty(path));
        EXPECT_FALSE(fileExists(path + "~"));
        std::filesystem::remove(path);
    }
}

// The core records why a write failed; the warning keeps its line and gives that reason below
// it. The reason is primed first, so the test holds whichever failing paths record their own.
TEST_F(TagCommandsTest, WarningsGiveTheReasonTheCoreRecorded) {
    const struct {
        const char* what;
        int version;
        bool remove;
        const char* head;
    } cases[] = {
        {"ID3v1 save", 1, false, "Error writing ID3 tag to "},
        {"ID3v2 save", 2, false, "Error writing ID3 tag to "},
        {"ID3v1 removal", 1, true, "Error removing ID3 tag from "},
        {"ID3v2 removal", 2, true, "Error removing ID3 tag from "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        dialogs.boxes.clear();
        const std::string path = load(
            mp3("gone.mp3", id3v23Tag({{"TIT2", "Two"}}), id3v1Tag({.title = "One", .track = 0})));
        type(pane(c.version).title, "Typed");
        // A folder in the file's place refuses every write, even root's.
        std::filesystem::remove(path);
        std::filesystem::create_directory(path);
        setWriteError("No space left on device");

        if (c.remove)
            click(pane(c.version).remove);
        else
            click(pane(c.version).save);
        const QString reason = QString::fromStdString(lastWriteError());
        ASSERT_FALSE(reason.isEmpty());
        EXPECT_EQ(QStringList(c.head + quoted(path) + "\n" + reason), warnings());
        std::filesystem::remove(path);
    }
}

// ID3v1 holds Windows-1252, with "?" for what it cannot hold; ID3v2 keeps any
// text, in UTF-16 in a 2.3 tag when Latin-1 cannot hold it.
TEST_F(TagCommandsTest, TextIsWrittenInTheEncodingEachTagCanHold) {
    const std::string path = load(mp3("text.mp3"));
    const QString typed = QString::fromUtf8("Café Ω €");
    type(ui.row("iID3v1_Title"), typed);
    type(ui.row("iID3v2_Title"), typed);
    click(ui.find<QToolButton>("btID3v1_Save"));
    click(ui.find<QToolButton>("btID3v2_Save"));

    const std::string bytes = "Caf\xE9 ? \x80";
    const Bytes file = readFile(path);
    EXPECT_EQ(slot(bytes, 30), asText(lastBlock(file), 3, 30));
    const auto tag = readId3v2(file);
    ASSERT_TRUE(tag);
    EXPECT_EQ(std::string("\x01\xFF\xFE"
                          "C\0a\0f\0\xE9\0 \0\xA9\x03 \0\xAC\x20",
                          19),
              tag->frames.at("TIT2"));
    EXPECT_EQ(QString::fromUtf8("Café ? €"), ui.row("iID3v1_Title")->text());
    EXPECT_EQ(typed, ui.row("iID3v2_Title")->text());
}

// A 2.4 tag in UTF-8 as mutagen writes it: its non-Latin text is shown, and an
// edited field is saved into it alone, the tag still 2.4, every other frame kept.
TEST_F(TagCommandsTest, ShowsAndSavesAUtf8Tag) {
    const std::string path = dir.createFile(
        "v24.mp3", readFile(std::string(QUILLON_CORE_FIXTURES) + "/mutagen-v24.mp3"));
    load(path);
    EXPECT_EQ(QString::fromUtf8("Привет, мир"), ui.row("iID3v2_Title")->text());
    EXPECT_EQ(QString::fromUtf8("Björk/Sigur Rós"), ui.row("iID3v2_Artist")->text());
    EXPECT_EQ(QString::fromUtf8("v 2.4"), ui.find<QLabel>("laID3v2Ver")->text());
    TID3v2 before;
    ASSERT_TRUE(before.Load(path));

    type(ui.row("iID3v2_Album"), QString::fromUtf8("Άλμπουμ"));
    click(ui.find<QToolButton>("btID3v2_Save"));
    EXPECT_FALSE(window.ID3v2Modified());

    TID3v2 after;
    ASSERT_TRUE(after.Load(path));
    EXPECT_EQ(4, after.VersionId());
    EXPECT_EQ("Άλμπουμ", after.Album());
    before.SetAlbum("Άλμπουμ");
    for (const auto& field : ID3v2Fields()) {
        SCOPED_TRACE(std::string(field.key));
        EXPECT_EQ(field.get(before), field.get(after));
    }
    // The picture, the private frame and the other comment are still there.
    const Bytes file = readFile(path);
    const std::string text(file.begin(), file.begin() + after.Size());
    for (const char* id : {"APIC", "PRIV", "TXXX", "iTunNORM"})
        EXPECT_NE(std::string::npos, text.find(id)) << id;
    EXPECT_EQ(QString::fromUtf8("Άλμπουμ"), ui.row("iID3v2_Album")->text());
}

// Saving or removing a tag changes the file's size and time; the MPEG band follows.
TEST_F(TagCommandsTest, TheMpegBandFollowsASaveAndARemove) {
    const std::string path = load(mp3("band.mp3"));
    const auto sizeShown = [&] {
        return ui.row("iMpeg_Size")
            ->text()
            .section(QLatin1Char(' '), 0, 0)
            .remove(QLatin1Char(','));
    };
    EXPECT_EQ(QString::number(readFile(path).size()), sizeShown());
    type(ui.row("iID3v2_Title"), "A title long enough to be seen");
    click(ui.find<QToolButton>("btID3v2_Save"));
    EXPECT_EQ(QString::number(readFile(path).size()), sizeShown());
    click(ui.find<QToolButton>("btID3v2_Remove"));
    EXPECT_EQ(QString::number(readFile(path).size()), sizeShown());
    EXPECT_FALSE(ui.row("iMpeg_Modified")->text().isEmpty());
}

// Every way a save can fail on a user's machine ends in the warning, with the
// edits kept, the file exactly as it was and nothing left beside it. An ID3v1
// tag is written in place, so a folder closed to writing does not stop it.
TEST_F(TagCommandsTest, WriteFaultsEndInTheWarningWithTheFileWhole) {
    enum Fault { NoSpace, Locked, Removed, FolderClosed };
    const bool root = ::geteuid() == 0;
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    for (Fault fault : {NoSpace, Locked, Removed, FolderClosed}) {
        for (int version : {1, 2}) {
            SCOPED_TRACE(testing::Message() << "fault " << fault << ", ID3v" << version);
            dialogs.boxes.clear();
            const std::string path = load(mp3("song.mp3", id3v23Tag({{"TIT2", "Two"}}),
                                              id3v1Tag({.title = "One", .track = 0})));
            const Bytes before = readFile(path);
            type(pane(version).title, "Typed");

            std::optional<LockHolder> holder;
            rlimit limits{};
            ::getrlimit(RLIMIT_FSIZE, &limits);
            switch (fault) {
            case NoSpace: {
                ::signal(SIGXFSZ, SIG_IGN);
                const rlimit small{1000, limits.rlim_max};
                ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
                break;
            }
            case Locked:
                holder.emplace(path, LOCK_EX);
                ASSERT_TRUE(holder->holds());
                break;
            case Removed:
                std::filesystem::remove(path);
                break;
            case FolderClosed:
                // Root passes every permission check, so it acts as another
                // user for the save; the file is that user's.
                if (root) {
                    ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
                    ASSERT_EQ(::setegid(65534), 0);
                    ASSERT_EQ(::seteuid(65534), 0);
                } else {
                    ASSERT_EQ(::chmod(dir.path().c_str(), 0555), 0);
                }
                break;
            }
            click(pane(version).save);
            ::setrlimit(RLIMIT_FSIZE, &limits);
            holder.reset();
            if (root) {
                ASSERT_EQ(::seteuid(0), 0);
                ASSERT_EQ(::setegid(0), 0);
            }
            ::chmod(dir.path().c_str(), 0755);

            if (fault == FolderClosed && version == 1) {
                EXPECT_TRUE(warnings().isEmpty());
                EXPECT_FALSE(window.ID3v1Modified());
                EXPECT_EQ(asText(lastBlock(readFile(path)), 3, 30), slot("Typed", 30));
            } else {
                EXPECT_EQ(QStringList("Error writing ID3 tag to " + quoted(path)), warningHeads());
                EXPECT_TRUE(pane(version).modified());
                if (fault == Removed) {
                    EXPECT_FALSE(fileExists(path));
                } else {
                    EXPECT_EQ(before, readFile(path));
                }
            }
            EXPECT_FALSE(fileExists(path + "~"));
            std::filesystem::remove(path);
        }
    }
}

} // namespace

// A file whose name is not UTF-8 (Latin-1, as on old FAT media), in a folder named the same
// way, is shown, saved, reread and stripped by the exact bytes of its path, and named in the
// questions as the user sees it.
TEST_F(TagCommandsTest, ALatinOneNamedFileIsReadAndWrittenByItsBytes) {
    ASSERT_EQ(0, ::mkdir(dir.file("D\xefsc").c_str(), 0755));
    const std::string path = load(mp3("D\xefsc/caf\xe9.mp3", id3v23Tag({{"TIT2", "Old"}}),
                                      id3v1Tag({.title = "One", .track = 1, .genre = 0})));
    const QString shown = '"' + QString::fromStdString(dir.path()) + "/D\\xEFsc/caf\\xE9.mp3\"";
    EXPECT_EQ("Old", ui.row("iID3v2_Title")->text());
    EXPECT_FALSE(ui.row("iMpeg_Modified")->text().isEmpty());

    type(ui.row("iID3v1_Title"), "New one");
    click(ui.find<QToolButton>("btID3v1_Save"));
    type(ui.row("iID3v2_Title"), "New two");
    click(ui.find<QToolButton>("btID3v2_Save"));
    EXPECT_EQ(QStringList({"Do you want to write ID3 v.1 tag to " + shown + "?",
                           "Do you want to write ID3 v.2 tag to " + shown + "?"}),
              questions());
    Bytes file = readFile(path);
    EXPECT_EQ(slot("New one", 30), asText(lastBlock(file), 3, 30));
    ASSERT_TRUE(readId3v2(file));
    EXPECT_EQ(latin("New two"), readId3v2(file)->frames.at("TIT2"));
    // Saved panes are shown again from the file, read by its bytes.
    EXPECT_EQ("New two", ui.row("iID3v2_Title")->text());
    EXPECT_FALSE(ui.row("iMpeg_Modified")->text().isEmpty());

    dialogs.boxes.clear();
    click(ui.find<QToolButton>("btID3v2_Remove"));
    EXPECT_EQ(QStringList({"Do you want to remove ID3 tag from " + shown + "?"}), questions());
    file = readFile(path);
    EXPECT_FALSE(readId3v2(file));
    EXPECT_EQ(audio(), Bytes(file.begin(), file.end() - 128));
    EXPECT_EQ(std::vector<std::string>{"caf\xe9.mp3"}, entriesOf(dir.file("D\xefsc")));
    EXPECT_TRUE(warnings().isEmpty());
}
