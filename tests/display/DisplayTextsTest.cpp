#include "display/DisplayTexts.h"
#include "mpeg/MPEGaudio.h"
#include "shell/FileName.h"
#include "tests/support/TagBytes.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <QDateTime>

#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace quillon;

namespace {

// MPEG 1 Layer III, 128 kbit/s, 44100 Hz, joint stereo, original: 417-byte frames.

const QLocale kUs(QLocale::English, QLocale::UnitedStates);

// Two frames at the start, then zero bytes up to `size` (sparse past the written part).
std::string cbrFile(const TestDir& dir, std::int64_t size, Bytes tail = {}) {
    const std::string path = dir.createFile("song.mp3", cbrFrames());
    EXPECT_EQ(0, ::truncate(path.c_str(), size - static_cast<std::int64_t>(tail.size())));
    if (!tail.empty()) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND);
        EXPECT_EQ(static_cast<ssize_t>(tail.size()), ::write(fd, tail.data(), tail.size()));
        ::close(fd);
    }
    return path;
}

BandTexts mpegTextsOf(const std::string& path, const QLocale& locale = kUs) {
    TMPEGaudio audio;
    EXPECT_TRUE(audio.Load(path));
    EXPECT_TRUE(audio.Valid());
    return MpegTexts(audio, pathFromNative(path), locale);
}

} // namespace

TEST(DisplayTexts, FileSizeAndDurationRows) {
    struct Case {
        std::int64_t size;
        const char* sizeText;
        const char* durationText;
    };
    // 16,000 bytes are one second at 128 kbit/s.
    const Case cases[] = {
        {1048575, "1,048,575 (1 M)", "00:01:05 (65 sec)"},
        {1572864, "1,572,864 (1.5 M)", "00:01:38 (98 sec)"},
        {3456789, "3,456,789 (3.3 M)", "00:03:36 (216 sec)"},
        {5242880, "5,242,880 (5 M)", "00:05:27 (327 sec)"},
        {3934400, "3,934,400 (3.75 M)", "00:04:05 (245 sec)"},
        // A day or more runs the hours past 24 instead of failing.
        {1440000000, "1,440,000,000 (1,373.29 M)", "25:00:00 (90000 sec)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        TestDir dir;
        const BandTexts band = mpegTextsOf(cbrFile(dir, c.size));
        EXPECT_EQ(c.sizeText, band.text("iMpeg_Size").toStdString());
        EXPECT_EQ(c.durationText, band.text("iMpeg_Duration").toStdString());
    }
}

TEST(DisplayTexts, MpegRowsOfACbrFile) {
    TestDir dir;
    const BandTexts band = mpegTextsOf(cbrFile(dir, 4180000));
    const std::pair<const char*, const char*> expected[] = {
        {"iMpeg_Version", "MPEG 1 Layer III"},
        {"iMpeg_BitRate", "128 kbps  (CBR)"},
        {"iMpeg_SampleRate", "44100 Hz"},
        {"iMpeg_ChannelMode", "Joint Stereo"},
        {"iMpeg_Frames", "10,023 / 417 bytes"},
        {"iMpeg_Copyrighted", "False"},
        {"iMpeg_Original", "True"},
        {"iMpeg_CRC", "False"},
        {"iMpeg_HeaderOffset", "0 bytes"},
        {"iMpeg_Emphasis", "None"},
        // Zero bytes after an original header: the guess is Xing.
        {"iMpeg_Encoder", "Xing"},
    };
    for (const auto& [row, text] : expected)
        EXPECT_EQ(text, band.text(row).toStdString()) << row;
    EXPECT_TRUE(band.text("iMpeg_VBR").isEmpty());

    // Thousands and decimals follow the locale.
    const BandTexts german = mpegTextsOf(cbrFile(dir, 1572864), QLocale(QLocale::German));
    EXPECT_EQ("1.572.864 (1,5 M)", german.text("iMpeg_Size").toStdString());
}

TEST(DisplayTexts, XingFileGetsTheVbrRow) {
    TestDir dir;
    Bytes first = cbrFrames();
    std::memcpy(first.data() + 36, "Xing", 4);
    const std::uint8_t counts[] = {0, 0, 0x27, 0x10, 0, 0x3D, 0x09, 0x00}; // 10000, 4000000
    std::memcpy(first.data() + 36 + 8, counts, sizeof counts);
    first[36 + 119] = 78;
    const std::string path = dir.createFile("vbr.mp3", first);
    ASSERT_EQ(0, ::truncate(path.c_str(), 4000000));

    const BandTexts band = mpegTextsOf(path);
    EXPECT_EQ("122 kbps  (VBR)", band.text("iMpeg_BitRate").toStdString());
    EXPECT_EQ("Xing : 78", band.text("iMpeg_VBR").toStdString());
    EXPECT_EQ("00:04:21 (261 sec)", band.text("iMpeg_Duration").toStdString());
    EXPECT_EQ("iMpeg_VBR", MpegDisplayOrder().back().toStdString());
}

// Also for a name that is not UTF-8 (Latin-1), which the file is read by as its bytes.
TEST(DisplayTexts, ModifiedTimeIsRoundedDownToAnEvenSecond) {
    for (const char* name : {"song.mp3", "caf\xe9.mp3"}) {
        SCOPED_TRACE(name);
        TestDir dir;
        const std::string path = dir.file(name);
        ASSERT_EQ(0, ::rename(cbrFile(dir, 100000).c_str(), path.c_str()));
        const QDateTime local(QDate(2024, 3, 9), QTime(17, 5, 33));
        const struct timespec times[2] = {{local.toSecsSinceEpoch(), 0},
                                          {local.toSecsSinceEpoch(), 0}};
        ASSERT_EQ(0, ::utimensat(AT_FDCWD, path.c_str(), times, 0));
        EXPECT_EQ("09.03.2024 17:05:32", mpegTextsOf(path).text("iMpeg_Modified").toStdString());

        // A file gone between analysis and display cannot be shown.
        TMPEGaudio audio;
        ASSERT_TRUE(audio.Load(path));
        ::unlink(path.c_str());
        EXPECT_THROW(MpegTexts(audio, pathFromNative(path), kUs), DisplayError);
    }
}

// The band shows the file as the analysis read it: a time changed afterwards is not looked up.
TEST(DisplayTexts, SizeAndTimeAreThoseTheAnalysisSaw) {
    TestDir dir;
    const std::string path = cbrFile(dir, 100000);
    const QDateTime read(QDate(2024, 3, 9), QTime(17, 5, 32));
    const struct timespec atRead[2] = {{read.toSecsSinceEpoch(), 0}, {read.toSecsSinceEpoch(), 0}};
    ASSERT_EQ(0, ::utimensat(AT_FDCWD, path.c_str(), atRead, 0));
    TMPEGaudio audio;
    ASSERT_TRUE(audio.Load(path));
    const qint64 later = read.toSecsSinceEpoch() + 86400;
    const struct timespec atLater[2] = {{later, 0}, {later, 0}};
    ASSERT_EQ(0, ::utimensat(AT_FDCWD, path.c_str(), atLater, 0));
    ASSERT_EQ(0, ::truncate(path.c_str(), 200000));

    const BandTexts band = MpegTexts(audio, kUs);
    EXPECT_EQ("09.03.2024 17:05:32", band.text("iMpeg_Modified").toStdString());
    EXPECT_EQ("100,000 (0.1 M)", band.text("iMpeg_Size").toStdString());
}

TEST(DisplayTexts, ID3v1Rows) {
    struct Case {
        std::uint8_t track;
        std::uint8_t genre;
        const char* trackText;
        const char* genreText;
        const char* label;
    };
    const Case cases[] = {
        {0, 255, "", "", "v 1.0"},
        {7, 17, "7", "Rock", "v 1.1"},
        {0, 147, "", "Synthpop", "v 1.0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TestDir dir;
        TMPEGaudio audio;
        ASSERT_TRUE(audio.Load(cbrFile(
            dir, 100000, id3v1Tag({.title = "Title", .track = c.track, .genre = c.genre}))));
        const BandTexts band = ID3v1Texts(audio.ID3v1Tag());
        EXPECT_TRUE(band.hasTag);
        EXPECT_EQ("Title", band.text("iID3v1_Title").toStdString());
        EXPECT_EQ(c.trackText, band.text("iID3v1_Track").toStdString());
        EXPECT_EQ(c.genreText, band.text("iID3v1_Genre").toStdString());
        EXPECT_EQ(c.label, band.versionLabel.toStdString());
    }
    TID3v1 none;
    EXPECT_FALSE(ID3v1Texts(none).hasTag);
    EXPECT_TRUE(ID3v1Texts(none).rows.isEmpty());
}

// The bands show the text the tags hold, whatever its encoding in the file.
TEST(DisplayTexts, TagTextIsShownAsTheTagsHoldIt) {
    TestDir dir;
    const std::string one =
        dir.createFile("v1.mp3", id3v1Tag({.title = "Caf\xE9 \x80\x81", .genre = 0}));
    TID3v1 tag1;
    ASSERT_TRUE(tag1.Load(one));
    EXPECT_EQ(QString::fromUtf8("Caf\u00E9 \u20AC\u0081"), ID3v1Texts(tag1).text("iID3v1_Title"));

    // UTF-16 with a byte order mark.
    const Bytes v2 = id3v2Tag(
        3, id3v2Frame(3, "TIT2", std::string_view("\x01\xFF\xFE\x16\x04\x43\x04\x3A\x04", 9)));
    const std::string two = dir.createFile("v2.mp3", v2);
    TID3v2 tag2;
    ASSERT_TRUE(tag2.Load(two));
    EXPECT_EQ(QString::fromUtf8("\u0416\u0443\u043A"), ID3v2Texts(tag2).text("iID3v2_Title"));
}

TEST(DisplayTexts, ID3v2LabelShowsTheMajorVersion) {
    TestDir dir;
    const std::string path = dir.createFile("v24.mp3", id3v2Header(4, 0));
    TID3v2 v2;
    ASSERT_TRUE(v2.Load(path));
    EXPECT_EQ("v 2.4", ID3v2Texts(v2).versionLabel.toStdString());
    EXPECT_EQ("", ID3v2Texts(v2).text("iID3v2_Title").toStdString());
}
