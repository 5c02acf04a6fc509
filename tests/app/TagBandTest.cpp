// The ID3v2 band beyond the twelve fields, through the window's widgets on real files: album
// artist, disc and the whole track, the lyrics editor, the list of the other frames, and the
// conversion between revisions from the Tags menu.
#include "app/ErrorGuard.h"
#include "app/Main.h"
#include "app/TagDialogs.h"
#include "mpeg/MPEGaudio.h"
#include "shell/FileName.h"
#include "support/FakeDialogs.h"
#include "tests/support/MainWindowDriver.h"
#include "tests/support/TagBytes.h"
#include "tests/support/TestFiles.h"
#include "ui/InspectorGrid.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>
#include <cstring>
#include <functional>
#include <map>
#include <optional>

using namespace quillon;

namespace {

using Kind = DialogService::Kind;

// A mutagen-style text frame: UTF-8 in 2.4, UTF-16 with BOM in 2.3.
Bytes textFrame(int major, const char* id, const std::string& text) {
    if (major == 4)
        return id3v2Frame(4, id, std::string(1, '\3') + text);
    return id3v2TextFrame(3, id, text);
}

// The frames of the ID3v2 tag at the start of a file, id to data; a repeated id keeps the
// last. Nothing when the file starts with no tag.
struct Frames {
    int major = 0;
    std::map<std::string, std::string> data;
};
std::optional<Frames> framesOf(const Bytes& file) {
    if (file.size() < 10 || std::memcmp(file.data(), "ID3", 3) != 0)
        return std::nullopt;
    Frames tag;
    tag.major = file[3];
    const std::size_t extent = 10 + (std::size_t(file[6]) << 21 | std::size_t(file[7]) << 14 |
                                     std::size_t(file[8]) << 7 | std::size_t(file[9]));
    std::size_t pos = 10;
    while (pos + 10 <= extent && file[pos] != 0) {
        const int shift = tag.major == 4 ? 7 : 8;
        std::size_t length = 0;
        for (int i = 4; i < 8; ++i)
            length = length << shift | file[pos + std::size_t(i)];
        tag.data[std::string(file.begin() + std::ptrdiff_t(pos),
                             file.begin() + std::ptrdiff_t(pos + 4))] =
            std::string(file.begin() + std::ptrdiff_t(pos + 10),
                        file.begin() + std::ptrdiff_t(pos + 10 + length));
        pos += 10 + length;
    }
    return tag;
}

std::string dataOf(const Frames& tag, const std::string& id) {
    const auto found = tag.data.find(id);
    return found == tag.data.end() ? std::string() : found->second;
}

// A text frame's text, whatever encoding it was written in, without the closing zero.
std::string textOf(const std::string& data) {
    if (data.empty())
        return {};
    std::string body = data.substr(1);
    if (data[0] == 0 || data[0] == 3) {
        while (!body.empty() && body.back() == '\0')
            body.pop_back();
        return body;
    }
    // UTF-16, here only of ASCII text.
    std::string out;
    const bool bigEndian = data[0] == 2 || (body.size() >= 2 && body[0] == '\xFE');
    std::size_t at = data[0] == 1 ? 2 : 0;
    for (; at + 1 < body.size(); at += 2) {
        const char c = bigEndian ? body[at + 1] : body[at];
        if (c == 0)
            break;
        out += c;
    }
    return out;
}

template <class T> T* openDialog(const char* name) {
    T* found = nullptr;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (w->objectName() == name && w->isVisible())
                    found = qobject_cast<T*>(w);
            }
            return found != nullptr;
        },
        5000));
    return found;
}

class TagBandTest : public ::testing::Test {
protected:
    FakeDialogs dialogs;
    TfmMain window;
    MainWindowDriver ui{window};
    TestDir dir;

    void SetUp() override {
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        // Only the questions these tests are about.
        for (const char* name : {"bbConfSaveTag", "bbConfUndoTag", "bbConfClearTag"})
            ui.action(name)->setChecked(false);
    }
    void TearDown() override {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (qobject_cast<QDialog*>(w))
                w->close();
        }
    }

    std::string load(const char* name, const Bytes& tag) {
        const std::string path = dir.createFile(name, concat({tag, cbrFrames(8000)}));
        window.CurrentFile = pathFromNative(path);
        EXPECT_TRUE(window.AudioFile->Load(path));
        EXPECT_TRUE(window.AudioFile->Valid());
        window.ShowFileInfo();
        return path;
    }
    void type(InspectorRow* row, const QString& text) {
        InspectorGrid* grid = row->grid();
        ASSERT_TRUE(grid->beginEdit(row)) << row->name().toStdString();
        auto* line = qobject_cast<QLineEdit*>(grid->editor());
        ASSERT_TRUE(line);
        line->selectAll();
        QTest::keyClicks(line, text);
        grid->endEdit(true);
        ASSERT_EQ(text, row->text());
    }
    void save() { QTest::mouseClick(ui.find<QToolButton>("btID3v2_Save"), Qt::LeftButton); }
};

// Album artist, disc and the track with its total are rows of their own, shown as the tag
// holds them and saved as typed; a disc that is no "n" or "n/total" stops the save.
TEST_F(TagBandTest, AlbumArtistDiscAndWholeTrackAreShownAndSaved) {
    const std::string path = load(
        "song.mp3",
        id3v2Tag(4, concat({textFrame(4, "TIT2", "Song"), textFrame(4, "TPE2", "Various Artists"),
                            textFrame(4, "TPOS", "1/2"), textFrame(4, "TRCK", "3/12")})));
    EXPECT_EQ("Various Artists", ui.row("iID3v2_AlbumArtist")->text());
    EXPECT_EQ("1/2", ui.row("iID3v2_Disc")->text());
    EXPECT_EQ("3/12", ui.row("iID3v2_Track")->text());
    // The band is tall enough for its new lines.
    EXPECT_EQ(0, ui.grid("iID3v2")->verticalScrollBar()->maximum());

    const struct {
        const char* row;
        const char* frame;
        QString typed;
    } edits[] = {{"iID3v2_AlbumArtist", "TPE2", "Someone Else"},
                 {"iID3v2_Disc", "TPOS", "2/2"},
                 {"iID3v2_Track", "TRCK", "4/12"}};
    for (const auto& e : edits)
        type(ui.row(e.row), e.typed);
    save();
    const auto saved = framesOf(readFile(path));
    ASSERT_TRUE(saved);
    for (const auto& e : edits) {
        SCOPED_TRACE(e.frame);
        EXPECT_EQ(e.typed.toStdString(), textOf(saved->data.at(e.frame)));
        EXPECT_EQ(e.typed, ui.row(e.row)->text());
    }
    EXPECT_FALSE(window.ID3v2Modified());

    const Bytes before = readFile(path);
    type(ui.row("iID3v2_Disc"), "x/y");
    save();
    QuillonApplication::flushErrors();
    EXPECT_EQ(QStringList({"Range check error."}), dialogs.texts(Kind::Error));
    EXPECT_EQ(before, readFile(path));
    EXPECT_TRUE(window.ID3v2Modified());
}

// The Lyrics row shows the first line; its editor shows and keeps language and description,
// OK marks the pane modified, Save writes the frame, Undo brings the file's lyrics back.
TEST_F(TagBandTest, LyricsEditorKeepsLanguageAndDescription) {
    const Bytes uslt = id3v2Frame(4, "USLT",
                                  std::string("\3deu") + "Strophe" + std::string(1, '\0') +
                                      "Erste Zeile\nZweite Zeile");
    const std::string path =
        load("lyrics.mp3", id3v2Tag(4, concat({textFrame(4, "TIT2", "Song"), uslt})));
    InspectorRow* row = ui.row("iID3v2_Lyrics");
    EXPECT_EQ("Erste Zeile", row->text());

    const struct {
        bool ok;
        const char* text;
    } rounds[] = {{false, "Ignored"}, {true, "First line\nSecond line"}};
    for (const auto& round : rounds) {
        SCOPED_TRACE(round.text);
        QTest::mouseClick(ui.grid("iID3v2")->valueCell(row), Qt::LeftButton);
        auto* editor = openDialog<LyricsDialog>("LyricsDialog");
        ASSERT_TRUE(editor);
        EXPECT_EQ("deu", editor->findChild<QLineEdit*>("edLyricsLanguage")->text());
        EXPECT_EQ("Strophe", editor->findChild<QLineEdit*>("edLyricsDescription")->text());
        EXPECT_EQ("Erste Zeile\nZweite Zeile",
                  editor->findChild<QPlainTextEdit*>("edLyricsText")->toPlainText());
        editor->findChild<QPlainTextEdit*>("edLyricsText")->setPlainText(round.text);
        if (round.ok)
            editor->accept();
        else
            editor->reject();
        QTest::qWait(10);
        EXPECT_EQ(round.ok, window.ID3v2Modified());
    }
    EXPECT_EQ("First line", row->text());

    // Undo brings back the file's lyrics.
    QTest::mouseClick(ui.find<QToolButton>("btID3v2_Undo"), Qt::LeftButton);
    EXPECT_EQ("Erste Zeile", row->text());
    EXPECT_FALSE(window.ID3v2Modified());

    QTest::mouseClick(ui.grid("iID3v2")->valueCell(row), Qt::LeftButton);
    auto* editor = openDialog<LyricsDialog>("LyricsDialog");
    ASSERT_TRUE(editor);
    editor->findChild<QPlainTextEdit*>("edLyricsText")->setPlainText("Neue Zeile\nNoch eine");
    editor->accept();
    QTest::qWait(10);
    save();
    const auto saved = framesOf(readFile(path));
    ASSERT_TRUE(saved);
    const std::string data = saved->data.at("USLT");
    ASSERT_FALSE(data.empty());
    EXPECT_EQ("deu", data.substr(1, 3));
    EXPECT_EQ(std::string("Strophe") + '\0' + "Neue Zeile\nNoch eine", data.substr(4));
    EXPECT_EQ("Neue Zeile", row->text());
}

// The list opens from the band's button and from the Tags menu and names each frame the rows
// do not show with what it holds.
TEST_F(TagBandTest, OtherFramesListShowsWhatTheRowsDoNot) {
    const Bytes frames = concat(
        {textFrame(4, "TIT2", "Song"),
         id3v2Frame(4, "TXXX", std::string("\3REPLAYGAIN_TRACK_GAIN") + '\0' + "-6.50 dB"),
         id3v2Frame(4, "POPM", std::string("a@example.org") + '\0' + "\xC4" + std::string(4, '\0')),
         id3v2Frame(4, "PRIV", std::string("quillon") + '\0' + std::string(16, '\x7F'))});
    load("others.mp3", id3v2Tag(4, frames));
    const QList<QStringList> expected = {
        {"TXXX (User text)", "REPLAYGAIN_TRACK_GAIN", "-6.50 dB"},
        {"POPM (Popularimeter)", "a@example.org", "binary 19 bytes"},
        {"PRIV (Private)", "quillon", "binary 24 bytes"},
    };
    const std::function<void()> openers[] = {
        [&] { QTest::mouseClick(ui.find<QToolButton>("btID3v2_OtherFrames"), Qt::LeftButton); },
        [&] { ui.action("bbOtherFrames")->trigger(); }};
    for (const auto& open : openers) {
        open();
        auto* list = openDialog<OtherFramesDialog>("OtherFramesDialog");
        ASSERT_TRUE(list);
        auto* table = list->findChild<QTableWidget*>("tvOtherFrames");
        ASSERT_TRUE(table);
        QList<QStringList> shown;
        for (int r = 0; r < table->rowCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < table->columnCount(); ++c)
                cells << table->item(r, c)->text();
            shown << cells;
        }
        EXPECT_EQ(expected, shown);
        EXPECT_EQ(QAbstractItemView::NoEditTriggers, table->editTriggers());
        list->close();
        QTest::qWait(10);
    }
}

// From the Tags menu, after a Yes: the tag is written in the other revision, its date frames
// mapped; after a No nothing is written. Only the other revision is offered.
TEST_F(TagBandTest, ConversionFromTheTagsMenu) {
    const Bytes v23 =
        id3v2Tag(3, concat({id3v2TextFrame(3, "TIT2", "Song"), id3v2TextFrame(3, "TYER", "1999")}));
    for (const bool yes : {false, true}) {
        SCOPED_TRACE(yes);
        const std::string path = load(yes ? "yes.mp3" : "no.mp3", v23);
        EXPECT_TRUE(ui.action("bbConvertToV24")->isEnabled());
        EXPECT_FALSE(ui.action("bbConvertToV23")->isEnabled());
        const Bytes before = readFile(path);
        dialogs.boxes.clear();
        dialogs.answers = {yes};
        ui.action("bbConvertToV24")->trigger();
        const QStringList asked =
            dialogs.texts(Kind::Confirm) + dialogs.texts(Kind::ConfirmDefaultNo);
        ASSERT_EQ(1, asked.size());
        EXPECT_TRUE(asked[0].contains("to ID3v2.4?"));
        if (!yes) {
            EXPECT_EQ(before, readFile(path));
            continue;
        }
        const auto saved = framesOf(readFile(path));
        ASSERT_TRUE(saved);
        EXPECT_EQ(4, saved->major);
        EXPECT_EQ("1999", textOf(dataOf(*saved, "TDRC")));
        EXPECT_EQ(0u, saved->data.count("TYER"));
        EXPECT_EQ("Song", textOf(dataOf(*saved, "TIT2")));
        EXPECT_EQ("v 2.4", ui.find<QLabel>("laID3v2Ver")->text());
        EXPECT_FALSE(ui.action("bbConvertToV24")->isEnabled());
        EXPECT_TRUE(ui.action("bbConvertToV23")->isEnabled());
    }
}

// Pending edits are saved before the conversion, so that it acts on what the pane shows.
TEST_F(TagBandTest, ConversionSavesPendingEditsFirst) {
    const std::string path =
        load("edited.mp3",
             id3v2Tag(4, concat({textFrame(4, "TIT2", "Song"), textFrame(4, "TDRC", "2001")})));
    type(ui.row("iID3v2_Title"), "Edited");
    dialogs.answers = {true};
    ui.action("bbConvertToV23")->trigger();
    const auto saved = framesOf(readFile(path));
    ASSERT_TRUE(saved);
    EXPECT_EQ(3, saved->major);
    EXPECT_EQ("Edited", textOf(dataOf(*saved, "TIT2")));
    EXPECT_EQ("2001", textOf(dataOf(*saved, "TYER")));
    EXPECT_FALSE(window.ID3v2Modified());
}

} // namespace
