// The pictures of the ID3v2 band: the thumbnail, the large view, and the commands that add,
// drop, remove and save pictures, driven through the window on real files.
#include "app/Main.h"
#include "mpeg/MPEGaudio.h"
#include "shell/FileName.h"
#include "support/FakeDialogs.h"
#include "tests/support/MainWindowDriver.h"
#include "tests/support/TagBytes.h"
#include "tests/support/TestFiles.h"
#include "ui/InspectorGrid.h"
#include "ui/PictureView.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QBuffer>
#include <QImage>
#include <QListWidget>
#include <QMenu>
#include <QTest>
#include <QToolButton>
#include <cstring>
#include <string>
#include <vector>

using namespace quillon;

namespace {

// An image file of one colour, as Qt writes it ("PNG", "JPEG").
std::string imageFile(int width, int height, QColor colour, const char* format) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes.toStdString();
}

// An APIC frame of revision 2.3: Latin-1, MIME type, picture type, description, image.
Bytes apic(const std::string& mime, std::uint8_t type, const std::string& description,
           const std::string& data) {
    return id3v2Frame(3, "APIC",
                      std::string(1, '\0') + mime + '\0' + char(type) + description + '\0' + data);
}

struct Apic {
    std::string mime;
    int type = 0;
    std::string description;
    std::string data;
};

// The APIC frames of the ID3v2.3 tag at the start of a file, in their order.
std::vector<Apic> apicFrames(const Bytes& file) {
    std::vector<Apic> found;
    if (file.size() < 10 || std::memcmp(file.data(), "ID3", 3) != 0)
        return found;
    const std::size_t extent = 10 + (std::size_t(file[6]) << 21 | std::size_t(file[7]) << 14 |
                                     std::size_t(file[8]) << 7 | std::size_t(file[9]));
    std::size_t pos = 10;
    while (pos + 10 <= extent && file[pos] != 0) {
        const std::size_t length = std::size_t(file[pos + 4]) << 24 |
                                   std::size_t(file[pos + 5]) << 16 |
                                   std::size_t(file[pos + 6]) << 8 | std::size_t(file[pos + 7]);
        const std::string id(file.begin() + std::ptrdiff_t(pos),
                             file.begin() + std::ptrdiff_t(pos + 4));
        const std::string data(file.begin() + std::ptrdiff_t(pos + 10),
                               file.begin() + std::ptrdiff_t(pos + 10 + length));
        if (id == "APIC" && data.size() > 1 && data[0] == 0) {
            const std::size_t mimeEnd = data.find('\0', 1);
            const std::size_t descriptionEnd = data.find('\0', mimeEnd + 2);
            found.push_back({data.substr(1, mimeEnd - 1), std::uint8_t(data[mimeEnd + 1]),
                             data.substr(mimeEnd + 2, descriptionEnd - mimeEnd - 2),
                             data.substr(descriptionEnd + 1)});
        }
        pos += 10 + length;
    }
    return found;
}

class PicturesTest : public ::testing::Test {
protected:
    FakeDialogs dialogs;
    TfmMain window;
    MainWindowDriver ui{window};
    TestDir dir;
    const std::string back = imageFile(40, 30, Qt::red, "PNG");
    const std::string front = imageFile(64, 48, Qt::blue, "JPEG");

    void SetUp() override {
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        for (const char* confirmation : {"bbConfSaveTag", "bbConfUndoTag"})
            ui.action(confirmation)->setChecked(false);
    }

    // A file whose tag holds a title and these frames.
    std::string mp3(const char* name, std::initializer_list<Bytes> frames) {
        Bytes body = id3v2TextFrame(3, "TIT2", "Song");
        for (const Bytes& frame : frames)
            append(body, frame);
        return dir.createFile(name, concat({id3v2Tag(3, body), cbrFrames(20000)}));
    }
    // The back cover first, the front cover second.
    std::string twoPictures() {
        return mp3("two.mp3",
                   {apic("image/png", 4, "back", back), apic("image/jpeg", 3, "the front", front)});
    }
    std::string load(const std::string& path) {
        window.CurrentFile = pathFromNative(path);
        EXPECT_TRUE(window.AudioFile->Load(path));
        window.ShowFileInfo();
        window.SetID3v2Modified(false);
        return path;
    }
    PictureThumbnail* thumbnail() const { return ui.find<PictureThumbnail>("imID3v2Picture"); }
    // Waits until the thumbnail has decoded what it was given.
    bool decoded() const {
        return QTest::qWaitFor([this] {
            const auto state = thumbnail()->state();
            return state != PictureThumbnail::State::Decoding;
        });
    }
    void save() { QTest::mouseClick(ui.find<QToolButton>("btID3v2_Save"), Qt::LeftButton); }
    QMenu* tagsMenu() const { return ui.find<QMenu>("bbTags"); }
    void trigger(const char* command) {
        QAction* action = ui.action(command);
        ASSERT_TRUE(tagsMenu()->actions().contains(action)) << command;
        ASSERT_TRUE(thumbnail()->actions().contains(action)) << command;
        action->trigger();
    }
};

TEST_F(PicturesTest, ThumbnailShowsTheFrontCoverAndAClickListsEveryPicture) {
    load(twoPictures());
    ASSERT_TRUE(thumbnail()->isVisible());
    ASSERT_TRUE(decoded());
    ASSERT_EQ(PictureThumbnail::State::Shown, thumbnail()->state());
    // Blue: the JPEG, second in the tag, at most the thumbnail's size in device pixels.
    const QImage shown = thumbnail()->image();
    const QColor centre = shown.pixelColor(shown.width() / 2, shown.height() / 2);
    EXPECT_GT(centre.blue(), 200);
    EXPECT_LT(centre.red(), 50);
    EXPECT_EQ(thumbnail()->devicePixelRatioF(), shown.devicePixelRatio());
    EXPECT_LE(shown.width(), 64 * thumbnail()->devicePixelRatioF());

    QTest::mouseClick(thumbnail(), Qt::LeftButton);
    auto* view = ui.find<PictureDialog>("fmPictures");
    ASSERT_TRUE(view->isVisible());
    QListWidget* list = view->list();
    ASSERT_EQ(2, list->count());
    EXPECT_EQ(QString("Back cover\nimage/png · 40 × 30 · %1 bytes\nback").arg(back.size()),
              list->item(0)->text());
    EXPECT_EQ(QString("Front cover\nimage/jpeg · 64 × 48 · %1 bytes\nthe front").arg(front.size()),
              list->item(1)->text());
    EXPECT_FALSE(list->item(0)->icon().isNull());
    EXPECT_EQ(1, list->currentRow());

    // Another file without pictures: no thumbnail, an empty view.
    load(mp3("none.mp3", {}));
    EXPECT_FALSE(thumbnail()->isVisible());
    EXPECT_EQ(0, list->count());
}

// Taggers write WebP and TIFF too; Qt reads them through Debian's image format plugins.
TEST_F(PicturesTest, ThumbnailShowsEveryFormatQtReads) {
    const struct {
        const char* format;
        const char* mime;
    } cases[] = {{"PNG", "image/png"},
                 {"JPEG", "image/jpeg"},
                 {"WEBP", "image/webp"},
                 {"TIFF", "image/tiff"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.format);
        const std::string picture = imageFile(80, 60, Qt::green, c.format);
        ASSERT_FALSE(picture.empty());
        load(mp3("format.mp3", {apic(c.mime, 3, "", picture)}));
        ASSERT_TRUE(decoded());
        EXPECT_EQ(PictureThumbnail::State::Shown, thumbnail()->state());
    }
}

TEST_F(PicturesTest, AddedPictureIsSavedByteForByteAndUndoDropsIt) {
    const std::string path = load(mp3("one.mp3", {}));
    const std::string added = dir.createFile("cover.png", bytesOf(back));
    dialogs.fileNames = {QString::fromStdString(added)};
    trigger("bbAddPicture");
    EXPECT_EQ(QStringList{"Add Picture"}, dialogs.fileQuestions);
    EXPECT_TRUE(window.ID3v2Modified());
    ASSERT_TRUE(decoded());
    EXPECT_EQ(PictureThumbnail::State::Shown, thumbnail()->state());

    // Undo reads the tag again: the picture is gone, the file untouched.
    const Bytes before = readFile(path);
    QTest::mouseClick(ui.find<QToolButton>("btID3v2_Undo"), Qt::LeftButton);
    EXPECT_FALSE(thumbnail()->isVisible());
    EXPECT_EQ(before, readFile(path));

    dialogs.fileNames = {QString::fromStdString(added)};
    trigger("bbAddPicture");
    save();
    const std::vector<Apic> frames = apicFrames(readFile(path));
    ASSERT_EQ(1u, frames.size());
    EXPECT_EQ("image/png", frames[0].mime);
    EXPECT_EQ(3, frames[0].type);
    EXPECT_EQ(back, frames[0].data);
    EXPECT_FALSE(window.ID3v2Modified());

    // A file that is no picture is refused with a warning.
    dialogs.fileNames = {QString::fromStdString(dir.createFile("notes.txt", bytesOf("text")))};
    trigger("bbAddPicture");
    EXPECT_EQ(1, dialogs.count(DialogService::Kind::Warning));
    EXPECT_FALSE(window.ID3v2Modified());
}

// The ID3v1 pane's Save reads the whole file again; the ID3v2 pane's unsaved picture stays.
TEST_F(PicturesTest, UnsavedPictureOutlastsASaveOfTheID3v1Pane) {
    const std::string path = load(mp3("one.mp3", {}));
    dialogs.fileNames = {QString::fromStdString(dir.createFile("cover.png", bytesOf(back)))};
    trigger("bbAddPicture");
    ui.row("iID3v1_Title")->setText("Version one");
    window.SetID3v1Modified(true);
    QTest::mouseClick(ui.find<QToolButton>("btID3v1_Save"), Qt::LeftButton);
    EXPECT_TRUE(window.ID3v2Modified());
    EXPECT_TRUE(thumbnail()->isVisible());
    save();
    const std::vector<Apic> frames = apicFrames(readFile(path));
    ASSERT_EQ(1u, frames.size());
    EXPECT_EQ(back, frames[0].data);
}

TEST_F(PicturesTest, ImageFileDroppedOnTheBandIsAdded) {
    const std::string path = load(twoPictures());
    const std::string dropped = dir.createFile("new.jpg", bytesOf(front));
    const auto data = filesDrag({QString::fromStdString(dropped)});
    ASSERT_TRUE(dragAndDrop(ui.grid("iID3v2")->viewport(), data.get()));
    EXPECT_TRUE(window.ID3v2Modified());
    EXPECT_EQ("Song", ui.row("iID3v2_Title")->text()); // not filled from the file's name
    save();
    const std::vector<Apic> frames = apicFrames(readFile(path));
    ASSERT_EQ(3u, frames.size());
    EXPECT_EQ(back, frames[0].data);
    EXPECT_EQ(front, frames[2].data);
    EXPECT_EQ("image/jpeg", frames[2].mime);
    EXPECT_EQ(0, frames[2].type); // the tag has a front cover already
}

TEST_F(PicturesTest, RemovePictureDropsTheChosenOneOnSave) {
    const std::string path = load(twoPictures());
    trigger("bbRemovePicture"); // the front cover, which the thumbnail shows
    EXPECT_TRUE(window.ID3v2Modified());
    save();
    std::vector<Apic> frames = apicFrames(readFile(path));
    ASSERT_EQ(1u, frames.size());
    EXPECT_EQ(back, frames[0].data);

    // Chosen in the large view.
    load(twoPictures());
    QTest::mouseClick(thumbnail(), Qt::LeftButton);
    ui.find<PictureDialog>("fmPictures")->list()->setCurrentRow(0);
    trigger("bbRemovePicture");
    save();
    frames = apicFrames(readFile(path));
    ASSERT_EQ(1u, frames.size());
    EXPECT_EQ(front, frames[0].data);
    EXPECT_EQ("the front", frames[0].description);
}

TEST_F(PicturesTest, SavePictureAsWritesTheExactBytes) {
    load(twoPictures());
    const std::string target = dir.file("cover.jpg");
    dialogs.fileNames = {QString::fromStdString(target)};
    trigger("bbSavePictureAs");
    EXPECT_EQ(bytesOf(front), readFile(target));
    EXPECT_FALSE(window.ID3v2Modified());
}

TEST_F(PicturesTest, UnreadablePictureIsShownSoAndKept) {
    const std::string junk = "\xFF\xD8\xFF not really a picture";
    const std::string path = load(mp3("junk.mp3", {apic("image/jpeg", 3, "", junk)}));
    ASSERT_TRUE(decoded());
    EXPECT_EQ(PictureThumbnail::State::Unreadable, thumbnail()->state());
    QTest::mouseClick(thumbnail(), Qt::LeftButton);
    const QListWidget* list = ui.find<PictureDialog>("fmPictures")->list();
    ASSERT_EQ(1, list->count());
    EXPECT_TRUE(list->item(0)->text().endsWith("\nunreadable picture"));

    // A save of another field keeps it.
    ui.row("iID3v2_Title")->setText("Other");
    window.SetID3v2Modified(true);
    save();
    const std::vector<Apic> frames = apicFrames(readFile(path));
    ASSERT_EQ(1u, frames.size());
    EXPECT_EQ(junk, frames[0].data);
}

} // namespace
